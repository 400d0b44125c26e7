#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/PlayerTestSupport.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using testing::PlayerRig;
using testing::WaitUntil;
using namespace std::chrono_literals;

// Two seconds at 120 beats per minute with a note on channel 1.
struct Song {
    Song() {
        test::SmfBuilder smf(1, 480);
        smf.AddTrack().TrackName(0, "Two seconds").Tempo(0, 500000).EndOfTrack(1920);
        smf.AddTrack().NoteOn(0, 0, 60, 100).NoteOff(1900, 0, 60).EndOfTrack(20);
        EXPECT_TRUE(smf.WriteFile(path));
        std::ofstream(junk) << "not a song";
    }
    test::TempDir dir;
    std::string path = dir.File("song.mid");
    std::string junk = dir.File("junk.mid");
};

TEST(PlayerStart, EachKindOfStartReportsAndEndsAsItShould) {
    Song song;
    const std::string unknown = std::string(kUnknownFileMessage) + "/60000";
    const struct {
        std::string path;
        std::vector<std::string> reports;
        bool playing;
    } rows[] = {
        {"", {"starting", std::string(kNoFileToPlayMessage) + "/60000"}, false},
        {song.junk, {"starting", "loading", "state", "loaded", "state", unknown}, false},
        {song.dir.File("old.r36"), {"starting", "loading", "state", "redraw"}, false},
        {song.path, {"starting", "loading", "state", "loaded", "redraw"}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        std::vector<std::string> converted;
        PlayerRig rig({}, [&](const std::string& path) {
            converted.push_back(path);
            return false;
        });
        rig.playback.currentPath = row.path;
        rig.player->PlayFile();
        EXPECT_EQ(rig.listener.reports, row.reports);
        EXPECT_EQ(rig.playback.playing.load(), row.playing);
        EXPECT_EQ(rig.player->renderThread().Exists(), row.playing);
        EXPECT_EQ(rig.device.IsOpen(), row.playing);
        EXPECT_FALSE(rig.playback.loading.load());
        EXPECT_EQ(converted.size(), row.path.ends_with(".r36") ? 1u : 0u);
    }
}

TEST(PlayerStart, ASongPlaysMeasuredLoopingFromAFreshClockAndStopsWithNothingLeft) {
    Song song;
    PlayerRig rig;
    rig.playback.currentPath = song.path;
    rig.playback.underrunShown = true;
    rig.player->Play();
    Sequencer reference(rig.settings.parameters);
    ASSERT_TRUE(reference.LoadFile(song.path.c_str()));
    uint64_t samples = 0, ticks = 0;
    reference.Measure(&samples, &ticks);
    EXPECT_EQ(rig.playback.totalSamples.load(), samples);
    EXPECT_EQ(rig.playback.totalTicks.load(), ticks);
    EXPECT_FALSE(rig.playback.underrunShown.load());
    EXPECT_EQ(rig.playback.displayOffset.load(), 2205);  // a tenth of a second
    EXPECT_EQ(rig.frames.clockStarts, 1);
    EXPECT_EQ(rig.frames.filterClears.load(), 1);
    EXPECT_TRUE(rig.engine.sequencer.Loop());

    rig.settings.record.displayOffsetMode = 1;  // the late display offset
    rig.player->SwitchEngine();
    rig.player->Play();
    EXPECT_EQ(rig.playback.displayOffset.load(), -11025);
    EXPECT_EQ(rig.engine.sequencer.Module(), &rig.engine.opll);
    EXPECT_EQ(rig.frames.filterClears.load(), 2);
    rig.player->Stop();
    EXPECT_FALSE(rig.player->renderThread().Exists());
    EXPECT_FALSE(rig.device.IsOpen());
    EXPECT_EQ(rig.playback.threadStop.load(), 0);
}

TEST(PlayerControl, PauseResumeSpeedSeekMuteAndDisplayFrame) {
    Song song;
    PlayerRig rig;
    rig.playback.currentPath = song.path;
    rig.player->SeekToTick(960);  // stopped: nothing
    EXPECT_EQ(rig.engine.sequencer.TickPosition(), 0u);
    rig.player->Play();
    rig.player->Pause();
    EXPECT_TRUE(rig.device.IsPaused());
    rig.player->Play();  // resumes: no new start
    EXPECT_FALSE(rig.device.IsPaused());
    EXPECT_EQ(rig.frames.clockStarts, 1);

    const uint32_t normal = rig.engine.sequencer.SamplesPerStep();
    for (int32_t offset : {200, 400, 0}) {
        rig.player->Speed();
        EXPECT_EQ(rig.engine.sequencer.TempoOffset(), offset);
        EXPECT_EQ(rig.engine.sequencer.SamplesPerStep() < normal, offset != 0) << "at once";
    }
    rig.player->SeekToTick(960);
    EXPECT_GE(rig.engine.sequencer.TickPosition(), 960u);
    EXPECT_LT(rig.engine.sequencer.TickPosition(), 1160u);

    for (int channel : {0, 16, 0, 32, -1}) rig.player->ToggleMute(channel);
    EXPECT_EQ(rig.engine.shared.channelMute[0].load(), 0);
    EXPECT_EQ(rig.engine.shared.channelMute[16].load(), 1);

    rig.device.Play(2205 * 4 * 2 + 40);  // two blocks and ten frames
    rig.player->DisplayTick();
    EXPECT_EQ(rig.playback.displayFrame.load(), 4u);  // (2205 + 4420) / 2205 + 1
    rig.player->Pause();
    rig.playback.displayFrame = 1;
    rig.player->DisplayTick();
    EXPECT_EQ(rig.playback.displayFrame.load(), 1u) << "left alone while paused";

    rig.listener.reports.clear();
    EXPECT_TRUE(rig.player->Open(song.path));
    EXPECT_FALSE(rig.playback.playing.load());
    EXPECT_EQ(rig.listener.reports, (std::vector<std::string>{"state", "play requested"}));
}

TEST(PlayerAuthoring, ConfirmedRunsStopPlaybackRefusePlaysAndReportTheirMessagesAfterwards) {
    Song song;
    std::string seen;
    PlayerRig rig([&](const std::string& s, const std::string& o, const std::atomic<int32_t>&,
                      std::atomic<uint32_t>& bytes, UserPrompt& prompt) {
        seen = s + ">" + o;
        bytes += 80000;
        prompt.Ask("File write failed.", PromptButtons::Ok, PromptIcon::Error);
    });
    rig.player->Author();
    EXPECT_EQ(rig.listener.reports.back(), std::string(kNoFileToAuthorMessage) + "/60000");
    rig.playback.currentPath = song.path;
    rig.player->Play();
    rig.prompt.AnswerNext(PromptAnswer::Cancel);
    rig.player->Author();
    EXPECT_EQ(rig.prompt.prompts().at(0).text,
              "Output for \"" + song.dir.File("song.WAV") + "\".\nAre you sure?");
    EXPECT_TRUE(rig.playback.playing.load()) << "cancelled: playback goes on";

    rig.player->Author();
    EXPECT_FALSE(rig.player->renderThread().Exists());
    EXPECT_TRUE(rig.playback.authoring.load());
    EXPECT_FALSE(rig.player->Open(song.path));
    EXPECT_FALSE(rig.player->PlayPath(song.path));
    EXPECT_FALSE(rig.player->PlayCurrent());
    ASSERT_TRUE(WaitUntil([&] { return rig.listener.authoringEnded.load(); }));
    rig.player->FinishAuthoring();
    EXPECT_EQ(seen, song.path + ">" + song.dir.File("song.WAV"));
    EXPECT_EQ(rig.player->BytesAuthored(), 80000u);
    EXPECT_FALSE(rig.playback.authoring.load());
    std::vector<std::string> texts;
    for (const RecordedPrompt& p : rig.prompt.prompts()) texts.push_back(p.text);
    EXPECT_EQ(std::vector<std::string>(texts.begin() + 2, texts.end()),
              (std::vector<std::string>{kAuthoringNowMessage, kAuthoringNowMessage,
                                        kAuthoringNowMessage, "File write failed."}));
    EXPECT_EQ(rig.listener.reports.back(), std::string(kAuthoringFinishedMessage) + "/60000");
}

TEST(PlayerAuthoring, ShutDownStopsARunningAuthoring) {
    Song song;
    PlayerRig rig([&](const std::string&, const std::string&, const std::atomic<int32_t>& stop,
                      std::atomic<uint32_t>&, UserPrompt&) {
        while (stop.load() == 0) std::this_thread::sleep_for(1ms);
    });
    rig.playback.currentPath = song.path;
    rig.player->Author();
    ASSERT_TRUE(rig.player->authoring().Running());
    rig.player->ShutDown();
    EXPECT_FALSE(rig.player->authoring().Running());
    EXPECT_EQ(rig.playback.threadStop.load(), 1) << "left set";
}

}  // namespace
}  // namespace zeblo
