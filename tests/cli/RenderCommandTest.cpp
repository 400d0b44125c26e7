// zeblo-cli render, run as the separate program it is (each render in a process of its own), and
// its option handling and formatting called directly.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/Cli.h"
#include "cli/RenderCommand.h"
#include "support/CliProcess.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

std::string DemoSong() {
    const char* root = std::getenv("ZEBLO_SOURCE_DIR");
    return std::string(root != nullptr ? root : ".") + "/resources/demo.mid";
}

uint32_t Le32(const std::string& b, std::size_t at) {
    const auto u = [&b](std::size_t i) {
        return static_cast<uint32_t>(static_cast<uint8_t>(b[i]));
    };
    return u(at) | (u(at + 1) << 8) | (u(at + 2) << 16) | (u(at + 3) << 24);
}

TEST(RenderCommand, DemoSongRendersIdenticallyInTwoProcessesWithBothEngines) {
    test::TempDir dir;
    for (const std::string engine : {"wavetable", "fm"}) {
        const std::string a = dir.File(engine + "-a.wav");
        const std::string b = dir.File(engine + "-b.wav");
        const test::CliRun first =
            test::RunCli(dir, {"render", "--engine", engine, "-o", a, DemoSong()});
        ASSERT_EQ(first.status, 0) << first.err;
        const test::CliRun second =
            test::RunCli(dir, {"render", "--engine", engine, "-o", b, DemoSong()});
        ASSERT_EQ(second.status, 0) << second.err;
        const std::string bytes = test::ReadFile(a);
        ASSERT_GT(bytes.size(), 44u + 44100u * 4 * 30);  // the demo plays for over half a minute
        EXPECT_TRUE(bytes == test::ReadFile(b)) << engine;
        EXPECT_EQ(Le32(bytes, 40), bytes.size() - 44);
        EXPECT_EQ(Le32(bytes, 24), 44100u);
        // Standard output carries the summary line and nothing else.
        EXPECT_EQ(first.out.rfind(a + ": ", 0), 0u) << first.out;
        EXPECT_NE(first.out.find(" s of audio in "), std::string::npos);
        EXPECT_EQ(std::count(first.out.begin(), first.out.end(), '\n'), 1);
    }
    EXPECT_FALSE(test::ReadFile(dir.File("wavetable-a.wav")) ==
                 test::ReadFile(dir.File("fm-a.wav")));
}

TEST(RenderCommand, DefaultNameIsBesideTheSongAndOptionsReachTheRender) {
    test::TempDir dir;
    const std::string song = dir.File("tune.Mid");
    ASSERT_TRUE(test::DenseSong({.seconds = 4, .melodicTracks = 3}).WriteFile(song));
    const test::CliRun plain = test::RunCli(dir, {"render", "-q", song});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, "");  // quiet
    const std::string base = test::ReadFile(dir.File("tune.WAV"));
    ASSERT_GT(base.size(), 44u);

    const test::CliRun shaped = test::RunCli(
        dir, {"render", "-q", "--mono", "--lowpass", "2000", "-r", "22050", "--instrument-set", "3",
              "--no-detune", "-o", dir.File("shaped.wav"), song});
    ASSERT_EQ(shaped.status, 0) << shaped.err;
    const std::string bytes = test::ReadFile(dir.File("shaped.wav"));
    EXPECT_EQ(Le32(bytes, 24), 22050u);
    EXPECT_EQ(Le32(bytes, 28), 88200u);
    // Mono: both halves of every frame agree.
    for (std::size_t i = 44; i + 4 <= bytes.size(); i += 4)
        ASSERT_EQ(bytes.compare(i, 2, bytes, i + 2, 2), 0) << i;
}

TEST(RenderCommand, StandardOutputStreamIsTheSameValidFile) {
    test::TempDir dir;
    const std::string song = dir.File("s.mid");
    ASSERT_TRUE(test::DenseSong({.seconds = 5, .melodicTracks = 4}).WriteFile(song));
    for (const std::string engine : {"wavetable", "fm"}) {
        const test::CliRun file =
            test::RunCli(dir, {"render", "--engine", engine, "-o", dir.File("f.wav"), song});
        ASSERT_EQ(file.status, 0) << file.err;
        const test::CliRun stream =
            test::RunCli(dir, {"render", "--engine", engine, "-o", "-", song});
        ASSERT_EQ(stream.status, 0) << stream.err;
        EXPECT_TRUE(stream.out == test::ReadFile(dir.File("f.wav"))) << engine;
        EXPECT_NE(stream.err.find("(standard output): "), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(dir.File("-")));
    }
}

TEST(RenderCommand, SeveralSongsRenderEachAsIfAlone) {
    test::TempDir dir;
    const std::string one = dir.File("one.mid");
    const std::string two = dir.File("two.mid");
    ASSERT_TRUE(test::DenseSong({.seconds = 4, .melodicTracks = 4, .seed = 3}).WriteFile(one));
    ASSERT_TRUE(test::DenseSong({.seconds = 3, .melodicTracks = 5, .seed = 8}).WriteFile(two));
    for (const std::string engine : {"wavetable", "fm"}) {
        const test::CliRun both = test::RunCli(dir, {"render", "--engine", engine, one, two});
        ASSERT_EQ(both.status, 0) << both.err;
        EXPECT_EQ(std::count(both.out.begin(), both.out.end(), '\n'), 2);
        const std::string together = test::ReadFile(dir.File("two.WAV"));
        ASSERT_EQ(test::RunCli(dir, {"render", "-q", "--engine", engine, two}).status, 0);
        EXPECT_TRUE(test::ReadFile(dir.File("two.WAV")) == together) << engine;
    }
}

TEST(RenderCommand, FailuresReportTheAuthoringMessageAndLeaveNoFile) {
    test::TempDir dir;
    const std::string broken = dir.File("broken.mid");
    ASSERT_TRUE(test::SmfBuilder::WriteBytes(broken, {'M', 'T', 'h', 'x', 1, 2}));
    const std::string song = dir.File("good.mid");
    ASSERT_TRUE(test::DenseSong({.seconds = 2, .melodicTracks = 2}).WriteFile(song));

    const test::CliRun unknown = test::RunCli(dir, {"render", broken, song});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find(broken + ": Unknown files. can't playing."), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("broken.WAV")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("good.WAV")));  // the next song still renders

    const test::CliRun folder =
        test::RunCli(dir, {"render", "-o", dir.File("no/such/x.wav"), song});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("File open failed."), std::string::npos);
    EXPECT_EQ(folder.out, "");

    // The converter beside zeblo-cli is found; a song that is not there fails to convert.
    const test::CliRun rcp = test::RunCli(dir, {"render", dir.File("tune.rcp")});
    EXPECT_EQ(rcp.status, 1);
    EXPECT_NE(rcp.err.find(dir.File("tune.rcp") + ": RCPCV.DLL was failed at converting."),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("tune.WAV")));
}

TEST(RenderCommand, InterruptStopsDeletesAndSaysSo) {
    test::TempDir dir;
    const std::string song = dir.File("long.mid");
    ASSERT_TRUE(test::DenseSong({.seconds = 1800, .melodicTracks = 12}).WriteFile(song));
    const std::string err = dir.File("stderr");
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(err.c_str(), "wb", stderr) || !freopen("/dev/null", "wb", stdout)) _exit(120);
        execl(ZEBLO_CLI_PATH, ZEBLO_CLI_PATH, "render", song.c_str(), static_cast<char*>(nullptr));
        _exit(121);
    }
    // Once the file exists the render is under way.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(dir.File("long.WAV")) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(test::ReadFile(err).find("Authoring was terminated."), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("long.WAV")));
}

TEST(RenderCommand, WrongCommandLinesAreUsageErrors) {
    const auto status = [](std::vector<std::string> words) {
        words.insert(words.begin(), "zeblo-cli");
        std::ostringstream out, err;
        return RunCli(words, out, err);
    };
    EXPECT_EQ(status({"render"}), kExitUsage);
    EXPECT_EQ(status({"render", "--engine", "opl", "a.mid"}), kExitUsage);
    EXPECT_EQ(status({"render", "-r", "32000", "a.mid"}), kExitUsage);
    EXPECT_EQ(status({"render", "--instrument-set", "8", "a.mid"}), kExitUsage);
    EXPECT_EQ(status({"render", "--lowpass", "loud", "a.mid"}), kExitUsage);
    EXPECT_EQ(status({"render", "-o", "x.wav", "a.mid", "b.mid"}), kExitUsage);
    EXPECT_EQ(status({"render", "-x", "a.mid"}), kExitUsage);
    EXPECT_EQ(status({"render", "-o"}), kExitUsage);
}

TEST(RenderCommand, ProgressAndSummaryLines) {
    EXPECT_EQ(FormatRenderProgress(44100 * 30, 44100 * 60, 65.0, 44100),
              "[###############...............]  50%  1:05  0.5x real time");
    EXPECT_EQ(FormatRenderProgress(500, 0, 0.0, 44100),
              "[##############################] 100%  0:00  0.0x real time");
    EXPECT_EQ(FormatRenderSummary("a.WAV", 44100 * 240, 44100, 0.48),
              "a.WAV: 240.000 s of audio in 0.48 s, 500.0x real time");
}

}  // namespace
}  // namespace zeblo
