#include "ui/PreferencesDialogCommand.h"

#include <QCoreApplication>
#include <QProcess>
#include <cstring>

#include "ipc/SharedBlock.h"
#include "ipc/SingleInstance.h"
#include "ui/AboutDialog.h"
#include "ui/CMainFrame.h"
#include "ui/CPlayerView.h"
#include "ui/PreferencesDialog.h"
#include "ui/PreferencesDialogRules.h"
#include "ui/QtPrompt.h"

namespace zeblo {

PreferencesCommand::PreferencesCommand(Settings& settings, PlayerFacade& player,
                                       PlayerControl& control, UserPrompt& prompt,
                                       PreferencesEnvironment& environment)
    : settings_(settings),
      player_(player),
      control_(control),
      prompt_(prompt),
      environment_(environment) {}

void PreferencesCommand::Run() {
    const bool paused = !player_.PauseState();
    if (paused) control_.Pause();

    const SettingsRecord before = settings_.record;
    const std::vector<std::string> devices = environment_.DeviceNames();
    if (environment_.RunDialog(settings_.record, devices) == PromptAnswer::Ok) {
        settings_.RefreshActiveSets();
        const PreferencesChange change = ClassifyChanges(before, settings_.record);
        if (const char* notice = ChangeNotice(change)) environment_.ShowMessage(notice, kNoticeMs);
        settings_.SaveAfterPreferences();
        // The process is ending: its player and view are gone, nothing is left to resume.
        if (change.restart && Restart()) return;
    }

    if (paused) control_.Pause();
}

bool PreferencesCommand::Restart() {
    prompt_.Ask(kRestartMessage, PromptButtons::Ok, PromptIcon::Information);
    control_.StopPlayback();
    if (!environment_.CloseInstanceBlock())
        prompt_.Ask(kSharedMemoryCloseFailedMessage, PromptButtons::Ok, PromptIcon::Error);
    if (environment_.StartProgram(player_.CurrentPath())) {
        environment_.ShutDownAndQuit();
        return true;
    }
    prompt_.Ask(kRestartFailedMessage, PromptButtons::Ok, PromptIcon::Error);
    // Still running, so still the one instance later starts hand their files to.
    environment_.ReopenInstanceBlock();
    return false;
}

QtPreferencesEnvironment::QtPreferencesEnvironment(
    CMainFrame& frame, SingleInstance* instance, UserPrompt& prompt, MidAssociation* association,
    std::function<std::vector<std::string>()> deviceNames, QString programPath)
    : frame_(frame),
      instance_(instance),
      prompt_(prompt),
      association_(association),
      deviceNames_(std::move(deviceNames)),
      programPath_(std::move(programPath)) {}

std::vector<std::string> QtPreferencesEnvironment::DeviceNames() {
    return deviceNames_ ? deviceNames_() : std::vector<std::string>{};
}

PromptAnswer QtPreferencesEnvironment::RunDialog(SettingsRecord& record,
                                                 const std::vector<std::string>& deviceNames) {
    PreferencesDialog* dialog = nullptr;
    PreferencesDialogHooks hooks;
    hooks.association = association_;
    hooks.showAbout = [&dialog] {
        AboutDialog about(dialog);
        about.exec();
    };
    PreferencesDialog box(record, deviceNames, prompt_, hooks, &frame_);
    dialog = &box;
    return box.exec() == QDialog::Accepted ? PromptAnswer::Ok : PromptAnswer::Cancel;
}

void QtPreferencesEnvironment::ShowMessage(const std::string& text, int32_t ms) {
    if (CPlayerView* view = frame_.View()) view->ShowMessage(PromptText(text), ms);
}

bool QtPreferencesEnvironment::CloseInstanceBlock() {
    return instance_ && instance_->Close();
}

void QtPreferencesEnvironment::ReopenInstanceBlock() {
    if (instance_) instance_->Reopen();
}

bool QtPreferencesEnvironment::StartProgram(const std::string& argument) {
    // One argument however the path is spelled, an empty one as well.
    return !programPath_.isEmpty() &&
           QProcess::startDetached(programPath_, {QString::fromStdString(argument)});
}

void QtPreferencesEnvironment::ShutDownAndQuit() {
    frame_.ShutDown();
    QCoreApplication::exit(0);
}

}  // namespace zeblo
