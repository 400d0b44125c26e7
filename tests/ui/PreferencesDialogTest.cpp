#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>

#include "settings/RecordingPrompt.h"
#include "ui/PreferencesDialog.h"
#include "ui/PreferencesDialogItems.h"

namespace zeblo {
namespace {

const std::vector<std::string> kDevices{"System default", "Speakers", "Headphones"};

QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

std::string LowPassMessage(int half) {
    return "Low-pass filter range is from 100 to the half of specified Output Frequency (" +
           std::to_string(half) + ").\r\nYour setting was modifyed.";
}

class Preferences : public ::testing::Test {
protected:
    std::unique_ptr<PreferencesDialog> Open(std::vector<std::string> devices = kDevices) {
        return std::make_unique<PreferencesDialog>(record, std::move(devices), prompt,
                                                   PreferencesDialogHooks{});
    }
    bool Unchanged(const SettingsRecord& before) const {
        return std::memcmp(&before, &record, sizeof record) == 0;
    }

    SettingsRecord record = DefaultSettings();
    RecordingPrompt prompt;
};

TEST_F(Preferences, ControlsCarryTheirIdsCaptionsAndItems) {
    auto dialog = Open();
    EXPECT_EQ(dialog->windowTitle(), "Preferences");
    EXPECT_EQ(dialog->objectName(), "130");
    EXPECT_EQ(Items(dialog->Combo(1000)), QStringList({"48000Hz", "44100Hz", "22050Hz"}));
    EXPECT_EQ(Items(dialog->Combo(1001)), QStringList({"none", "Max 14cent"}));
    EXPECT_EQ(Items(dialog->Combo(1002)), QStringList({"1 frame/ sec.", "10 frame/ sec.",
                                                       "25 frame/ sec.(*)", "50 frame/ sec.(*)"}));
    EXPECT_EQ(
        Items(dialog->Combo(1006)),
        QStringList({"SCC like Full-Set", "Famicom like Set", "All Square Set", "All Triangle Set",
                     "All Steal Set", "All HyperSin Set", "All Sin Set", "All PulsedSquare Set"}));
    EXPECT_EQ(Items(dialog->Combo(1003)), QStringList({"KESTRALIN PSG Drum"}));
    EXPECT_EQ(Items(dialog->Combo(1004)),
              QStringList({"6 sec.", "3 sec.", "2 sec.", "1 sec.", "0.5 sec.(*)", "0.2 sec.(*)"}));
    EXPECT_EQ(Items(dialog->Combo(1007)), QStringList({"30", "25", "20", "15", "10", "5(*)"}));
    EXPECT_EQ(Items(dialog->Combo(1005)), QStringList({"none"}));
    EXPECT_TRUE(dialog->Combo(1005)->isHidden());
    EXPECT_EQ(Items(dialog->Combo(1090)),
              QStringList({"System default", "Speakers", "Headphones"}));
    EXPECT_EQ(dialog->Check(1085)->text(), "Monaural Output");
    EXPECT_EQ(dialog->Check(1036)->text(), "Don't stop at Buffer-underrun");
    EXPECT_EQ(dialog->Check(1084)->text(), "Use Low-pass Filter");
    EXPECT_EQ(dialog->CutoffEdit()->objectName(), "1086");
    EXPECT_EQ(dialog->UpDown()->objectName(), "1087");
    EXPECT_EQ(dialog->Button(1088)->text(), "About");
    EXPECT_EQ(dialog->Button(1091)->text(), "Link MID");
    EXPECT_EQ(dialog->Button(1092)->text(), "Link RCP");
    EXPECT_EQ(dialog->Button(1)->text(), "OK");
    EXPECT_EQ(dialog->Button(2)->text(), "Cancel");

    QStringList labels;
    for (QLabel* l : dialog->findChildren<QLabel*>()) labels << l->text();
    for (const char* caption :
         {"Output Device", "Output Frequency", "Auto Detune", "Redraw Timing", "Instrument Set",
          "Drumset", "Buffer Block Size", "BufferCount", "Cut-off Frequency", "Hz.", "File manager",
          "(*) for FAST machine."}) {
        EXPECT_TRUE(labels.contains(caption)) << caption;
    }
    QStringList groups;
    for (QGroupBox* g : dialog->findChildren<QGroupBox*>()) groups << g->title();
    EXPECT_TRUE(groups.contains("Buffer Setting"));
    EXPECT_TRUE(groups.contains("Equalizing"));
}

TEST_F(Preferences, RecordValuesSelectTheirItems) {
    record.outputDevice = 1;
    record.outputFrequency = 22050;
    record.autoDetune = 0;
    record.redrawRate = 50;
    record.instrumentSet = 7;
    record.blockLength = 2;
    record.blockCount = 5;
    record.monauralOutput = 1;
    record.lowPassEnabled = 1;
    record.lowPassCutoff = 8000;
    auto dialog = Open();
    EXPECT_EQ(dialog->Combo(1090)->currentIndex(), 2);
    EXPECT_EQ(dialog->Combo(1000)->currentIndex(), 2);
    EXPECT_EQ(dialog->Combo(1001)->currentIndex(), 0);
    EXPECT_EQ(dialog->Combo(1002)->currentIndex(), 3);
    EXPECT_EQ(dialog->Combo(1006)->currentIndex(), 7);
    EXPECT_EQ(dialog->Combo(1004)->currentIndex(), 5);
    EXPECT_EQ(dialog->Combo(1007)->currentIndex(), 5);
    EXPECT_TRUE(dialog->Check(1085)->isChecked());
    EXPECT_FALSE(dialog->Check(1036)->isChecked());
    EXPECT_TRUE(dialog->Check(1084)->isChecked());
    EXPECT_EQ(dialog->CutoffEdit()->text(), "8000");

    // The choices made in the controls reach the record only with OK.
    dialog->Combo(1000)->setCurrentIndex(0);
    dialog->Combo(1002)->setCurrentIndex(1);
    dialog->Combo(1004)->setCurrentIndex(0);
    dialog->Combo(1007)->setCurrentIndex(0);
    dialog->Combo(1090)->setCurrentIndex(0);
    dialog->Check(1036)->setChecked(true);
    dialog->accept();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(record.outputFrequency, 48000);
    EXPECT_EQ(record.redrawRate, 10);
    EXPECT_EQ(record.blockLength, 60);
    EXPECT_EQ(record.blockCount, 30);
    EXPECT_EQ(record.outputDevice, -1);
    EXPECT_EQ(record.keepRunningOnUnderrun, 1);
    EXPECT_EQ(record.instrumentSet, 7);
    EXPECT_TRUE(prompt.prompts().empty());
}

TEST_F(Preferences, CutoffIsPulledIntoRangeWithTheMessage) {
    record.lowPassEnabled = 1;
    auto dialog = Open();
    dialog->CutoffEdit()->setText("30000");
    dialog->accept();
    EXPECT_EQ(record.lowPassCutoff, 22050);
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, LowPassMessage(22050));

    prompt.Clear();
    auto low = Open();
    low->CutoffEdit()->setText("50");
    low->accept();
    EXPECT_EQ(record.lowPassCutoff, 100);
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, LowPassMessage(22050));

    // The half of a newly chosen rate is the bound.
    prompt.Clear();
    auto slower = Open();
    slower->Combo(1000)->setCurrentIndex(2);
    slower->CutoffEdit()->setText("11026");
    slower->accept();
    EXPECT_EQ(record.lowPassCutoff, 11025);
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, LowPassMessage(11025));
}

TEST_F(Preferences, NoCorrectionWithTheFilterOffOrInRange) {
    record.lowPassEnabled = 0;
    auto dialog = Open();
    dialog->CutoffEdit()->setText("30000");
    dialog->accept();
    EXPECT_EQ(record.lowPassCutoff, 30000);
    EXPECT_EQ(record.lowPassEnabled, 0);

    record.lowPassEnabled = 1;
    record.outputFrequency = 22050;
    auto edge = Open();
    edge->CutoffEdit()->setText("11025");
    edge->accept();
    EXPECT_EQ(record.lowPassCutoff, 11025);
    EXPECT_TRUE(prompt.prompts().empty());
}

TEST_F(Preferences, ANonNumberKeepsTheDialogOpenAndTheRecordUntouched) {
    const SettingsRecord before = record;
    auto dialog = Open();
    dialog->Combo(1000)->setCurrentIndex(0);
    dialog->CutoffEdit()->setText("12a");
    dialog->accept();
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, kIntegerExpectedMessage);
    EXPECT_TRUE(Unchanged(before));
}

TEST_F(Preferences, CancelLeavesTheRecordUntouched) {
    const SettingsRecord before = record;
    auto dialog = Open();
    dialog->Combo(1000)->setCurrentIndex(2);
    dialog->Combo(1006)->setCurrentIndex(3);
    dialog->Check(1085)->setChecked(true);
    dialog->CutoffEdit()->setText("500");
    dialog->reject();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_TRUE(Unchanged(before));
}

TEST_F(Preferences, ValuesWithoutAnItemAreKeptNeverMadeMinusOne) {
    record.blockLength = 1;    // understood, but not offered
    record.outputDevice = 5;   // a device that is not plugged in today
    record.instrumentSet = 9;  // an edited file
    record.autoDetune = 3;
    record.displayOffsetMode = 2;
    auto dialog = Open();
    EXPECT_EQ(dialog->Members().blockLength, 6);
    EXPECT_EQ(dialog->Combo(1004)->currentIndex(), -1);
    EXPECT_EQ(dialog->Combo(1090)->currentIndex(), -1);
    EXPECT_EQ(dialog->Combo(1006)->currentIndex(), -1);
    EXPECT_EQ(dialog->Combo(1001)->currentIndex(), -1);
    EXPECT_EQ(dialog->Combo(1005)->currentIndex(), -1);
    dialog->accept();
    EXPECT_EQ(record.blockLength, 1);
    EXPECT_EQ(record.outputDevice, 5);
    EXPECT_EQ(record.displayOffsetMode, 2);
    // Values the modules would index tables with fall back to their defaults.
    EXPECT_EQ(record.instrumentSet, 0);
    EXPECT_EQ(record.autoDetune, 1);
}

TEST_F(Preferences, MembersFollowTheIndexTables) {
    SettingsRecord r = DefaultSettings();
    PreferencesMembers m = MembersFromRecord(r);
    EXPECT_EQ(m.device, 0);
    EXPECT_EQ(m.frequency, 1);
    EXPECT_EQ(m.detune, 1);
    EXPECT_EQ(m.redraw, 1);
    EXPECT_EQ(m.blockLength, 2);
    EXPECT_EQ(m.blockCount, 4);
    EXPECT_EQ(m.hiddenOption, 0);
    EXPECT_EQ(m.cutoff, 10050);

    m.frequency = 0;
    m.redraw = 2;
    m.blockLength = 4;
    m.blockCount = 1;
    m.device = 3;
    StoreMembers(m, r);
    EXPECT_EQ(r.outputFrequency, 48000);
    EXPECT_EQ(r.redrawRate, 25);
    EXPECT_EQ(r.blockLength, 5);
    EXPECT_EQ(r.blockCount, 25);
    EXPECT_EQ(r.outputDevice, 2);

    // An index that stands for no value changes nothing.
    m.blockLength = 6;
    m.frequency = 3;
    StoreMembers(m, r);
    EXPECT_EQ(r.blockLength, 5);
    EXPECT_EQ(r.outputFrequency, 48000);
}

TEST_F(Preferences, UpDownStepsTheCutoffWithinItsRange) {
    auto dialog = Open();
    dialog->CutoffEdit()->setText("10050");
    dialog->UpDown()->stepBy(1);
    EXPECT_EQ(dialog->CutoffEdit()->text(), "10150");
    dialog->UpDown()->stepBy(-3);
    EXPECT_EQ(dialog->CutoffEdit()->text(), "9850");
    dialog->CutoffEdit()->setText("23950");
    dialog->UpDown()->stepBy(1);
    EXPECT_EQ(dialog->CutoffEdit()->text(), "24000");
    dialog->UpDown()->stepBy(1);
    EXPECT_EQ(dialog->CutoffEdit()->text(), "24000");
    dialog->CutoffEdit()->setText("150");
    dialog->UpDown()->stepBy(-1);
    dialog->UpDown()->stepBy(-1);
    EXPECT_EQ(dialog->CutoffEdit()->text(), "100");
}

TEST_F(Preferences, ButtonsOpenAboutAndSayRcpLinkingIsMissing) {
    int abouts = 0;
    PreferencesDialogHooks hooks;
    hooks.showAbout = [&] { ++abouts; };
    PreferencesDialog dialog(record, kDevices, prompt, hooks);
    dialog.Button(1088)->click();
    EXPECT_EQ(abouts, 1);
    dialog.Button(1092)->click();
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, "Sorry, It does not mount yet ;)");
    EXPECT_EQ(prompt.prompts()[0].buttons, PromptButtons::Ok);
    EXPECT_FALSE(dialog.Button(1091)->isEnabled());
}

}  // namespace
}  // namespace zeblo
