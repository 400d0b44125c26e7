// zeblo-cli render run as the separate program it is, each render in a process of its own. What
// the renders sound like is the golden table's business; here: where they go and what is said.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "cli/RenderCommand.h"
#include "support/CliProcess.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using test::ReadFile;
using test::RunCli;

// Each song renders beside itself, as if alone in a fresh process, with one summary line; a
// pipe gets the very bytes of the file; -q says nothing.
TEST(RenderCommand, SongsRenderAsIfAloneBesideThemselvesOrIntoAPipe) {
    test::TempDir dir;
    const std::string one = dir.File("one.Mid"), two = dir.File("two.mid");
    ASSERT_TRUE(test::DenseSong({.seconds = 3, .melodicTracks = 3}).WriteFile(one));
    ASSERT_TRUE(test::DenseSong({.seconds = 3, .melodicTracks = 5, .seed = 8}).WriteFile(two));
    for (const std::string engine : {"wavetable", "fm"}) {
        const test::CliRun both = RunCli(dir, {"render", "--engine", engine, one, two});
        ASSERT_EQ(both.status, 0) << both.err;
        EXPECT_EQ(both.out.rfind(dir.File("one.WAV") + ": 2.985 s of audio in ", 0), 0u);
        EXPECT_EQ(std::count(both.out.begin(), both.out.end(), '\n'), 2);
        const test::CliRun alone = RunCli(dir, {"render", "--engine", engine, "-o", "-", two});
        ASSERT_EQ(alone.status, 0) << alone.err;
        EXPECT_TRUE(alone.out == ReadFile(dir.File("two.WAV"))) << engine;
        EXPECT_EQ(alone.err.rfind("(standard output): ", 0), 0u) << alone.err;
        const test::CliRun quiet =
            RunCli(dir, {"render", "-q", "--engine", engine, "-o", dir.File("q.wav"), one});
        EXPECT_EQ(quiet.out + quiet.err, "");
        EXPECT_TRUE(ReadFile(dir.File("q.wav")) == ReadFile(dir.File("one.WAV"))) << engine;
    }
}

// No run writes over one of its songs or an output of its own, whatever the names; a refused
// or failed song leaves every file as it was and the next song still renders.
TEST(RenderCommand, FailuresSayWhyLeaveEveryFileAsItWasAndTheNextSongStillRenders) {
    test::TempDir dir;
    const std::string broken = dir.File("broken.mid"), song = dir.File("good.mid"),
                      wav = dir.File("song.WAV"), link = dir.File("link.WAV"),
                      silent = dir.File("silent.mid");
    ASSERT_TRUE(tools::SmfBuilder::WriteBytes(broken, {'M', 'T', 'h', 'x', 1, 2}));
    ASSERT_TRUE(test::DenseSong({.seconds = 2, .melodicTracks = 2}).WriteFile(song));
    ASSERT_TRUE(test::DenseSong({.seconds = 1, .melodicTracks = 1}).WriteFile(wav));
    ASSERT_TRUE(tools::SmfBuilder(1, 96).WriteFile(silent));
    ASSERT_EQ(symlink(song.c_str(), link.c_str()), 0);
    const std::string songBytes = ReadFile(song), wavBytes = ReadFile(wav);
    const struct {
        std::vector<std::string> words;
        std::string message;
    } rows[] = {
        {{"render", broken, song}, broken + ": Unknown files. can't playing."},
        {{"render", silent}, silent + ": Unknown files. can't playing."},
        {{"render", "-o", dir.File("no/such/x.wav"), song},
         "File open failed.\n" + song + ": " + dir.File("no/such/x.wav") + ": No such file"},
        {{"render", wav}, wav + " is the song " + wav + "; nothing written"},
        {{"render", "-o", link, song}, link + " is the song " + song},
        {{"render", song, dir.Path().string() + "//good.mid"}, "is already the output of " + song},
        {{"render", dir.File("tune.rcp")},
         dir.File("tune.rcp") + ": librcpcv.so was failed at converting."},
    };
    for (const auto& row : rows) {
        const test::CliRun run = RunCli(dir, row.words);
        EXPECT_EQ(run.status, 1) << row.message;
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
        EXPECT_TRUE(ReadFile(song) == songBytes && ReadFile(wav) == wavBytes) << row.message;
    }
    for (const char* name : {"broken.WAV", "tune.WAV", "silent.WAV"})
        EXPECT_FALSE(std::filesystem::exists(dir.File(name))) << name;
    EXPECT_TRUE(std::filesystem::exists(dir.File("good.WAV")));
    // A link to an existing file is written through and stays a link.
    const std::string real = dir.File("real.wav"), viaLink = dir.File("via.wav");
    test::WriteFile(real, "old");
    ASSERT_EQ(symlink(real.c_str(), viaLink.c_str()), 0);
    ASSERT_EQ(RunCli(dir, {"render", "-q", "-o", viaLink, song}).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(viaLink));
    EXPECT_TRUE(ReadFile(real) == ReadFile(dir.File("good.WAV")));
}

// The file grows under a temporary name: whatever stops the run, the final name never holds a
// partial file; Ctrl-C, SIGTERM and a closed terminal stop every job of a batch, clean up and say
// so.
TEST(RenderCommand, AStoppedRenderLeavesNothingUnderTheFinalName) {
    test::TempDir dir;
    const std::string song = dir.File("long.mid"), other = dir.File("other.mid");
    ASSERT_TRUE(test::DenseSong({.seconds = 1800, .melodicTracks = 12}).WriteFile(song));
    ASSERT_TRUE(
        test::DenseSong({.seconds = 1800, .melodicTracks = 12, .seed = 3}).WriteFile(other));
    const std::string err = dir.File("stderr");
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
        const pid_t pid = fork();
        if (pid == 0) {
            if (!freopen(err.c_str(), "wb", stderr) || !freopen("/dev/null", "wb", stdout))
                _exit(120);
            execl(ZEBLO_CLI_PATH, ZEBLO_CLI_PATH, "render", "-j", "2", song.c_str(), other.c_str(),
                  static_cast<char*>(nullptr));
            _exit(121);
        }
        // Once the temporary file has grown past its header the render is under way.
        const auto growing = [&dir] {
            for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
                if (entry.path().extension() == ".part" && entry.file_size() > 44) return true;
            }
            return false;
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!growing() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_FALSE(std::filesystem::exists(dir.File("long.WAV")) ||
                     std::filesystem::exists(dir.File("other.WAV")))
            << signal;
        if (signal == SIGKILL) continue;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << signal;
        EXPECT_NE(ReadFile(err).find("Authoring was terminated."), std::string::npos) << signal;
        EXPECT_FALSE(growing()) << signal;
    }
}

TEST(RenderCommand, ProgressAndSummaryLines) {
    EXPECT_EQ(FormatRenderProgress(44100 * 30, 44100 * 60, 3, 12, 65.0, 44100),
              "[###############...............]  50%  3/12 songs  1:05  ETA 1:05  0.5x real time");
    EXPECT_EQ(FormatRenderProgress(500, 0, 0, 1, 0.0, 44100),
              "[##############################] 100%  0/1 songs  0:00  ETA 0:00  0.0x real time");
    EXPECT_EQ(FormatRenderProgress(0, 900, 0, 2, 1.0, 44100),
              "[..............................]   0%  0/2 songs  0:01  ETA -:--  0.0x real time");
    EXPECT_EQ(FormatRenderSummary("a.WAV", 44100 * 240, 44100, 0.48),
              "a.WAV: 240.000 s of audio in 0.48 s, 500.0x real time");
}

}  // namespace
}  // namespace zeblo
