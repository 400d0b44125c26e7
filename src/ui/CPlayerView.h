// The 640 x 448 player display below the title bar. Drawing (CPlayerViewDisplay.cpp) composes
// every paint on an off-screen surface in the order the display defines and copies the result to
// the widget; control (CPlayerViewControl.cpp) turns clicks, drops, messages and the display
// timer into requests to the playback layer.
//
// Threads: user-interface thread only, including every public operation.
#pragma once

#include <QFont>
#include <QRegion>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "engine/DisplaySnapshot.h"
#include "ui/PlayerFacade.h"
#include "ui/SkinLayout.h"
#include "ui/ZBDIBSection.h"

class QTimer;

namespace zeblo {

class TransitionWindow;

// Private messages to the view (carried as Qt events of these types).
inline constexpr int kWmPlayShared = 1801;
inline constexpr int kWmStopPlay = 1802;
inline constexpr int kWmPlayCurrent = 1803;

// A place the view's left button acts on, in the order they are tested.
enum class ViewArea {
    None,
    Play,
    Speed,
    Stop,
    Pause,
    Author,
    Preferences,
    PositionBar,
    MuteUpper,
    MuteLower,
    Logo
};
struct ViewHit {
    ViewArea area = ViewArea::None;
    int channel = -1;  // for the mute areas: port * 16 + channel
};
ViewHit HitTestView(int x, int y);
bool InLogoArea(int x, int y);

class CPlayerView : public QWidget {
    Q_OBJECT
public:
    // skin must outlive the view; control may be null (display only).
    CPlayerView(QWidget* parent, const ZBDIBSection& skin, PlayerFacade& player,
                const WaveformResolver& waves, PlayerControl* control);
    ~CPlayerView() override;

    void ComposeBackground();
    // The logo's double click: stop, the transition, the other module.
    void SwitchEngine();
    // Draws the background of a module (0 wavetable, 1 FM) onto a new surface.
    void ComposeBackgroundFor(int32_t engine, ZBDIBSection& out) const;
    // A null text shows the empty panel.
    void ShowMessage(const QString& text, int32_t ms);
    void ResetDisplayRecords();

    // Marks an area for the next paint; erase copies the background there first and redraws
    // every element.
    void Invalidate(const QRect& r, bool erase);
    void InvalidateAll(bool erase) { Invalidate(rect(), erase); }
    // Runs the pending paint now onto the off-screen surface (the widget shows it afterwards).
    void PaintPending();

    // Starts the display timer at 1000 / redraw rate ms; it calls PlayerControl::DisplayTick.
    void StartDisplayTimer();
    TransitionWindow* Transition() const { return transition_; }
    int32_t EngineShown() const { return player_.EngineFlag(); }
    // What the view shows of the player: its state, for whoever drives the window from outside.
    const PlayerFacade& Player() const { return player_; }

    const ZBDIBSection& Screen() const { return screen_; }
    const ZBDIBSection& Background() const { return backgroundSurface_; }
    const ZBDIBSection& MessageSurface() const { return messageSurface_; }
    const QFont& DisplayFont() const { return displayFont_; }
    int32_t MessageCountdown() const { return messageCountdown_; }
    void DropMessage() { messageCountdown_ = 0; }
    bool FullRedrawArmed() const { return fullRedraw_; }
    void ClearFullRedraw() { fullRedraw_ = false; }
    // Skin pictures copied by the last paint (the background erase not counted).
    int32_t LastPaintCopies() const { return copies_; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool event(QEvent* e) override;

private:
    void EraseBackground();
    void PaintDisplay();
    void DrawChannels(const DisplaySnapshot& s, const DisplaySnapshot& ref);
    void DrawPanel(const skin::Rect& panel);
    void DrawNumber(int64_t value, int32_t digits, int32_t x, int32_t y);
    void DrawSongClock(const SongClock& now);
    void DrawInstrument(int c, const DisplaySnapshot& s, const DisplaySnapshot& ref, int32_t x,
                        int32_t y);
    void DrawPositionBar();
    void DrawBufferMeter();
    void DrawSongLine();
    void DrawAuthoringProgress();
    void CopySkin(int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy);
    void CopySurface(const ZBDIBSection& src, int32_t dx, int32_t dy);
    void FillClipped(const SurfaceRect& r, uint32_t colour);
    void HandlePress(int x, int y);

    const ZBDIBSection& skin_;
    PlayerFacade& player_;
    const WaveformResolver& waves_;
    PlayerControl* control_;

    ZBDIBSection backgroundSurface_;
    ZBDIBSection messageSurface_;
    ZBDIBSection waveIconSurface_;
    ZBDIBSection screen_;
    QFont displayFont_;

    bool fullRedraw_ = true;
    DisplaySnapshot referenceSnapshot_{};
    DisplaySnapshot resetRecord_{};
    SongClock referenceClock_{};
    int32_t messageCountdown_ = 0;

    QRegion pending_;
    bool pendingErase_ = false;
    QRegion clip_;
    bool clipIsWhole_ = false;
    int32_t copies_ = 0;

    TransitionWindow* transition_ = nullptr;
    QTimer* displayTimer_ = nullptr;
};

}  // namespace zeblo
