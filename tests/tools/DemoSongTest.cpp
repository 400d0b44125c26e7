// The demo song as the player hears it: the committed file is the generator's output, and it is
// the song the player, the golden table and the later tests rely on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "DemoSong.h"
#include "midi/Sequencer.h"
#include "support/RecordingModule.h"

namespace zeblo::tools {
namespace {

TEST(DemoSong, TheCommittedFileIsTheGeneratorsOutput) {
    const char* source = std::getenv("ZEBLO_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::ifstream in(std::string(source) + "/resources/demo.mid", std::ios::binary);
    const std::vector<uint8_t> committed{std::istreambuf_iterator<char>(in), {}};
    EXPECT_TRUE(committed == MakeDemoSong()) << "run make_demo_song to refresh resources/demo.mid";
}

TEST(DemoSong, ResetsThenSetsUpEachChannelAndPlaysAMinuteToAMinuteAndAHalf) {
    EngineParameters parameters;
    test::RecordingModule module;
    Sequencer sequencer(parameters);
    sequencer.SetModule(&module);
    ASSERT_TRUE(sequencer.LoadImage(MakeDemoSong()));
    uint64_t samples = 0;
    ASSERT_TRUE(sequencer.Measure(&samples, nullptr));
    EXPECT_STREQ(sequencer.SongTitle(), "Circuit Morning (ZEBLO demo)");
    EXPECT_EQ(sequencer.Header().division, 480);
    EXPECT_GE(sequencer.Tracks().size(), 8u);
    for (const Track& track : sequencer.Tracks()) EXPECT_EQ(track.readPosition, track.length);
    EXPECT_GE(samples, 60u * 44100);
    EXPECT_LE(samples, 90u * 44100);

    // Positions in the order the module hears the calls.
    std::size_t gmOn = SIZE_MAX, gsReset = SIZE_MAX, firstNote = SIZE_MAX;
    std::set<unsigned> programs;
    std::map<unsigned, std::size_t> volumeAt, panAt, firstNoteOf;
    int drumNotes = 0, bends = 0;
    for (std::size_t i = 0; i < module.calls.size(); ++i) {
        const std::string& call = module.calls[i];
        if (call.starts_with("long f07e7f0901f7 ")) gmOn = std::min(gmOn, i);
        if (call.starts_with("long f04110421240007f0041f7 ")) gsReset = std::min(gsReset, i);
        unsigned message = 0;
        if (std::sscanf(call.c_str(), "short %x", &message) != 1) continue;
        const unsigned type = message & 0xF0, channel = message & 0x0F, data1 = message >> 8 & 0x7F;
        if (type == 0xC0 && channel != 9) programs.insert(data1);
        bends += type == 0xE0;
        if (type == 0xB0 && data1 == 7) volumeAt.try_emplace(channel, i);
        if (type == 0xB0 && data1 == 10) panAt.try_emplace(channel, i);
        if (type != 0x90 || (message >> 16) == 0) continue;
        EXPECT_TRUE(data1 >= 36 && data1 <= 96) << call;
        drumNotes += channel == 9;
        firstNoteOf.try_emplace(channel, i);
        firstNote = std::min(firstNote, i);
    }
    EXPECT_LT(gmOn, firstNote);
    EXPECT_LT(gsReset, firstNote);
    EXPECT_GE(programs.size(), 6u);
    EXPECT_GT(drumNotes, 200);
    EXPECT_GT(bends, 20);
    for (const auto& [channel, at] : firstNoteOf) {
        ASSERT_TRUE(volumeAt.count(channel) && panAt.count(channel)) << "channel " << channel;
        EXPECT_LT(volumeAt[channel], at);
        EXPECT_LT(panAt[channel], at);
    }
}

}  // namespace
}  // namespace zeblo::tools
