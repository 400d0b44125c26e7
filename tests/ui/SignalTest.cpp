// SIGTERM, SIGINT and SIGHUP end the window program from every state it can be in: within two
// seconds, successfully, with the preferences saved and no partial WAV left. Each run is a real
// process (SignalRig.cpp: the program with a hand that takes it into the state), offscreen, with
// SDL's disk driver as the sound card.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "settings/SettingsRecord.h"
#include "support/Processes.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct State {
    const char* name;
    bool song;      // a song on the command line (else the hand drops it where it needs one)
    bool settled;   // a preferences file that asks nothing at start
    bool longRing;  // long blocks and a full ring: a start prebuffers for a while
};

constexpr State kStates[] = {
    {"idle", false, true, false},        {"playing", true, true, false},
    {"paused", true, true, false},       {"prebuffering", false, true, true},
    {"authoring", true, true, false},    {"welcome", false, false, false},
    {"preferences", false, true, false}, {"switching", false, true, false},
};
constexpr int32_t kStartCounter = 5;

// Processor time used so far (user and system), from /proc/PID/stat fields 14 and 15.
std::chrono::milliseconds CpuTime(pid_t pid) {
    const std::string stat = test::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    std::string skipped;
    for (int field = 3; field < 14; ++field) fields >> skipped;
    long user = 0, system = 0;
    fields >> user >> system;
    return std::chrono::milliseconds((user + system) * 1000 / sysconf(_SC_CLK_TCK));
}

// Frames of the raw 16-bit stereo device file in which a channel is not zero.
int SoundingFrames(const std::string& deviceFile) {
    const std::string bytes = test::ReadFile(deviceFile);
    int sounding = 0;
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4)
        sounding += (bytes[i] | bytes[i + 1] | bytes[i + 2] | bytes[i + 3]) != 0;
    return sounding;
}

class SignalRig {
public:
    SignalRig() {
        std::filesystem::create_directories(dir.Path() / "bin");
        std::filesystem::create_directories(dir.Path() / "songs");
        mkdir(dir.File("run").c_str(), 0700);
        std::filesystem::copy_file(ZEBLO_SIGNAL_RIG, program);
        EXPECT_TRUE(test::DenseSong({.seconds = 600}).WriteFile(song));
    }

    // Starts the program and waits until it has reached the state; -1 when it did not.
    pid_t Start(const State& state) {
        std::filesystem::remove(preferences);
        std::filesystem::remove(ready);
        std::filesystem::remove(device);
        if (state.settled) {
            SettingsRecord record = DefaultSettings();
            record.startCounter = kStartCounter;
            record.blockLength = state.longRing ? 60 : 1;
            record.blockCount = state.longRing ? 30 : 5;
            test::WriteFile(preferences, test::BytesOf(record));
        }
        const pid_t pid = fork();
        if (pid == 0) Exec(state);
        const auto deadline = Clock::now() + 60s;
        while (!std::filesystem::exists(ready) && Clock::now() < deadline &&
               waitpid(pid, nullptr, WNOHANG) == 0)
            std::this_thread::sleep_for(10ms);
        if (std::filesystem::exists(ready)) return pid;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }

    // Sends `signal` and waits for the end: the exit status (-1 unless it exited) and how long
    // the end took from the signal.
    std::pair<int, Clock::duration> End(pid_t pid, int signal) {
        const auto sent = Clock::now();
        kill(pid, signal);
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0 && Clock::now() - sent < 30s)
            std::this_thread::sleep_for(2ms);
        const Clock::duration took = Clock::now() - sent;
        if (took >= 30s) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, took};
    }

    test::TempDir dir;
    const std::string program = dir.File("bin/zeblo");
    const std::string preferences = dir.File("bin/ZEBLOPreferences.bin");
    const std::string song = dir.File("songs/long.mid");
    const std::string ready = dir.File("ready");
    const std::string device = dir.File("device.raw");

private:
    [[noreturn]] void Exec(const State& state) {
        const std::string log = dir.File(std::string(state.name) + ".log");
        if (!freopen(log.c_str(), "ab", stdout) || !freopen(log.c_str(), "ab", stderr)) _exit(120);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", device.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", dir.File("run").c_str(), 1);
        setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
        setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
        setenv("ZEBLO_RIG_STATE", state.name, 1);
        setenv("ZEBLO_RIG_READY", ready.c_str(), 1);
        setenv("ZEBLO_RIG_DROP", song.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        if (state.song) argv.push_back(const_cast<char*>(song.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(121);
    }
};

TEST(TerminationSignals, EndTheWindowProgramFromEveryState) {
    ZEBLO_SKIP_UNDER_TSAN();
    SignalRig rig;
    for (const State& state : kStates) {
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            SCOPED_TRACE(std::string(state.name) + " " + strsignal(signal));
            const pid_t pid = rig.Start(state);
            ASSERT_GT(pid, 0) << test::ReadFile(rig.dir.File(std::string(state.name) + ".log"));
            // A box or dialog waits for its answer without using the processor.
            if (signal == SIGTERM && (!state.settled || state.name == std::string("preferences"))) {
                const auto before = CpuTime(pid);
                std::this_thread::sleep_for(1s);
                EXPECT_LE(CpuTime(pid) - before, 100ms);
            }
            const auto [status, took] = rig.End(pid, signal);
            EXPECT_EQ(status, 0);
            EXPECT_LE(took, 2s);

            // Saved as a close saves: the start counted, or for a first start the welcome
            // left unanswered; and nothing but the song beside the song.
            const std::string saved = test::ReadFile(rig.preferences);
            SettingsRecord record{};
            ASSERT_EQ(saved.size(), sizeof record);
            std::memcpy(&record, saved.data(), sizeof record);
            EXPECT_STREQ(record.magic, kSettingsMagic);
            EXPECT_EQ(record.startCounter, state.settled ? kStartCounter + 1 : 0);
            const auto songs = std::filesystem::directory_iterator(rig.dir.Path() / "songs");
            EXPECT_EQ(std::distance(begin(songs), end(songs)), 1) << "a partial WAV was left";
            // The start was still prebuffering: nothing reached the device.
            if (state.longRing) EXPECT_EQ(SoundingFrames(rig.device), 0);
        }
    }
}

}  // namespace
}  // namespace zeblo
