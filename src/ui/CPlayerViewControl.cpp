// The player view's creation and input: click areas, the logo double-click, dropped files, the
// private messages and the display timer. What each action does belongs to the playback layer.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

#include "ui/CPlayerView.h"
#include "ui/DisplayText.h"
#include "ui/TransitionWindow.h"

namespace zeblo {

namespace sk = skin;

namespace {

constexpr int kPathLimit = 500;  // characters of a dropped path that are kept

bool Within(int v, int lo, int hi) {
    return v >= lo && v <= hi;
}

}  // namespace

bool InLogoArea(int x, int y) {
    return Within(x, 1, 109) && Within(y, 1, 47);
}

ViewHit HitTestView(int x, int y) {
    if (Within(y, 21, 41)) {
        static constexpr struct {
            int left, right;
            ViewArea area;
        } kButtons[6] = {{133, 166, ViewArea::Play},   {173, 206, ViewArea::Speed},
                         {213, 246, ViewArea::Stop},   {253, 286, ViewArea::Pause},
                         {293, 326, ViewArea::Author}, {333, 366, ViewArea::Preferences}};
        for (const auto& b : kButtons)
            if (Within(x, b.left, b.right)) return {b.area, -1};
    }
    if (Within(x, 63, 297) && Within(y, 405, 418)) return {ViewArea::PositionBar, -1};
    for (int i = 0; i < 16; ++i) {
        if (!Within(x, 62 + 36 * i, 94 + 36 * i)) continue;
        if (Within(y, 51, 63)) return {ViewArea::MuteUpper, i};
        if (Within(y, 219, 231)) return {ViewArea::MuteLower, 16 + i};
    }
    return {};
}

CPlayerView::CPlayerView(QWidget* parent, const ZBDIBSection& skin, PlayerFacade& player,
                         const WaveformResolver& waves, PlayerControl* control)
    : QWidget(parent), skin_(skin), player_(player), waves_(waves), control_(control) {
    setGeometry(0, sk::kTitleHeight, sk::kViewWidth, sk::kViewHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAcceptDrops(true);
    displayFont_ = MakeDisplayFont();

    transition_ = new TransitionWindow(this, *this);
    transition_->setGeometry(0, 0, 640, 480);
    transition_->hide();
    // The old module's logo would otherwise stay on screen until the next paint of the display.
    transition_->onEnded = [this] {
        InvalidateAll(true);
        PaintPending();
        update();
    };

    ResetDisplayRecords();
    messageSurface_.Create(sk::kPanelEmpty.w, -sk::kPanelEmpty.h, 24);
    waveIconSurface_.Create(sk::kIconW, -sk::kIconH, 24);
    screen_.Create(sk::kViewWidth, -sk::kViewHeight, 24);
    ComposeBackground();
    InvalidateAll(true);
}

CPlayerView::~CPlayerView() {
    if (displayTimer_) displayTimer_->stop();
    if (control_) control_->StopPlayback();
}

void CPlayerView::StartDisplayTimer() {
    if (!displayTimer_) {
        displayTimer_ = new QTimer(this);
        displayTimer_->setTimerType(Qt::PreciseTimer);
        connect(displayTimer_, &QTimer::timeout, this, [this] {
            if (control_) control_->DisplayTick();
        });
    }
    displayTimer_->start(1000 / std::max(player_.RedrawRate(), 1));
}

void CPlayerView::HandlePress(int x, int y) {
    messageCountdown_ = 0;
    InvalidateAll(true);
    if (!control_ || player_.LoadingState()) return;
    const ViewHit hit = HitTestView(x, y);
    // While authoring runs, only its own button answers: it offers to cancel the run.
    if (player_.AuthoringState() && hit.area != ViewArea::Author) return;
    switch (hit.area) {
        case ViewArea::Play:
            control_->Play();
            break;
        case ViewArea::Speed:
            control_->Speed();
            break;
        case ViewArea::Stop:
            control_->Stop();
            break;
        case ViewArea::Pause:
            control_->Pause();
            break;
        case ViewArea::Author:
            control_->Author();
            break;
        case ViewArea::Preferences:
            control_->Preferences();
            break;
        case ViewArea::PositionBar:
            if (player_.PlayState()) control_->Seek(x);
            break;
        case ViewArea::MuteUpper:
        case ViewArea::MuteLower:
            control_->ToggleMute(hit.channel);
            break;
        default:
            break;
    }
}

void CPlayerView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    const QPoint p = e->position().toPoint();
    HandlePress(p.x(), p.y());
}

void CPlayerView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(e);
    if (player_.LoadingState() || player_.AuthoringState()) return;
    const QPoint p = e->position().toPoint();
    if (!InLogoArea(p.x(), p.y())) return HandlePress(p.x(), p.y());
    SwitchEngine();
}

void CPlayerView::SwitchEngine() {
    if (player_.LoadingState() || player_.AuthoringState()) return;
    if (control_) control_->StopPlayback();
    transition_->show();
    transition_->raise();
    transition_->StartTransition();
    if (control_) control_->InvertEngine();
    ComposeBackground();
}

void CPlayerView::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void CPlayerView::dropEvent(QDropEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.isEmpty() || !control_) return;
    activateWindow();
    const QString path = urls.first().toLocalFile().left(kPathLimit);
    if (path.isEmpty()) return;
    e->acceptProposedAction();
    control_->DropFile(path.toStdString());
}

bool CPlayerView::event(QEvent* e) {
    switch (static_cast<int>(e->type())) {
        case kWmPlayShared:
            if (control_) control_->PlayShared();
            return true;
        case kWmStopPlay:
            if (control_) control_->StopPlayback();
            return true;
        case kWmPlayCurrent:
            if (control_) control_->PlayCurrent();
            return true;
        default:
            return QWidget::event(e);
    }
}

}  // namespace zeblo
