// The committed jingle is what the generator renders now, and it sounds: a stale or silent
// resources/transition.wav fails here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "TransitionJingle.h"
#include "support/TempDir.h"

namespace zeblo::tools {
namespace {

uint32_t Le32(const std::vector<uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(TransitionJingle, TheCommittedFileIsTheRenderAndItSounds) {
    test::TempDir dir;
    const std::vector<uint8_t> wav = RenderJingle(dir.Path().string());
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(Le32(wav, 24), static_cast<uint32_t>(kJingleSampleRate));
    const uint32_t data = Le32(wav, 40);
    EXPECT_EQ(data + 44, wav.size());
    // Thirteen sixteenths and the ring-out at 150 beats per minute: 1.8 to 2 seconds.
    const double seconds = data / 4.0 / kJingleSampleRate;
    EXPECT_GT(seconds, 1.5);
    EXPECT_LT(seconds, 2.5);
    int32_t peak = 0;
    for (std::size_t i = 44; i + 1 < wav.size(); i += 2) {
        const int16_t s = static_cast<int16_t>(wav[i] | wav[i + 1] << 8);
        peak = std::max<int32_t>(peak, std::abs(s));
    }
    EXPECT_GT(peak, 2000);

    const char* source = std::getenv("ZEBLO_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::ifstream in(std::string(source) + "/resources/transition.wav", std::ios::binary);
    const std::vector<uint8_t> committed{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
    EXPECT_TRUE(committed == wav)
        << "resources/transition.wav is stale: rerun make_transition_sound";
}

}  // namespace
}  // namespace zeblo::tools
