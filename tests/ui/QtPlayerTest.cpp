// The whole player in a window: clicks, drops and messages on the real view, the real render loop,
// and SDL's disk driver as the sound card, so the device file holds what was heard.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/PlayerRenderer.h"
#include "engine/PlayerTestSupport.h"
#include "engine/WaveOutDevice.h"
#include "midi/FakeRcpConverterControl.h"
#include "midi/RcpConverter.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
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
    explicit Window(RcpConversion convert = {}) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", deviceFile.c_str(), 1);
        testing::UseOutput(settings, 1, 22050, 5);
        EXPECT_TRUE(skin.LoadBitmapResource(":/zeblo/skin.png"));
        renderer = std::make_unique<Renderer>(engine);
        loop = std::make_unique<PlayerRenderer>(*renderer);
        player = std::make_unique<QtPlayer>(
            QtPlayerParts{engine, settings, playback, device, outputSlots, renderer->Snapshots(),
                          prompt, *loop, std::move(convert), MakeAuthoringRun(engine, *renderer),
                          nullptr, StreamingTimings{kSlotPollInterval, 2ms, 3000}});
        frame = std::make_unique<CMainFrame>(skin, settings.record, *player, waves, player.get(),
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
    void Message(int number) {
        QEvent event(static_cast<QEvent::Type>(number));
        QCoreApplication::sendEvent(view, &event);
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
    bool Playing() { return playback.playState.load() != 0 && device.IsOpen(); }
    uint64_t Position() {
        uint64_t p = 0;
        device.GetPosition(p);
        return p;
    }

    test::TempDir dir;
    std::string deviceFile = dir.File("device.raw");
    RecordingPrompt prompt;
    OutputSlots outputSlots;
    Settings settings{prompt, outputSlots};
    EngineContext engine{settings.parameters};
    std::unique_ptr<Renderer> renderer;
    std::unique_ptr<PlayerRenderer> loop;
    PlaybackState playback;
    BufferDoneQueue notifications;
    WaveOutDevice device{prompt, notifications};
    EngineWaveforms waves{engine.wavetable};
    ZBDIBSection skin;
    std::unique_ptr<QtPlayer> player;
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

TEST(WindowPlayer, DroppingTheDemoSongPlaysWhatTheRenderLoopMakesAndTheDisplayFollows) {
    Window w;
    const QImage idle = w.view->Screen().Picture().copy();
    const std::string song = SourceFile("resources/demo.mid");
    w.Drop(song);
    EXPECT_EQ(w.playback.currentPath, song);
    ASSERT_TRUE(w.Pump([&] { return w.Playing() && w.Position() > 22050; }));
    EXPECT_EQ(w.playback.loadingState.load(), 0);

    // The strips moved: the channel area differs from the idle picture.
    w.Pump([] { return false; }, 300ms);
    const QImage playing = w.view->Screen().Picture();
    int changed = 0;
    for (int y = 51; y < 380; y += 3)
        for (int x = 60; x < 640; x += 3) changed += idle.pixel(x, y) != playing.pixel(x, y);
    EXPECT_GT(changed, 100);

    // The display frame is the one of the frames the device has played.
    const int64_t offset = w.playback.displayOffset.load();
    w.player->DisplayTick();
    const uint64_t position = w.Position();
    const uint32_t frame = w.playback.displayFrame.load();
    EXPECT_GE(frame, (offset + position) / 2205);
    EXPECT_LE(frame, (offset + position) / 2205 + 2);

    w.player->StopPlayback();
    const std::vector<uint32_t> played = testing::ReadFrames(w.deviceFile);
    const std::vector<uint32_t> expected =
        testing::RenderLikeAPlayStart(song, w.settings.record, kEngineWavetable, 22050);
    ASSERT_EQ(expected.size(), 22050u);
    EXPECT_GE(testing::FindPlayedSong(played, expected, 22050), 0);
    EXPECT_FALSE(w.player->core().renderThread().Exists());
}

TEST(WindowPlayer, ButtonsPlayPauseSpeedAndStop) {
    test::TempDir songs;
    Window w;
    w.playback.currentPath = WriteNoteSong(songs);
    w.Click(150, 30);  // Play
    ASSERT_TRUE(w.Pump([&] { return w.Playing(); }));
    w.Click(270, 30);  // Pause
    EXPECT_EQ(w.playback.pauseState.load(), 1);
    EXPECT_TRUE(w.device.IsPaused());
    const uint64_t paused = w.Position();
    w.Pump([] { return false; }, 150ms);
    EXPECT_EQ(w.Position(), paused);
    w.Click(150, 30);  // Play while paused: resumes
    EXPECT_EQ(w.playback.pauseState.load(), 0);
    EXPECT_FALSE(w.device.IsPaused());
    ASSERT_TRUE(w.Pump([&] { return w.Position() > paused; }));
    EXPECT_GT(w.Position(), 0u);  // not restarted: the device stayed open

    for (int expected : {200, 400, 0}) {
        w.Click(190, 30);  // Speed
        EXPECT_EQ(w.engine.sequencer.TempoOffset(), expected);
    }
    w.Click(230, 30);  // Stop
    EXPECT_EQ(w.playback.playState.load(), 0);
    EXPECT_FALSE(w.device.IsOpen());
    EXPECT_FALSE(w.player->core().renderThread().Exists());

    // Clicks are refused while a start is loading.
    w.playback.loadingState = 1;
    w.Click(150, 30);
    EXPECT_EQ(w.playback.playState.load(), 0);
    w.playback.loadingState = 0;
}

TEST(WindowPlayer, SeekClicksOnlyActWhilePlaying) {
    test::TempDir songs;
    Window w;
    w.playback.currentPath = WriteNoteSong(songs);
    w.Click(180, 410);
    EXPECT_EQ(w.playback.seekBarOffset.load(), 0);
    w.Click(150, 30);
    ASSERT_TRUE(w.Pump([&] { return w.Playing(); }));
    w.Click(180, 410);
    const uint64_t target = static_cast<uint64_t>(118 * static_cast<double>(0.0042372881f) *
                                                  w.playback.totalTicks.load());
    EXPECT_NE(w.playback.seekBarOffset.load(), 0);
    EXPECT_GE(w.engine.sequencer.TickPosition(), target);
}

TEST(WindowPlayer, StripClicksMuteAndTheMutedChannelStopsStartingNotes) {
    test::TempDir songs;
    Window w;
    w.playback.currentPath = WriteNoteSong(songs);
    w.Click(62, 51);
    EXPECT_EQ(w.engine.shared.channelMute[0].load(), 1);
    w.Click(94, 219);
    EXPECT_EQ(w.engine.shared.channelMute[16].load(), 1);
    w.Click(94, 63);
    EXPECT_EQ(w.engine.shared.channelMute[0].load(), 0);
    w.Click(62, 219);
    EXPECT_EQ(w.engine.shared.channelMute[16].load(), 0);

    w.Click(62, 51);  // port 0 channel 1 muted, port 1 plays
    w.Click(150, 30);
    ASSERT_TRUE(w.Pump([&] { return w.Playing() && w.Position() > 4410; }));
    w.player->StopPlayback();
    const SnapshotRing& ring = w.renderer->Snapshots();
    const std::size_t written = w.renderer->SnapshotCounter() / w.renderer->SnapshotInterval();
    ASSERT_GT(written, 4u);
    for (std::size_t i = 2; i <= written; ++i) {
        EXPECT_EQ(ring[i].voiceCount[0], 0) << "record " << i;
        EXPECT_GT(ring[i].voiceCount[16], 0) << "record " << i;
    }
}

TEST(WindowPlayer, LogoDoubleClickStopsAndTheNextPlayUsesTheFmModule) {
    test::TempDir songs;
    Window w;
    w.playback.currentPath = WriteNoteSong(songs);
    w.Click(150, 30);
    ASSERT_TRUE(w.Pump([&] { return w.Playing(); }));
    w.DoubleClick(50, 20);
    EXPECT_EQ(w.playback.playState.load(), 0);
    EXPECT_FALSE(w.player->core().renderThread().Exists());
    EXPECT_EQ(w.engine.engineFlag.load(), kEngineOpll);
    EXPECT_TRUE(w.view->Transition()->Running());
    // The FM logo stands in the recomposed background.
    EXPECT_EQ(w.view->Background().PixelColour(40, 20), w.skin.PixelColour(190, 550));
    w.Click(150, 30);
    ASSERT_TRUE(w.Pump([&] { return w.Playing(); }));
    EXPECT_EQ(w.engine.sequencer.Module(), &w.engine.opll);
    w.DoubleClick(200, 30);  // elsewhere: one more press (Speed)
    EXPECT_EQ(w.engine.engineFlag.load(), kEngineOpll);
}

// The converter the application builds, loading the test tree's fake librcpcv.so, inside a
// fresh current folder where the converted song is written.
TEST(WindowPlayer, RcpFamilyNamesGoThroughTheLoadedConverter) {
    test::TempDir songs;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(songs.Path());
    {
        RecordingPrompt converterPrompt;
        RcpConverter converter(converterPrompt);
        ASSERT_TRUE(converter.Load(FAKE_RCPCV_DIR));
        test::FakeRcpConverterControl fake(FAKE_RCPCV_DIR);
        ASSERT_TRUE(fake.Ready());
        Window w([&converter](const std::string& path, UserPrompt&) {
            return converter.ConvertRcpFile(path);
        });

        fake.configure(7, 1);
        const std::string old = songs.File("old.r36");
        w.Drop(old);
        // The converted song is what plays: one beat of middle C named after its source.
        ASSERT_TRUE(w.Pump([&] { return w.Playing() && w.Position() > 2205; }));
        EXPECT_EQ(std::string(fake.log()),
                  "convert(" + old + ",0,0,0,0) save(7,ConvertedRCP.mid) delete(7)");
        EXPECT_EQ(w.playback.currentPath, old);
        EXPECT_EQ(w.player->SongTitle(), old);
        w.player->StopPlayback();

        // A failed conversion is reported and leaves nothing running.
        fake.configure(0, 1);
        w.Drop(songs.File("bad.rcp"));
        w.Pump([&] { return !converterPrompt.prompts().empty(); }, 3s);
        EXPECT_EQ(std::string(fake.log()), "convert(" + songs.File("bad.rcp") + ",0,0,0,0) ");
        ASSERT_EQ(converterPrompt.prompts().size(), 1u);
        EXPECT_EQ(converterPrompt.prompts()[0].text, kRcpConvertFailedMessage);
        EXPECT_EQ(w.playback.playState.load(), 0);
        EXPECT_EQ(w.playback.loadingState.load(), 0);
        EXPECT_FALSE(w.player->core().renderThread().Exists());
    }
    std::filesystem::current_path(previous);
}

TEST(WindowPlayer, AuthoringCancelLeavesPlaybackAloneAndPlaysAreRefusedWhileItRuns) {
    test::TempDir songs;
    const std::string song = WriteNoteSong(songs);
    const std::string wav = songs.File("notes.WAV");
    Window w;
    w.playback.currentPath = song;
    w.Click(150, 30);
    ASSERT_TRUE(w.Pump([&] { return w.Playing(); }));

    w.prompt.AnswerNext(PromptAnswer::Cancel);
    w.Click(300, 30);
    ASSERT_EQ(w.prompt.prompts().size(), 1u);
    EXPECT_EQ(w.prompt.prompts()[0].text, "Output for \"" + wav + "\".\nAre you sure?");
    EXPECT_EQ(w.prompt.prompts()[0].buttons, PromptButtons::OkCancel);
    EXPECT_FALSE(std::filesystem::exists(wav));
    EXPECT_TRUE(w.Playing());
    EXPECT_TRUE(w.player->core().renderThread().Exists());

    w.prompt.AnswerNext(PromptAnswer::Ok);
    w.Click(300, 30);
    EXPECT_EQ(w.playback.authoringState.load(), 1);
    EXPECT_EQ(w.playback.playState.load(), 0);
    EXPECT_FALSE(w.player->core().renderThread().Exists());
    // The state clears only on this thread, so both arrive while the run is on.
    w.Message(kWmPlayCurrent);
    w.Drop(song);
    w.Click(150, 30);       // refused by the view
    w.DoubleClick(50, 20);  // likewise
    EXPECT_EQ(w.playback.playState.load(), 0);
    EXPECT_EQ(w.engine.engineFlag.load(), kEngineWavetable);
    ASSERT_TRUE(w.Pump([&] { return w.playback.authoringState.load() == 0; }));
    int refusals = 0;
    for (const RecordedPrompt& p : w.prompt.prompts()) refusals += p.text == kAuthoringNowMessage;
    EXPECT_EQ(refusals, 2);
    EXPECT_GT(w.view->MessageCountdown(), 500);  // "Authoring Finished.": 600 paints at 10 a second
    EXPECT_TRUE(std::filesystem::exists(wav));
}

TEST(WindowPlayer, AuthoringFromAFreshWindowWritesWhatZebloCliRenderWrites) {
    test::TempDir songs;
    const std::string song = WriteNoteSong(songs);
    std::vector<uint32_t> fromWindow;
    {
        Window w;
        w.playback.currentPath = song;
        w.Click(300, 30);
        ASSERT_TRUE(w.Pump([&] { return w.playback.authoringState.load() == 0; }, 60s));
        EXPECT_GT(w.player->BytesAuthored(), 22050u * 4 * 3);
        fromWindow = testing::ReadFrames(songs.File("notes.WAV"));
    }
    // The command-line renderer, in a process of its own, with the same settings.
    const std::string reference = songs.File("reference.wav");
    const std::string command = std::string(ZEBLO_CLI_PATH) + " render -q --rate 22050 -o '" +
                                reference + "' '" + song + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_GT(fromWindow.size(), 22050u * 3);
    EXPECT_TRUE(fromWindow == testing::ReadFrames(reference));
}

TEST(WindowPlayer, AHundredDropStopPlayCyclesAndTwentyEngineSwitches) {
    Window w;
    const std::string song = SourceFile("resources/demo.mid");
    // The first open starts the sound system's own threads and files, which stay: count after it.
    w.Drop(song);
    ASSERT_TRUE(w.Pump([&] { return w.Playing(); }, 5s));
    w.Click(230, 30);
    const int threadsBefore = CountEntries("/proc/self/task");
    const int filesBefore = CountEntries("/proc/self/fd");
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) {
        w.Drop(song);
        ASSERT_TRUE(w.Pump([&] { return w.Playing(); }, 5s)) << "cycle " << i;
        w.Click(230, 30);  // Stop
        ASSERT_FALSE(w.player->core().renderThread().Exists());
        w.Click(150, 30);  // Play
        ASSERT_TRUE(w.Playing()) << "cycle " << i;
    }
    for (int i = 0; i < 20; ++i) {
        w.DoubleClick(50, 20);
        ASSERT_FALSE(w.player->core().renderThread().Exists());
        w.Click(150, 30);
        ASSERT_TRUE(w.Playing());
    }
    EXPECT_EQ(w.engine.engineFlag.load(), kEngineWavetable);
    w.Click(230, 30);
    w.Pump([] { return false; }, 200ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
    EXPECT_EQ(CountEntries("/proc/self/task"), threadsBefore);
    EXPECT_EQ(CountEntries("/proc/self/fd"), filesBefore);
}

}  // namespace
}  // namespace zeblo
