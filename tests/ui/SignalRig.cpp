// The window program as it runs, with a hand that takes it into one state and then says so: the
// state is named by ZEBLO_RIG_STATE, and the file ZEBLO_RIG_READY appears once it is reached.
// The hand posts its key presses and clicks, so they arrive as a person's would, through the
// event loop; once the state is reached it stops, and the program is left to itself.
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>

#include "engine/EngineContext.h"
#include "ui/Application.h"
#include "ui/CMainFrame.h"
#include "ui/CPlayerView.h"
#include "ui/TransitionWindow.h"

namespace {

using zeblo::CMainFrame;
using zeblo::CPlayerView;
using zeblo::PlayerFacade;

CMainFrame* Frame() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* frame = qobject_cast<CMainFrame*>(w); frame && frame->isVisible()) return frame;
    }
    return nullptr;
}

void Post(QWidget* to, int key, Qt::KeyboardModifiers modifiers = {}) {
    QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyPress, key, modifiers));
}

// The view acts on the press.
void PostClick(QWidget* to, QPoint at) {
    QCoreApplication::postEvent(
        to, new QMouseEvent(QEvent::MouseButtonPress, at, to->mapToGlobal(at), Qt::LeftButton,
                            Qt::LeftButton, {}));
}

// One step of the hand: true once the state is reached. `acts` counts the actions taken, so each
// is taken once and in order.
bool Step(const QByteArray& state, int& acts) {
    QWidget* modal = QApplication::activeModalWidget();
    if (state == "welcome") return modal != nullptr;
    CMainFrame* frame = Frame();
    CPlayerView* view = frame ? frame->View() : nullptr;
    if (!view) return false;
    const PlayerFacade& player = view->Player();
    // Playing, and a second of it heard.
    const bool playing =
        player.PlayState() && !player.LoadingState() && player.DisplayFrame() > player.RedrawRate();
    const auto once = [&acts](int order, bool now, const std::function<void()>& act) {
        if (acts != order || !now) return;
        ++acts;
        act();
    };
    if (state == "idle") return true;
    if (state == "playing") return playing;
    if (state == "paused") {
        once(0, playing, [frame] { Post(frame, Qt::Key_Space); });
        return player.PauseState();
    }
    if (state == "preferences") {
        once(0, true, [frame] { Post(frame, Qt::Key_Comma, Qt::ControlModifier); });
        return modal != nullptr;
    }
    if (state == "switching") {
        once(0, true, [frame] { Post(frame, Qt::Key_E, Qt::ControlModifier); });
        return view->Transition()->Running();
    }
    if (state == "authoring") {
        // The Author button, then OK in its question.
        once(0, playing, [view] { PostClick(view, QPoint(310, 30)); });
        if (auto* box = qobject_cast<QMessageBox*>(modal)) box->button(QMessageBox::Ok)->click();
        return player.AuthoringState() && player.BytesAuthored() > 0;
    }
    if (state == "prebuffering") {
        // The FM module renders slowest, so its starts prebuffer longest: switch, then play.
        once(0, playing, [frame] { Post(frame, Qt::Key_E, Qt::ControlModifier); });
        once(1, !view->Transition()->Running() && view->EngineShown() == zeblo::kEngineOpll,
             [frame] { Post(frame, Qt::Key_Space); });
        return acts == 2 && player.LoadingState();
    }
    return false;
}

void StartHand() {
    auto* timer = new QTimer(qApp);
    auto acts = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, acts] {
        if (!Step(qgetenv("ZEBLO_RIG_STATE"), *acts)) return;
        timer->stop();
        QFile(QString::fromLocal8Bit(qgetenv("ZEBLO_RIG_READY"))).open(QIODevice::WriteOnly);
    });
    timer->start(20);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(StartHand)

int main(int argc, char** argv) {
    return zeblo::RunApplication(argc, argv);
}
