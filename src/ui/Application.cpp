#include "ui/Application.h"

#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QStringList>
#include <cstdio>

#include "audio/PlayerStack.h"
#include "audio/PlayerTransitionSound.h"
#include "ipc/CommandLineFile.h"
#include "ipc/SingleInstance.h"
#include "settings/Settings.h"
#include "settings/SettingsRecord.h"
#include "ui/AboutDialog.h"
#include "ui/Association.h"
#include "ui/CMainFrame.h"
#include "ui/CPlayerView.h"
#include "ui/Keyboard.h"
#include "ui/Mpris.h"
#include "ui/OpenMenu.h"
#include "ui/PreferencesDialogCommand.h"
#include "ui/QtPlayer.h"
#include "ui/QtPrompt.h"
#include "ui/ScreenShots.h"
#include "ui/TerminationSignals.h"
#include "ui/TransitionWindow.h"
#include "ui/ZBDIBSection.h"

namespace zeblo {

static_assert(kMessagePlayShared == kWmPlayShared && kMessageStopPlay == kWmStopPlay &&
              kMessagePlayCurrent == kWmPlayCurrent);

namespace {

// Names a file that records every message handed to the view: how the tests that start two
// players see what the first one received.
constexpr char kHandoffLogVariable[] = "ZEBLO_HANDOFF_LOG";

void LogHandoff(const QByteArray& line) {
    const QByteArray path = qgetenv(kHandoffLogVariable);
    if (path.isEmpty()) return;
    QFile log(QString::fromLocal8Bit(path));
    if (log.open(QIODevice::Append)) log.write(line + '\n');
}

// A later instance: hand the file over and end, before any window or setting exists.
int HandOver(SingleInstance& instance, const CommandLineFile& file) {
    if (!file.play) return 0;
    switch (instance.HandOver(file.path)) {
        case SingleInstance::HandOverResult::Delivered:
            return 0;
        case SingleInstance::HandOverResult::Refused:
            std::fprintf(stderr, "ZEBLO: the running player refused the file name.\n");
            return 1;
        case SingleInstance::HandOverResult::NoAnswer:
            break;
    }
    std::fprintf(stderr, "ZEBLO: the running player did not answer.\n");
    return 1;
}

}  // namespace

int RunApplication(int argc, char** argv) {
    const bool screens = argc >= 3 && QByteArray(argv[1]) == "--screens";
    SingleInstance instance(SingleInstance::DefaultFolder());
    SingleInstance::Role role = SingleInstance::Role::None;
    const CommandLineFile file = GetCommandLineFile(argc, argv);
    if (!screens) {
        role = instance.Start();
        if (role == SingleInstance::Role::Later) return HandOver(instance, file);
    }

    if (screens) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZEBLO"));
    if (!screens) EndOnTerminationSignals(app);
    QtPrompt prompt;
    if (!screens && !instance.Listen())
        prompt.Ask(kSharedMemoryCreateFailedMessage, PromptButtons::Ok, PromptIcon::Error);

    ZBDIBSection skin;
    if (!skin.LoadBitmapResource(QStringLiteral(":/zeblo/skin.png"))) {
        QMessageBox::critical(nullptr, QStringLiteral("ZEBLO"),
                              QStringLiteral("The skin image could not be loaded."));
        return 1;
    }
    if (screens) return WriteScreens(QString::fromLocal8Bit(argv[2]), skin);

    Settings settings(prompt);
    settings.LoadSettings();
    // Ended while a start-up box was open: no window, but the preferences as a close saves them.
    if (EndRequested()) {
        settings.preferences.Save(&settings.record, sizeof settings.record);
        return 0;
    }

    PlayerStackOptions options;
    options.authoring = true;
    const std::unique_ptr<PlayerStack> stack = MakePlayerStack(settings, prompt, options);
    QtPlayer player(*stack, prompt, &instance);
    EngineWaveforms waves(stack->engine.wavetable);
    PlayerControl* control = &player;
    FrameHooks hooks;
    hooks.saveSettings = [&settings] {
        return settings.preferences.Save(&settings.record, sizeof settings.record);
    };
    hooks.messageBox = [&prompt](const QString& text) {
        prompt.Ask(text.toStdString(), PromptButtons::Ok, PromptIcon::Error);
    };
    CMainFrame frame(skin, settings.record, player, waves, control, hooks);
    prompt.SetParent(&frame);
    player.AttachView(frame.View());
    QFile jingleFile(QStringLiteral(":/zeblo/transition.wav"));
    QByteArray jingleBytes;
    if (jingleFile.open(QIODevice::ReadOnly)) jingleBytes = jingleFile.readAll();
    PlayerTransitionSound jingle(std::vector<uint8_t>(jingleBytes.begin(), jingleBytes.end()));
    frame.View()->Transition()->SetSound([&jingle] { jingle.Play(); });
    frame.View()->StartDisplayTimer();
    frame.show();
    const auto raise = [&frame] {
        frame.show();
        frame.raise();
        frame.activateWindow();
    };
    MprisService mpris(player, raise, [&frame] { frame.close(); });
    mpris.Register(QDBusConnection::sessionBus());
    frame.setWindowTitle(WindowTitle(player));
    RecentSongs recent(RecentSongs::DefaultFolder());
    player.changed = [&frame, &player, &recent] {
        frame.setWindowTitle(WindowTitle(player));
        if (!player.LoadingState()) recent.Add(QString::fromStdString(player.CurrentPath()));
    };
    OpenMenuActions menuActions;
    menuActions.play = [&player](const QString& path) { player.DropFile(path.toStdString()); };
    menuActions.preferences = [&player] { player.Preferences(); };
    menuActions.about = [&frame] { AboutDialog(&frame).exec(); };
    menuActions.quit = [&frame] { frame.close(); };
    OpenMenu openMenu(frame, recent, menuActions);
    frame.installEventFilter(&openMenu);
    frame.View()->installEventFilter(&openMenu);
    KeyboardControl keys(player, *frame.View());
    keys.quit = [&frame] { frame.close(); };
    keys.open = [&openMenu] { openMenu.ShowOpenDialog(); };
    frame.installEventFilter(&keys);
    frame.View()->installEventFilter(&keys);

    instance.Serve(static_cast<uint32_t>(getpid()), [&](uint32_t message) {
        const std::optional<std::string> path = instance.ReadSharedPath();
        QByteArray line = QByteArray::number(message);
        if (message == kMessagePlayShared && path) line += ' ' + QByteArray::fromStdString(*path);
        LogHandoff(line);
        // A later start without a song (a menu launch) wants the window, and the music goes on.
        if (path && path->empty() &&
            (message == kMessageStopPlay || message == kMessagePlayShared)) {
            if (message == kMessagePlayShared) raise();
            return 0;
        }
        if (CPlayerView* view = frame.View()) {
            QEvent event(static_cast<QEvent::Type>(message));
            QCoreApplication::sendEvent(view, &event);
        }
        return message == kMessagePlayShared && !path ? -1 : 0;
    });
    if (file.play && !file.path.empty()) {
        LogHandoff(QByteArray::number(kMessagePlayCurrent) + ' ' +
                   QByteArray::fromStdString(file.path));
        if (control) control->DropFile(file.path);
    }

    MidAssociation association(ExecutablePath(), XdgFolders::FromEnvironment(), prompt,
                               RefreshDesktopDatabase);
    QtPreferencesEnvironment preferences(
        frame, &instance, prompt, &association, [&stack] { return stack->device.DeviceNames(); },
        QString::fromStdString(ExecutablePath()));
    player.preferences = [&] {
        PreferencesCommand(settings, player, player, prompt, preferences).Run();
    };
    // A signal taken while a box was open before the loop ran has already asked for the end.
    const int code = EndRequested() ? 0 : app.exec();
    player.preferences = nullptr;
    player.changed = nullptr;
    // The socket belongs to the application's event loop: let it go while that still exists.
    instance.Close();
    return code;
}

}  // namespace zeblo
