// The committed jingle is what the generator renders now, and it sounds: a stale or silent
// resources/transition.wav fails here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "TransitionJingle.h"
#include "support/TempDir.h"

namespace zeblo::tools {
namespace {

TEST(TransitionJingle, TheCommittedFileIsTheRenderAndItSounds) {
    test::TempDir dir;
    const std::vector<uint8_t> wav = RenderJingle(dir.Path().string());
    ASSERT_GT(wav.size(), 44u);
    // Thirteen sixteenths and the ring-out at 150 beats per minute: 1.8 to 2 seconds.
    const double seconds = (wav.size() - 44) / 4.0 / kJingleSampleRate;
    EXPECT_GT(seconds, 1.5);
    EXPECT_LT(seconds, 2.5);
    int32_t peak = 0;
    for (std::size_t i = 44; i + 1 < wav.size(); i += 2)
        peak = std::max<int32_t>(peak, std::abs(static_cast<int16_t>(wav[i] | wav[i + 1] << 8)));
    EXPECT_GT(peak, 2000);

    const char* source = std::getenv("ZEBLO_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::ifstream in(std::string(source) + "/resources/transition.wav", std::ios::binary);
    const std::vector<uint8_t> committed{std::istreambuf_iterator<char>(in), {}};
    EXPECT_TRUE(committed == wav)
        << "resources/transition.wav is stale: rerun make_transition_sound";
}

}  // namespace
}  // namespace zeblo::tools
