#include <gtest/gtest.h>

#include <string>

#include "ipc/HandoffProtocol.h"

namespace zeblo {
namespace {

TEST(HandoffProtocol, FramesAreKindLengthPayloadLittleEndian) {
    const std::string frame = EncodeFrame(kMessagePlayShared);
    EXPECT_EQ(frame, std::string("\x09\x07\x00\x00\x00\x00\x00\x00", 8));
    const std::string path = EncodeFrame(kFramePath, "/a.mid");
    EXPECT_EQ(path, std::string("\x01\x00\x00\x00\x06\x00\x00\x00/a.mid", 14));
    EXPECT_EQ(DecodeResult(EncodeResult(-1).data()), -1);
    EXPECT_EQ(DecodeResult(EncodeResult(0).data()), 0);
}

TEST(HandoffProtocol, ReaderCutsFramesWhateverTheChunks) {
    const std::string stream = EncodeFrame(kFramePath, "/songs/x.mid") +
                               EncodeFrame(kMessageStopPlay) + EncodeFrame(kMessagePlayShared);
    FrameReader reader;
    std::vector<HandoffFrame> frames;
    for (char c : stream) {
        reader.Feed(&c, 1);
        while (auto f = reader.Next()) frames.push_back(*f);
    }
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].kind, kFramePath);
    EXPECT_EQ(frames[0].payload, "/songs/x.mid");
    EXPECT_EQ(frames[1].kind, kMessageStopPlay);
    EXPECT_EQ(frames[2].kind, kMessagePlayShared);
    EXPECT_TRUE(frames[2].payload.empty());

    FrameReader whole;
    whole.Feed(stream.data(), stream.size());
    int count = 0;
    while (whole.Next()) ++count;
    EXPECT_EQ(count, 3);
}

TEST(HandoffProtocol, OversizedFrameBreaksTheConnection) {
    FrameReader reader;
    const std::string header("\x01\x00\x00\x00\xFF\xFF\x00\x00", 8);  // 65535 bytes announced
    reader.Feed(header.data(), header.size());
    EXPECT_FALSE(reader.Next());
    EXPECT_TRUE(reader.Broken());
    const std::string more = EncodeFrame(kMessageStopPlay);
    reader.Feed(more.data(), more.size());
    EXPECT_FALSE(reader.Next());

    FrameReader largest;
    const std::string fits = EncodeFrame(kFramePath, std::string(kFramePayloadLimit, 'a'));
    largest.Feed(fits.data(), fits.size());
    EXPECT_TRUE(largest.Next());
    EXPECT_FALSE(largest.Broken());
}

}  // namespace
}  // namespace zeblo
