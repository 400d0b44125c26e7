#include "ui/CMainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyleHints>
#include <QTimer>
#include <QWindow>

#include "ui/CPlayerView.h"
#include "ui/DisplayText.h"
#include "ui/SkinLayout.h"

namespace zeblo {

namespace sk = skin;

namespace {

const char* const kSaveFailed =
    "設定ファイル(ZEBLOPreferences.bin)を書き込めませんでした。\r\n"
    "ファイルまたはフォルダが書込み禁止か、メディアが書込み禁止になっている可能性があります。";

bool InIconColumn(int x) {
    return x >= 5 && x <= 21;
}

QImage SkinPicture(const ZBDIBSection& skin, const sk::Rect& r) {
    ZBDIBSection part;
    part.Create(r.w, -r.h, 24);
    skin.CopyTo(part, 0, 0, r.w, r.h, r.x, r.y);
    return part.Picture().copy();
}

qint64 Now() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock.elapsed() + 1;
}

}  // namespace

TitleArea HitTestTitle(int x, int y) {
    if (x >= 618 && x <= 631 && y >= 6 && y <= 18) return TitleArea::Close;
    if (x >= 582 && x <= 595 && y >= 6 && y <= 18) return TitleArea::Minimize;
    if (InIconColumn(x)) return TitleArea::SystemMenu;
    if (y >= 0 && y < sk::kTitleHeight) return TitleArea::Drag;
    return TitleArea::None;
}

CMainFrame::CMainFrame(const ZBDIBSection& skin, SettingsRecord& settings, PlayerFacade& player,
                       const WaveformResolver& waves, PlayerControl* control, FrameHooks hooks)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      skin_(skin),
      settings_(settings),
      hooks_(std::move(hooks)) {
    setWindowTitle(QStringLiteral("ZEBLO"));
    setWindowIcon(QIcon(QStringLiteral(":/zeblo/icon.png")));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(sk::kFrameWidth, sk::kFrameHeight);
    // Wayland places windows itself and ignores a position asked for.
    if (!QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
        move(settings_.windowLeft, settings_.windowTop);
    setFont(MakeDisplayFont());

    ZBDIBSection outline;
    if (outline.Create(sk::kWindowOutline.w, sk::kWindowOutline.h, 24) &&
        skin_.CopyTo(outline, 0, 0, sk::kWindowOutline.w, sk::kWindowOutline.h,
                     sk::kWindowOutline.x, sk::kWindowOutline.y)) {
        if (auto region = outline.MakeRegion(kDefaultColour)) {
            region_ = *region;
            setMask(region_);
        }
    }
    titleActive_ = SkinPicture(skin_, sk::kTitleActive);
    titleInactive_ = SkinPicture(skin_, sk::kTitleInactive);

    view_ = new CPlayerView(this, skin_, player, waves, control);
    view_->show();
}

CMainFrame::~CMainFrame() {
    ShutDown();
}

void CMainFrame::ShutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    delete view_;
    view_ = nullptr;
    const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    settings_.windowLeft = normal.left();
    settings_.windowTop = normal.top();
    if (hooks_.saveSettings && !hooks_.saveSettings()) {
        const QString text = QString::fromUtf8(kSaveFailed);
        if (hooks_.messageBox)
            hooks_.messageBox(text);
        else
            QMessageBox::critical(nullptr, QStringLiteral("ZEBLO"), text);
    }
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    ShutDown();
    e->accept();
}

void CMainFrame::DrawTitleBar(QPainter& p) const {
    p.drawImage(0, 0, active_ ? titleActive_ : titleInactive_);
    p.setFont(font());
    const uint32_t c = active_ ? sk::kTitleWhite : sk::kTextPeach;
    p.setPen(QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    p.drawText(QRect(27, 6, 320, 14), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
               windowTitle());
}

void CMainFrame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    DrawTitleBar(p);
}

void CMainFrame::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange) {
        active_ = isActiveWindow();
        update(0, 0, sk::kFrameWidth, sk::kTitleHeight);
        if (view_) view_->InvalidateAll(true);
    }
    QWidget::changeEvent(e);
}

void CMainFrame::PostClose() {
    QTimer::singleShot(0, this, [this] { close(); });
}

void CMainFrame::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const QPoint p = e->position().toPoint();
    switch (HitTestTitle(p.x(), p.y())) {
        case TitleArea::Close:
            PostClose();
            break;
        case TitleArea::Minimize:
            QTimer::singleShot(0, this, [this] { showMinimized(); });
            break;
        case TitleArea::SystemMenu:
            ShowSystemMenu(Now());
            break;
        case TitleArea::Drag:
            // The window system's own move works where windows cannot place themselves
            // (Wayland); the hand-made drag stays for platforms that refuse it.
            if (!dragging_ && windowHandle() && windowHandle()->startSystemMove()) break;
            if (!dragging_) {
                dragAnchor_ = p;
                dragging_ = true;
                grabMouse();
            }
            break;
        case TitleArea::None:
            break;
    }
}

void CMainFrame::ShowSystemMenu(qint64 t) {
    const QPoint at = frameGeometry().topLeft() + QPoint(3, sk::kTitleHeight);
    const int doubleClick = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    if (menuOpen_) return;
    if (lastMenuClickTime_ != 0 && t - lastMenuClickTime_ < doubleClick) return;

    QMenu menu(this);
    menu.setAttribute(Qt::WA_NoMouseReplay);
    QAction* restore = menu.addAction(QStringLiteral("&Restore"));
    QAction* moveAction = menu.addAction(QStringLiteral("&Move"));
    QAction* size = menu.addAction(QStringLiteral("&Size"));
    QAction* minimize = menu.addAction(QStringLiteral("Mi&nimize"));
    QAction* maximize = menu.addAction(QStringLiteral("Ma&ximize"));
    menu.addSeparator();
    QAction* closeAction = menu.addAction(QStringLiteral("&Close"));
    for (QAction* grey : {restore, size, maximize}) grey->setEnabled(false);
    menu.setDefaultAction(closeAction);

    menuOpen_ = true;
    lastMenuClickTime_ = t;
    QAction* chosen = menu.exec(at);
    menuOpen_ = false;
    if (!chosen) {
        // A second press on the icon closed the menu: within the double-click time it closes
        // the window, later it only closed the menu.
        const QPoint cursor = mapFromGlobal(QCursor::pos());
        if (InIconColumn(cursor.x()) && cursor.y() >= 0 && cursor.y() < sk::kTitleHeight) {
            if (Now() - lastMenuClickTime_ < doubleClick)
                PostClose();
            else
                lastMenuClickTime_ = 0;
        }
        return;
    }
    if (chosen == closeAction) PostClose();
    if (chosen == minimize) QTimer::singleShot(0, this, [this] { showMinimized(); });
    if (chosen == moveAction && windowHandle()) windowHandle()->startSystemMove();
}

void CMainFrame::mouseMoveEvent(QMouseEvent* e) {
    if (!dragging_) return;
    QPoint global = e->globalPosition().toPoint();
    if (const QScreen* s = screen()) {
        const QRect work = s->availableGeometry();
        global.setX(std::clamp(global.x(), work.left(), work.right()));
        global.setY(std::clamp(global.y(), work.top(), work.bottom()));
    }
    move(global - dragAnchor_);
}

void CMainFrame::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const QPoint p = e->position().toPoint();
    if (InIconColumn(p.x())) {
        const int doubleClick = QGuiApplication::styleHints()->mouseDoubleClickInterval();
        if (lastMenuClickTime_ != 0 && Now() - lastMenuClickTime_ < doubleClick && !menuOpen_ &&
            !dragging_)
            PostClose();
        return;
    }
    if (dragging_) {
        dragging_ = false;
        releaseMouse();
    }
}

void CMainFrame::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && InIconColumn(e->position().toPoint().x())) PostClose();
}

QImage CMainFrame::Snapshot() {
    if (view_) view_->PaintPending();
    QImage out(sk::kFrameWidth, sk::kFrameHeight, QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setClipRegion(region_.isEmpty() ? QRegion(rect()) : region_);
    DrawTitleBar(p);
    if (view_) p.drawImage(0, sk::kTitleHeight, view_->Screen().Picture());
    return out;
}

}  // namespace zeblo
