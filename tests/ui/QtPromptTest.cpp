#include <gtest/gtest.h>

#include <cstring>

#include "BoxAnswerer.h"
#include "settings/Settings.h"
#include "settings/SettingsMessages.h"
#include "settings/TempFolder.h"
#include "ui/QtPrompt.h"

namespace zeblo {
namespace {

using testing::BoxAnswerer;
using testing::TempFolder;

TEST(QtPrompt, RealBoxesWithTheCaptionButtonsAndIcon) {
    QtPrompt prompt;
    BoxAnswerer answerer({QMessageBox::Cancel, QMessageBox::Ok});
    EXPECT_EQ(prompt.Ask("first\r\nsecond", PromptButtons::OkCancel, PromptIcon::Warning),
              PromptAnswer::Cancel);
    EXPECT_EQ(prompt.Ask("again", PromptButtons::OkCancel, PromptIcon::Information),
              PromptAnswer::Ok);
    EXPECT_EQ(prompt.Ask("只今", PromptButtons::Ok, PromptIcon::Error), PromptAnswer::Ok);
    ASSERT_EQ(answerer.seen.size(), 3u);
    EXPECT_EQ(answerer.seen[0].caption, "ZEBLO");
    EXPECT_EQ(answerer.seen[0].text, "first\nsecond");
    EXPECT_EQ(answerer.seen[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(answerer.seen[0].icon, QMessageBox::Warning);
    EXPECT_EQ(answerer.seen[1].icon, QMessageBox::Information);
    EXPECT_EQ(answerer.seen[2].text, QString::fromUtf8("只今"));
    EXPECT_EQ(answerer.seen[2].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(answerer.seen[2].icon, QMessageBox::Critical);
}

// The settings' boxes, shown for real.
class SettingsBoxes : public ::testing::Test {
protected:
    std::string Executable() const { return folder.File("zeblo"); }
    std::string PreferencesFile() const { return folder.File("ZEBLOPreferences.bin"); }
    void Write(const SettingsRecord& r) { testing::WriteBytes(PreferencesFile(), &r, sizeof r); }
    SettingsRecord Saved() const {
        SettingsRecord r;
        const auto bytes = testing::ReadBytes(PreferencesFile());
        EXPECT_EQ(bytes.size(), sizeof r);
        std::memcpy(&r, bytes.data(), std::min(bytes.size(), sizeof r));
        return r;
    }

    TempFolder folder;
    QtPrompt prompt;
    Settings settings{prompt};
};

TEST_F(SettingsBoxes, NoFileShowsBothBoxesThenDefaults) {
    BoxAnswerer answerer;
    settings.LoadSettings(Executable());
    ASSERT_EQ(answerer.seen.size(), 2u);
    EXPECT_EQ(answerer.seen[0].text, PromptText(kSettingsRecreatedMessage));
    EXPECT_EQ(answerer.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(answerer.seen[1].text, PromptText(kWelcomeMessage));
    EXPECT_EQ(answerer.seen[1].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    for (const auto& box : answerer.seen) EXPECT_EQ(box.caption, "ZEBLO");
    EXPECT_EQ(settings.record.outputFrequency, 44100);
    EXPECT_EQ(settings.record.blockCount, 10);
    EXPECT_EQ(settings.record.startCounter, 0);  // OK: the welcome comes again
    EXPECT_EQ(settings.parameters.blockBytes, 352800);
}

TEST_F(SettingsBoxes, WelcomeCancelCountsAndACountingStartAsksNothing) {
    SettingsRecord record = DefaultSettings();
    record.startCounter = 0;
    Write(record);
    {
        BoxAnswerer answerer({QMessageBox::Cancel});
        settings.LoadSettings(Executable());
        ASSERT_EQ(answerer.seen.size(), 1u);
        EXPECT_EQ(answerer.seen[0].text, PromptText(kWelcomeMessage));
        EXPECT_EQ(settings.record.startCounter, 1);
    }

    record.startCounter = 7;
    Write(record);
    Settings again(prompt);
    BoxAnswerer answerer;
    again.LoadSettings(Executable());
    EXPECT_TRUE(answerer.seen.empty());
    ASSERT_TRUE(again.SaveOnExit(12, 34));
    EXPECT_EQ(Saved().startCounter, 8);
    EXPECT_EQ(Saved().windowLeft, 12);
}

TEST_F(SettingsBoxes, FailedSavesSayWhichSaveFailed) {
    SettingsRecord record = DefaultSettings();
    record.startCounter = 3;
    Write(record);
    settings.LoadSettings(Executable());
    // The file's place becomes a folder: it cannot be written.
    std::filesystem::remove(PreferencesFile());
    std::filesystem::create_directory(PreferencesFile());
    BoxAnswerer answerer;
    EXPECT_FALSE(settings.SaveAfterPreferences());
    EXPECT_FALSE(settings.SaveOnExit(0, 0));
    ASSERT_EQ(answerer.seen.size(), 2u);
    EXPECT_EQ(answerer.seen[0].text, PromptText(kPreferencesSaveFailedMessage));
    EXPECT_EQ(answerer.seen[1].text, PromptText(kExitSaveFailedMessage));
    EXPECT_EQ(answerer.seen[1].caption, "ZEBLO");
}

}  // namespace
}  // namespace zeblo
