#include "ui/TransitionWindow.h"

#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "ui/CPlayerView.h"
#include "ui/SkinLayout.h"

namespace zeblo {

namespace sk = skin;

namespace {
constexpr int kBrightenStep = 28;
constexpr int kShutterStart = 640;
constexpr int kShutterStep = 89;
constexpr int kCurtainStep = 56;
constexpr int kCurtainEnd = 264;
constexpr int kDarkFrames = 10;
constexpr int kGreyFrames = 11;
constexpr int kGreyStep = 25;
constexpr int kFadeFrames = 13;
constexpr double kFadeAlpha = 0.25;

// A rectangle given by its corners, either way round, right and bottom exclusive.
QRect Corners(int left, int top, int right, int bottom) {
    return QRect(std::min(left, right), std::min(top, bottom), std::abs(right - left),
                 std::abs(bottom - top));
}
}  // namespace

TransitionWindow::TransitionWindow(QWidget* parent, const CPlayerView& view)
    : QWidget(parent), view_(view), timer_(new QTimer(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (running_) update();
    });
    timer_->start(sk::kTransitionTickMs);
}

void TransitionWindow::StartTransition() {
    phase_ = 0;
    frame_ = 0;
    surface_.Create(sk::kViewWidth, -sk::kViewHeight, 24);
    view_.Background().CopyTo(surface_, 0, 0, -1, -1, 0, 0);
    ZBDIBSection composed;
    view_.ComposeBackgroundFor(view_.EngineShown() ? 0 : 1, composed);
    next_.Create(sk::kViewWidth, -sk::kViewHeight, 24);
    composed.CopyTo(next_, 0, 0, -1, -1, 0, 0);
    running_ = true;
    if (playSound_) playSound_();
}

void TransitionWindow::RoundRects(std::initializer_list<QRect> rects, int corner) {
    QImage target = surface_.PaintTarget();
    QPainter p(&target);
    p.setPen(Qt::black);
    p.setBrush(Qt::black);
    for (const QRect& r : rects) p.drawRoundedRect(r, corner / 2.0, corner / 2.0, Qt::AbsoluteSize);
}

bool TransitionWindow::Advance() {
    if (!running_) return false;
    ++frame_;
    bool ended = false;
    switch (phase_) {
        case 0:
            ended = kShutterStart - kShutterStep * frame_ < 1;
            break;
        case 1:
            ended = kCurtainStep * frame_ > kCurtainEnd;
            break;
        case 2:
            ended = frame_ >= kDarkFrames;
            break;
        case 3:
            ended = frame_ >= kGreyFrames;
            break;
        case 4:
            ended = frame_ >= kFadeFrames;
            break;
        default:
            break;
    }
    if (phase_ >= 5) {
        running_ = false;
        hide();
        if (onEnded) onEnded();
        return false;
    }
    if (ended) {
        ++phase_;
        frame_ = 0;
        return false;
    }
    switch (phase_) {
        case 0: {
            const int r = kShutterStart - kShutterStep * frame_;
            surface_.AddBrightness(nullptr, kBrightenStep);
            RoundRects({Corners(-320, -224, 318, 222), Corners(322, -224, 960, 222),
                        Corners(-320, 226, 318, 672), Corners(322, 226, 960, 672)},
                       r);
            break;
        }
        case 1:
            RoundRects({Corners(-10, -10, 640, kCurtainStep * frame_),
                        Corners(-10, 458, 640, 448 - kCurtainStep * frame_)},
                       1);
            break;
        case 3: {
            const uint8_t g = static_cast<uint8_t>((kGreyStep * frame_) % 256);
            surface_.Fill(nullptr, ColourRgb(g, g, g));
            break;
        }
        case 4:
            surface_.BlendFrom(0, 0, next_, kFadeAlpha, kDefaultColour, 0, 0, -1, -1);
            break;
        default:
            break;
    }
    return true;
}

void TransitionWindow::paintEvent(QPaintEvent*) {
    if (!Advance() || !surface_.HasImage()) return;
    QPainter p(this);
    surface_.BlitTo(p, 0, 0);
}

}  // namespace zeblo
