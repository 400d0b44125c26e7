// Opening songs from the window: the Open dialog, the right-click menu and the list of the last
// songs played, kept in $XDG_STATE_HOME/zeblo/recent (default ~/.local/state/zeblo/).
//
// Threads: user-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;
class QPoint;

namespace zeblo {

class RecentSongs {
public:
    static constexpr int kMaximum = 10;
    // `folder` holds the list's file; FromEnvironment names the user's state folder.
    explicit RecentSongs(QString folder);
    static QString DefaultFolder();

    const QStringList& Songs() const { return songs_; }
    // Puts `path` first (once) and keeps the list on disk; an unwritable folder loses nothing
    // but the list.
    void Add(const QString& path);
    // Where the Open dialog starts: the folder of the last song, else the home folder.
    QString LastFolder() const;

private:
    QString file_;
    QStringList songs_;
};

// What the menu's entries do; each may be empty.
struct OpenMenuActions {
    std::function<void(const QString&)> play;  // plays a chosen song as a dropped one
    std::function<void()> preferences;
    std::function<void()> about;
    std::function<void()> quit;
};

class OpenMenu final : public QObject {
    Q_OBJECT
public:
    OpenMenu(QWidget& window, RecentSongs& recent, OpenMenuActions actions)
        : window_(window), recent_(recent), actions_(std::move(actions)) {}

    // The Open dialog (Ctrl+O and the menu): filters for MIDI and the RCP family.
    void ShowOpenDialog();
    // The right-click menu at a global position.
    void ShowMenu(const QPoint& at);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    RecentSongs& recent_;
    OpenMenuActions actions_;
};

}  // namespace zeblo
