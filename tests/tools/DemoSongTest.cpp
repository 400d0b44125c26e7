// The demo song: the committed file is the generator's output, and the player hears a titled
// song of a minute to a minute and a half that resets the module before its first note.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "DemoSong.h"
#include "midi/Sequencer.h"
#include "support/RecordingModule.h"

namespace zeblo::tools {
namespace {

TEST(DemoSong, TheCommittedFileIsTheGeneratorsOutputAndPlaysAsMeant) {
    const char* source = std::getenv("ZEBLO_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::ifstream in(std::string(source) + "/resources/demo.mid", std::ios::binary);
    const std::vector<uint8_t> committed{std::istreambuf_iterator<char>(in), {}};
    EXPECT_TRUE(committed == MakeDemoSong()) << "run make_demo_song to refresh resources/demo.mid";

    EngineParameters parameters;
    test::RecordingModule module;
    Sequencer sequencer(parameters);
    sequencer.SetModule(&module);
    ASSERT_TRUE(sequencer.LoadImage(MakeDemoSong()));
    uint64_t samples = 0;
    ASSERT_TRUE(sequencer.Measure(&samples, nullptr));
    EXPECT_STREQ(sequencer.SongTitle(), "Circuit Morning (ZEBLO demo)");
    EXPECT_GE(samples, 60u * 44100);
    EXPECT_LE(samples, 90u * 44100);
    const auto first = [&module](auto predicate) {
        return std::find_if(module.calls.begin(), module.calls.end(), predicate);
    };
    const auto note = first([](const std::string& c) {
        const unsigned long m =
            c.starts_with("short ") ? std::stoul(c.substr(6, 6), nullptr, 16) : 0;
        return (m & 0xF0) == 0x90 && (m >> 16) != 0;
    });
    ASSERT_NE(note, module.calls.end());
    for (const std::string reset : {"long f07e7f0901f7 ", "long f04110421240007f0041f7 "})
        EXPECT_LT(first([&](const std::string& c) { return c.starts_with(reset); }), note) << reset;
}

}  // namespace
}  // namespace zeblo::tools
