// `zeblo-cli play`: its failures; its options are the option parser's. What a play hands the device
// is frozen by the golden table.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>

#include "cli/PlayCommand.h"
#include "support/Processes.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

std::pair<int, std::string> Play(std::vector<std::string> words) {
    words.insert(words.begin(), {"zeblo-cli", "play"});
    std::ostringstream out, err;
    const int status = RunCli(words, out, err);
    return {status, err.str()};
}

TEST(PlayCommand, FailuresExitWithTheirStatusAndMessage) {
    test::TempDir dir;
    const std::string song =
        std::string(std::getenv("ZEBLO_SOURCE_DIR") ?: ".") + "/tests/data/short.mid";
    std::ofstream(dir.File("junk.mid")) << "MThd but not really";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    auto [status, err] = Play({"--once", song});
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("Wave-device open failed."), std::string::npos) << err;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", dir.File("device.raw").c_str(), 1);
    std::tie(status, err) = Play({"--once", dir.File("junk.mid")});
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("Unknown files. can't playing."), std::string::npos) << err;
}

// Keys reach the player through a pseudo-terminal: Right seeks ahead, n goes on to the next song,
// q quits; the status line fits the terminal and the terminal's mode comes back.
TEST(PlayCommand, KeysOnATerminalSeekSkipAndQuitAndTheTerminalIsRestored) {
    ZEBLO_SKIP_UNDER_TSAN("its waits are timed for a player without the sanitizer");
    const std::string data = std::string(std::getenv("ZEBLO_SOURCE_DIR") ?: ".") + "/tests/data/";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    winsize size{.ws_row = 24, .ws_col = 60};
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, &size);
    if (pid == 0) {
        execl(ZEBLO_CLI_PATH, ZEBLO_CLI_PATH, "play", (data + "dense.mid").c_str(),
              (data + "short.mid").c_str(), static_cast<char*>(nullptr));
        _exit(121);
    }
    termios before{};
    ASSERT_EQ(tcgetattr(terminal, &before), 0);
    std::string screen;
    const auto pump = [&](std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        char bytes[4096];
        pollfd wait{terminal, POLLIN, 0};
        while (std::chrono::steady_clock::now() < end) {
            if (poll(&wait, 1, 20) <= 0) continue;
            const ssize_t count = read(terminal, bytes, sizeof bytes);
            if (count <= 0) return;
            screen.append(bytes, static_cast<std::size_t>(count));
        }
    };
    const std::pair<std::string, std::string> rows[] = {
        {"", "benchm  0:00 / 4:00"},
        {"\x1b[C", "benchm  0:1"},
        {"n", "Short  0:00 / 0:00"},
    };
    for (const auto& [keys, shown] : rows) {
        pump(std::chrono::milliseconds(700));
        if (!keys.empty())
            ASSERT_EQ(write(terminal, keys.data(), keys.size()), ssize_t(keys.size()));
        pump(std::chrono::milliseconds(700));
        EXPECT_NE(screen.find(shown), std::string::npos) << keys << screen;
    }
    termios during{};
    ASSERT_EQ(tcgetattr(terminal, &during), 0);
    EXPECT_EQ(during.c_lflag & ECHO, 0u);
    ASSERT_EQ(write(terminal, "q", 1), 1);
    pump(std::chrono::milliseconds(500));
    termios after{};
    ASSERT_EQ(tcgetattr(terminal, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::istringstream lines(screen);
    for (std::string line; std::getline(lines, line, '\r');) {
        const std::size_t end = line.find("\x1b[K");
        if (end != std::string::npos) EXPECT_LE(end, 59u) << line;
    }
    close(terminal);
}

// A sound card that fails under playback (SDL's disk driver past the file size limit reports the
// device removed): the song stops with the device message, and the next song opens it again.
TEST(PlayCommand, ADeviceThatFailsStopsTheSongAndTheNextOneOpensItAgain) {
    const std::string data = std::string(std::getenv("ZEBLO_SOURCE_DIR") ?: ".") + "/tests/data/";
    test::TempDir dir;
    const std::string device = dir.File("device.raw"), err = dir.File("stderr");
    constexpr rlim_t kDeviceBytes = 2 * 176400;  // two seconds
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit limit{kDeviceBytes, kDeviceBytes};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", device.c_str(), 1);
        if (!freopen(err.c_str(), "wb", stderr)) _exit(120);
        alarm(60);  // a player that hangs on the lost device fails instead of holding up the suite
        execl(ZEBLO_CLI_PATH, ZEBLO_CLI_PATH, "play", "-q", "--blocks", "5", "--block-length", "1",
              (data + "dense.mid").c_str(), (data + "short.mid").c_str(),
              static_cast<char*>(nullptr));
        _exit(121);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string messages = test::ReadFile(err);
    const std::size_t lost = messages.find("Wave-device open failed.");
    EXPECT_NE(lost, std::string::npos) << messages;
    EXPECT_EQ(messages.find("Wave-device open failed.", lost + 1), std::string::npos) << messages;
    // The second song's own open began the file again, and it was heard.
    const std::string heard = test::ReadFile(device);
    EXPECT_LT(heard.size(), kDeviceBytes);
    EXPECT_NE(heard.find_first_not_of('\0'), std::string::npos);
}

}  // namespace
}  // namespace zeblo
