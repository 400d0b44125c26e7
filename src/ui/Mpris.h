// The player on the session bus as MPRIS2 media controls: desktop media keys, panel widgets and
// playerctl drive the window through it. Without a session bus there is simply no service.
//
// Threads: user-interface thread only (QtDBus delivers calls to the objects' thread).
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <functional>

namespace zeblo {

class QtPlayer;

inline constexpr char kMprisService[] = "org.mpris.MediaPlayer2.zeblo";
inline constexpr char kMprisPath[] = "/org/mpris/MediaPlayer2";

// Owns both interfaces and tells the bus when what they show has changed.
class MprisService final : public QObject {
    Q_OBJECT
public:
    // `raise` shows and activates the window; `quit` closes it.
    MprisService(QtPlayer& player, std::function<void()> raise, std::function<void()> quit);
    // Exports the service on `bus`; false (and nothing exported) when the bus is not there or
    // the name is taken.
    bool Register(QDBusConnection bus);

    QtPlayer& player;
    std::function<void()> raise;
    std::function<void()> quit;

    QString Status() const;
    QVariantMap Metadata() const;
    qlonglong PositionUs() const;
    void SeekToUs(qlonglong us);

private:
    void Poll();
    void Changed(const QVariantMap& properties);

    QDBusConnection bus_;
    QTimer poll_;
    QString status_;
    QVariantMap metadata_;
};

class MprisRoot final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ Yes)
    Q_PROPERTY(bool CanRaise READ Yes)
    Q_PROPERTY(bool HasTrackList READ No)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ UriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ MimeTypes)
public:
    explicit MprisRoot(MprisService* service) : QDBusAbstractAdaptor(service), s_(*service) {}
    bool Yes() const { return true; }
    bool No() const { return false; }
    QString Identity() const { return QStringLiteral("ZEBLO"); }
    QString DesktopEntry() const { return QStringLiteral("org.zeblo.Zeblo"); }
    QStringList UriSchemes() const { return {QStringLiteral("file")}; }
    QStringList MimeTypes() const;
public Q_SLOTS:
    void Raise() { s_.raise(); }
    void Quit() { s_.quit(); }

private:
    MprisService& s_;
};

class MprisPlayer final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ One WRITE SetRate)
    Q_PROPERTY(double MinimumRate READ One)
    Q_PROPERTY(double MaximumRate READ One)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ One)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ No)
    Q_PROPERTY(bool CanGoPrevious READ No)
    Q_PROPERTY(bool CanPlay READ Yes)
    Q_PROPERTY(bool CanPause READ Yes)
    Q_PROPERTY(bool CanSeek READ Yes)
    Q_PROPERTY(bool CanControl READ Yes)
public:
    explicit MprisPlayer(MprisService* service) : QDBusAbstractAdaptor(service), s_(*service) {}
    QString PlaybackStatus() const { return s_.Status(); }
    double One() const { return 1.0; }
    void SetRate(double) {}
    QVariantMap Metadata() const { return s_.Metadata(); }
    qlonglong Position() const { return s_.PositionUs(); }
    bool Yes() const { return true; }
    bool No() const { return false; }
public Q_SLOTS:
    void Next() {}
    void Previous() {}
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Seek(qlonglong offset) { s_.SeekToUs(s_.PositionUs() + offset); }
    void SetPosition(const QDBusObjectPath& track, qlonglong position);
    void OpenUri(const QString& uri);
Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    MprisService& s_;
};

}  // namespace zeblo
