#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>

#include "settings/RecordingPrompt.h"
#include "support/Fnv1a.h"
#include "ui/AboutDialog.h"
#include "ui/PreferencesDialog.h"

namespace zeblo {
namespace {

// Every control's class, id, caption, items and state, in the dialog's own order.
std::string Dump(const QDialog& dialog) {
    QString dump = dialog.windowTitle() + "#" + dialog.objectName();
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        QString text;
        if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text() + (b->isChecked() ? " [x]" : "");
        if (auto* e = qobject_cast<QLineEdit*>(w)) text = e->text();
        if (auto* g = qobject_cast<QGroupBox*>(w)) text = g->title();
        if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i)
                text += c->itemText(i) + (i == c->currentIndex() ? "[x];" : ";");
        if (text.isEmpty() && w->objectName().isEmpty()) continue;
        dump += "\n" + QString(w->metaObject()->className()) + "#" + w->objectName() + " " + text +
                (w->isHidden() ? " (hidden)" : "");
    }
    return dump.toStdString();
}

class Preferences : public ::testing::Test {
protected:
    std::unique_ptr<PreferencesDialog> Open(PreferencesDialogHooks hooks = {}) {
        return std::make_unique<PreferencesDialog>(
            record, std::vector<std::string>{"System default", "Speakers", "Headphones"}, prompt,
            hooks);
    }
    std::string Prompts() { return prompt.TakeTexts(); }

    SettingsRecord record = DefaultSettings();
    RecordingPrompt prompt;
};

// The record's values select their items; a value without an item selects none and OK keeps
// it, except where the modules would index a table with it.
TEST_F(Preferences, ControlsShowTheRecordAndOkKeepsWhatTheyCannotShow) {
    record.outputDevice = 1;
    record.outputFrequency = 22050;
    record.autoDetune = 3;
    record.redrawRate = 50;
    record.instrumentSet = 9;
    record.blockLength = 1;
    record.blockCount = 5;
    record.displayOffsetMode = 2;
    record.monauralOutput = record.lowPassEnabled = 1;
    record.lowPassCutoff = 8000;
    SettingsRecord expected = record;
    expected.autoDetune = 1;
    expected.instrumentSet = 0;
    auto dialog = Open();
    const std::string dump = Dump(*dialog);
    EXPECT_EQ(test::Fnv1a(dump), 0x9d338e588afa35a1ull) << dump;
    dialog->accept();
    EXPECT_EQ(std::memcmp(&record, &expected, sizeof record), 0);
    record.outputDevice = 5;  // not plugged in today
    auto again = Open();
    EXPECT_EQ(again->Combo(1090)->currentIndex(), -1);
    again->accept();
    EXPECT_EQ(record.outputDevice, 5);
    EXPECT_EQ(Prompts(), "");
}

TEST_F(Preferences, ChoicesReachTheRecordOnlyWithOk) {
    const SettingsRecord before = record;
    for (bool ok : {false, true}) {
        auto dialog = Open();
        for (auto [id, index] :
             {std::pair{1000, 0}, {1002, 2}, {1004, 4}, {1007, 1}, {1090, 2}, {1006, 3}})
            dialog->Combo(id)->setCurrentIndex(index);
        for (int id : {1036, 1085}) dialog->Check(id)->setChecked(true);
        ok ? dialog->accept() : dialog->reject();
        EXPECT_EQ(dialog->result(), ok ? QDialog::Accepted : QDialog::Rejected);
    }
    SettingsRecord expected = before;
    expected.outputFrequency = 48000;
    expected.redrawRate = 25;
    expected.blockLength = 5;
    expected.blockCount = 25;
    expected.outputDevice = 1;
    expected.instrumentSet = 3;
    expected.keepRunningOnUnderrun = expected.monauralOutput = 1;
    EXPECT_EQ(std::memcmp(&record, &expected, sizeof record), 0);
}

TEST_F(Preferences, TheCutoffIsPulledIntoRangeWithTheMessage) {
    const auto told = [](int half) {
        return "Low-pass filter range is from 100 to the half of specified Output Frequency (" +
               std::to_string(half) + ").\r\nYour setting was modifyed.|";
    };
    const struct {
        int32_t enabled, rateIndex;
        const char* typed;
        int32_t cutoff;
        std::string message;
    } rows[] = {
        {1, 1, "30000", 22050, told(22050)}, {1, 1, "50", 100, told(22050)},
        {1, 2, "11026", 11025, told(11025)}, {1, 2, "11025", 11025, ""},
        {0, 1, "30000", 30000, ""},
    };
    for (const auto& row : rows) {
        record.lowPassEnabled = row.enabled;
        auto dialog = Open();
        dialog->Combo(1000)->setCurrentIndex(row.rateIndex);
        dialog->CutoffEdit()->setText(row.typed);
        dialog->accept();
        EXPECT_EQ(record.lowPassCutoff, row.cutoff) << row.typed;
        EXPECT_EQ(record.lowPassEnabled, row.enabled);
        EXPECT_EQ(Prompts(), row.message) << row.typed;
    }
    // Not a number: the dialog stays open and the record untouched.
    const SettingsRecord before = record;
    auto dialog = Open();
    dialog->Combo(1000)->setCurrentIndex(0);
    dialog->CutoffEdit()->setText("12a");
    dialog->accept();
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Prompts(), kIntegerExpectedMessage + std::string("|"));
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);

    const std::pair<const char*, int> steps[] = {{"10050", 1}, {"", -3},    {"23950", 1},
                                                 {"", 1},      {"150", -1}, {"", -1}};
    std::string seen;
    for (const auto& [typed, by] : steps) {
        if (*typed) dialog->CutoffEdit()->setText(typed);
        dialog->UpDown()->stepBy(by);
        seen += dialog->CutoffEdit()->text().toStdString() + " ";
    }
    EXPECT_EQ(seen, "10150 9850 24000 24000 100 100 ");
}

TEST_F(Preferences, ButtonsOpenAboutAndSayRcpLinkingIsMissing) {
    int abouts = 0;
    PreferencesDialogHooks hooks;
    hooks.showAbout = [&] { ++abouts; };
    auto dialog = Open(hooks);
    dialog->Button(1088)->click();
    EXPECT_EQ(abouts, 1);
    dialog->Button(1092)->click();
    EXPECT_EQ(Prompts(), "Sorry, It does not mount yet ;)|");
    EXPECT_FALSE(dialog->Button(1091)->isEnabled()) << "no association to link";
}

TEST(About, ShowsTheVersionAndOpensOurAddressesWithoutClosing) {
    std::vector<QUrl> opened;
    AboutDialog about(nullptr, [&](const QUrl& url) { opened.push_back(url); });
    about.show();
    const std::string dump = Dump(about);
    EXPECT_EQ(test::Fnv1a(dump), 0xbc7bcbe09dff3d01ull) << dump;
    about.findChild<QPushButton*>("1089")->click();
    about.findChild<QPushButton*>("1090")->click();
    EXPECT_EQ(opened, std::vector<QUrl>(
                          {QUrl("https://zeblo.example.org"), QUrl("mailto:zeblo@example.org")}));
    EXPECT_TRUE(about.isVisible());
    about.findChild<QPushButton*>("1")->click();
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace zeblo
