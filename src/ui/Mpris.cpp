#include "ui/Mpris.h"

#include <QDBusMessage>
#include <QUrl>

#include "ui/Keyboard.h"
#include "ui/QtPlayer.h"

namespace zeblo {

namespace {

// Often enough that a panel widget follows a click at once; a few reads of atomics each time.
constexpr int kPollMs = 200;

}  // namespace

MprisService::MprisService(QtPlayer& player_, std::function<void()> raise_,
                           std::function<void()> quit_)
    : player(player_), raise(std::move(raise_)), quit(std::move(quit_)), bus_(QString()) {
    new MprisRoot(this);
    new MprisPlayer(this);
    connect(&poll_, &QTimer::timeout, this, &MprisService::Poll);
}

bool MprisService::Register(QDBusConnection bus) {
    if (!bus.isConnected()) return false;
    if (!bus.registerObject(QString::fromLatin1(kMprisPath), this, QDBusConnection::ExportAdaptors))
        return false;
    if (!bus.registerService(QString::fromLatin1(kMprisService))) {
        bus.unregisterObject(QString::fromLatin1(kMprisPath));
        return false;
    }
    bus_ = bus;
    status_ = Status();
    metadata_ = Metadata();
    poll_.start(kPollMs);
    return true;
}

QString MprisService::Status() const {
    if (!player.PlayState()) return QStringLiteral("Stopped");
    return player.PauseState() ? QStringLiteral("Paused") : QStringLiteral("Playing");
}

QVariantMap MprisService::Metadata() const {
    const std::string path = player.CurrentPath();
    if (path.empty()) return {};
    const QString file = QString::fromStdString(path);
    QVariantMap m;
    m[QStringLiteral("mpris:trackid")] =
        QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/zeblo/Zeblo/Track")));
    if (player.SampleRate() > 0)
        m[QStringLiteral("mpris:length")] =
            qlonglong(player.TotalSamples() * 1000000 / uint64_t(player.SampleRate()));
    m[QStringLiteral("xesam:title")] = SongName(player);
    m[QStringLiteral("xesam:url")] = QUrl::fromLocalFile(file).toString();
    return m;
}

qlonglong MprisService::PositionUs() const {
    if (!player.PlayState() || player.SampleRate() <= 0) return 0;
    return qlonglong(player.SongPosition() * 1000000 / uint64_t(player.SampleRate()));
}

void MprisService::SeekToUs(qlonglong us) {
    if (player.LoadingState() || player.AuthoringState()) return;
    const qlonglong sample = std::max<qlonglong>(us, 0) * player.SampleRate() / 1000000;
    player.SeekToSample(static_cast<uint64_t>(sample));
    if (player.PlayState())
        if (auto* p = findChild<MprisPlayer*>()) Q_EMIT p->Seeked(PositionUs());
}

void MprisService::Poll() {
    QVariantMap changed;
    if (const QString status = Status(); status != status_) {
        status_ = status;
        changed[QStringLiteral("PlaybackStatus")] = status;
    }
    if (QVariantMap metadata = Metadata(); metadata != metadata_) {
        metadata_ = metadata;
        changed[QStringLiteral("Metadata")] = metadata;
    }
    if (!changed.isEmpty()) Changed(changed);
}

void MprisService::Changed(const QVariantMap& properties) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kMprisPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << properties << QStringList();
    bus_.send(signal);
}

QStringList MprisRoot::MimeTypes() const {
    return {QStringLiteral("audio/midi"), QStringLiteral("audio/x-midi"),
            QStringLiteral("application/x-rcp")};
}

// The view refuses its buttons while a start loads or authoring runs; so does the bus.
void MprisPlayer::Play() {
    QtPlayer& p = s_.player;
    if (p.LoadingState() || p.AuthoringState() || (p.PlayState() && !p.PauseState())) return;
    p.Play();
}

void MprisPlayer::Pause() {
    QtPlayer& p = s_.player;
    if (!p.LoadingState() && !p.AuthoringState() && p.PlayState() && !p.PauseState()) p.Pause();
}

void MprisPlayer::PlayPause() {
    QtPlayer& p = s_.player;
    p.PlayState() && !p.PauseState() ? Pause() : Play();
}

void MprisPlayer::Stop() {
    QtPlayer& p = s_.player;
    if (!p.LoadingState() && !p.AuthoringState()) p.Stop();
}

void MprisPlayer::SetPosition(const QDBusObjectPath& track, qlonglong position) {
    const QVariant current = s_.Metadata().value(QStringLiteral("mpris:trackid"));
    if (current.value<QDBusObjectPath>() == track) s_.SeekToUs(position);
}

void MprisPlayer::OpenUri(const QString& uri) {
    const QUrl url(uri);
    if (url.isLocalFile() && !s_.player.AuthoringState())
        s_.player.DropFile(url.toLocalFile().toStdString());
}

}  // namespace zeblo
