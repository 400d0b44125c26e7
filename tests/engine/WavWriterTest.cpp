#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "engine/WavWriter.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

using namespace std::string_literals;

TEST(WavWriter, AFileGetsBothSizesWhenFinished) {
    test::TempDir dir;
    std::string chunk(80000, '\0');
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 7);
    const struct {
        uint32_t rate;
        int chunks;
        std::string header;
    } rows[] = {
        {44100, 2,
         "RIFF\x24\x71\x02\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xAC\0\0\x10\xB1\x02\0\x04\0\x10\0"
         "data\0\x71\x02\0"s},
        {22050, 0,
         "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x22\x56\0\0\x88\x58\x01\0\x04\0\x10\0"
         "data\0\0\0\0"s},
    };
    for (const auto& row : rows) {
        const std::string path = dir.File("out.WAV");
        WavWriter writer;
        ASSERT_TRUE(writer.OpenFile(path));
        ASSERT_TRUE(writer.WriteHeader(StereoPcmFormat(row.rate)));
        std::string data;
        for (int i = 0; i < row.chunks; ++i, data += chunk)
            ASSERT_TRUE(writer.WriteBytes(chunk.data(), 80000));
        ASSERT_TRUE(writer.WriteBytes(chunk.data(), 0));
        ASSERT_TRUE(writer.Finish());
        EXPECT_FALSE(writer.IsOpen());
        EXPECT_TRUE(test::ReadFile(path) == row.header + data) << row.rate;
    }
}

// Past the limit the 32-bit sizes would wrap into a file that lies about its length: the write
// that would cross it fails instead, and the sizes stay exact.
TEST(WavWriter, RefusesWhatWouldMakeTheFileLie) {
    static_assert(kWavMaxDataBytes + kWavRiffOverhead <= 0xFFFFFFFFull &&
                  kWavMaxDataBytes + kFrameBytes + kWavRiffOverhead > 0xFFFFFFFFull);
    test::TempDir dir;
    const std::string frames = "12345678ABCD";
    WavWriter capped(OpenWavFile, 8);
    ASSERT_TRUE(capped.OpenFile(dir.File("capped.wav")));
    ASSERT_TRUE(capped.WriteHeader(StereoPcmFormat(44100)));
    EXPECT_TRUE(capped.WriteBytes(frames.data(), 8));
    EXPECT_FALSE(capped.WriteBytes(frames.data() + 8, 4));
    ASSERT_TRUE(capped.Finish());
    const std::string file = test::ReadFile(dir.File("capped.wav"));
    EXPECT_EQ(file.substr(4, 4), "\x2C\0\0\0"s);
    EXPECT_EQ(file.substr(40),
              "\x08\0\0\0"
              "12345678"s);

    // A pipe cannot be rewound: its header carries the announced sizes, which Finish checks.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    for (uint32_t written : {8u, 4u}) {
        WavWriter stream;
        ASSERT_TRUE(stream.OpenStream(WavOutputOnDescriptor(pipeFds[1]), 8));
        ASSERT_TRUE(stream.WriteHeader(StereoPcmFormat(48000)));
        ASSERT_TRUE(stream.WriteBytes(frames.data(), written));
        EXPECT_EQ(stream.Finish(), written == 8) << written;
        std::string got(44 + written, '\0');
        ASSERT_EQ(read(pipeFds[0], got.data(), got.size()), ssize_t(got.size()));
        EXPECT_EQ(got.substr(4, 4), "\x2C\0\0\0"s);
        EXPECT_EQ(got.substr(40, 4), "\x08\0\0\0"s);
    }
    close(pipeFds[0]);
    close(pipeFds[1]);

    WavWriter missing;
    EXPECT_FALSE(missing.OpenFile(dir.File("missing/out.WAV")));
    EXPECT_FALSE(missing.WriteHeader(StereoPcmFormat(44100)));
    EXPECT_FALSE(missing.Finish());
    WavWriter full;
    ASSERT_TRUE(full.OpenFile("/dev/full"));
    EXPECT_FALSE(full.WriteHeader(StereoPcmFormat(44100)));
    EXPECT_FALSE(full.Finish());
}

}  // namespace
}  // namespace zeblo
