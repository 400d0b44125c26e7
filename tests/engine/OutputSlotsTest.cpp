#include <gtest/gtest.h>

#include <cstring>

#include "engine/OutputSlots.h"

namespace zeblo {
namespace {

// Hands out `budget` blocks, then fails; counts the calls.
struct LimitedAllocator {
    int budget;
    int* calls;
    std::unique_ptr<uint8_t[]> operator()(std::size_t bytes) {
        ++*calls;
        if (budget-- <= 0) return nullptr;
        return std::unique_ptr<uint8_t[]>(new uint8_t[bytes]());
    }
};

TEST(OutputSlots, FirstFailedAllocationLeavesThatSlotAndTheRestEmpty) {
    int calls = 0;
    OutputSlots slots(LimitedAllocator{3, &calls});
    EXPECT_EQ(slots.AllocateBlocks(10, 35280), 3);
    EXPECT_EQ(calls, 4) << "no attempt after the first failure";
    EXPECT_EQ(slots.count(), 10);
    for (int i = 0; i < kOutputSlotCapacity; ++i) {
        SCOPED_TRACE(i);
        if (i < 3) {
            ASSERT_NE(slots[i].block, nullptr);
            EXPECT_EQ(slots[i].capacity, 35280u);
            EXPECT_EQ(slots[i].block[35279], 0);
        } else {
            EXPECT_EQ(slots[i].block, nullptr);
            EXPECT_EQ(slots[i].capacity, 0u);
        }
    }
}

TEST(OutputSlots, BlocksAreWritableOverTheirWholeLengthAndCountIsClamped) {
    OutputSlots slots;
    EXPECT_EQ(slots.AllocateBlocks(40, 17640), kOutputSlotCapacity);
    EXPECT_EQ(slots.count(), kOutputSlotCapacity);
    for (int i = 0; i < kOutputSlotCapacity; ++i) std::memset(slots[i].block.get(), i, 17640);
    EXPECT_EQ(slots[29].block[17639], 29);

    EXPECT_EQ(slots.AllocateBlocks(-1, 17640), 0);
    EXPECT_EQ(slots.count(), 0);
    EXPECT_EQ(slots[0].block, nullptr);
    EXPECT_EQ(slots.AllocateBlocks(5, 0), 0) << "no block of zero bytes";
}

TEST(OutputSlots, EnsureBlockGrowsOnlyWhenTooSmall) {
    OutputSlots slots;
    slots.AllocateBlocks(5, 1000);
    const uint8_t* before = slots[2].block.get();
    EXPECT_TRUE(slots.EnsureBlock(2, 800));
    EXPECT_EQ(slots[2].block.get(), before);
    EXPECT_TRUE(slots.EnsureBlock(2, 4000));
    EXPECT_EQ(slots[2].capacity, 4000u);
    slots[2].block[3999] = 1;
    EXPECT_TRUE(slots.EnsureBlock(7, 100)) << "an empty slot gets its first block";
    EXPECT_FALSE(slots.EnsureBlock(kOutputSlotCapacity, 100));
    EXPECT_FALSE(slots.EnsureBlock(-1, 100));

    int calls = 0;
    OutputSlots failing(LimitedAllocator{0, &calls});
    EXPECT_FALSE(failing.EnsureBlock(0, 100));
    EXPECT_EQ(failing[0].block, nullptr);
}

}  // namespace
}  // namespace zeblo
