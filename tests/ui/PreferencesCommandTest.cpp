#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "ipc/SharedBlock.h"
#include "settings/RecordingPrompt.h"
#include "settings/Settings.h"
#include "settings/SettingsMessages.h"
#include "settings/TempFolder.h"
#include "ui/PlayerStateRecord.h"
#include "ui/PreferencesDialogCommand.h"
#include "ui/PreferencesDialogRules.h"

namespace zeblo {
namespace {

using testing::TempFolder;

// The playback layer's actions as the command uses them: the pause toggle and the stop.
class FakeControl final : public PlayerControl {
public:
    explicit FakeControl(PlayerStateRecord& player, std::vector<std::string>& calls)
        : player_(player), calls_(calls) {}
    void Pause() override {
        calls_.push_back(player_.pauseState ? "resume" : "pause");
        player_.pauseState = !player_.pauseState;
    }
    void StopPlayback() override {
        calls_.push_back("stop");
        player_.playState = 0;
        player_.pauseState = 0;
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

private:
    PlayerStateRecord& player_;
    std::vector<std::string>& calls_;
};

class FakeEnvironment final : public PreferencesEnvironment {
public:
    explicit FakeEnvironment(std::vector<std::string>& calls) : calls_(calls) {}

    std::vector<std::string> DeviceNames() override { return {"default", "card"}; }
    PromptAnswer RunDialog(SettingsRecord& record,
                           const std::vector<std::string>& devices) override {
        calls_.push_back("dialog");
        EXPECT_EQ(devices.size(), 2u);
        if (edit) edit(record);
        return answer;
    }
    void ShowMessage(const std::string& text, int32_t ms) override {
        messages.push_back(text);
        messageMs = ms;
    }
    bool CloseInstanceBlock() override {
        calls_.push_back("close block");
        return closes;
    }
    void ReopenInstanceBlock() override { calls_.push_back("reopen block"); }
    bool StartProgram(const std::string& argument) override {
        calls_.push_back("start " + argument);
        return starts;
    }
    void ShutDownAndQuit() override { calls_.push_back("shut down"); }

    std::function<void(SettingsRecord&)> edit;
    PromptAnswer answer = PromptAnswer::Ok;
    bool closes = true;
    bool starts = true;
    std::vector<std::string> messages;
    int32_t messageMs = 0;

private:
    std::vector<std::string>& calls_;
};

class PreferencesCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        SettingsRecord r = DefaultSettings();
        r.startCounter = 4;
        testing::WriteBytes(folder.File("ZEBLOPreferences.bin"), &r, sizeof r);
        settings.LoadSettings(folder.File("zeblo"));
        player.playState = 1;
        player.currentPath = "/songs/a b.mid";
    }

    void Run(std::function<void(SettingsRecord&)> edit) {
        environment.edit = std::move(edit);
        PreferencesCommand(settings, player, control, prompt, environment).Run();
    }

    SettingsRecord Saved() const {
        SettingsRecord r;
        const auto bytes = testing::ReadBytes(folder.File("ZEBLOPreferences.bin"));
        std::memcpy(&r, bytes.data(), std::min(bytes.size(), sizeof r));
        return r;
    }

    std::vector<std::string> PromptTexts() const {
        std::vector<std::string> texts;
        for (const auto& p : prompt.prompts()) texts.push_back(p.text);
        return texts;
    }

    TempFolder folder;
    RecordingPrompt prompt;
    Settings settings{prompt};
    PlayerStateRecord player{16};
    std::vector<std::string> calls;
    FakeControl control{player, calls};
    FakeEnvironment environment{calls};
};

using Calls = std::vector<std::string>;

TEST_F(PreferencesCommandTest, InstrumentSetActsOnTheNextNotesAfterTheBuffer) {
    Run([](SettingsRecord& r) { r.instrumentSet = 3; });
    EXPECT_EQ(calls, Calls({"pause", "dialog", "resume"}));
    EXPECT_EQ(settings.parameters.activeInstrumentSet.load(), 3);
    EXPECT_EQ(environment.messages, Calls({kAfterBufferNotice}));
    EXPECT_EQ(environment.messageMs, 3000);
    EXPECT_EQ(Saved().instrumentSet, 3);
    EXPECT_EQ(player.pauseState, 0);
}

TEST_F(PreferencesCommandTest, UnderrunOptionAloneOrWithMonoSaysNothing) {
    Run([](SettingsRecord& r) { r.keepRunningOnUnderrun = 1; });
    EXPECT_TRUE(environment.messages.empty());
    EXPECT_EQ(Saved().keepRunningOnUnderrun, 1);
    Run([](SettingsRecord& r) {
        r.keepRunningOnUnderrun = 0;
        r.monauralOutput = 1;
    });
    EXPECT_TRUE(environment.messages.empty());
    EXPECT_EQ(Saved().monauralOutput, 1);
    // Mono alone is told about.
    Run([](SettingsRecord& r) { r.monauralOutput = 0; });
    EXPECT_EQ(environment.messages, Calls({kAfterBufferNotice}));
}

TEST_F(PreferencesCommandTest, DeviceAndDetuneActAtTheNextPlay) {
    Run([](SettingsRecord& r) { r.outputDevice = 0; });
    EXPECT_EQ(environment.messages, Calls({kNextPlayNotice}));
    Run([](SettingsRecord& r) { r.autoDetune = 0; });
    EXPECT_EQ(environment.messages, Calls({kNextPlayNotice, kNextPlayNotice}));
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "close block"), 0);
    EXPECT_EQ(Saved().outputDevice, 0);
}

TEST_F(PreferencesCommandTest, BufferCountRestartsWithTheSongAsArgument) {
    Run([](SettingsRecord& r) { r.blockCount = 20; });
    EXPECT_EQ(calls, Calls({"pause", "dialog", "stop", "close block", "start /songs/a b.mid",
                            "shut down"}));
    EXPECT_EQ(PromptTexts(), Calls({kRestartMessage}));
    EXPECT_TRUE(environment.messages.empty());
    EXPECT_EQ(Saved().blockCount, 20);
    // The running program keeps its start values.
    EXPECT_EQ(settings.parameters.blockCount, 10);
}

TEST_F(PreferencesCommandTest, EveryStartValueChangeRestarts) {
    const std::vector<std::function<void(SettingsRecord&)>> edits{
        [](SettingsRecord& r) { r.outputFrequency = 48000; },
        [](SettingsRecord& r) { r.redrawRate = 25; },
        [](SettingsRecord& r) { r.blockLength = 10; }};
    for (const auto& edit : edits) {
        calls.clear();
        Run(edit);
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "shut down"), 1);
    }
}

TEST_F(PreferencesCommandTest, AFailedRestartSaysSoAndKeepsRunning) {
    player.currentPath.clear();
    environment.starts = false;
    environment.closes = false;
    Run([](SettingsRecord& r) { r.redrawRate = 50; });
    EXPECT_EQ(calls,
              Calls({"pause", "dialog", "stop", "close block", "start ", "reopen block", "pause"}));
    EXPECT_EQ(PromptTexts(),
              Calls({kRestartMessage, kSharedMemoryCloseFailedMessage, kRestartFailedMessage}));
    // Stopped, and paused again by the closing pause toggle.
    EXPECT_EQ(player.pauseState, 1);
}

TEST_F(PreferencesCommandTest, CancelChangesAndSavesNothing) {
    std::filesystem::remove(folder.File("ZEBLOPreferences.bin"));
    environment.answer = PromptAnswer::Cancel;
    Run([](SettingsRecord& r) { r.instrumentSet = 5; });
    EXPECT_EQ(calls, Calls({"pause", "dialog", "resume"}));
    EXPECT_FALSE(std::filesystem::exists(folder.File("ZEBLOPreferences.bin")));
    EXPECT_EQ(settings.parameters.activeInstrumentSet.load(), 0);
}

TEST_F(PreferencesCommandTest, AlreadyPausedStaysPaused) {
    player.pauseState = 1;
    Run([](SettingsRecord& r) { r.drumSet = 0; });
    EXPECT_EQ(calls, Calls({"dialog"}));
    EXPECT_EQ(player.pauseState, 1);
    EXPECT_TRUE(environment.messages.empty());
}

TEST_F(PreferencesCommandTest, AFailedSaveIsTold) {
    std::filesystem::remove(folder.File("ZEBLOPreferences.bin"));
    std::filesystem::create_directory(folder.File("ZEBLOPreferences.bin"));
    Run([](SettingsRecord& r) { r.lowPassCutoff = 5000; });
    EXPECT_EQ(PromptTexts(), Calls({kPreferencesSaveFailedMessage}));
    EXPECT_EQ(settings.record.lowPassCutoff, 5000);
}

TEST(ChangeClassification, EachFieldInItsClass) {
    const SettingsRecord a = DefaultSettings();
    auto changed = [&](std::function<void(SettingsRecord&)> edit) {
        SettingsRecord b = a;
        edit(b);
        return ClassifyChanges(a, b);
    };
    EXPECT_EQ(ChangeNotice(ClassifyChanges(a, a)), nullptr);
    for (auto edit :
         {std::function<void(SettingsRecord&)>(
              [](SettingsRecord& r) { r.outputFrequency = 22050; }),
          std::function<void(SettingsRecord&)>([](SettingsRecord& r) { r.redrawRate = 1; }),
          std::function<void(SettingsRecord&)>([](SettingsRecord& r) { r.blockLength = 2; }),
          std::function<void(SettingsRecord&)>([](SettingsRecord& r) { r.blockCount = 5; })}) {
        const PreferencesChange c = changed(edit);
        EXPECT_TRUE(c.restart);
        EXPECT_EQ(ChangeNotice(c), nullptr);
    }
    for (auto edit :
         {std::function<void(SettingsRecord&)>([](SettingsRecord& r) { r.drumSet = 1; }),
          std::function<void(SettingsRecord&)>([](SettingsRecord& r) { r.displayOffsetMode = 1; }),
          std::function<void(SettingsRecord&)>([](SettingsRecord& r) { r.lowPassEnabled = 1; }),
          std::function<void(SettingsRecord&)>(
              [](SettingsRecord& r) { r.lowPassCutoff = 4000; })}) {
        const PreferencesChange c = changed(edit);
        EXPECT_FALSE(c.restart);
        EXPECT_FALSE(c.quiet);
        EXPECT_STREQ(ChangeNotice(c), kAfterBufferNotice);
    }
    // The underrun switch silences what else changed, except a new device.
    EXPECT_EQ(ChangeNotice(changed([](SettingsRecord& r) {
                  r.keepRunningOnUnderrun = 1;
                  r.autoDetune = 0;
              })),
              nullptr);
    EXPECT_STREQ(ChangeNotice(changed([](SettingsRecord& r) {
                     r.keepRunningOnUnderrun = 1;
                     r.outputDevice = 2;
                 })),
                 kNextPlayNotice);
    // Window position and start count are no settings change.
    EXPECT_EQ(ChangeNotice(changed([](SettingsRecord& r) {
                  r.windowLeft = 40;
                  r.startCounter = 9;
              })),
              nullptr);
}

}  // namespace
}  // namespace zeblo
