#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "engine/WavWriter.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

using namespace std::string_literals;

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
    // A real device's write error, not a wrapper's refusal.
    WavWriter full;
    ASSERT_TRUE(full.OpenFile("/dev/full"));
    EXPECT_FALSE(full.WriteHeader(StereoPcmFormat(44100)));
    EXPECT_FALSE(full.Finish());
}

}  // namespace
}  // namespace zeblo
