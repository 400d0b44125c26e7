#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/RecordingPrompt.h"
#include "settings/Settings.h"
#include "settings/SettingsMessages.h"
#include "support/Fnv1a.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

// The image of a valid file with `counter` starts and a rate other than the default, so that
// an accepted file and a recreated record tell apart; tail bytes after the magic's NUL must
// survive only an accepted file.
SettingsRecord Image(int32_t counter, const char* magic = kSettingsMagic) {
    SettingsRecord r = DefaultSettings();
    std::strncpy(r.magic, magic, sizeof r.magic);
    std::memset(r.magic + 20, 0xAB, 10);
    r.outputFrequency = 48000;
    r.startCounter = counter;
    return r;
}

// A program "installed" in a temporary folder; the executable itself need not exist.
class SettingsLoad : public ::testing::Test {
protected:
    std::string File() const { return dir.File("ZEBLOPreferences.bin"); }
    void Write(const SettingsRecord& r) { test::WriteFile(File(), test::BytesOf(r)); }
    const SettingsRecord& Load() {
        prompt.Clear();
        settings.LoadSettings(dir.File("zeblo"));
        return settings.record;
    }
    // "R" for the recreated-file notice, "W" for the welcome question.
    std::string Boxes() const {
        std::string seen;
        for (const RecordedPrompt& p : prompt.prompts())
            seen += p.text == kWelcomeMessage             ? 'W'
                    : p.text == kSettingsRecreatedMessage ? 'R'
                                                          : '?';
        return seen;
    }

    test::TempDir dir;
    RecordingPrompt prompt;
    Settings settings{prompt};
};

TEST(SettingsRecord, TheShippedImage) {
    // Magic, zero tail and every default value of the 128 bytes a first save writes.
    EXPECT_EQ(test::Fnv1a(test::BytesOf(DefaultSettings())), 0x85ffcc78e1f0a487ull);
}

TEST(PreferencesPath, LiesInTheExecutablesFolderKeepingEveryByte) {
    const std::string deep = "/" + std::string(300, 'd') + "/";
    const std::pair<std::string, std::string> rows[] = {
        {"/opt/zeblo/bin/zeblo", "/opt/zeblo/bin/"},
        {"/zeblo", "/"},
        {"/home/u/\x95\x5C/zeblo", "/home/u/\x95\x5C/"},  // a Shift-JIS byte pair ending in '\'
        {"/home/u/dir\\sub/zeblo", "/home/u/dir\\sub/"},
        {"zeblo", ""},
        {deep + "zeblo", deep},
    };
    for (const auto& [exe, folder] : rows)
        EXPECT_EQ(PreferencesPath(exe), folder + "ZEBLOPreferences.bin") << exe;
    EXPECT_EQ(ExecutablePath(), std::filesystem::canonical("/proc/self/exe").string());
}

// What is on disk at a start, which boxes come up, and what the next save writes.
TEST_F(SettingsLoad, StartsFromEachKindOfFile) {
    struct Row {
        const char* name;
        std::string file;
        PromptAnswer welcome;
        const char* boxes;
        bool accepted;
        int32_t counter;
    };
    const auto bytes = [](const SettingsRecord& r, std::size_t size) {
        std::string b(test::BytesOf(r));
        b.resize(size, 'x');
        return b;
    };
    const Row rows[] = {
        {"missing", "", PromptAnswer::Ok, "RW", false, 0},
        {"missing, cancel", "", PromptAnswer::Cancel, "RW", false, 1},
        {"short", bytes(Image(5), 127), PromptAnswer::Ok, "RW", false, 0},
        {"old", bytes(Image(5, "ZEBLOPREF0222"), 128), PromptAnswer::Ok, "RW", false, 0},
        {"longer magic", bytes(Image(5, "ZEBLOPREF02230"), 128), PromptAnswer::Ok, "RW", false, 0},
        {"never cancelled", bytes(Image(0), 128), PromptAnswer::Ok, "W", true, 0},
        {"counting", bytes(Image(7), 128), PromptAnswer::Ok, "", true, 8},
        {"at the top", bytes(Image(INT_MAX), 128), PromptAnswer::Ok, "", true, INT_MAX},
        {"negative", bytes(Image(-3), 128), PromptAnswer::Cancel, "W", true, 1},
        {"longer file", bytes(Image(3), 200), PromptAnswer::Ok, "", true, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(File());
        if (!row.file.empty()) test::WriteFile(File(), row.file);
        if (row.welcome == PromptAnswer::Cancel) prompt.AnswerNext(PromptAnswer::Cancel);
        SettingsRecord expected = row.accepted ? Image(0) : DefaultSettings();
        expected.startCounter = row.counter;
        EXPECT_EQ(test::BytesOf(Load()), test::BytesOf(expected));
        EXPECT_EQ(Boxes(), row.boxes);
        EXPECT_EQ(test::ReadFile(File()), row.file) << "a start writes nothing";

        ASSERT_TRUE(settings.SaveOnExit(120, -40));
        expected.windowLeft = 120;
        expected.windowTop = -40;
        EXPECT_EQ(test::ReadFile(File()), test::BytesOf(expected));
    }
}

// Each field the dialog could not have produced falls back to its default alone; its
// neighbours, and values the dialog does offer, stay.
TEST_F(SettingsLoad, FieldsFallBackOneByOne) {
    using R = SettingsRecord;
    const std::pair<int32_t R::*, std::vector<std::pair<int32_t, int32_t>>> rows[] = {
        {&R::outputDevice, {{-2, -1}, {3, 3}}}, {&R::outputFrequency, {{0, 44100}, {22050, 22050}}},
        {&R::autoDetune, {{2, 1}, {0, 0}}},     {&R::redrawRate, {{0, 10}, {50, 50}}},
        {&R::blockLength, {{7, 20}, {2, 2}}},   {&R::drumSet, {{1, 0}}},
        {&R::displayOffsetMode, {{9, 9}}},      {&R::instrumentSet, {{8, 0}, {-1, 0}, {7, 7}}},
        {&R::blockCount, {{31, 10}, {5, 5}}},   {&R::keepRunningOnUnderrun, {{-1, 0}}},
        {&R::monauralOutput, {{2, 0}, {1, 1}}}, {&R::lowPassEnabled, {{7, 0}}},
        {&R::windowLeft, {{INT_MIN, INT_MIN}}}};
    for (const auto& [field, values] : rows)
        for (const auto& [value, loaded] : values) {
            SettingsRecord r = Image(1);
            r.*field = value;
            Write(r);
            SettingsRecord expected = r;
            expected.*field = loaded;
            expected.startCounter = 2;
            EXPECT_EQ(test::BytesOf(Load()), test::BytesOf(expected)) << value;
        }
    // The filter is switched off outside 100 ... half the rate; the cut-off itself stays.
    const int32_t lowPass[][3] = {{44100, 30000, 0}, {22050, 11025, 1}, {22050, 11026, 0},
                                  {48000, 24001, 0}, {44100, 100, 1},   {44100, 99, 0}};
    for (const auto& [rate, cutoff, enabled] : lowPass) {
        SettingsRecord r = Image(1);
        r.outputFrequency = rate;
        r.lowPassEnabled = 1;
        r.lowPassCutoff = cutoff;
        Write(r);
        EXPECT_EQ(Load().lowPassEnabled, enabled) << rate << " Hz, cut-off " << cutoff;
        EXPECT_EQ(settings.record.lowPassCutoff, cutoff);
    }
}

TEST_F(SettingsLoad, WorkingValuesFollowTheStartAndOnlyTheSetsFollowAnEdit) {
    SettingsRecord r = Image(1);
    r.outputFrequency = 22050;
    r.blockLength = 2;
    r.redrawRate = 50;
    r.blockCount = 15;
    r.instrumentSet = 7;
    Write(r);
    Load();
    const EngineParameters& p = settings.parameters;
    EXPECT_EQ(std::vector<int>(
                  {p.sampleRate, p.blockBytes, p.redrawRate, p.blockCount, p.activeInstrumentSet}),
              std::vector<int>({22050, 17640, 50, 15, 7}));

    settings.record.instrumentSet = 6;
    settings.record.outputFrequency = 44100;
    settings.RefreshActiveSets();
    EXPECT_EQ(settings.parameters.activeInstrumentSet.load(), 6);
    EXPECT_EQ(settings.parameters.sampleRate, 22050);
}

TEST_F(SettingsLoad, EachFailedSaveSaysWhichAndTheRunGoesOn) {
    settings.LoadSettings(dir.File("missing-folder/zeblo"));
    prompt.Clear();
    settings.record.instrumentSet = 3;
    EXPECT_FALSE(settings.SaveAfterPreferences());
    EXPECT_FALSE(settings.SaveOnExit(10, 20));
    ASSERT_EQ(prompt.prompts().size(), 2u);
    EXPECT_EQ(prompt.prompts()[0].text, kPreferencesSaveFailedMessage);
    EXPECT_EQ(prompt.prompts()[0].icon, PromptIcon::Error);
    EXPECT_EQ(prompt.prompts()[1].text, kExitSaveFailedMessage);
    EXPECT_EQ(settings.record.instrumentSet, 3);
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing-folder"))) << "never created";
}

}  // namespace
}  // namespace zeblo
