#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

#include "TempFolder.h"
#include "settings/RecordingPrompt.h"
#include "settings/Settings.h"
#include "settings/SettingsMessages.h"

namespace zeblo {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// A program "installed" in a temporary folder; the executable itself need not exist.
class SettingsLoad : public ::testing::Test {
protected:
    std::string Executable() const { return folder.File("zeblo"); }
    std::string PreferencesFile() const { return folder.File("ZEBLOPreferences.bin"); }

    void WriteRecord(const SettingsRecord& r) { WriteBytes(PreferencesFile(), &r, sizeof r); }

    SettingsRecord SavedRecord() {
        const auto bytes = ReadBytes(PreferencesFile());
        SettingsRecord r;
        std::memset(&r, 0, sizeof r);
        EXPECT_EQ(bytes.size(), sizeof r);
        std::memcpy(&r, bytes.data(), std::min(bytes.size(), sizeof r));
        return r;
    }

    void Load() { settings.LoadSettings(Executable()); }

    TempFolder folder;
    RecordingPrompt prompt;
    Settings settings{prompt};
};

void ExpectDefaultFields(const SettingsRecord& r) {
    const SettingsRecord d = DefaultSettings();
    EXPECT_EQ(r.outputDevice, d.outputDevice);
    EXPECT_EQ(r.outputFrequency, d.outputFrequency);
    EXPECT_EQ(r.autoDetune, d.autoDetune);
    EXPECT_EQ(r.redrawRate, d.redrawRate);
    EXPECT_EQ(r.blockLength, d.blockLength);
    EXPECT_EQ(r.drumSet, d.drumSet);
    EXPECT_EQ(r.displayOffsetMode, d.displayOffsetMode);
    EXPECT_EQ(r.instrumentSet, d.instrumentSet);
    EXPECT_EQ(r.blockCount, d.blockCount);
    EXPECT_EQ(r.keepRunningOnUnderrun, d.keepRunningOnUnderrun);
    EXPECT_EQ(r.monauralOutput, d.monauralOutput);
    EXPECT_EQ(r.lowPassEnabled, d.lowPassEnabled);
    EXPECT_EQ(r.lowPassCutoff, d.lowPassCutoff);
}

void ExpectMagicWithZeroTail(const SettingsRecord& r) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&r);
    EXPECT_EQ(std::memcmp(bytes, "ZEBLOPREF0223\0", 14), 0);
    for (int i = 14; i < 64; ++i) EXPECT_EQ(bytes[i], 0) << "magic byte " << i;
}

// The two boxes of a start without a usable file: the notice, then the welcome question.
void ExpectRecreatedThenWelcome(const RecordingPrompt& prompt) {
    ASSERT_EQ(prompt.prompts().size(), 2u);
    EXPECT_EQ(prompt.prompts()[0].text, kSettingsRecreatedMessage);
    EXPECT_EQ(prompt.prompts()[0].buttons, PromptButtons::Ok);
    EXPECT_EQ(prompt.prompts()[1].text, kWelcomeMessage);
    EXPECT_EQ(prompt.prompts()[1].buttons, PromptButtons::OkCancel);
    EXPECT_EQ(prompt.prompts()[1].icon, PromptIcon::Information);
}

TEST(PreferencesPath, LiesInTheExecutablesFolder) {
    EXPECT_EQ(PreferencesPath("/opt/zeblo/bin/zeblo"), "/opt/zeblo/bin/ZEBLOPreferences.bin");
    // The root folder: exactly one separator before the name.
    EXPECT_EQ(PreferencesPath("/zeblo"), "/ZEBLOPreferences.bin");
    // A backslash is an ordinary byte here, also as the second byte of a Shift-JIS character.
    EXPECT_EQ(PreferencesPath("/home/u/\x95\x5C/zeblo"), "/home/u/\x95\x5C/ZEBLOPreferences.bin");
    EXPECT_EQ(PreferencesPath("/home/u/dir\\sub/zeblo"), "/home/u/dir\\sub/ZEBLOPreferences.bin");
    // No folder at all: the current one.
    EXPECT_EQ(PreferencesPath("zeblo"), "ZEBLOPreferences.bin");
    // Paths longer than 254 characters keep every byte.
    const std::string deep = "/" + std::string(300, 'd') + "/";
    EXPECT_EQ(PreferencesPath(deep + "zeblo"), deep + "ZEBLOPreferences.bin");
}

TEST(ExecutablePath, IsThisTestProgram) {
    const std::filesystem::path path = ExecutablePath();
    EXPECT_TRUE(path.is_absolute());
    EXPECT_EQ(path.filename(), "settings_tests");
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
}

TEST(BlockBytes, TenthsOfASecondOfStereoFrames) {
    EXPECT_EQ(BlockBytes(60, 44100), 1058400);
    EXPECT_EQ(BlockBytes(30, 44100), 529200);
    EXPECT_EQ(BlockBytes(20, 44100), 352800);
    EXPECT_EQ(BlockBytes(10, 44100), 176400);
    EXPECT_EQ(BlockBytes(5, 44100), 88200);
    EXPECT_EQ(BlockBytes(2, 44100), 35280);
    EXPECT_EQ(BlockBytes(1, 44100), 17640);
    EXPECT_EQ(BlockBytes(2, 22050), 17640);
    EXPECT_EQ(BlockBytes(60, 48000), 1152000);
    EXPECT_EQ(BlockBytes(5, 22050), 44100);
}

TEST_F(SettingsLoad, NoFileGivesBothBoxesDefaultsAndWritesNothingUntilSaved) {
    Load();
    ExpectRecreatedThenWelcome(prompt);
    EXPECT_FALSE(std::filesystem::exists(PreferencesFile()));
    EXPECT_EQ(settings.preferences.path(), PreferencesFile());
    ExpectMagicWithZeroTail(settings.record);
    ExpectDefaultFields(settings.record);
    EXPECT_EQ(settings.record.startCounter, 0);

    EXPECT_EQ(settings.parameters.sampleRate, 44100);
    EXPECT_EQ(settings.parameters.blockBytes, 352800);
    EXPECT_EQ(settings.parameters.redrawRate, 10);
    EXPECT_EQ(settings.parameters.blockCount, 10);
    EXPECT_EQ(settings.parameters.activeDrumSet.load(), 0);
    EXPECT_EQ(settings.parameters.activeInstrumentSet.load(), 0);

    ASSERT_TRUE(settings.SaveOnExit(120, -40));
    const SettingsRecord saved = SavedRecord();
    ExpectMagicWithZeroTail(saved);
    ExpectDefaultFields(saved);
    EXPECT_EQ(saved.windowLeft, 120);
    EXPECT_EQ(saved.windowTop, -40);
    EXPECT_EQ(saved.startCounter, 0);
    EXPECT_EQ(prompt.prompts().size(), 2u) << "a successful save asks nothing";
}

TEST_F(SettingsLoad, CancelOnTheWelcomeStartsTheCounter) {
    prompt.AnswerNext(PromptAnswer::Cancel);
    Load();
    ExpectRecreatedThenWelcome(prompt);
    EXPECT_EQ(settings.record.startCounter, 1);
    ASSERT_TRUE(settings.SaveAfterPreferences());
    EXPECT_EQ(SavedRecord().startCounter, 1);

    // The next start shows nothing and counts on.
    RecordingPrompt nextPrompt;
    Settings next(nextPrompt);
    next.LoadSettings(Executable());
    EXPECT_TRUE(nextPrompt.prompts().empty());
    EXPECT_EQ(next.record.startCounter, 2);
}

TEST_F(SettingsLoad, ShortOrOtherVersionFilesAreTreatedAsMissing) {
    SettingsRecord stale = DefaultSettings();
    stale.outputFrequency = 22050;
    stale.startCounter = 5;
    std::memset(stale.magic + 20, 0xAB, 10);  // tail bytes that must not survive

    WriteBytes(PreferencesFile(), &stale, 127);
    Load();
    ExpectRecreatedThenWelcome(prompt);
    ExpectMagicWithZeroTail(settings.record);
    ExpectDefaultFields(settings.record);
    EXPECT_EQ(settings.record.startCounter, 0);

    std::memcpy(stale.magic, "ZEBLOPREF0222", 14);
    WriteRecord(stale);
    prompt.Clear();
    Load();
    ExpectRecreatedThenWelcome(prompt);
    ExpectMagicWithZeroTail(settings.record);
    EXPECT_EQ(settings.record.outputFrequency, 44100);

    // The magic is compared as a whole string: a longer text is another magic.
    std::memcpy(stale.magic, "ZEBLOPREF02230", 15);
    WriteRecord(stale);
    prompt.Clear();
    Load();
    ExpectRecreatedThenWelcome(prompt);
}

TEST_F(SettingsLoad, LongerFileIsAcceptedAndTheNextSaveTruncatesIt) {
    SettingsRecord r = DefaultSettings();
    r.startCounter = 3;
    r.outputFrequency = 48000;
    std::string bytes(reinterpret_cast<const char*>(&r), sizeof r);
    bytes += std::string(72, 'x');
    WriteBytes(PreferencesFile(), bytes.data(), bytes.size());

    Load();
    EXPECT_TRUE(prompt.prompts().empty());
    EXPECT_EQ(settings.record.outputFrequency, 48000);
    EXPECT_EQ(settings.record.startCounter, 4);
    ASSERT_TRUE(settings.SaveAfterPreferences());
    EXPECT_EQ(ReadBytes(PreferencesFile()).size(), 128u);
}

TEST_F(SettingsLoad, ValidFileWithCounterZeroAsksAgainAndCounterSevenCountsOn) {
    SettingsRecord r = DefaultSettings();
    WriteRecord(r);
    Load();
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, kWelcomeMessage);
    EXPECT_EQ(settings.record.startCounter, 0) << "OK keeps the welcome";

    r.startCounter = 7;
    WriteRecord(r);
    prompt.Clear();
    Load();
    EXPECT_TRUE(prompt.prompts().empty());
    EXPECT_EQ(settings.record.startCounter, 8);
    ASSERT_TRUE(settings.SaveOnExit(0, 0));
    EXPECT_EQ(SavedRecord().startCounter, 8);
}

TEST_F(SettingsLoad, CounterStopsAtTheTopAndANegativeCounterFallsBackToZero) {
    SettingsRecord r = DefaultSettings();
    r.startCounter = std::numeric_limits<int32_t>::max();
    WriteRecord(r);
    Load();
    EXPECT_TRUE(prompt.prompts().empty());
    EXPECT_EQ(settings.record.startCounter, std::numeric_limits<int32_t>::max());

    r.startCounter = -3;
    WriteRecord(r);
    Load();
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, kWelcomeMessage);
    EXPECT_EQ(settings.record.startCounter, 0);
}

TEST_F(SettingsLoad, LowPassOutsideItsRangeIsSwitchedOffKeepingTheCutoff) {
    struct Case {
        int32_t frequency, cutoff, enabledAfter;
    };
    const Case cases[] = {
        {44100, 30000, 0}, {22050, 11025, 1}, {22050, 11026, 0}, {44100, 22050, 1},
        {48000, 24001, 0}, {44100, 100, 1},   {44100, 99, 0},    {44100, -5, 0},
    };
    for (const Case& c : cases) {
        SettingsRecord r = DefaultSettings();
        r.startCounter = 1;
        r.outputFrequency = c.frequency;
        r.lowPassEnabled = 1;
        r.lowPassCutoff = c.cutoff;
        WriteRecord(r);
        Load();
        EXPECT_EQ(settings.record.lowPassEnabled, c.enabledAfter)
            << c.frequency << " Hz, cut-off " << c.cutoff;
        EXPECT_EQ(settings.record.lowPassCutoff, c.cutoff);
    }
}

TEST_F(SettingsLoad, OfferedValuesAreKeptAndDriveTheWorkingValues) {
    SettingsRecord r = DefaultSettings();
    std::memset(r.magic + 14, 0x5A, 50);  // carried along unchanged
    r.outputDevice = 3;
    r.outputFrequency = 22050;
    r.autoDetune = 0;
    r.redrawRate = 50;
    r.blockLength = 2;
    r.displayOffsetMode = 9;  // hidden option: any nonzero value
    r.instrumentSet = 7;
    r.blockCount = 5;
    r.keepRunningOnUnderrun = 1;
    r.monauralOutput = 1;
    r.lowPassEnabled = 1;
    r.lowPassCutoff = 4000;
    r.windowLeft = -1200;
    r.windowTop = 77;
    r.startCounter = 1;
    WriteRecord(r);
    Load();
    SettingsRecord expected = r;
    expected.startCounter = 2;
    EXPECT_EQ(std::memcmp(&settings.record, &expected, sizeof expected), 0);

    EXPECT_EQ(settings.parameters.sampleRate, 22050);
    EXPECT_EQ(settings.parameters.blockBytes, 17640);
    EXPECT_EQ(settings.parameters.redrawRate, 50);
    EXPECT_EQ(settings.parameters.blockCount, 5);
    EXPECT_EQ(settings.parameters.activeInstrumentSet.load(), 7);

    ASSERT_TRUE(settings.SaveAfterPreferences());
    const SettingsRecord saved = SavedRecord();
    EXPECT_EQ(std::memcmp(&saved, &expected, sizeof expected), 0);
}

TEST_F(SettingsLoad, EditedValuesOutsideTheOfferedSetsFallBackOneByOne) {
    SettingsRecord r = DefaultSettings();
    r.outputDevice = -2;
    r.outputFrequency = 0;
    r.autoDetune = 2;
    r.redrawRate = 0;
    r.blockLength = 0;
    r.drumSet = 1;
    r.instrumentSet = 8;
    r.blockCount = 0;
    r.keepRunningOnUnderrun = -1;
    r.monauralOutput = 2;
    r.lowPassEnabled = 7;
    r.lowPassCutoff = 5000;
    r.windowLeft = std::numeric_limits<int32_t>::min();
    r.startCounter = 1;
    WriteRecord(r);
    Load();
    SettingsRecord others = settings.record;
    others.lowPassCutoff = DefaultSettings().lowPassCutoff;  // the cut-off has its own rule
    ExpectDefaultFields(others);
    EXPECT_EQ(settings.record.lowPassCutoff, 5000);
    EXPECT_EQ(settings.record.windowLeft, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(settings.parameters.blockBytes, 352800);
    EXPECT_EQ(settings.parameters.blockCount, 10);

    // Fields fall back alone: the good neighbours of a bad field stay.
    r = DefaultSettings();
    r.startCounter = 1;
    r.outputFrequency = 48000;
    r.blockLength = 7;
    r.blockCount = 31;
    r.instrumentSet = -1;
    r.redrawRate = 25;
    WriteRecord(r);
    Load();
    EXPECT_EQ(settings.record.outputFrequency, 48000);
    EXPECT_EQ(settings.record.blockLength, 20);
    EXPECT_EQ(settings.record.blockCount, 10);
    EXPECT_EQ(settings.record.instrumentSet, 0);
    EXPECT_EQ(settings.record.redrawRate, 25);
    EXPECT_EQ(settings.parameters.blockBytes, 384000);
}

TEST_F(SettingsLoad, UnwritableFileReportsEachSaveWithItsOwnMessage) {
    settings.LoadSettings(folder.File("missing-folder/zeblo"));
    prompt.Clear();
    settings.record.instrumentSet = 3;

    EXPECT_FALSE(settings.SaveAfterPreferences());
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, kPreferencesSaveFailedMessage);
    EXPECT_EQ(prompt.prompts()[0].buttons, PromptButtons::Ok);
    EXPECT_EQ(prompt.prompts()[0].icon, PromptIcon::Error);

    EXPECT_FALSE(settings.SaveOnExit(10, 20));
    ASSERT_EQ(prompt.prompts().size(), 2u);
    EXPECT_EQ(prompt.prompts()[1].text, kExitSaveFailedMessage);
    EXPECT_EQ(prompt.prompts()[1].buttons, PromptButtons::Ok);
    // The run goes on with its settings in memory.
    EXPECT_EQ(settings.record.instrumentSet, 3);
    EXPECT_EQ(settings.record.windowLeft, 10);
}

TEST_F(SettingsLoad, OnlyTheActiveSetsFollowAnEditAtOnce) {
    Load();
    settings.record.instrumentSet = 6;
    settings.record.outputFrequency = 22050;
    settings.record.blockLength = 60;
    settings.RefreshActiveSets();
    EXPECT_EQ(settings.parameters.activeInstrumentSet.load(), 6);
    EXPECT_EQ(settings.parameters.sampleRate, 44100);
    EXPECT_EQ(settings.parameters.blockBytes, 352800);
}

TEST(RecordingPrompt, OkOnlyBoxesLeaveTheQueuedAnswersAlone) {
    RecordingPrompt prompt(PromptAnswer::Cancel);
    prompt.AnswerNext(PromptAnswer::Ok);
    EXPECT_EQ(prompt.Ask("a", PromptButtons::Ok, PromptIcon::Warning), PromptAnswer::Ok);
    EXPECT_EQ(prompt.Ask("b", PromptButtons::OkCancel, PromptIcon::Warning), PromptAnswer::Ok);
    EXPECT_EQ(prompt.Ask("c", PromptButtons::OkCancel, PromptIcon::Error), PromptAnswer::Cancel);
    ASSERT_EQ(prompt.prompts().size(), 3u);
    EXPECT_EQ(prompt.prompts()[2].text, "c");
    EXPECT_EQ(prompt.prompts()[2].icon, PromptIcon::Error);
    EXPECT_EQ(prompt.prompts()[2].answer, PromptAnswer::Cancel);
}

}  // namespace
}  // namespace zeblo
