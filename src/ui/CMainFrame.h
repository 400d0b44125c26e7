// The program's one top-level window: frameless, shaped by the skin's outline, with its own title
// bar (close, minimise, system-menu icon, drag anywhere else) and the player view below it.
//
// Threads: user-interface thread only.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRegion>
#include <QWidget>

class QPainter;

#include <functional>

#include "settings/SettingsRecord.h"
#include "ui/PlayerFacade.h"
#include "ui/ZBDIBSection.h"

namespace zeblo {

class CPlayerView;

// What the frame asks of the application around it.
struct FrameHooks {
    // Writes the settings record; false when it could not be written.
    std::function<bool()> saveSettings;
    // Shows a modal message box with the application's caption.
    std::function<void(const QString&)> messageBox;
};

// A title-bar press, by area.
enum class TitleArea { Close, Minimize, SystemMenu, Drag, None };
TitleArea HitTestTitle(int x, int y);

class CMainFrame : public QWidget {
    Q_OBJECT
public:
    CMainFrame(const ZBDIBSection& skin, SettingsRecord& settings, PlayerFacade& player,
               const WaveformResolver& waves, PlayerControl* control, FrameHooks hooks);
    ~CMainFrame() override;

    CPlayerView* View() const { return view_; }
    const QRegion& WindowRegion() const { return region_; }
    bool Dragging() const { return dragging_; }
    bool Active() const { return active_; }
    void SetActiveLook(bool active) { active_ = active; }
    // The destruction steps: view gone, position stored, settings saved. Runs once.
    void ShutDown();
    // The whole window as drawn (title bar and view), for pictures.
    QImage Snapshot();

protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void ShowSystemMenu(qint64 t);
    void PostClose();
    void DrawTitleBar(QPainter& p) const;

    const ZBDIBSection& skin_;
    SettingsRecord& settings_;
    FrameHooks hooks_;
    CPlayerView* view_ = nullptr;
    QRegion region_;
    QImage titleActive_;
    QImage titleInactive_;
    QPoint dragAnchor_;
    bool dragging_ = false;
    bool menuOpen_ = false;
    qint64 lastMenuClickTime_ = 0;
    bool active_ = false;
    bool shutDown_ = false;
};

}  // namespace zeblo
