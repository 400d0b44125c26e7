#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using test::SmfBuilder;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome RunZeblo(std::vector<std::string> words) {
    words.insert(words.begin(), "zeblo-cli");
    std::ostringstream out, err;
    const int status = RunCli(words, out, err);
    return {status, out.str(), err.str()};
}

std::string InfoBlock(const std::string& path, const std::string& title, int tracks, int division,
                      uint64_t samples, uint64_t ticks, const std::string& seconds) {
    std::ostringstream s;
    s << "file: " << path << "\ntitle: " << title << "\ntracks: " << tracks
      << "\ndivision: " << division << "\nsamples: " << samples << "\nticks: " << ticks
      << "\nseconds: " << seconds << "\n";
    return s.str();
}

class InfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.Valid());
        ASSERT_TRUE(test::MeasureExampleSong().WriteFile(example));
    }
    test::TempDir dir;
    const std::string example = dir.File("example.mid");
};

TEST_F(InfoTest, PrintsTheMeasuredLengthAtEachRate) {
    const Outcome standard = RunZeblo({"info", example});
    EXPECT_EQ(standard.status, 0);
    EXPECT_EQ(standard.out, InfoBlock(example, "", 1, 480, 87939, 1926, "1.994"));
    EXPECT_EQ(standard.err, "");

    EXPECT_EQ(RunZeblo({"info", "--rate", "48000", example}).out,
              InfoBlock(example, "", 1, 480, 96200, 1924, "2.004"));
    EXPECT_EQ(RunZeblo({"info", example, "--rate=22050"}).out,
              InfoBlock(example, "", 1, 480, 43997, 1930, "1.995"));
    EXPECT_EQ(RunZeblo({"info", "--rate", "44100", example}).out, standard.out);
}

TEST_F(InfoTest, PrintsTheTitleAsItsRawBytes) {
    const std::string title = "\x83\x5a\x83\x8b\x83\x5e \xe6\x97\xa5 \xe9";
    SmfBuilder smf(1, 96);
    smf.AddTrack().TrackName(0, title).Tempo(0, 1000000).EndOfTrack(96);
    smf.AddTrack().TrackName(0, "not the title").NoteOn(0, 0, 60, 100).EndOfTrack(96);
    const std::string path = dir.File("titled.mid");
    ASSERT_TRUE(smf.WriteFile(path));
    // Division 96: one tick a step, 153 samples at the first 180 beats per minute, then 459 at 60.
    // The last end of track is handled in tick 97 (step 97); step 98 ends the song.
    const Outcome o = RunZeblo({"info", path});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, InfoBlock(path, title, 2, 96, 153 + 97 * 459, 98, "1.013"));
}

TEST_F(InfoTest, ReportsUnusableFilesAndGoesOn) {
    const std::string empty = dir.File("no-tracks.mid");
    ASSERT_TRUE(SmfBuilder().WriteFile(empty));
    const std::string riff = dir.File("riff.mid");
    ASSERT_TRUE(SmfBuilder(test::MeasureExampleSong()).HeaderId("RIFF").WriteFile(riff));
    const std::string missing = dir.File("missing.mid");

    const Outcome o = RunZeblo({"info", empty, example, riff, missing, example});
    EXPECT_EQ(o.status, 1);
    const std::string block = InfoBlock(example, "", 1, 480, 87939, 1926, "1.994");
    EXPECT_EQ(o.out, block + block);
    EXPECT_EQ(o.err, empty + ": Unknown files. can't playing.\n" + riff +
                         ": Unknown files. can't playing.\n" + missing +
                         ": Unknown files. can't playing.\n");
}

TEST(Cli, RefusesAWrongCommandLine) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"nonsense"},
        {"info"},
        {"info", "--rate", "96000", "song.mid"},
        {"info", "--rate"},
        {"info", "--loud", "song.mid"},
    };
    for (const auto& words : wrong) {
        const Outcome o = RunZeblo(words);
        EXPECT_EQ(o.status, 2) << (words.empty() ? "" : words.back());
        EXPECT_NE(o.err, "");
        EXPECT_EQ(o.out, "");
    }
}

TEST(Cli, HelpDocumentsEveryCommandAndOption) {
    const Outcome help = RunZeblo({"--help"});
    EXPECT_EQ(help.status, 0);
    ASSERT_FALSE(CliCommands().empty());
    for (const CliCommand& command : CliCommands()) {
        EXPECT_NE(help.out.find("zeblo-cli " + std::string(command.name)), std::string::npos);
        EXPECT_NE(help.out.find(std::string(command.summary)), std::string::npos);
        const Outcome own = RunZeblo({std::string(command.name), "--help"});
        EXPECT_EQ(own.status, 0);
        for (const CliOption& option : command.options) {
            EXPECT_NE(help.out.find(std::string(option.name)), std::string::npos);
            EXPECT_NE(help.out.find(std::string(option.help)), std::string::npos);
            EXPECT_NE(own.out.find(std::string(option.help)), std::string::npos);
        }
    }
    EXPECT_NE(help.out.find("--rate HZ"), std::string::npos);
}

TEST(Cli, ParsesOptionsAnywhereUntilTheDoubleDash) {
    static const CliOption options[] = {{"--rate", "HZ", ""}, {"--quiet", "", ""}};
    const CliCommand command{"test", "FILE...", "", options, nullptr};
    const std::vector<std::string> words = {"a",       "--rate", "22050",  "b",
                                            "--quiet", "--",     "--rate", "c"};
    CliArgs args;
    std::string error;
    ASSERT_TRUE(ParseCliArgs(command, words, args, error)) << error;
    EXPECT_EQ(args.positional, (std::vector<std::string>{"a", "b", "--rate", "c"}));
    EXPECT_EQ(args.Get("--rate"), "22050");
    EXPECT_TRUE(args.Has("--quiet"));

    CliArgs flagged;
    EXPECT_FALSE(ParseCliArgs(command, std::vector<std::string>{"--quiet=1"}, flagged, error));
    int32_t rate = 0;
    EXPECT_TRUE(ParseSampleRate(CliArgs{}, rate, error));
    EXPECT_EQ(rate, 44100);
}

// The built program: main hands the status through.
TEST_F(InfoTest, TheProgramExitsWithTheCommandsStatus) {
    const std::string out = dir.File("out.txt");
    std::ostringstream command;
    command << "'" << ZEBLO_CLI_PATH << "' info '" << example << "' '" << dir.File("missing.mid")
            << "' > '" << out << "' 2>/dev/null";
    const int raw = std::system(command.str().c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    std::ifstream file(out);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(), InfoBlock(example, "", 1, 480, 87939, 1926, "1.994"));
}

}  // namespace
}  // namespace zeblo
