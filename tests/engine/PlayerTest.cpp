#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "engine/Authoring.h"
#include "engine/Player.h"
#include "engine/StreamingMessages.h"
#include "engine/StreamingTestSupport.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using namespace std::chrono_literals;
using testing::FakeOutputDevice;
using testing::UseOutput;

// Frames are a running count; each one first advances the sequencer as the render loop does.
class SequencerFrames final : public FrameSource, public PlayerRenderLoop {
public:
    explicit SequencerFrames(EngineContext& engine) : engine_(engine) {}

    uint32_t Render(uint32_t* out, uint32_t frames, bool) override {
        Sequencer& sequencer = engine_.sequencer;
        std::lock_guard guard(sequencer.Lock());
        for (uint32_t i = 0; i < frames; ++i) {
            if (!sequencer.Playing()) return i;
            sequencer.Advance(false);
            out[i] = static_cast<uint32_t>(++rendered);
        }
        return frames;
    }
    void ClearFilterHistory() override { ++filterClears; }
    FrameSource& Frames() override { return *this; }
    void StartSnapshotClock() override { ++clockStarts; }

    std::atomic<uint64_t> rendered{0};
    std::atomic<int> filterClears{0};
    int clockStarts = 0;

private:
    EngineContext& engine_;
};

// Each report as one word, in order; the last message's text.
class RecordingListener final : public PlayerListener {
public:
    void StateChanged() override { reports += "state "; }
    void FullRedrawNeeded() override { reports += "redraw "; }
    void PlayStarting() override { reports += "starting "; }
    void SongLoading() override { reports += "loading "; }
    void SongLoaded() override { reports += "loaded "; }
    void ShowMessage(std::string_view text, int32_t ms) override {
        reports += "message ";
        message = std::string(text) + (ms == kPlayerMessageMs ? "" : " for another time");
    }
    void PlayRequested() override { reports += "request "; }
    void AuthoringEnded() override { authoringEnded = true; }
    void BufferingProgress() override {
        if (whileBuffering) whileBuffering();
    }
    std::function<void()> whileBuffering;

    std::string reports, message;
    std::atomic<bool> authoringEnded{false};
};

// Everything a player needs, with short blocks (a tenth of a second at 22050 Hz, five slots) and
// quick prebuffering polls.
struct PlayerRig {
    explicit PlayerRig(AuthoringRun author = {}, RcpConversion convert = {}) {
        UseOutput(settings, 1, 22050, 5);
        player = std::make_unique<Player>(
            PlayerParts{engine, settings, playback, device, outputSlots, prompt, frames,
                        std::move(convert), std::move(author),
                        StreamingTimings{kSlotPollInterval, std::chrono::milliseconds(2), 200}});
        player->SetListener(listener);
    }

    RecordingPrompt prompt;
    OutputSlots outputSlots;
    Settings settings{prompt};
    EngineContext engine{settings.parameters};
    PlaybackState playback;
    BufferDoneQueue queue;
    FakeOutputDevice device{prompt, queue};
    SequencerFrames frames{engine};
    RecordingListener listener;
    std::unique_ptr<Player> player;
};

// Two seconds at 120 beats per minute with a note on channel 1.
struct Song {
    Song() {
        tools::SmfBuilder smf(1, 480);
        smf.AddTrack().TrackName(0, "Two seconds").Tempo(0, 500000).EndOfTrack(1920);
        smf.AddTrack().NoteOn(0, 0, 60, 100).NoteOff(1900, 0, 60).EndOfTrack(20);
        EXPECT_TRUE(smf.WriteFile(path));
        std::ofstream(junk) << "not a song";
    }
    test::TempDir dir;
    std::string path = dir.File("song.mid"), junk = dir.File("junk.mid");
};

TEST(PlayerStart, EachKindOfStartReportsAndEndsAsItShould) {
    Song song;
    const std::tuple<std::string, bool, std::string, std::string> rows[] = {
        {"", false, "starting message ", kNoFileToPlayMessage},
        {song.junk, false, "starting loading state loaded state message ", kUnknownFileMessage},
        {song.dir.File("old.r36"), false, "starting loading state redraw ", ""},
        {song.dir.File("old.rcp"), true, "starting loading state loaded redraw ", ""},
        {song.path, false, "starting loading state loaded redraw ", ""},
    };
    for (const auto& [path, convertible, reports, message] : rows) {
        SCOPED_TRACE(path);
        std::vector<std::string> converted;
        PlayerRig rig({}, [&, convertible = convertible](const std::string& name) {
            converted.push_back(name);
            return convertible && MakeConvertedRcpFolder() &&
                   std::filesystem::copy_file(song.path, kConvertedRcpFile,
                                              std::filesystem::copy_options::overwrite_existing);
        });
        rig.playback.currentPath = path;
        rig.player->PlayFile();
        EXPECT_EQ(rig.listener.reports, reports);
        EXPECT_EQ(rig.listener.message, message);
        const bool playing = reports.ends_with("loaded redraw ");
        EXPECT_EQ(rig.playback.playing.load(), playing);
        EXPECT_EQ(rig.player->renderThread().Exists() + rig.device.IsOpen(), 2 * playing);
        EXPECT_FALSE(rig.playback.loading.load());
        EXPECT_EQ(converted.size(), path.ends_with(".mid") || path.empty() ? 0u : 1u);
    }
}

TEST(PlayerStart, ASongPlaysMeasuredAndLoopingAndObeysEveryCommand) {
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
    EXPECT_TRUE(rig.engine.sequencer.Loop());

    rig.settings.record.displayOffsetMode = 1;  // the late display offset
    rig.player->SwitchEngine();
    rig.player->Play();
    EXPECT_EQ(rig.playback.displayOffset.load(), -11025);
    EXPECT_EQ(rig.engine.sequencer.Module(), &rig.engine.opll);
    EXPECT_EQ(rig.frames.filterClears.load(), 2);
    rig.player->Stop();
    EXPECT_FALSE(rig.player->renderThread().Exists() || rig.device.IsOpen());
    EXPECT_EQ(rig.playback.threadStop.load(), 0);
    const uint64_t stoppedAt = rig.engine.sequencer.TickPosition();
    rig.player->SeekToTick(960);  // stopped: nothing
    EXPECT_EQ(rig.engine.sequencer.TickPosition(), stoppedAt);
    rig.settings.record.displayOffsetMode = 0;
    rig.player->Play();
    rig.player->Pause();
    EXPECT_TRUE(rig.device.IsPaused());
    rig.player->Play();  // resumes: no new start
    EXPECT_FALSE(rig.device.IsPaused());
    EXPECT_EQ(rig.frames.clockStarts, 3);

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
    EXPECT_EQ(rig.engine.shared.channelMute[0].load() * 2 + rig.engine.shared.channelMute[16], 1);

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
    EXPECT_EQ(rig.listener.reports, "state request ");
}

// The device going away, while a start prebuffers or under playback, stops playback as STOP does
// and says so; later starts open the system's default in its place until another one is named.
TEST(PlayerStart, ALostDeviceStopsPlaybackAndIsReplacedByTheDefault) {
    Song song;
    PlayerRig rig;
    rig.playback.currentPath = song.path;
    for (const auto& [named, prebuffering, opened] :
         {std::tuple{2, true, 2}, {2, false, kDefaultOutputDevice}, {3, false, 3}}) {
        rig.settings.record.outputDevice = named;
        rig.listener.whileBuffering = [&rig, lose = prebuffering] {
            if (lose) rig.device.ReportLost();
        };
        rig.player->PlayFile();
        EXPECT_EQ(rig.device.lastDeviceNumber, opened);
        EXPECT_EQ(rig.playback.playing.load(), !prebuffering);
        if (!prebuffering) rig.device.ReportLost();
        rig.player->DrainNotifications();
        EXPECT_FALSE(rig.playback.playing.load() || rig.device.IsOpen() ||
                     rig.player->renderThread().Exists());
        EXPECT_EQ(rig.prompt.TakeTexts(), std::string(kWaveDeviceOpenFailedMessage) + "|");
    }
}

TEST(PlayerAuthoring, ConfirmedRunsStopPlaybackRefusePlaysAndTellTheirMessagesAfterwards) {
    Song song;
    std::string seen;
    PlayerRig rig([&](const std::string& s, const std::string& o, const std::atomic<int32_t>&,
                      std::atomic<uint32_t>& bytes, UserPrompt& prompt) {
        seen = s + ">" + o;
        bytes += 80000;
        prompt.Ask("File write failed.", PromptButtons::Ok, PromptIcon::Error);
    });
    rig.player->Author();
    EXPECT_EQ(rig.listener.message, kNoFileToAuthorMessage);
    rig.playback.currentPath = song.path;
    rig.player->Play();
    rig.prompt.AnswerNext(PromptAnswer::Cancel);
    rig.player->Author();
    EXPECT_TRUE(rig.playback.playing.load()) << "cancelled: playback goes on";
    rig.player->Author();
    EXPECT_FALSE(rig.player->renderThread().Exists());
    EXPECT_TRUE(rig.playback.authoring.load());
    EXPECT_FALSE(rig.player->Open(song.path) || rig.player->PlayPath(song.path) ||
                 rig.player->PlayCurrent());
    ASSERT_TRUE(testing::WaitUntil([&] { return rig.listener.authoringEnded.load(); }));
    rig.player->FinishAuthoring();
    EXPECT_EQ(seen, song.path + ">" + song.dir.File("song.WAV"));
    EXPECT_EQ(rig.player->BytesAuthored(), 80000u);
    EXPECT_FALSE(rig.playback.authoring.load());
    const std::vector<std::string> texts = rig.prompt.Texts();
    const std::string question = "Output for \"" + song.dir.File("song.WAV") + "\".\nAre you sure?";
    EXPECT_EQ(texts, (std::vector<std::string>{question, question, kAuthoringNowMessage,
                                               kAuthoringNowMessage, kAuthoringNowMessage,
                                               "File write failed."}));
    EXPECT_EQ(rig.listener.message, kAuthoringFinishedMessage);
}

// REC again during a run, answered yes: the run stops after the chunk it is writing and leaves no
// file, partial or under the final name: the song and the junk stay alone (answered no, the run
// goes on: the window's test).
TEST(PlayerAuthoring, ACancelledRunStopsAtItsNextChunkAndLeavesNoFile) {
    Song song;
    std::atomic<bool> asked{false};
    PlayerRig rig([&](const std::string& s, const std::string& o, const std::atomic<int32_t>& stop,
                      std::atomic<uint32_t>& bytes, UserPrompt& prompt) {
        auto renderer = std::make_unique<Renderer>(rig.engine);
        RcpConverter converter(prompt);
        Authoring(rig.engine, *renderer, converter, prompt).Run(s, o, stop, [&](uint32_t b) {
            for (bytes = b; !asked;) std::this_thread::sleep_for(1ms);
        });
    });
    rig.playback.currentPath = song.path;
    rig.player->Author();
    ASSERT_TRUE(testing::WaitUntil([&] { return rig.player->BytesAuthored() > 0; }));
    rig.player->Author();
    asked = true;
    ASSERT_TRUE(testing::WaitUntil([&] { return rig.listener.authoringEnded.load(); }));
    rig.player->FinishAuthoring();
    const RecordedPrompt& question = rig.prompt.prompts().at(1);
    EXPECT_EQ(std::tuple(question.text, question.buttons, question.icon),
              std::tuple(std::string("cancel?"), PromptButtons::YesNo, PromptIcon::Question));
    EXPECT_EQ(rig.prompt.prompts().back().text, kAuthoringTerminatedMessage);
    EXPECT_EQ(rig.player->BytesAuthored(), 80000u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(song.dir.Path()), {}), 2);
}

TEST(PlayerAuthoring, ShutDownStopsARunningAuthoringAndLeavesTheStopSet) {
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
    EXPECT_EQ(rig.playback.threadStop.load(), 1);
}

}  // namespace
}  // namespace zeblo
