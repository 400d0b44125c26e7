// The animation shown over the view when the sound module is switched: the old background
// brightens under closing rounded shutters, goes black, flashes grey and fades into the new one.
//
// Threads: user-interface thread only.
#pragma once

#include <QWidget>
#include <functional>

#include "ui/ZBDIBSection.h"

class QTimer;

namespace zeblo {

class CPlayerView;

class TransitionWindow : public QWidget {
    Q_OBJECT
public:
    TransitionWindow(QWidget* parent, const CPlayerView& view);

    // Takes the view's current background and the other module's, restarts the animation and
    // starts the transition sound.
    void StartTransition();
    // One paint's work: advances the frame counter and draws on the own surface. Returns false
    // when a phase ended (nothing drawn, nothing to copy); the last phase hides the window.
    bool Advance();

    int Phase() const { return phase_; }
    int Frame() const { return frame_; }
    bool Running() const { return running_; }
    const ZBDIBSection& Surface() const { return surface_; }
    void SetSound(std::function<void()> play) { playSound_ = std::move(play); }
    // Called once the animation has ended and the window is hidden.
    std::function<void()> onEnded;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void RoundRects(std::initializer_list<QRect> rects, int corner);

    const CPlayerView& view_;
    QTimer* timer_;
    ZBDIBSection surface_;
    ZBDIBSection next_;
    int phase_ = 0;
    int frame_ = 0;
    bool running_ = false;
    std::function<void()> playSound_;
};

}  // namespace zeblo
