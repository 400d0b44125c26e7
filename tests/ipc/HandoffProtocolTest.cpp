#include <gtest/gtest.h>

#include <string>

#include "ipc/HandoffProtocol.h"
#include "ipc/SharedBlock.h"

namespace zeblo {
namespace {

using namespace std::string_literals;

// Paths of every length through the block are handed over with the single instance.
TEST(SharedBlock, SignatureIdentificationAndNoNulInAPath) {
    SharedBlock block;
    EXPECT_FALSE(block.HasSignature());
    block.WriteIdentification(0x12345678);
    EXPECT_TRUE(block.HasSignature());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data()), kSharedHeaderSize),
              "ZEBLO"s + std::string(11, '\0') + "\x78\x56\x34\x12");
    EXPECT_FALSE(block.WritePath("/a\0b.mid"s));
}

TEST(HandoffProtocol, FramesSurviveAnyChunkingAndAnOversizedOneBreaksTheReader) {
    EXPECT_EQ(EncodeFrame(kFramePath, "/a.mid"), "\x01\0\0\0\x06\0\0\0/a.mid"s);
    EXPECT_EQ(EncodeFrame(kMessagePlayShared), "\x09\x07\0\0\0\0\0\0"s);
    EXPECT_EQ(DecodeResult(EncodeResult(-1).data()), -1);
    const std::string stream = EncodeFrame(kFramePath, "/songs/x.mid") +
                               EncodeFrame(kMessageStopPlay) + EncodeFrame(kMessagePlayShared);
    for (std::size_t chunk : {std::size_t{1}, stream.size()}) {
        FrameReader reader;
        std::string frames;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            reader.Feed(stream.data() + at, std::min(chunk, stream.size() - at));
            while (auto f = reader.Next())
                frames += std::to_string(f->kind) + ":" + f->payload + " ";
        }
        EXPECT_EQ(frames, "1:/songs/x.mid 1802: 1801: ") << chunk;
    }
    FrameReader largest;
    const std::string fits = EncodeFrame(kFramePath, std::string(kFramePayloadLimit, 'a'));
    largest.Feed(fits.data(), fits.size());
    EXPECT_TRUE(largest.Next());

    FrameReader reader;
    const std::string oversized = "\x01\0\0\0\xFF\xFF\0\0"s + EncodeFrame(kMessageStopPlay);
    reader.Feed(oversized.data(), oversized.size());
    EXPECT_FALSE(reader.Next());
    EXPECT_TRUE(reader.Broken());
}

}  // namespace
}  // namespace zeblo
