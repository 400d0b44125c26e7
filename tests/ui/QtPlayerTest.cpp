// The whole player in a window: clicks, drops and messages on the real view, the real render loop,
// and SDL's disk driver as the sound card, so the device file holds what was heard.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <thread>

#include "midi/FakeRcpConverterControl.h"
#include "settings/RecordingPrompt.h"
#include "support/CliProcess.h"
#include "support/SmfBuilder.h"
#include "support/SoundHash.h"
#include "ui/CMainFrame.h"
#include "ui/CPlayerView.h"
#include "ui/QtPlayer.h"
#include "ui/TransitionWindow.h"

namespace zeblo {
namespace {

using namespace std::chrono_literals;

std::string SourceFile(const std::string& relative) {
    const char* root = std::getenv("ZEBLO_SOURCE_DIR");
    return std::string(root ? root : ".") + "/" + relative;
}

int CountEntries(const char* folder) {
    int n = 0;
    if (DIR* d = opendir(folder)) {
        while (readdir(d) != nullptr) ++n;
        closedir(d);
    }
    return n;
}

// The program's objects as the application wires them, with short blocks (a tenth of a second
// at 22050 Hz, five of them) and quick prebuffering polls.
struct Window {
    explicit Window(const std::string& converterFolder = {}) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", deviceFile.c_str(), 1);
        settings.record.blockLength = 1;
        settings.record.outputFrequency = 22050;
        settings.record.blockCount = 5;
        ComputeEngineParameters(settings.record, settings.parameters);
        EXPECT_TRUE(skin.LoadBitmapResource(":/zeblo/skin.png"));
        stack = MakePlayerStack(settings, prompt, {true, converterFolder, {1ms, 2ms, 3000}});
        player = std::make_unique<QtPlayer>(*stack, prompt, nullptr);
        waves = std::make_unique<EngineWaveforms>(stack->engine.wavetable);
        frame = std::make_unique<CMainFrame>(skin, settings.record, *player, *waves, player.get(),
                                             FrameHooks{});
        view = frame->View();
        player->AttachView(view);
        view->StartDisplayTimer();
        frame->show();
    }
    ~Window() {
        frame.reset();
        player.reset();
    }

    void Click(int x, int y) { QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(x, y)); }
    void DoubleClick(int x, int y) { QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(x, y)); }
    void Drop(const std::string& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        // Qt hands a drop to the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(320, 200), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(view, &enter);
        QDropEvent drop(QPointF(320, 200), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(view, &drop);
    }
    // Runs the event loop until `done` holds; false after `limit`.
    bool Pump(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
    bool Playing() { return stack->playback.playing.load() && stack->device.IsOpen(); }
    uint64_t Position() {
        uint64_t p = 0;
        stack->device.GetPosition(p);
        return p;
    }
    bool RenderThread() { return stack->player.renderThread().Exists(); }

    test::TempDir dir;
    std::string deviceFile = dir.File("device.raw");
    RecordingPrompt prompt;
    Settings settings{prompt};
    std::unique_ptr<PlayerStack> stack;
    std::unique_ptr<QtPlayer> player;
    std::unique_ptr<EngineWaveforms> waves;
    ZBDIBSection skin;
    std::unique_ptr<CMainFrame> frame;
    CPlayerView* view = nullptr;
};

// Notes on channel 1 of port 0 for four seconds, a note on port 1 as well.
std::string WriteNoteSong(const test::TempDir& dir) {
    test::SmfBuilder smf(1, 480);
    smf.AddTrack().TrackName(0, "Notes").Tempo(0, 500000).EndOfTrack(3840);
    test::TrackBuilder& t = smf.AddTrack();
    for (int i = 0; i < 16; ++i) t.NoteOn(0, 0, 60 + i % 5, 100).NoteOff(240, 0, 60 + i % 5);
    t.EndOfTrack(0);
    smf.AddTrack().Port(0, 1).NoteOn(0, 0, 48, 100).NoteOff(3800, 0, 48).EndOfTrack(40);
    const std::string path = dir.File("notes.mid");
    EXPECT_TRUE(smf.WriteFile(path));
    return path;
}

TEST(SeekBar, AClickPicksTheTickUnderItAndCorrectsTheBar) {
    const struct {
        int x;
        uint32_t displayFrame;
        int32_t offset;
        uint64_t tick;
        int32_t newOffset;
    } rows[] = {{180, 0, 0, 48000, 118}, {180, 25, 0, 48000, 59}, {63, 0, 5, 406, 1}};
    for (const auto& r : rows) {
        const SeekTarget t = ComputeSeek(r.x, 4410, r.displayFrame, 441000, 96000, r.offset);
        EXPECT_EQ(t.tick, r.tick) << r.x;
        EXPECT_EQ(t.seekBarOffset, r.newOffset) << r.x;
    }
}

TEST(WindowPlayer, ADroppedSongPlaysTheFrozenStreamAndTheDisplayFollowsTheDevice) {
    Window w;
    w.stack->player.loopSongs = false;
    const QImage idle = w.view->Screen().Picture().copy();
    w.Drop(SourceFile("tests/data/short.mid"));
    ASSERT_TRUE(w.Pump([&] { return w.Playing() && w.Position() > 4410; }));
    w.player->DisplayTick();
    const int64_t shown = w.stack->playback.displayOffset.load() + int64_t(w.Position());
    EXPECT_NEAR(w.stack->playback.displayFrame.load(), shown / 2205, 2);
    w.Pump([] { return false; }, 100ms);
    const QImage playing = w.view->Screen().Picture();
    int changed = 0;
    for (int y = 51; y < 380; y += 3)
        for (int x = 60; x < 640; x += 3) changed += idle.pixel(x, y) != playing.pixel(x, y);
    EXPECT_GT(changed, 100) << "the strips move";
    ASSERT_TRUE(w.Pump([&] { return w.stack->player.Finished(); }));
    w.player->StopPlayback();
    EXPECT_EQ(test::SoundingHash(test::ReadFile(w.deviceFile)), 0xcaaae47d952002a2ull)
        << "the golden table's play --once wavetable row";
}

TEST(WindowPlayer, ButtonsPlayPauseSpeedSeekAndStop) {
    test::TempDir songs;
    Window w;
    PlaybackState& playback = w.stack->playback;
    playback.currentPath = WriteNoteSong(songs);
    w.Click(180, 410);  // seek while stopped: nothing
    EXPECT_EQ(w.player->SeekBarOffset(), 0);
    w.Click(150, 30);  // Play
    ASSERT_TRUE(w.Pump([&] { return w.Playing(); }));
    w.Click(270, 30);  // Pause
    EXPECT_TRUE(w.stack->device.IsPaused());
    const uint64_t paused = w.Position();
    w.Pump([] { return false; }, 150ms);
    EXPECT_EQ(w.Position(), paused);
    w.Click(150, 30);  // Play while paused: resumes where it was
    ASSERT_TRUE(w.Pump([&] { return w.Position() > paused; }));
    for (int expected : {200, 400, 0}) {
        w.Click(190, 30);  // Speed
        EXPECT_EQ(w.stack->engine.sequencer.TempoOffset(), expected);
    }
    w.Click(180, 410);
    EXPECT_NE(w.player->SeekBarOffset(), 0);
    EXPECT_GE(w.stack->engine.sequencer.TickPosition(),
              ComputeSeek(180, 0, 0, 1, playback.totalTicks, 0).tick);
    w.Click(230, 30);  // Stop
    EXPECT_FALSE(w.Playing() || w.RenderThread());
    playback.loading = true;
    w.Click(150, 30);  // refused while a start is loading
    EXPECT_FALSE(playback.playing.load());
    playback.loading = false;
}

TEST(WindowPlayer, StripClicksMuteTheirChannelsAndTheLogoSwitchesTheModule) {
    test::TempDir songs;
    Window w;
    w.stack->playback.currentPath = WriteNoteSong(songs);
    for (const auto& [x, y] : {std::pair{62, 51}, {94, 219}, {94, 63}, {62, 219}, {62, 51}})
        w.Click(x, y);
    EXPECT_EQ(w.stack->engine.shared.channelMute[0].load(), 1);
    EXPECT_EQ(w.stack->engine.shared.channelMute[16].load(), 0);
    w.Click(150, 30);
    ASSERT_TRUE(w.Pump([&] { return w.Playing() && w.Position() > 4410; }));
    w.player->StopPlayback();
    const Renderer& renderer = w.stack->renderer;
    const std::size_t written = renderer.SnapshotCounter() / renderer.SnapshotInterval();
    ASSERT_GT(written, 4u);
    for (std::size_t i = 2; i <= written; ++i) {
        EXPECT_EQ(renderer.Snapshots()[i].voiceCount[0], 0) << "record " << i;
        EXPECT_GT(renderer.Snapshots()[i].voiceCount[16], 0) << "record " << i;
    }

    w.Click(150, 30);
    ASSERT_TRUE(w.Pump([&] { return w.Playing(); }));
    w.DoubleClick(50, 20);
    EXPECT_FALSE(w.Playing() || w.RenderThread());
    EXPECT_TRUE(w.view->Transition()->Running());
    EXPECT_EQ(w.view->Background().PixelColour(40, 20), w.skin.PixelColour(190, 550)) << "FM logo";
    w.Click(150, 30);
    ASSERT_TRUE(w.Pump([&] { return w.Playing(); }));
    EXPECT_EQ(w.stack->engine.sequencer.Module(), &w.stack->engine.opll);
}

// The converter the stack loads: the test tree's fake librcpcv.so, inside a fresh current folder
// where the converted song is written.
TEST(WindowPlayer, RcpFamilyNamesGoThroughTheLoadedConverter) {
    test::TempDir songs;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(songs.Path());
    {
        test::FakeRcpConverterControl fake(FAKE_RCPCV_DIR);
        ASSERT_TRUE(fake.Ready());
        Window w(FAKE_RCPCV_DIR);
        fake.configure(7, 1);
        const std::string old = songs.File("old.r36");
        w.Drop(old);
        ASSERT_TRUE(w.Pump([&] { return w.Playing() && w.Position() > 2205; }));
        EXPECT_EQ(std::string(fake.log()),
                  "convert(" + old + ",0,0,0,0) save(7,ConvertedRCP.mid) delete(7)");
        EXPECT_EQ(w.player->SongTitle(), old) << "the converted song is named after its source";
        w.player->StopPlayback();

        fake.configure(0, 1);
        w.Drop(songs.File("bad.rcp"));
        w.Pump([&] { return !w.prompt.prompts().empty(); }, 3s);
        ASSERT_EQ(w.prompt.prompts().size(), 1u);
        EXPECT_EQ(w.prompt.prompts()[0].text, kRcpConvertFailedMessage);
        EXPECT_FALSE(w.Playing() || w.RenderThread() || w.stack->playback.loading);
    }
    std::filesystem::current_path(previous);
}

TEST(WindowPlayer, AuthoringRefusesPlaysWhileItRunsAndWritesWhatZebloCliRenderWrites) {
    test::TempDir songs;
    const std::string song = WriteNoteSong(songs);
    const std::string wav = songs.File("notes.WAV");
    {
        Window w;
        w.stack->playback.currentPath = song;
        w.prompt.AnswerNext(PromptAnswer::Cancel);
        w.Click(300, 30);
        EXPECT_FALSE(w.stack->playback.authoring.load()) << "cancelled";
        w.Click(300, 30);
        EXPECT_TRUE(w.stack->playback.authoring.load());
        EXPECT_FALSE(w.Playing() || w.RenderThread());
        // The state clears only on this thread, so both arrive while the run is on.
        QEvent playCurrent(static_cast<QEvent::Type>(kWmPlayCurrent));
        QCoreApplication::sendEvent(w.view, &playCurrent);
        w.Drop(song);
        w.Click(150, 30);       // refused by the view
        w.DoubleClick(50, 20);  // likewise
        EXPECT_EQ(w.stack->engine.engineFlag.load(), kEngineWavetable);
        ASSERT_TRUE(w.Pump([&] { return !w.stack->playback.authoring.load(); }, 60s));
        EXPECT_FALSE(w.Playing());
        int refusals = 0;
        for (const RecordedPrompt& p : w.prompt.prompts())
            refusals += p.text == kAuthoringNowMessage;
        EXPECT_EQ(refusals, 2);
        EXPECT_GT(w.view->MessageCountdown(), 500) << "Authoring Finished.: 600 paints";
    }
    const test::CliRun run = test::RunCli(
        songs, {"render", "-q", "--rate", "22050", "-o", songs.File("reference.wav"), song});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string authored = test::ReadFile(wav);
    EXPECT_GT(authored.size(), 22050u * 4 * 3);
    EXPECT_TRUE(authored == test::ReadFile(songs.File("reference.wav")));
}

TEST(WindowPlayer, AHundredDropStopPlayCyclesAndTwentyEngineSwitchesLeakNothing) {
    Window w;
    const std::string song = SourceFile("resources/demo.mid");
    // The first open starts the sound system's own threads and files, which stay: count after it.
    w.Drop(song);
    ASSERT_TRUE(w.Pump([&] { return w.Playing(); }, 5s));
    w.Click(230, 30);
    const int threadsBefore = CountEntries("/proc/self/task");
    const int filesBefore = CountEntries("/proc/self/fd");
    for (int i = 0; i < 120; ++i) {
        if (i < 100) {
            w.Drop(song);
            ASSERT_TRUE(w.Pump([&] { return w.Playing(); }, 5s)) << "cycle " << i;
            w.Click(230, 30);  // Stop
        } else {
            w.DoubleClick(50, 20);
        }
        ASSERT_FALSE(w.RenderThread());
        w.Click(150, 30);  // Play
        ASSERT_TRUE(w.Playing()) << "cycle " << i;
    }
    EXPECT_EQ(w.stack->engine.engineFlag.load(), kEngineWavetable);
    w.Click(230, 30);
    w.Pump([] { return false; }, 200ms);
    EXPECT_EQ(CountEntries("/proc/self/task"), threadsBefore);
    EXPECT_EQ(CountEntries("/proc/self/fd"), filesBefore);
}

}  // namespace
}  // namespace zeblo
