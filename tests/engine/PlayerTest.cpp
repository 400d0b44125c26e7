#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/Player.h"
#include "engine/PlayerTestSupport.h"
#include "engine/StreamingMessages.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using testing::PlayerRig;
using testing::WaitUntil;
using namespace std::chrono_literals;

// Two seconds at 120 beats per minute with a note on channel 1 of each port.
test::SmfBuilder TwoSecondSong() {
    test::SmfBuilder smf(1, 480);
    smf.AddTrack().TrackName(0, "Two seconds").Tempo(0, 500000).EndOfTrack(1920);
    smf.AddTrack().NoteOn(0, 0, 60, 100).NoteOff(1900, 0, 60).EndOfTrack(20);
    return smf;
}

struct Song {
    Song() { EXPECT_TRUE(TwoSecondSong().WriteFile(path)); }
    test::TempDir dir;
    std::string path = dir.File("song.mid");
};

TEST(PlayerDisplay, DisplayFrameFromTheDevicePosition) {
    // 1000 samples, offset 4410, 44100 Hz at 10 frames a second: 5410 / 4410 + 1.
    EXPECT_EQ(DisplayFrameFor(1000, 4410, 0, 4410), 2u);
    EXPECT_EQ(DisplayFrameFor(0, -11025, 0, 4410), 1u);   // negative: 0
    EXPECT_EQ(DisplayFrameFor(8820, 0, 4410, 4410), 2u);  // silence is not heard music
    EXPECT_EQ(DisplayFrameFor(8819, 0, 0, 4410), 2u);
    EXPECT_EQ(DisplayFrameFor(8820, 0, 0, 4410), 3u);
}

TEST(PlayerDisplay, SeekTargetAndBarCorrection) {
    const SeekTarget t = ComputeSeek(180, 4410, 0, 441000, 96000, 0);
    EXPECT_EQ(t.tick, 48000u);
    EXPECT_EQ(t.seekBarOffset, 118);
    // The bar shows pixel 59 (half of 441000 samples would be 118): the offset makes up the rest.
    const SeekTarget u = ComputeSeek(180, 4410, 25, 441000, 96000, 0);
    EXPECT_EQ(u.seekBarOffset, 118 - 59);
    EXPECT_EQ(ComputeSeek(63, 4410, 0, 441000, 96000, 5).tick, 406u);
}

TEST(PlayerStart, WithoutAFileOnlyTheMessageShows) {
    PlayerRig rig;
    rig.player->PlayFile();
    ASSERT_EQ(rig.view.messages.size(), 1u);
    EXPECT_EQ(rig.view.messages[0], kNoFileToPlayMessage);
    EXPECT_EQ(rig.view.messageMs[0], 60000);
    EXPECT_EQ(rig.view.resets, 0);
    EXPECT_FALSE(rig.player->renderThread().Exists());
    EXPECT_EQ(rig.playback.playState.load(), 0);
}

TEST(PlayerStart, ASongPlaysMeasuredLoopingAndStreaming) {
    Song song;
    PlayerRig rig;
    rig.playback.currentPath = song.path;
    rig.playback.underrunShown = 1;
    rig.playback.seekBarOffset = 7;
    rig.player->PlayFile();

    Sequencer reference(rig.settings.parameters);
    ASSERT_TRUE(reference.LoadFile(song.path.c_str()));
    uint64_t samples = 0, ticks = 0;
    reference.Measure(&samples, &ticks);
    EXPECT_EQ(rig.playback.totalSamples.load(), samples);
    EXPECT_EQ(rig.playback.totalTicks.load(), ticks);
    EXPECT_GT(samples, 40000u);  // about two seconds at 22050 Hz

    EXPECT_EQ(rig.playback.playState.load(), 1);
    EXPECT_EQ(rig.playback.loadingState.load(), 0);
    EXPECT_EQ(rig.playback.underrunShown.load(), 0);
    EXPECT_EQ(rig.playback.seekBarOffset.load(), 0);
    EXPECT_EQ(rig.playback.displayOffset.load(), 2205);  // a tenth of a second
    EXPECT_TRUE(rig.device.IsOpen());
    EXPECT_FALSE(rig.device.IsPaused());
    EXPECT_TRUE(rig.player->renderThread().Exists());
    EXPECT_EQ(rig.view.resets, 1);
    EXPECT_EQ(rig.frames.clockStarts, 1);
    EXPECT_EQ(rig.engine.sequencer.Module(), &rig.engine.wavetable);
    EXPECT_TRUE(rig.engine.sequencer.Loop());
    EXPECT_EQ(rig.engine.sequencer.TempoOffset(), 0);
    EXPECT_EQ(rig.frames.filterClears.load(), 1);

    // The late display offset of the other mode.
    rig.settings.record.displayOffsetMode = 1;
    rig.player->PressPlay();
    EXPECT_EQ(rig.playback.displayOffset.load(), -11025);

    rig.player->StopPlayback();
    EXPECT_FALSE(rig.player->renderThread().Exists());
    EXPECT_FALSE(rig.device.IsOpen());
    EXPECT_EQ(rig.playback.playState.load(), 0);
    EXPECT_EQ(rig.playback.threadStop.load(), 0);
}

TEST(PlayerStart, AnUnknownFileShowsItsMessageAndLeavesNoThread) {
    test::TempDir dir;
    const std::string path = dir.File("junk.mid");
    std::ofstream(path) << "not a song";
    PlayerRig rig;
    rig.playback.currentPath = path;
    rig.player->PlayFile();
    ASSERT_EQ(rig.view.messages.size(), 1u);
    EXPECT_EQ(rig.view.messages[0], kUnknownFileMessage);
    EXPECT_FALSE(rig.player->renderThread().Exists());
    EXPECT_EQ(rig.playback.loadingState.load(), 0);
    EXPECT_EQ(rig.playback.playState.load(), 0);
    EXPECT_FALSE(rig.device.IsOpen());
}

TEST(PlayerStart, RcpNamesGoThroughTheConverter) {
    Song song;
    std::vector<std::string> asked;
    bool succeed = false;
    PlayerRig rig({}, [&](const std::string& path, UserPrompt&) {
        asked.push_back(path);
        return succeed;
    });
    rig.playback.currentPath = song.dir.File("old.r36");
    rig.player->PlayFile();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], song.dir.File("old.r36"));
    EXPECT_FALSE(rig.player->renderThread().Exists());
    EXPECT_EQ(rig.playback.loadingState.load(), 0);
    EXPECT_TRUE(rig.view.messages.empty());  // the converter has told the user

    // On success the converted song is played.
    ASSERT_TRUE(MakeConvertedRcpFolder());
    std::filesystem::copy_file(song.path, kConvertedRcpFile,
                               std::filesystem::copy_options::overwrite_existing);
    succeed = true;
    rig.player->PlayFile();
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(rig.playback.playState.load(), 1);
    EXPECT_GT(rig.playback.totalSamples.load(), 0u);
}

TEST(PlayerControl, PlayTwiceRestartsAndPlayWhilePausedResumes) {
    Song song;
    PlayerRig rig;
    rig.playback.currentPath = song.path;
    rig.player->PressPlay();
    ASSERT_TRUE(WaitUntil([&] { return rig.engine.sequencer.TickPosition() > 200; }));

    rig.player->PressPause();
    EXPECT_EQ(rig.playback.pauseState.load(), 1);
    EXPECT_TRUE(rig.device.IsPaused());
    const uint64_t rendered = rig.frames.rendered.load();
    rig.player->PressPlay();  // resumes: no new start
    EXPECT_EQ(rig.playback.pauseState.load(), 0);
    EXPECT_FALSE(rig.device.IsPaused());
    EXPECT_EQ(rig.frames.filterClears.load(), 1);
    EXPECT_GE(rig.frames.rendered.load(), rendered);

    rig.player->PressPlay();  // a second start, from the beginning
    EXPECT_EQ(rig.frames.filterClears.load(), 2);
    EXPECT_EQ(rig.playback.playState.load(), 1);
    EXPECT_EQ(rig.frames.clockStarts, 2);
}

TEST(PlayerControl, PauseThenPlayWithNothingPlaying) {
    Song song;
    PlayerRig rig;
    rig.playback.currentPath = song.path;
    rig.player->PressPause();  // no device: only the flag
    EXPECT_EQ(rig.playback.pauseState.load(), 1);
    rig.player->PressPlay();  // only clears it
    EXPECT_EQ(rig.playback.pauseState.load(), 0);
    EXPECT_FALSE(rig.player->renderThread().Exists());
    EXPECT_EQ(rig.playback.playState.load(), 0);
    rig.player->PressPlay();  // now the file starts
    EXPECT_EQ(rig.playback.playState.load(), 1);
    EXPECT_TRUE(rig.player->renderThread().Exists());
}

TEST(PlayerControl, SpeedCyclesThroughTwoHundredFourHundredAndZero) {
    Song song;
    PlayerRig rig;
    rig.playback.currentPath = song.path;
    rig.player->PressPlay();
    const uint32_t normal = rig.engine.sequencer.SamplesPerStep();
    rig.player->PressSpeed();
    EXPECT_EQ(rig.playback.speedMode.load(), 1);
    EXPECT_EQ(rig.engine.sequencer.TempoOffset(), 200);
    EXPECT_LT(rig.engine.sequencer.SamplesPerStep(), normal);  // at once: 320 instead of 120 bpm
    rig.player->PressSpeed();
    EXPECT_EQ(rig.engine.sequencer.TempoOffset(), 400);
    rig.player->PressSpeed();
    EXPECT_EQ(rig.playback.speedMode.load(), 0);
    EXPECT_EQ(rig.engine.sequencer.TempoOffset(), 0);
    EXPECT_EQ(rig.engine.sequencer.SamplesPerStep(), normal);
}

TEST(PlayerControl, SeekOnlyWhilePlaying) {
    Song song;
    PlayerRig rig;
    rig.playback.currentPath = song.path;
    rig.player->Seek(180);  // stopped: nothing
    EXPECT_EQ(rig.playback.seekBarOffset.load(), 0);

    rig.player->PressPlay();
    rig.player->Seek(180);  // p = 118, half the song
    EXPECT_EQ(rig.playback.seekBarOffset.load(), 118);
    const uint64_t target = static_cast<uint64_t>(118 * static_cast<double>(0.0042372881f) *
                                                  rig.playback.totalTicks.load());
    EXPECT_GE(rig.engine.sequencer.TickPosition(), target);
    EXPECT_LT(rig.engine.sequencer.TickPosition(), target + 200);
}

TEST(PlayerControl, StripsToggleTheirChannelsMute) {
    PlayerRig rig;
    rig.player->ToggleMute(0);
    EXPECT_EQ(rig.engine.shared.channelMute[0].load(), 1);
    rig.player->ToggleMute(16);
    EXPECT_EQ(rig.engine.shared.channelMute[16].load(), 1);
    rig.player->ToggleMute(0);
    EXPECT_EQ(rig.engine.shared.channelMute[0].load(), 0);
    rig.player->ToggleMute(32);  // outside: ignored
    rig.player->ToggleMute(-1);
}

TEST(PlayerControl, TheEngineSwitchSelectsTheFmModuleForTheNextPlay) {
    Song song;
    PlayerRig rig;
    rig.playback.currentPath = song.path;
    rig.player->PressPlay();
    rig.player->StopPlayback();
    rig.player->InvertEngine();
    EXPECT_EQ(rig.engine.engineFlag.load(), kEngineOpll);
    rig.player->PressPlay();
    EXPECT_EQ(rig.engine.sequencer.Module(), &rig.engine.opll);
    rig.player->InvertEngine();
    EXPECT_EQ(rig.engine.engineFlag.load(), kEngineWavetable);
}

TEST(PlayerControl, DropStopsAndPostsAPlay) {
    Song song;
    PlayerRig rig;
    rig.playback.currentPath = song.path;
    rig.player->PressPlay();
    EXPECT_TRUE(rig.player->DropFile(song.path));
    EXPECT_EQ(rig.playback.playState.load(), 0);
    EXPECT_FALSE(rig.player->renderThread().Exists());
    EXPECT_EQ(rig.view.playCurrentPosts, 1);
    EXPECT_TRUE(rig.player->PlayCurrent());
    EXPECT_EQ(rig.playback.playState.load(), 1);
}

TEST(PlayerDisplay, TickFollowsTheDeviceOnlyWhilePlaying) {
    Song song;
    PlayerRig rig;
    rig.playback.currentPath = song.path;
    rig.playback.displayFrame = 9;
    rig.player->DisplayTick();  // not playing: left alone
    EXPECT_EQ(rig.playback.displayFrame.load(), 9u);
    rig.player->PressPlay();
    rig.device.Play(2205 * 4 * 2 + 40);  // two blocks and ten frames
    rig.player->DisplayTick();
    // (2205 + 4420) / 2205 + 1
    EXPECT_EQ(rig.playback.displayFrame.load(), 4u);
    rig.player->PressPause();
    rig.playback.displayFrame = 1;
    rig.player->DisplayTick();
    EXPECT_EQ(rig.playback.displayFrame.load(), 1u);
}

TEST(PlayerAuthoring, CancelLeavesPlaybackAloneAndOkRunsTheThread) {
    Song song;
    std::atomic<int> runs{0};
    std::string seenSong, seenOutput;
    PlayerRig rig([&](const std::string& s, const std::string& o, const std::atomic<int32_t>& stop,
                      std::atomic<uint32_t>& bytes, UserPrompt& prompt) {
        seenSong = s;
        seenOutput = o;
        bytes += 80000;
        while (stop.load() == 0 && runs.load() < 0) std::this_thread::sleep_for(1ms);
        prompt.Ask("File write failed.", PromptButtons::Ok, PromptIcon::Error);
        ++runs;
    });
    rig.playback.currentPath = song.path;

    rig.player->PressPlay();
    rig.prompt.Clear();
    rig.prompt.AnswerNext(PromptAnswer::Cancel);
    rig.player->StartAuthoring();
    ASSERT_EQ(rig.prompt.prompts().size(), 1u);
    EXPECT_EQ(rig.prompt.prompts()[0].text,
              "Output for \"" + song.dir.File("song.WAV") + "\".\nAre you sure?");
    EXPECT_EQ(rig.prompt.prompts()[0].buttons, PromptButtons::OkCancel);
    EXPECT_EQ(rig.prompt.prompts()[0].icon, PromptIcon::Question);
    EXPECT_FALSE(rig.player->AuthoringThreadExists());
    EXPECT_EQ(rig.playback.playState.load(), 1);
    EXPECT_TRUE(rig.player->renderThread().Exists());

    rig.prompt.Clear();
    rig.player->StartAuthoring();  // OK
    EXPECT_FALSE(rig.player->renderThread().Exists());
    EXPECT_FALSE(rig.device.IsOpen());
    EXPECT_EQ(rig.playback.playState.load(), 0);
    EXPECT_EQ(rig.playback.authoringState.load(), 1);
    EXPECT_FALSE(rig.player->DropFile(song.path));
    EXPECT_FALSE(rig.player->PlayShared(song.path));
    EXPECT_FALSE(rig.player->PlayCurrent());
    EXPECT_EQ(rig.playback.playState.load(), 0);
    ASSERT_EQ(rig.prompt.prompts().size(), 4u);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(rig.prompt.prompts()[i].text, kAuthoringNowMessage);

    ASSERT_TRUE(WaitUntil([&] { return rig.view.authoringEnded.load(); }));
    EXPECT_EQ(rig.player->BytesAuthored(), 80000u);
    rig.player->FinishAuthoring();
    EXPECT_EQ(seenSong, song.path);
    EXPECT_EQ(seenOutput, song.dir.File("song.WAV"));
    EXPECT_EQ(rig.playback.authoringState.load(), 0);
    ASSERT_EQ(rig.prompt.prompts().size(), 5u);
    EXPECT_EQ(rig.prompt.prompts()[4].text, "File write failed.");  // shown on this thread
    ASSERT_FALSE(rig.view.messages.empty());
    EXPECT_EQ(rig.view.messages.back(), kAuthoringFinishedMessage);
    EXPECT_TRUE(rig.player->PlayCurrent());
}

TEST(PlayerAuthoring, WithoutASongThePanelSaysSo) {
    PlayerRig rig([](auto&&...) {});
    rig.player->StartAuthoring();
    ASSERT_EQ(rig.view.messages.size(), 1u);
    EXPECT_EQ(rig.view.messages[0], kNoFileToAuthorMessage);
    EXPECT_TRUE(rig.prompt.prompts().empty());
}

TEST(PlayerAuthoring, ShutDownStopsARunningAuthoring) {
    Song song;
    std::atomic<bool> sawStop{false};
    PlayerRig rig([&](const std::string&, const std::string&, const std::atomic<int32_t>& stop,
                      std::atomic<uint32_t>&, UserPrompt&) {
        while (stop.load() == 0) std::this_thread::sleep_for(1ms);
        sawStop = true;
    });
    rig.playback.currentPath = song.path;
    rig.player->StartAuthoring();
    ASSERT_TRUE(rig.player->AuthoringThreadExists());
    rig.player->ShutDown();
    EXPECT_TRUE(sawStop.load());
    EXPECT_FALSE(rig.player->AuthoringThreadExists());
    EXPECT_EQ(rig.playback.threadStop.load(), 1);  // left set
}

}  // namespace
}  // namespace zeblo
