// The whole player in a window: clicks, drops and messages on the real view, the real render loop,
// and SDL's disk driver as the sound card, so the device file holds what was heard.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <thread>

#include "WindowRig.h"
#include "support/CliProcess.h"
#include "support/Fnv1a.h"
#include "ui/Keyboard.h"

namespace zeblo {
namespace {

using namespace std::chrono_literals;

// tests/data/short.mid: a second of notes, looped by the window.
const std::string kSong =
    std::string(std::getenv("ZEBLO_SOURCE_DIR") ?: ".") + "/tests/data/short.mid";

// The rig, and how a person reaches the view: clicks and drops.
struct Window : test::WindowRig {
    Window() { EXPECT_TRUE(skinLoaded); }
    void Click(int x, int y, bool twice = false) {
        twice ? QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(x, y))
              : QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(x, y));
    }
    void Drop(const std::string& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QDragEnterEvent enter(QPoint(320, 200), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(view, &enter);  // Qt drops onto who accepted the entry
        QDropEvent drop(QPointF(320, 200), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(view, &drop);
    }
};

TEST(SeekBar, AClickPicksTheTickUnderItAndCorrectsTheBar) {
    for (const auto& [x, frame, offset, tick, newOffset] :
         {std::tuple{180, 0u, 0, 48000u, 118}, {180, 25u, 0, 48000u, 59}, {63, 0u, 5, 406u, 1}}) {
        const SeekTarget t = ComputeSeek(x, 4410, frame, 441000, 96000, offset);
        EXPECT_EQ(std::pair(t.tick, t.seekBarOffset), std::pair(uint64_t{tick}, newOffset)) << x;
    }
}

TEST(WindowPlayer, ADroppedSongPlaysTheFrozenStreamAndTheDisplayFollowsTheDevice) {
    Window w;
    w.stack->player.loopSongs = false;
    const QImage idle = w.view->Screen().Picture().copy();
    w.Drop(kSong);
    ASSERT_TRUE(test::Pump([&] { return w.Playing() && w.Position() > 4410; }));
    // The device plays on while the test reads it: the shown frame lies between two readings.
    const int64_t offset = w.stack->playback.displayOffset.load();
    const int64_t before = offset + int64_t(w.Position());
    w.player->DisplayTick();
    const int64_t after = offset + int64_t(w.Position());
    const int64_t shown = w.stack->playback.displayFrame.load();
    EXPECT_TRUE(shown >= before / 2205 - 2 && shown <= after / 2205 + 2)
        << shown << " shown for " << before << " to " << after;
    test::Pump([] { return false; }, 100ms);
    EXPECT_NE(w.view->Screen().Picture().copy(60, 51, 580, 330), idle.copy(60, 51, 580, 330));
    ASSERT_TRUE(test::Pump([&] { return w.stack->player.Finished(); }));
    w.player->StopPlayback();
    EXPECT_EQ(test::SoundingHash(test::ReadFile(w.deviceFile)), 0xcaaae47d952002a2ull)
        << "the golden table's play --once wavetable row";
}

TEST(WindowPlayer, ButtonsPlayPauseSpeedSeekStopAndTheLogoSwitchesTheModule) {
    Window w;
    PlaybackState& playback = w.stack->playback;
    playback.currentPath = kSong;
    w.Click(180, 410);  // seek while stopped: nothing
    EXPECT_EQ(w.player->SeekBarOffset(), 0);
    w.Click(150, 30);  // Play
    ASSERT_TRUE(test::Pump([&] { return w.Playing(); }));
    w.Click(270, 30);  // Pause
    const uint64_t paused = w.Position();
    test::Pump([] { return false; }, 150ms);
    EXPECT_EQ(w.Position(), paused);
    w.Click(150, 30);  // Play while paused: resumes where it was
    ASSERT_TRUE(test::Pump([&] { return w.Position() > paused; }));
    for (int expected : {200, 400, 0}) {
        w.Click(190, 30);  // Speed
        EXPECT_EQ(w.stack->engine.sequencer.TempoOffset(), expected);
    }
    w.Click(180, 410);
    EXPECT_NE(w.player->SeekBarOffset(), 0);
    w.Click(230, 30);  // Stop
    EXPECT_FALSE(w.Playing() || w.stack->player.renderThread().Exists());
    playback.loading = true;
    w.Click(150, 30);  // refused while a start is loading
    EXPECT_FALSE(playback.playing.load());
    playback.loading = false;

    w.Click(150, 30);
    ASSERT_TRUE(test::Pump([&] { return w.Playing(); }));
    w.Click(50, 20, true);  // the logo: stop, the transition, the other module
    EXPECT_FALSE(w.Playing() || w.stack->player.renderThread().Exists());
    EXPECT_TRUE(w.view->Transition()->Running());
    EXPECT_EQ(w.view->Background().PixelColour(40, 20), w.skin.PixelColour(190, 550)) << "FM logo";
    w.Click(150, 30);
    ASSERT_TRUE(test::Pump([&] { return w.Playing(); }));
    EXPECT_EQ(w.stack->engine.sequencer.Module(), &w.stack->engine.opll);
}

TEST(WindowPlayer, AuthoringRefusesPlaysUntilItHasWrittenTheSongAndSaysSo) {
    Window w;
    const std::string song = w.dir.File("song.mid");
    std::filesystem::copy_file(kSong, song);
    w.stack->playback.currentPath = song;
    w.Click(300, 30);
    ASSERT_TRUE(w.stack->playback.authoring.load());
    for (int no = 0; no < 2; ++no) w.prompt.AnswerNext(PromptAnswer::Cancel);
    w.Click(300, 30);  // REC again, then Escape: "cancel?", answered no both times
    KeyboardControl(*w.player, *w.view).HandleKey(Qt::Key_Escape, {});
    QEvent playCurrent(static_cast<QEvent::Type>(kWmPlayCurrent));
    QCoreApplication::sendEvent(w.view, &playCurrent);  // refused by the player
    w.Click(150, 30);                                   // refused by the view
    ASSERT_TRUE(test::Pump([&] { return !w.stack->playback.authoring.load(); }, 60s));
    EXPECT_FALSE(w.Playing());
    EXPECT_EQ(w.prompt.prompts().back().text, kAuthoringNowMessage);
    const std::vector<std::string> texts = w.prompt.Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), kCancelAuthoringQuestion), 2);
    EXPECT_GT(w.view->MessageCountdown(), 500) << "Authoring Finished.: 600 paints";
    EXPECT_GT(std::filesystem::file_size(w.dir.File("song.WAV")), 22050u * 2);
}

}  // namespace
}  // namespace zeblo
