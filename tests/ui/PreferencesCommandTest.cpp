#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "ipc/SharedBlock.h"
#include "settings/RecordingPrompt.h"
#include "settings/Settings.h"
#include "settings/SettingsMessages.h"
#include "support/TempDir.h"
#include "ui/PlayerStateRecord.h"
#include "ui/PreferencesDialogCommand.h"
#include "ui/PreferencesDialogRules.h"

namespace zeblo {
namespace {

using namespace std::string_literals;
using Edit = std::function<void(SettingsRecord&)>;

// A player in the middle of a song and the desktop around the command: every action the command
// takes becomes a word in `calls`.
class Rig final : public PlayerControl, public PreferencesEnvironment {
public:
    Rig() {
        SettingsRecord r = DefaultSettings();
        r.startCounter = 4;
        test::WriteFile(File(), test::BytesOf(r));
        settings.LoadSettings(dir.File("zeblo"));
        player.playState = 1;
        player.currentPath = "/songs/a b.mid";
    }
    std::string File() const { return dir.File("ZEBLOPreferences.bin"); }
    void Run(Edit change) {
        edit = std::move(change);
        PreferencesCommand(settings, player, *this, prompt, *this).Run();
    }

    void Pause() override {
        calls += player.pauseState ? "resume " : "pause ";
        player.pauseState = !player.pauseState;
    }
    void StopPlayback() override {
        calls += "stop ";
        player.playState = player.pauseState = 0;
    }
    void Play() override {}
    void Speed() override {}
    void Stop() override {}
    void Author() override {}
    void Preferences() override {}
    void Seek(int) override {}
    void ToggleMute(int) override {}
    void InvertEngine() override {}
    void DropFile(const std::string&) override {}
    void PlayShared() override {}
    void PlayCurrent() override {}
    void DisplayTick() override {}

    std::vector<std::string> DeviceNames() override { return {"default", "card"}; }
    PromptAnswer RunDialog(SettingsRecord& record, const std::vector<std::string>&) override {
        calls += "dialog ";
        edit(record);
        return answer;
    }
    void ShowMessage(const std::string& text, int32_t ms) override {
        messages += text + "@" + std::to_string(ms);
    }
    bool CloseInstanceBlock() override { return calls += "close ", closes; }
    void ReopenInstanceBlock() override { calls += "reopen "; }
    bool StartProgram(const std::string& argument) override {
        return calls += "start(" + argument + ") ", starts;
    }
    void ShutDownAndQuit() override { calls += "quit "; }

    test::TempDir dir;
    RecordingPrompt prompt;
    Settings settings{prompt};
    PlayerStateRecord player{16};
    Edit edit;
    PromptAnswer answer = PromptAnswer::Ok;
    bool closes = true, starts = true;
    std::string calls, messages;
};

TEST(PreferencesCommand, EachChangeIsToldOrRestartsAsItTakesEffect) {
    const std::string after = kAfterBufferNotice + "@3000"s, next = kNextPlayNotice + "@3000"s;
    const std::string resumes = "pause dialog resume ";
    const std::string restarts = "pause dialog stop close start(/songs/a b.mid) quit ";
    using R = SettingsRecord;
    const struct {
        Edit edit;
        std::string calls, message;
    } rows[] = {
        {[](R& r) { r.instrumentSet = 3; }, resumes, after},
        {[](R& r) { r.displayOffsetMode = 1; }, resumes, after},
        {[](R& r) { r.lowPassEnabled = 1; }, resumes, after},
        {[](R& r) { r.lowPassCutoff = 4000; }, resumes, after},
        {[](R& r) { r.monauralOutput = 1; }, resumes, after},
        {[](R& r) { r.outputDevice = 0; }, resumes, next},
        {[](R& r) { r.autoDetune = 0; }, resumes, next},
        // The underrun switch silences what else changed, except a new device.
        {[](R& r) { r.keepRunningOnUnderrun = 1; }, resumes, ""},
        {[](R& r) { r.keepRunningOnUnderrun = r.monauralOutput = 1; }, resumes, ""},
        {[](R& r) { r.keepRunningOnUnderrun = 1, r.autoDetune = 0; }, resumes, ""},
        {[](R& r) { r.keepRunningOnUnderrun = 1, r.outputDevice = 2; }, resumes, next},
        {[](R& r) { r.windowLeft = 40, r.startCounter = 9; }, resumes, ""},
        {[](R& r) { r.blockCount = 20; }, restarts, ""},
        {[](R& r) { r.outputFrequency = 48000; }, restarts, ""},
        {[](R& r) { r.redrawRate = 25; }, restarts, ""},
        {[](R& r) { r.blockLength = 10; }, restarts, ""},
    };
    for (const auto& row : rows) {
        Rig rig;
        rig.Run(row.edit);
        EXPECT_EQ(rig.calls, row.calls);
        EXPECT_EQ(rig.messages, row.message) << rig.calls;
        EXPECT_EQ(rig.prompt.TakeTexts(), row.calls == restarts ? kRestartMessage + "|"s : "");
        EXPECT_EQ(test::ReadFile(rig.File()), test::BytesOf(rig.settings.record));
        // The sets act at once; the running program keeps its start values.
        EXPECT_EQ(rig.settings.parameters.activeInstrumentSet.load(),
                  rig.settings.record.instrumentSet);
        EXPECT_EQ(rig.settings.parameters.blockCount, 10);
    }
}

TEST(PreferencesCommand, CancelPauseAndFailures) {
    Rig cancelled;
    std::filesystem::remove(cancelled.File());
    cancelled.answer = PromptAnswer::Cancel;
    cancelled.Run([](SettingsRecord& r) { r.instrumentSet = 5; });
    EXPECT_EQ(cancelled.calls, "pause dialog resume ");
    EXPECT_FALSE(std::filesystem::exists(cancelled.File()));
    EXPECT_EQ(cancelled.settings.parameters.activeInstrumentSet.load(), 0);

    Rig paused;
    paused.player.pauseState = 1;
    paused.Run([](SettingsRecord& r) { r.lowPassCutoff = 5000; });
    EXPECT_EQ(paused.calls, "dialog ");
    EXPECT_EQ(paused.player.pauseState, 1);

    Rig unwritable;
    std::filesystem::remove(unwritable.File());
    std::filesystem::create_directory(unwritable.File());
    unwritable.Run([](SettingsRecord& r) { r.lowPassCutoff = 5000; });
    EXPECT_EQ(unwritable.prompt.TakeTexts(), kPreferencesSaveFailedMessage + "|"s);
    EXPECT_EQ(unwritable.settings.record.lowPassCutoff, 5000);

    // A restart that cannot start says so, takes the place back and leaves the song paused.
    Rig stuck;
    stuck.player.currentPath.clear();
    stuck.starts = stuck.closes = false;
    stuck.Run([](SettingsRecord& r) { r.redrawRate = 50; });
    EXPECT_EQ(stuck.calls, "pause dialog stop close start() reopen pause ");
    EXPECT_EQ(stuck.prompt.TakeTexts(), kRestartMessage + "|"s + kSharedMemoryCloseFailedMessage +
                                            "|" + kRestartFailedMessage + "|");
    EXPECT_EQ(stuck.player.pauseState, 1);
}

}  // namespace
}  // namespace zeblo
