// The Preferences dialog: one control per setting, with the ids as object names. It edits the
// record only when OK is pressed; Cancel leaves the record untouched.
//
// Threads: user-interface thread only.
#pragma once

#include <QAbstractSpinBox>
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "settings/SettingsRecord.h"
#include "settings/UserPrompt.h"
#include "ui/PreferencesDialogRules.h"

class QComboBox;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace zeblo {

class MidAssociation;

inline constexpr char kNotMountedMessage[] = "Sorry, It does not mount yet ;)";
// The message the dialog shows for a cut-off that is not a whole number.
inline constexpr char kIntegerExpectedMessage[] = "Please enter an integer.";

struct PreferencesDialogHooks {
    std::function<void()> showAbout;        // the About button
    MidAssociation* association = nullptr;  // the Link MID button; null disables it
};

// The up-down arrows beside the cut-off: steps the number in its buddy edit within a range.
class CutoffUpDown : public QAbstractSpinBox {
    Q_OBJECT
public:
    CutoffUpDown(QLineEdit* buddy, QWidget* parent);
    void SetRange(int32_t low, int32_t high) { low_ = low, high_ = high; }
    void SetStep(int32_t step) { step_ = step; }
    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

private:
    QLineEdit* buddy_;
    int32_t low_ = 0;
    int32_t high_ = 100;
    int32_t step_ = 1;
};

class PreferencesDialog : public QDialog {
    Q_OBJECT
public:
    // `deviceNames`: entry 0 the system's default device, then the devices in order.
    PreferencesDialog(SettingsRecord& record, std::vector<std::string> deviceNames,
                      UserPrompt& prompt, PreferencesDialogHooks hooks, QWidget* parent = nullptr);

    const PreferencesMembers& Members() const { return members_; }
    void TransferToControls();
    // False after the standard message when the cut-off is not a whole number.
    bool TransferFromControls();

    // OK: controls to members to record, the low-pass correction, close.
    void accept() override;

    QComboBox* Combo(int id) const;
    QCheckBox* Check(int id) const;
    QLineEdit* CutoffEdit() const { return cutoff_; }
    CutoffUpDown* UpDown() const { return upDown_; }
    QPushButton* Button(int id) const;

private:
    QComboBox* AddCombo(int id);
    QCheckBox* AddCheck(int id, const char* caption);
    void RefreshLinkCaption();

    SettingsRecord& record_;
    UserPrompt& prompt_;
    PreferencesDialogHooks hooks_;
    PreferencesMembers members_;
    QLineEdit* cutoff_ = nullptr;
    CutoffUpDown* upDown_ = nullptr;
};

}  // namespace zeblo
