// The window's keys: the buttons' actions, seeks, the engine switch and the desktop's media keys.
// Installed as an event filter on the frame and its view, so the keys work wherever focus is.
//
// Threads: user-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace zeblo {

class CPlayerView;
class PlayerFacade;
class QtPlayer;

// What the window's title bar entry (taskbar, Alt-Tab) reads: "TITLE - ZEBLO" with a song.
QString WindowTitle(const PlayerFacade& player);
// The song as the display names it: its decoded title, else its file name; empty without one.
QString SongName(const PlayerFacade& player);

class KeyboardControl final : public QObject {
    Q_OBJECT
public:
    KeyboardControl(QtPlayer& player, CPlayerView& view, QObject* parent = nullptr)
        : QObject(parent), player_(player), view_(view) {}
    std::function<void()> open;
    std::function<void()> quit;

    // True when the key was one of the window's.
    bool HandleKey(int key, Qt::KeyboardModifiers modifiers);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QtPlayer& player_;
    CPlayerView& view_;
};

}  // namespace zeblo
