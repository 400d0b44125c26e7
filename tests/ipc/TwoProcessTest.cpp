// Two real players: copies of the program, each in its own folder with its own preferences file,
// sharing one runtime folder. The first one records the messages its view receives in the file
// that ZEBLO_HANDOFF_LOG names.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <cstring>
#include <filesystem>
#include <string>

#include "settings/SettingsRecord.h"
#include "settings/TempFolder.h"
#include "support/SmfBuilder.h"

namespace zeblo {
namespace {

using testing::TempFolder;

constexpr int kQuickExitMs = 10000;

class TwoPlayers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(chmod(folder.path().c_str(), 0700), 0);
        std::filesystem::create_directory(folder.path() / "run");
        ASSERT_EQ(chmod((folder.path() / "run").c_str(), 0700), 0);
    }
    void TearDown() override {
        for (QProcess* p : started_) {
            p->kill();
            p->waitForFinished(5000);
            delete p;
        }
    }

    // A copy of the program in its own folder; with `settled` a preferences file that asks
    // nothing at start, without it none at all (the first start would ask).
    std::string Install(const std::string& name, bool settled) {
        const std::filesystem::path dir = folder.path() / name;
        std::filesystem::create_directory(dir);
        std::filesystem::copy_file(ZEBLO_PLAYER_BINARY, dir / "zeblo");
        if (settled) {
            SettingsRecord record = DefaultSettings();
            record.startCounter = 5;
            testing::WriteBytes((dir / "ZEBLOPreferences.bin").string(), &record, sizeof record);
        }
        return (dir / "zeblo").string();
    }

    std::string Log(const std::string& name) const { return folder.File(name + ".log"); }

    // `extra` adds to (or overrides) the environment every player gets.
    QProcess* Launch(const std::string& program, const std::string& log, QStringList args,
                     const QProcessEnvironment& extra = {}) {
        auto* p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(folder.File("run")));
        env.insert("ZEBLO_HANDOFF_LOG", QString::fromStdString(log));
        env.insert(extra);
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QString::fromStdString(program), args);
        started_.push_back(p);
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }

    // A first instance has taken its place once its socket exists; a later start before that
    // could take the place itself.
    bool WaitUntilListening(int ms = 10000) const {
        const std::filesystem::path socket = folder.path() / "run" /
                                             ("zeblo-" + std::to_string(geteuid())) /
                                             "ZEBLO SHARED MEMORY V101";
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            if (std::filesystem::exists(socket)) return true;
            QThread::msleep(20);
        }
        return false;
    }

    QProcess* LaunchFirst(const std::string& program, const std::string& log, QStringList args) {
        QProcess* p = Launch(program, log, args);
        EXPECT_TRUE(WaitUntilListening());
        return p;
    }

    // Starts a later instance and expects it to end by itself, quickly and successfully.
    void RunLater(const std::string& program, QStringList args) {
        QProcess* p = Launch(program, Log("later"), args);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(p->waitForFinished(kQuickExitMs)) << "the later instance did not end";
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
    }

    static std::string Read(const std::string& path) {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }

    // Waits for the log to hold `text`.
    static bool WaitFor(const std::string& log, const std::string& text, int ms = 10000) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            if (Read(log) == text) return true;
            QThread::msleep(20);
        }
        return false;
    }

    TempFolder folder;
    std::vector<QProcess*> started_;
};

TEST_F(TwoPlayers, ALaterStartHandsItsFileOverAndEndsWithoutAWindow) {
    const std::string first = Install("first", true);
    // No preferences beside it: had it loaded settings, it would wait on the boxes.
    const std::string later = Install("later", false);
    QProcess* running = LaunchFirst(first, Log("first"), {});

    RunLater(later, {"songs/new.mid"});
    const std::string expected =
        "1802\n1801 " + (std::filesystem::current_path() / "songs/new.mid").string() + "\n";
    EXPECT_EQ(Read(Log("first")), expected);

    RunLater(later, {});
    EXPECT_EQ(Read(Log("first")), expected + "1802\n1801 \n");

    EXPECT_FALSE(std::filesystem::exists(folder.path() / "later" / "ZEBLOPreferences.bin"));
    EXPECT_EQ(Read(Log("later")), "");
    EXPECT_EQ(running->state(), QProcess::Running);
}

TEST_F(TwoPlayers, LaunchersArePlayedByNeitherInstance) {
    const std::string launcher = folder.File("player.desktop");
    const std::string text = "[Desktop Entry]\nType=Application\nExec=zeblo\n";
    testing::WriteBytes(launcher, text.data(), text.size());
    const std::string program = Install("player", true);

    LaunchFirst(program, Log("first"), {QString::fromStdString(launcher)});
    RunLater(program, {QString::fromStdString(launcher)});
    RunLater(program, {"/songs/after.mid"});
    // The launcher played nothing: only the later song reached the view.
    EXPECT_EQ(Read(Log("first")), "1802\n1801 /songs/after.mid\n");
}

TEST_F(TwoPlayers, TheFirstInstancePlaysItsOwnCommandLineFile) {
    const std::string program = Install("player", true);
    Launch(program, Log("first"), {"/songs/start.mid"});
    EXPECT_TRUE(WaitFor(Log("first"), "1803 /songs/start.mid\n")) << Read(Log("first"));
}

TEST_F(TwoPlayers, AKilledFirstInstanceIsReplacedByTheNextStart) {
    const std::string program = Install("player", true);
    QProcess* victim = LaunchFirst(program, Log("victim"), {});
    RunLater(program, {"/songs/one.mid"});
    ASSERT_EQ(Read(Log("victim")), "1802\n1801 /songs/one.mid\n");
    victim->kill();
    ASSERT_TRUE(victim->waitForFinished(5000));

    QProcess* next = Launch(program, Log("next"), {"/songs/two.mid"});
    ASSERT_TRUE(WaitFor(Log("next"), "1803 /songs/two.mid\n"))
        << "the next start did not take over";
    RunLater(program, {"/songs/three.mid"});
    EXPECT_EQ(Read(Log("next")), "1803 /songs/two.mid\n1802\n1801 /songs/three.mid\n");
    EXPECT_EQ(next->state(), QProcess::Running);
    EXPECT_EQ(Read(Log("victim")), "1802\n1801 /songs/one.mid\n");
}

// Frames of the raw 16-bit stereo file SDL's disk driver writes in which a channel is not zero.
int SoundingFrames(const std::string& deviceFile) {
    const std::vector<unsigned char> bytes = testing::ReadBytes(deviceFile);
    int sounding = 0;
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4)
        sounding += (bytes[i] | bytes[i + 1] | bytes[i + 2] | bytes[i + 3]) != 0;
    return sounding;
}

TEST_F(TwoPlayers, TheSongOnTheCommandLinePlaysOnceTheWindowIsUp) {
    const std::string program = Install("player", true);
    // Eight half-second notes from the first tick.
    test::SmfBuilder smf(1, 480);
    smf.AddTrack().Tempo(0, 500000).EndOfTrack(3840);
    test::TrackBuilder& notes = smf.AddTrack();
    for (int i = 0; i < 8; ++i) notes.NoteOn(0, 0, 60 + i, 110).NoteOff(480, 0, 60 + i);
    notes.EndOfTrack(0);
    const std::string song = folder.File("start.mid");
    ASSERT_TRUE(smf.WriteFile(song));
    const std::string deviceFile = folder.File("device.raw");
    QProcessEnvironment sound;
    sound.insert("SDL_AUDIODRIVER", "disk");
    sound.insert("SDL_DISKAUDIOFILE", QString::fromStdString(deviceFile));
    QProcess* player = Launch(program, Log("player"), {QString::fromStdString(song)}, sound);

    // Half a second of sound at the default 44100 Hz.
    QElapsedTimer clock;
    clock.start();
    while (SoundingFrames(deviceFile) < 22050 && clock.elapsed() < 15000 &&
           player->state() == QProcess::Running)
        QThread::msleep(50);
    EXPECT_GE(SoundingFrames(deviceFile), 22050) << Read(Log("player"));
    EXPECT_EQ(player->state(), QProcess::Running);

    // SIGTERM ends the player as closing its window does.
    player->terminate();
    ASSERT_TRUE(player->waitForFinished(5000));
    EXPECT_EQ(player->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player->exitCode(), 0);
}

}  // namespace
}  // namespace zeblo
