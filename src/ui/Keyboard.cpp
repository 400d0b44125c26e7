#include "ui/Keyboard.h"

#include <QFileInfo>
#include <QKeyEvent>

#include "ui/CPlayerView.h"
#include "ui/DisplayText.h"
#include "ui/QtPlayer.h"

namespace zeblo {

namespace {

constexpr int64_t kSeekStepSeconds = 5;

}  // namespace

QString SongName(const PlayerFacade& player) {
    if (player.SongTitleSet()) return DecodeTitle(player.SongTitle());
    return QFileInfo(QString::fromStdString(player.CurrentPath())).fileName();
}

QString WindowTitle(const PlayerFacade& player) {
    const QString song = player.CurrentPath().empty() ? QString() : SongName(player);
    return song.isEmpty() ? QStringLiteral("ZEBLO") : song + QStringLiteral(" - ZEBLO");
}

bool KeyboardControl::HandleKey(int key, Qt::KeyboardModifiers modifiers) {
    const bool ctrl = (modifiers & Qt::ControlModifier) != 0;
    if (ctrl) {
        std::function<void()> action;
        if (key == Qt::Key_O) action = open;
        if (key == Qt::Key_Q) action = quit;
        if (key == Qt::Key_Comma) action = [this] { player_.Preferences(); };
        if (key == Qt::Key_E) action = [this] { view_.SwitchEngine(); };
        if (!action) return false;
        action();
        return true;
    }
    // The buttons' refusal: nothing while a start loads or authoring runs.
    const bool busy = player_.LoadingState() || player_.AuthoringState();
    const bool running = player_.PlayState() && !player_.PauseState();
    const int64_t step = kSeekStepSeconds * player_.SampleRate();
    switch (key) {
        case Qt::Key_Space:
        case Qt::Key_MediaTogglePlayPause:
            if (!busy) running ? player_.Pause() : player_.Play();
            return true;
        case Qt::Key_MediaPlay:
            if (!busy && !running) player_.Play();
            return true;
        case Qt::Key_MediaPause:
            if (!busy && running) player_.Pause();
            return true;
        case Qt::Key_Escape:
            if (player_.AuthoringState()) player_.core().CancelAuthoring();
            [[fallthrough]];
        case Qt::Key_S:
        case Qt::Key_MediaStop:
            if (!busy) player_.Stop();
            return true;
        case Qt::Key_F:
            if (!busy) player_.Speed();
            return true;
        case Qt::Key_Left:
        case Qt::Key_Right: {
            const int64_t at =
                static_cast<int64_t>(player_.SongPosition()) + (key == Qt::Key_Left ? -step : step);
            if (!busy) player_.SeekToSample(static_cast<uint64_t>(std::max<int64_t>(at, 0)));
            return true;
        }
        default:
            return false;
    }
}

bool KeyboardControl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    return HandleKey(key->key(), key->modifiers()) || QObject::eventFilter(watched, event);
}

}  // namespace zeblo
