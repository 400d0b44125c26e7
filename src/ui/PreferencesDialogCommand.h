// The Preferences command behind the view's Config button: pause, the dialog on the live record,
// the active sets refreshed, the change told or the program restarted, the record saved, resume.
// It reaches the player only through PlayerFacade and PlayerControl, and the window, the dialog
// and the restart through PreferencesEnvironment, so the playback layer only connects it.
//
// Threads: user-interface thread only.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "settings/UserPrompt.h"
#include "ui/PlayerFacade.h"

namespace zeblo {

class CMainFrame;
class MidAssociation;
class SingleInstance;

inline constexpr char kRestartMessage[] = "ZEBLO will self-restart for confirm to settings.";
inline constexpr char kRestartFailedMessage[] =
    "System was failed on restarting-ZEBLO.\r\nPlease restaring-ZEBLO yourself.";

class PreferencesEnvironment {
public:
    // Entry 0 the system's default device, then the devices in order.
    virtual std::vector<std::string> DeviceNames() = 0;
    // Runs the dialog modally on `record`; Ok when it was closed with OK.
    virtual PromptAnswer RunDialog(SettingsRecord& record,
                                   const std::vector<std::string>& deviceNames) = 0;
    // The view's message panel.
    virtual void ShowMessage(const std::string& text, int32_t ms) = 0;
    // Gives up the single-instance place so that the new process can take it.
    virtual bool CloseInstanceBlock() = 0;
    // Takes the place again after a restart that did not start.
    virtual void ReopenInstanceBlock() = 0;
    // Starts the program's own executable with `argument` as its one argument.
    virtual bool StartProgram(const std::string& argument) = 0;
    // The main frame's destruction steps (which save the settings), then the end of the event
    // loop with exit code 0.
    virtual void ShutDownAndQuit() = 0;

protected:
    ~PreferencesEnvironment() = default;
};

class PreferencesCommand {
public:
    PreferencesCommand(Settings& settings, PlayerFacade& player, PlayerControl& control,
                       UserPrompt& prompt, PreferencesEnvironment& environment);

    void Run();

private:
    // True when the new process started and this one is shutting down.
    bool Restart();

    Settings& settings_;
    PlayerFacade& player_;
    PlayerControl& control_;
    UserPrompt& prompt_;
    PreferencesEnvironment& environment_;
};

// The environment of the desktop program.
class QtPreferencesEnvironment final : public PreferencesEnvironment {
public:
    // `instance` may be null (no single-instance place was had); `association` may be null.
    QtPreferencesEnvironment(CMainFrame& frame, SingleInstance* instance, UserPrompt& prompt,
                             MidAssociation* association,
                             std::function<std::vector<std::string>()> deviceNames,
                             QString programPath);
    virtual ~QtPreferencesEnvironment() = default;

    std::vector<std::string> DeviceNames() override;
    PromptAnswer RunDialog(SettingsRecord& record,
                           const std::vector<std::string>& deviceNames) override;
    void ShowMessage(const std::string& text, int32_t ms) override;
    bool CloseInstanceBlock() override;
    void ReopenInstanceBlock() override;
    bool StartProgram(const std::string& argument) override;
    void ShutDownAndQuit() override;

private:
    CMainFrame& frame_;
    SingleInstance* instance_;
    UserPrompt& prompt_;
    MidAssociation* association_;
    std::function<std::vector<std::string>()> deviceNames_;
    QString programPath_;
};

}  // namespace zeblo
