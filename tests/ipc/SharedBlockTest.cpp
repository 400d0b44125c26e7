#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ipc/SharedBlock.h"

namespace zeblo {
namespace {

TEST(SharedBlock, LayoutOfSignatureIdentificationAndPath) {
    SharedBlock block;
    EXPECT_FALSE(block.HasSignature());
    for (std::size_t i = 0; i < kSharedBlockSize; i += 997) EXPECT_EQ(block.data()[i], 0);

    block.WriteIdentification(0x12345678);
    EXPECT_TRUE(block.HasSignature());
    EXPECT_EQ(std::memcmp(block.data(), "ZEBLO\0", 6), 0);
    for (std::size_t i = 6; i < 16; ++i) EXPECT_EQ(block.data()[i], 0) << i;
    EXPECT_EQ(block.data()[16], 0x78);
    EXPECT_EQ(block.data()[19], 0x12);
    EXPECT_EQ(block.Identification(), 0x12345678u);

    ASSERT_TRUE(block.WritePath("/music/a song.mid"));
    EXPECT_EQ(std::memcmp(block.data() + 20, "/music/a song.mid\0", 18), 0);
    EXPECT_EQ(block.ReadPath(), "/music/a song.mid");
    // The path never reaches into the identification.
    EXPECT_EQ(block.Identification(), 0x12345678u);
}

TEST(SharedBlock, PathsMustBeShorterThanTheReceiversBuffer) {
    SharedBlock block;
    ASSERT_TRUE(block.WritePath("/kept.mid"));

    const std::string longest(kSharedPathLimit - 1, 'x');
    ASSERT_TRUE(block.WritePath(longest));
    EXPECT_EQ(block.ReadPath(), longest);

    ASSERT_TRUE(block.WritePath("/kept.mid"));
    EXPECT_FALSE(block.WritePath(std::string(kSharedPathLimit, 'y')));
    EXPECT_FALSE(block.WritePath(std::string(60000, 'z')));
    EXPECT_FALSE(block.WritePath(std::string("/a\0b.mid", 8)));
    EXPECT_EQ(block.ReadPath(), "/kept.mid");

    // A shorter path ends at its own NUL, whatever a longer one left behind it.
    ASSERT_TRUE(block.WritePath(longest));
    ASSERT_TRUE(block.WritePath(""));
    EXPECT_EQ(block.ReadPath(), "");
}

}  // namespace
}  // namespace zeblo
