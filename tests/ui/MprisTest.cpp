// The window's media controls on a private session bus: a client drives the offscreen player with
// SDL's disk driver as the sound card, as a desktop's media keys and playerctl would.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusPendingReply>
#include <QKeyEvent>
#include <QProcess>
#include <QUrl>
#include <thread>

#include "SmfWriter.h"
#include "WindowRig.h"
#include "support/Processes.h"
#include "ui/Keyboard.h"
#include "ui/Mpris.h"

namespace zeblo {

// Collects the PropertiesChanged signals the client sees.
class PropertyLog : public QObject {
    Q_OBJECT
public:
    QStringList statuses;
    QStringList titles;
public Q_SLOTS:
    void Changed(const QString&, const QVariantMap& changed, const QStringList&) {
        if (changed.contains("PlaybackStatus")) statuses << changed["PlaybackStatus"].toString();
        if (changed.contains("Metadata"))
            titles << qdbus_cast<QVariantMap>(changed["Metadata"])["xesam:title"].toString();
    }
};

namespace {

using namespace std::chrono_literals;

using test::Pump;

// A bus of the test's own, ended with it.
struct PrivateBus {
    PrivateBus() {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        daemon.waitForReadyRead(5000);
        address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus("zeblo-service");
        QDBusConnection::disconnectFromBus("zeblo-client");
        daemon.kill();
        daemon.waitForFinished();
    }
    QProcess daemon;
    QString address;
};

// The window without authoring, and a song of four silent seconds, then four of notes, titled in
// Shift-JIS ("テスト曲").
struct Desktop : test::WindowRig {
    Desktop() : WindowRig(false) {
        tools::SmfBuilder smf(0, 480);
        tools::TrackBuilder& track =
            smf.AddTrack().TrackName(0, "\x83\x65\x83\x58\x83\x67\x8B\xC8").Tempo(0, 500000);
        for (int i = 0; i < 8; ++i) track.NoteOn(i == 0 ? 3840 : 0, 0, 60, 100).NoteOff(480, 0, 60);
        track.EndOfTrack(0);
        EXPECT_TRUE(smf.WriteFile(song) && skinLoaded);
    }
    std::string song = dir.File("song.mid");
};

TEST(Mpris, ABusClientSeesAndDrivesThePlayingWindow) {
    ZEBLO_SKIP_UNDER_TSAN(kQProcessUnderTsan);
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    Desktop d;
    const std::string& device = d.deviceFile;
    int raised = 0;
    MprisService service(
        *d.player, [&] { ++raised; }, [] {});
    EXPECT_FALSE(service.Register(QDBusConnection(QStringLiteral("no bus"))));
    ASSERT_TRUE(service.Register(QDBusConnection::connectToBus(bus.address, "zeblo-service")));

    QDBusConnection client = QDBusConnection::connectToBus(bus.address, "zeblo-client");
    PropertyLog log;
    ASSERT_TRUE(client.connect(kMprisService, kMprisPath, "org.freedesktop.DBus.Properties",
                               "PropertiesChanged", &log,
                               SLOT(Changed(QString, QVariantMap, QStringList))));
    auto call = [&](const char* interface, const QString& method, QVariantList args = {}) {
        QDBusMessage m =
            QDBusMessage::createMethodCall(kMprisService, kMprisPath, interface, method);
        m.setArguments(args);
        QDBusPendingCall pending = client.asyncCall(m);
        EXPECT_TRUE(Pump([&] { return pending.isFinished(); })) << method.toStdString();
        const QDBusMessage reply = pending.reply();
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    };
    auto player2 = [&](const QString& method, QVariantList args = {}) {
        return call("org.mpris.MediaPlayer2.Player", method, args);
    };
    auto get = [&](const char* property) {
        return call("org.freedesktop.DBus.Properties", "Get",
                    {"org.mpris.MediaPlayer2.Player", QString::fromLatin1(property)});
    };
    auto waitStatus = [&](const char* status) {
        return Pump([&] { return !log.statuses.isEmpty() && log.statuses.back() == status; });
    };

    EXPECT_EQ(call("org.freedesktop.DBus.Properties", "Get", {"org.mpris.MediaPlayer2", "Identity"})
                  .toString(),
              "ZEBLO");
    call("org.mpris.MediaPlayer2", "Raise");
    EXPECT_EQ(raised, 1);
    EXPECT_EQ(get("PlaybackStatus").toString(), "Stopped");
    player2("OpenUri", {QUrl::fromLocalFile(QString::fromStdString(d.song)).toString()});
    ASSERT_TRUE(waitStatus("Playing"));
    const QVariantMap meta = qdbus_cast<QVariantMap>(get("Metadata"));
    EXPECT_EQ(meta["xesam:title"].toString(), QString::fromUtf8("テスト曲"));
    EXPECT_EQ(log.titles.value(0), QString::fromUtf8("テスト曲"));
    EXPECT_NEAR(meta["mpris:length"].toLongLong(), 8000000, 100000);
    ASSERT_TRUE(Pump([&] { return d.Position() > 4410; }));
    EXPECT_EQ(test::ReadFile(device).find_first_not_of('\0'), std::string::npos) << "silent start";

    // Moves are made while paused: the window reckons a seek from the position it last showed,
    // which lags the device on a busy machine, so only a held position reads back exactly.
    player2("PlayPause");
    ASSERT_TRUE(waitStatus("Paused"));
    const uint64_t paused = d.Position();
    Pump([] { return false; }, 150ms);
    EXPECT_EQ(d.Position(), paused);
    const QVariant trackId = QVariant::fromValue(meta["mpris:trackid"].value<QDBusObjectPath>());
    player2("SetPosition", {trackId, qlonglong(7000000)});
    EXPECT_NEAR(get("Position").toLongLong(), 7000000, 50000);
    player2("Seek", {qlonglong(-2000000)});
    EXPECT_NEAR(get("Position").toLongLong(), 5000000, 50000);
    const size_t seekedAt = test::ReadFile(device).size();
    player2("PlayPause");
    ASSERT_TRUE(waitStatus("Playing"));
    ASSERT_TRUE(Pump([&] { return d.Position() > paused; }));
    EXPECT_TRUE(Pump(
        [&] {
            const std::string bytes = test::ReadFile(device);
            return bytes.find_first_not_of('\0', seekedAt) != std::string::npos;
        },
        1500ms))
        << "the notes after the seek reach the device";

    player2("Stop");
    ASSERT_TRUE(waitStatus("Stopped"));
    EXPECT_FALSE(d.stack->playback.playing.load() || d.stack->player.renderThread().Exists());
    EXPECT_EQ(log.statuses, QStringList({"Playing", "Paused", "Playing", "Stopped"}));
}

TEST(Keyboard, KeysDoWhatTheButtonsDoAndTheTaskbarNamesTheSong) {
    Desktop d;
    CMainFrame& frame = *d.frame;
    KeyboardControl keys(*d.player, *frame.View());
    int opened = 0, quit = 0;
    keys.open = [&] { ++opened; };
    keys.quit = [&] { ++quit; };
    frame.installEventFilter(&keys);
    d.player->changed = [&] { frame.setWindowTitle(WindowTitle(*d.player)); };
    PlaybackState& playback = d.stack->playback;
    auto status = [&] { return std::pair(playback.playing.load(), playback.paused.load()); };
    auto press = [&](int key, Qt::KeyboardModifiers modifiers = {}) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(&frame, &event);
    };
    auto position = [&] { return d.player->SongPosition() / 22050.0; };
    EXPECT_EQ(WindowTitle(*d.player), "ZEBLO");
    d.player->DropFile(d.song);
    ASSERT_TRUE(Pump([&] { return playback.playing.load(); }));
    EXPECT_EQ(frame.windowTitle(), QString::fromUtf8("テスト曲 - ZEBLO"));
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::pair<bool, bool> status;
    } table[] = {
        {Qt::Key_Space, {}, {true, true}},      {Qt::Key_Space, {}, {true, false}},
        {Qt::Key_MediaPause, {}, {true, true}}, {Qt::Key_MediaPlay, {}, {true, false}},
        {Qt::Key_S, {}, {false, false}},        {Qt::Key_Space, {}, {true, false}},
        {Qt::Key_Escape, {}, {false, false}},   {Qt::Key_MediaTogglePlayPause, {}, {true, false}},
        {Qt::Key_F, {}, {true, false}},         {Qt::Key_O, Qt::ControlModifier, {true, false}}};
    for (const auto& row : table) {
        press(row.key, row.modifiers);
        EXPECT_TRUE(Pump([&] { return status() == row.status; }, 3s)) << row.key;
    }
    EXPECT_EQ(d.stack->engine.sequencer.TempoOffset(), 200) << "F: the next speed";
    const double before = position();
    press(Qt::Key_Right);
    EXPECT_NEAR(position(), before + 5, 0.1);
    press(Qt::Key_Left);
    EXPECT_NEAR(position(), before, 0.1);
    press(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(std::pair(opened, quit), std::pair(1, 1));
    press(Qt::Key_E, Qt::ControlModifier);
    EXPECT_FALSE(playback.playing.load());
    EXPECT_TRUE(frame.View()->Transition()->Running());
    EXPECT_EQ(d.stack->engine.engineFlag.load(), 1);
    TransitionWindow& transition = *frame.View()->Transition();
    for (int i = 0; i < 10000 && transition.Running(); ++i) transition.Advance();
    const QRect logo(0, 0, 200, 45);
    auto part = [&](const ZBDIBSection& s) {
        return s.Picture().copy(logo).convertToFormat(QImage::Format_RGB32);
    };
    EXPECT_EQ(part(frame.View()->Screen()), part(frame.View()->Background()))
        << "the FM logo right after the animation";
    d.player->changed = nullptr;
}

}  // namespace
}  // namespace zeblo

#include "MprisTest.moc"
