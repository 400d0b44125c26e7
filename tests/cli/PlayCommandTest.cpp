// `zeblo-cli play`: its options and its failures. What a play hands the device is frozen by the
// golden table.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "cli/PlayCommand.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

CliArgs Args(std::vector<std::string> words) {
    const CliCommand* play = nullptr;
    for (const CliCommand& c : CliCommands())
        if (c.name == "play") play = &c;
    CliArgs args;
    std::string error;
    EXPECT_TRUE(play != nullptr && ParseCliArgs(*play, words, args, error)) << error;
    return args;
}

std::pair<int, std::string> Play(const std::vector<std::string>& words) {
    std::vector<std::string> argv = {"zeblo-cli", "play"};
    argv.insert(argv.end(), words.begin(), words.end());
    std::ostringstream out, err;
    const int status = RunCli(argv, out, err);
    return {status, err.str()};
}

TEST(PlayOptions, EveryOptionLandsInTheRecordAndBadValuesNameTheirOption) {
    SettingsRecord r{};
    bool fm = true;
    std::string error;
    ASSERT_TRUE(PlaySettingsFromArgs(Args({}), r, fm, error));
    EXPECT_FALSE(fm);
    EXPECT_EQ(std::vector<int32_t>({r.outputFrequency, r.outputDevice, r.blockCount, r.autoDetune,
                                    r.lowPassEnabled}),
              std::vector<int32_t>({44100, -1, DefaultSettings().blockCount, 1, 0}));
    ASSERT_TRUE(PlaySettingsFromArgs(
        Args({"--engine", "fm", "--rate", "22050", "--instrument-set", "7", "--no-detune", "--mono",
              "--lowpass", "5000", "--blocks", "5", "--block-length", "1", "--device", "2"}),
        r, fm, error));
    EXPECT_TRUE(fm);
    EXPECT_EQ(std::vector<int32_t>({r.outputFrequency, r.instrumentSet, r.autoDetune,
                                    r.monauralOutput, r.lowPassEnabled, r.lowPassCutoff,
                                    r.blockCount, r.blockLength, r.outputDevice}),
              std::vector<int32_t>({22050, 7, 0, 1, 1, 5000, 5, 1, 1}));
    ASSERT_TRUE(
        PlaySettingsFromArgs(Args({"--rate", "22050", "--lowpass", "12000"}), r, fm, error));
    EXPECT_EQ(r.lowPassEnabled, 0) << "above half the rate the filter stays off";
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

TEST(PlayCommand, FailuresExitWithTheirStatusAndMessage) {
    test::TempDir dir;
    const char* root = std::getenv("ZEBLO_SOURCE_DIR");
    const std::string song = std::string(root ? root : ".") + "/tests/data/short.mid";
    const std::string junk = dir.File("junk.mid");
    std::ofstream(junk) << "MThd but not really";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    auto [status, err] = Play({"--once", song});
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("Wave-device open failed."), std::string::npos) << err;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", dir.File("device.raw").c_str(), 1);
    std::tie(status, err) = Play({"--once", junk});
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("Unknown files. can't playing."), std::string::npos) << err;
    EXPECT_EQ(Play({}).first, kExitUsage);
    EXPECT_EQ(Play({"--blocks", "4", song}).first, kExitUsage);
}

}  // namespace
}  // namespace zeblo
