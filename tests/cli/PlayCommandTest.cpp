// `zeblo-cli play` with SDL's disk driver as the sound card: what reaches the device is what the
// render loop makes after a play start.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>

#include "cli/PlayCommand.h"
#include "engine/EngineContext.h"
#include "engine/PlayerTestSupport.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

CliArgs Args(std::vector<std::string> words) {
    const CliCommand* play = nullptr;
    for (const CliCommand& c : CliCommands())
        if (c.name == "play") play = &c;
    EXPECT_NE(play, nullptr);
    CliArgs args;
    std::string error;
    EXPECT_TRUE(ParseCliArgs(*play, words, args, error)) << error;
    return args;
}

struct PlayRun {
    int status = -1;
    std::string out, err;
};

PlayRun Play(const std::vector<std::string>& words) {
    std::vector<std::string> argv = {"zeblo-cli", "play"};
    argv.insert(argv.end(), words.begin(), words.end());
    std::ostringstream out, err;
    PlayRun r;
    r.status = RunCli(argv, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// A second of notes on two channels, the drums included.
std::string WriteShortSong(const test::TempDir& dir) {
    test::SmfBuilder smf(1, 480);
    smf.AddTrack().TrackName(0, "Short").Tempo(0, 500000).EndOfTrack(960);
    smf.AddTrack()
        .ProgramChange(0, 0, 80)
        .NoteOn(0, 0, 60, 100)
        .NoteOn(240, 0, 64, 100)
        .NoteOff(240, 0, 60)
        .NoteOff(400, 0, 64)
        .EndOfTrack(80);
    smf.AddTrack()
        .NoteOn(0, 9, 36, 110)
        .NoteOff(120, 9, 36)
        .NoteOn(360, 9, 38, 110)
        .EndOfTrack(480);
    const std::string path = dir.File("short.mid");
    EXPECT_TRUE(smf.WriteFile(path));
    return path;
}

void UseDisk(const std::string& file) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
}

TEST(PlayOptions, EveryOptionLandsInTheRecord) {
    SettingsRecord r{};
    bool fm = true;
    std::string error;
    ASSERT_TRUE(PlaySettingsFromArgs(Args({}), r, fm, error));
    const SettingsRecord d = DefaultSettings();
    EXPECT_FALSE(fm);
    EXPECT_EQ(r.outputFrequency, 44100);
    EXPECT_EQ(r.outputDevice, -1);
    EXPECT_EQ(r.blockCount, d.blockCount);
    EXPECT_EQ(r.autoDetune, 1);
    EXPECT_EQ(r.lowPassEnabled, 0);

    ASSERT_TRUE(PlaySettingsFromArgs(
        Args({"--engine", "fm", "--rate", "22050", "--instrument-set", "7", "--no-detune", "--mono",
              "--lowpass", "5000", "--blocks", "5", "--block-length", "1", "--device", "2"}),
        r, fm, error));
    EXPECT_TRUE(fm);
    EXPECT_EQ(r.outputFrequency, 22050);
    EXPECT_EQ(r.instrumentSet, 7);
    EXPECT_EQ(r.autoDetune, 0);
    EXPECT_EQ(r.monauralOutput, 1);
    EXPECT_EQ(r.lowPassEnabled, 1);
    EXPECT_EQ(r.lowPassCutoff, 5000);
    EXPECT_EQ(r.blockCount, 5);
    EXPECT_EQ(r.blockLength, 1);
    EXPECT_EQ(r.outputDevice, 1);  // the second named device

    // Above half the rate the filter stays off.
    ASSERT_TRUE(
        PlaySettingsFromArgs(Args({"--rate", "22050", "--lowpass", "12000"}), r, fm, error));
    EXPECT_EQ(r.lowPassEnabled, 0);

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--engine", "opl"},
                                                {"--blocks", "7"},
                                                {"--block-length", "3"},
                                                {"--instrument-set", "8"},
                                                {"--device", "-1"},
                                                {"--rate", "32000"},
                                                {"--lowpass", "x"}}) {
        EXPECT_FALSE(PlaySettingsFromArgs(Args(bad), r, fm, error)) << bad[0];
        EXPECT_NE(error.find(bad[0]), std::string::npos) << error;
    }
}

class PlayCommandTest : public ::testing::TestWithParam<const char*> {};

TEST_P(PlayCommandTest, OnceEndsByItselfWithTheRenderedFramesInTheDevice) {
    test::TempDir dir;
    const std::string song = WriteShortSong(dir);
    const std::string device = dir.File("device.raw");
    UseDisk(device);
    const std::vector<std::string> options = {"--engine", GetParam(), "--rate",         "22050",
                                              "--blocks", "5",        "--block-length", "1",
                                              "--once",   "--quiet"};
    std::vector<std::string> words = options;
    words.push_back(song);
    const PlayRun r = Play(words);
    ASSERT_EQ(r.status, 0) << r.err;

    SettingsRecord record{};
    bool fm = false;
    std::string error;
    ASSERT_TRUE(PlaySettingsFromArgs(Args(options), record, fm, error));
    const std::vector<uint32_t> expected = testing::RenderLikeAPlayStart(
        song, record, fm ? kEngineOpll : kEngineWavetable, 22050 * 10);
    ASSERT_GT(expected.size(), 20000u);  // about a second
    ASSERT_LT(expected.size(), 22050u * 2);
    const std::vector<uint32_t> played = testing::ReadFrames(device);
    const int64_t at = testing::FindPlayedSong(played, expected, expected.size());
    ASSERT_GE(at, 0);
    // Nothing but silence after the song's last frame.
    for (std::size_t i = static_cast<std::size_t>(at) + expected.size(); i < played.size(); ++i)
        ASSERT_EQ(played[i], 0u) << "frame " << i;
}

INSTANTIATE_TEST_SUITE_P(BothEngines, PlayCommandTest, ::testing::Values("wavetable", "fm"));

TEST(PlayCommand, FailuresExitWithStatusOne) {
    test::TempDir dir;
    const std::string song = WriteShortSong(dir);
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    PlayRun r = Play({"--once", "--rate", "22050", "--block-length", "1", "--blocks", "5", song});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Wave-device open failed."), std::string::npos) << r.err;

    UseDisk(dir.File("device.raw"));
    const std::string junk = dir.File("junk.mid");
    std::ofstream(junk) << "MThd but not really";
    r = Play({"--once", junk});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Unknown files. can't playing."), std::string::npos) << r.err;

    EXPECT_EQ(Play({}).status, kExitUsage);
    EXPECT_EQ(Play({"--blocks", "4", song}).status, kExitUsage);
}

}  // namespace
}  // namespace zeblo
