// Two real players: copies of the program, each in its own folder with its own preferences file,
// sharing one runtime folder. The first one records the messages its view receives in the file
// that ZEBLO_HANDOFF_LOG names.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>

#include "SmfWriter.h"
#include "settings/SettingsRecord.h"
#include "support/Processes.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

bool WaitUntil(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) QThread::msleep(20);
    return done();
}

class TwoPlayers : public ::testing::Test {
protected:
    void SetUp() override {
        ZEBLO_SKIP_UNDER_TSAN(kQProcessUnderTsan);
        ASSERT_EQ(mkdir(dir.File("run").c_str(), 0700), 0);
    }
    void TearDown() override {
        for (QProcess* p : started) {
            p->kill();
            p->waitForFinished(5000);
            delete p;
        }
    }

    // A copy of the program in its own folder; with `settled` a preferences file that asks
    // nothing at start, without it none at all (the first start would ask).
    std::string Install(const std::string& name, bool settled,
                        const char* binary = ZEBLO_PLAYER_BINARY) {
        const std::filesystem::path folder = dir.Path() / name;
        std::filesystem::create_directory(folder);
        std::filesystem::copy_file(binary, folder / "zeblo");
        SettingsRecord record = DefaultSettings();
        record.startCounter = 5;
        if (settled)
            test::WriteFile((folder / "ZEBLOPreferences.bin").string(), test::BytesOf(record));
        return (folder / "zeblo").string();
    }

    std::string Log(const std::string& name) const {
        return test::ReadFile(dir.File(name + ".log"));
    }

    // `sound` adds to the environment every player gets: the dummy audio driver.
    QProcess* Launch(const std::string& program, const std::string& log, QStringList args,
                     const QProcessEnvironment& sound = {}) {
        auto* p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.File("run")));
        env.insert("ZEBLO_HANDOFF_LOG", QString::fromStdString(dir.File(log + ".log")));
        env.insert(sound);
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QString::fromStdString(program), args);
        started.push_back(p);
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }

    // A first instance has taken its place once its socket exists; a later start before that
    // could take the place itself.
    QProcess* LaunchFirst(const std::string& program, const std::string& log, QStringList args) {
        QProcess* p = Launch(program, log, args);
        const std::filesystem::path socket = dir.Path() / "run" /
                                             ("zeblo-" + std::to_string(geteuid())) /
                                             "ZEBLO SHARED MEMORY V101";
        EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(socket); }));
        return p;
    }

    // A later instance must end by itself, quickly and successfully.
    void RunLater(const std::string& program, QStringList args) {
        QProcess* p = Launch(program, "later", args);
        ASSERT_TRUE(p->waitForFinished(10000)) << "the later instance did not end";
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
    }

    test::TempDir dir;
    std::vector<QProcess*> started;
};

TEST_F(TwoPlayers, LaterStartsHandOverTheirFileAndAKilledFirstIsReplaced) {
    const std::string launcher = dir.File("player.desktop");
    test::WriteFile(launcher, "[Desktop Entry]\nType=Application\nExec=zeblo\n");
    const std::string program = Install("first", true);
    // No preferences beside it: had it loaded settings, it would wait on the boxes.
    const std::string later = Install("later", false);
    QProcess* first = LaunchFirst(program, "first", {QString::fromStdString(launcher)});

    RunLater(later, {"songs/new.mid"});
    RunLater(later, {QString::fromStdString(launcher)});  // played by neither instance
    RunLater(later, {});
    const std::string relative = (std::filesystem::current_path() / "songs/new.mid").string();
    EXPECT_EQ(Log("first"), "1802\n1801 " + relative + "\n1802\n1801 \n");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "later" / "ZEBLOPreferences.bin"));
    EXPECT_EQ(Log("later"), "");
    EXPECT_EQ(first->state(), QProcess::Running);

    first->kill();
    ASSERT_TRUE(first->waitForFinished(5000));
    QProcess* next = Launch(program, "next", {"/songs/two.mid"});
    ASSERT_TRUE(WaitUntil([&] { return Log("next") == "1803 /songs/two.mid\n"; }))
        << "the next start did not take over and play its own file: " << Log("next");
    RunLater(later, {"/songs/three.mid"});
    EXPECT_EQ(Log("next"), "1803 /songs/two.mid\n1802\n1801 /songs/three.mid\n");
    EXPECT_EQ(next->state(), QProcess::Running);
}

TEST_F(TwoPlayers, EightStartsAtOnceLeaveOnePlayerThatGetsEveryFile) {
    tools::SmfBuilder smf(1, 480);
    smf.AddTrack().Tempo(0, 500000).NoteOn(0, 0, 60, 100).NoteOff(960, 0, 60).EndOfTrack(0);
    const std::string program = Install("player", true);
    std::vector<QProcess*> players;
    std::multiset<std::string> songs;
    for (int i = 0; i < 8; ++i) {
        songs.insert(dir.File("song" + std::to_string(i) + ".mid"));
        ASSERT_TRUE(smf.WriteFile(dir.File("song" + std::to_string(i) + ".mid")));
    }
    for (const std::string& song : songs)
        players.push_back(Launch(program, "all", {QString::fromStdString(song)}));
    const auto ended = [&] {  // without an event loop only a wait notices an end
        return std::count_if(players.begin(), players.end(), [](QProcess* p) {
            return p->state() == QProcess::NotRunning || p->waitForFinished(0);
        });
    };
    ASSERT_TRUE(WaitUntil([&] { return ended() == 7; }, 60000)) << ended() << " ended";
    QThread::msleep(300);
    ASSERT_EQ(ended(), 7);
    std::multiset<std::string> played;
    for (QProcess* p : players) {
        if (p->state() != QProcess::NotRunning) {
            EXPECT_EQ(Log("all").substr(0, 5), "1803 ") << "the player did not play its own file";
            continue;
        }
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
    }
    // Its own file first, then a stop and a play for each of the seven handed over.
    std::istringstream lines(Log("all"));
    std::string message, path;
    int stops = 0;
    while (lines >> message) {
        if (message == "1802")
            ++stops;
        else if (lines >> path)
            played.insert(path);
    }
    EXPECT_EQ(stops, 7);
    EXPECT_EQ(played, songs) << Log("all");
}

// Frames of the raw 16-bit stereo file SDL's disk driver writes in which a channel is not zero.
int SoundingFrames(const std::string& deviceFile) {
    const std::string bytes = test::ReadFile(deviceFile);
    int sounding = 0;
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4)
        sounding += (bytes[i] | bytes[i + 1] | bytes[i + 2] | bytes[i + 3]) != 0;
    return sounding;
}

TEST_F(TwoPlayers, TheSongOnTheCommandLinePlaysOnceTheWindowIsUpAndAMenuLaunchLeavesItPlaying) {
    tools::SmfBuilder smf(1, 480);  // eight half-second notes from the first tick
    smf.AddTrack().Tempo(0, 500000).EndOfTrack(3840);
    tools::TrackBuilder& notes = smf.AddTrack();
    for (int i = 0; i < 8; ++i) notes.NoteOn(0, 0, 60 + i, 110).NoteOff(480, 0, 60 + i);
    notes.EndOfTrack(0);
    const std::string song = dir.File("start.mid");
    ASSERT_TRUE(smf.WriteFile(song));
    const std::string device = dir.File("device.raw");
    QProcessEnvironment sound;
    sound.insert("SDL_AUDIODRIVER", "disk");
    sound.insert("SDL_DISKAUDIOFILE", QString::fromStdString(device));
    QProcess* player =
        Launch(Install("player", true), "player", {QString::fromStdString(song)}, sound);

    // Half a second of sound at the default 44100 Hz.
    EXPECT_TRUE(WaitUntil(
        [&] { return SoundingFrames(device) >= 22050 || player->state() != QProcess::Running; },
        15000));
    EXPECT_GE(SoundingFrames(device), 22050) << Log("player");
    // A menu launch (no file) while it plays raises the window; the device stream keeps growing.
    RunLater(Install("later", false), {});
    EXPECT_TRUE(Log("player").ends_with("1802\n1801 \n")) << Log("player");
    const int heard = SoundingFrames(device);
    EXPECT_TRUE(WaitUntil([&] { return SoundingFrames(device) >= heard + 22050; }, 15000));
}

// Processor time used so far (user and system), from /proc/PID/stat fields 14 and 15.
qint64 CpuMilliseconds(qint64 pid) {
    const std::string stat = test::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    std::string skipped;
    for (int field = 3; field < 14; ++field) fields >> skipped;
    long user = 0, system = 0;
    fields >> user >> system;
    return (user + system) * 1000 / sysconf(_SC_CLK_TCK);
}

// SIGTERM, SIGINT and SIGHUP end the window program from every state it can be in: within two
// seconds, successfully, with the preferences saved and no partial WAV beside the song. The
// program runs with a hand that takes it into the state (tests/ui/SignalRig.cpp) and SDL's disk
// driver as the sound card.
TEST_F(TwoPlayers, TerminationSignalsEndThePlayerFromEveryState) {
    const struct {
        const char* name;
        bool song;      // on the command line
        bool settled;   // a preferences file that asks nothing at start
        bool longRing;  // long blocks and a full ring: a start prebuffers for a while
    } states[] = {
        {"idle", false, true, false},        {"playing", true, true, false},
        {"paused", true, true, false},       {"prebuffering", true, true, true},
        {"authoring", true, true, false},    {"welcome", false, false, false},
        {"preferences", false, true, false}, {"switching", false, true, false},
    };
    const std::string program = Install("rig", false, ZEBLO_SIGNAL_RIG);
    const std::string preferences = dir.File("rig/ZEBLOPreferences.bin");
    const std::string song = dir.File("songs/long.mid"), ready = dir.File("ready");
    ASSERT_TRUE(std::filesystem::create_directory(dir.Path() / "songs"));
    ASSERT_TRUE(test::DenseSong({.seconds = 600}).WriteFile(song));
    QProcessEnvironment hand;  // the recent songs go to the test's folder too
    hand.insert("SDL_AUDIODRIVER", "disk");
    hand.insert("SDL_DISKAUDIOFILE", QString::fromStdString(dir.File("dev")));
    hand.insert("XDG_STATE_HOME", QString::fromStdString(dir.File("state")));
    hand.insert("ZEBLO_RIG_READY", QString::fromStdString(ready));
    for (const auto& state : states) {
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            SCOPED_TRACE(std::string(state.name) + " " + strsignal(signal));
            std::filesystem::remove(preferences);
            std::filesystem::remove(ready);
            SettingsRecord record = DefaultSettings();
            record.startCounter = 5;
            record.blockLength = state.longRing ? 60 : 1;  // tenths of a second
            record.blockCount = state.longRing ? 30 : 5;
            if (state.settled) test::WriteFile(preferences, test::BytesOf(record));
            hand.insert("ZEBLO_RIG_STATE", state.name);
            // The plain path renders a few times slower, so the prebuffering outlasts the time
            // the test takes to see it and signal.
            hand.insert("ZEBLO_RENDER_PATH", state.longRing ? "plain" : "auto");
            QProcess* p = Launch(
                program, "rig",
                state.song ? QStringList{QString::fromStdString(song)} : QStringList(), hand);
            ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(ready); }, 60000));
            // A box or dialog waits for its answer without using the processor.
            if (signal == SIGTERM && (!state.settled || state.name == std::string("preferences"))) {
                const qint64 before = CpuMilliseconds(p->processId());
                QThread::sleep(1);
                EXPECT_LE(CpuMilliseconds(p->processId()) - before, 100);
            }
            QElapsedTimer clock;
            clock.start();
            kill(static_cast<pid_t>(p->processId()), signal);
            ASSERT_TRUE(p->waitForFinished(30000));
            EXPECT_LE(clock.elapsed(), 2000);
            EXPECT_TRUE(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0);
            // Saved as a close saves: the start counted, or a first start's welcome unanswered.
            const std::string saved = test::ReadFile(preferences);
            ASSERT_EQ(saved.size(), sizeof record);
            std::memcpy(&record, saved.data(), sizeof record);
            EXPECT_STREQ(record.magic, kSettingsMagic);
            EXPECT_EQ(record.startCounter, state.settled ? 6 : 0);
            const auto songs = std::filesystem::directory_iterator(dir.Path() / "songs");
            EXPECT_EQ(std::distance(begin(songs), end(songs)), 1) << "a partial WAV was left";
            // A second was heard; or the start was still prebuffering and nothing was (the
            // device file begins again at each open).
            if (state.song) EXPECT_EQ(SoundingFrames(dir.File("dev")) == 0, state.longRing);
        }
    }
}

}  // namespace
}  // namespace zeblo
