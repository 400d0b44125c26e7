#include "ui/ScreenShots.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "settings/SettingsRecord.h"
#include "ui/CMainFrame.h"
#include "ui/CPlayerView.h"
#include "ui/DemoScene.h"
#include "ui/PlayerStateRecord.h"
#include "ui/TransitionWindow.h"

namespace zeblo {

namespace {

constexpr std::size_t kRingSize = 1200;
constexpr uint64_t kDemoLength = 44100ull * 95;  // a song of 1:35

struct Shooter {
    const QString dir;
    CMainFrame& frame;
    bool ok = true;

    void Save(const QString& name) {
        CPlayerView& view = *frame.View();
        view.PaintPending();
        // The window's outline keys the view's lower corners out; show them as the window does.
        QImage viewPicture(view.width(), view.height(), QImage::Format_ARGB32);
        viewPicture.fill(Qt::transparent);
        {
            QPainter p(&viewPicture);
            p.setClipRegion(frame.WindowRegion().translated(0, -frame.View()->y()));
            p.drawImage(0, 0, view.Screen().Picture());
        }
        ok = viewPicture.save(dir + "/view-" + name + ".png") && ok;
        ok = frame.Snapshot().save(dir + "/window-" + name + ".png") && ok;
    }
};

// Paints frames first ... last the way the display timer does (no erase in between).
void Play(PlayerStateRecord& player, CPlayerView& view, int32_t first, int32_t last) {
    for (int32_t f = first; f <= last; ++f) {
        FillDemoSnapshot(player.ring[f % player.ring.Size()], f, player.engineFlag);
        player.displayFrame = f;
        player.writeCount = 6 + (f / 4) % 3;
        player.readCount = 2;
        view.InvalidateAll(false);
        view.PaintPending();
    }
}

}  // namespace

int WriteScreens(const QString& dir, const ZBDIBSection& skin) {
    QDir().mkpath(dir);
    SettingsRecord settings = DefaultSettings();
    PlayerStateRecord player(kRingSize);
    DemoWaveforms waves;
    for (int c : kDemoDrumChannels) player.drumChannel[c] = 1;
    CMainFrame frame(skin, settings, player, waves, nullptr, FrameHooks{});
    frame.SetActiveLook(true);
    CPlayerView& view = *frame.View();
    Shooter shot{dir, frame};

    player.currentPath = "/home/user/music/midi collection/demo.mid";
    shot.Save("idle");

    player.loadingState = 1;
    player.writeCount = 3;
    view.InvalidateAll(true);
    shot.Save("loading");
    player.loadingState = 0;

    player.playState = 1;
    player.totalSamples = kDemoLength;
    player.songTitleSet = 1;
    player.songTitle = "ZEBLO Demo \xE2\x80\x94 Four Chords for Thirty-Two Channels";
    player.shared.gsResetSeen = 1;
    player.shared.gmSystemOnSeen = 1;
    player.shared.channelMute[7] = 1;
    view.ResetDisplayRecords();
    view.InvalidateAll(true);
    Play(player, view, 1, 97);
    shot.Save("playing-1");
    Play(player, view, 98, 263);
    player.speedMode = 1;
    Play(player, view, 264, 266);
    shot.Save("playing-2");
    player.speedMode = 2;
    player.pauseState = 1;
    player.songTitle = "\x83\x5E\x83\x43\x83\x67\x83\x8B\x81\x45\x83\x65\x83\x58\x83\x67";
    view.InvalidateAll(true);  // a new title comes with a new play, which erases
    Play(player, view, 267, 431);
    shot.Save("playing-3");
    player.speedMode = 0;
    player.pauseState = 0;

    view.ShowMessage(QString::fromUtf8("\r\nUnknown files. can't playing."), 3000);
    Play(player, view, 432, 433);
    shot.Save("message");
    view.ShowMessage(
        QString::fromUtf8("設定を変更しました。新しい設定はプログラムの再起動後に有効になります。"
                          " A long message wraps at word boundaries and ends with an ellipsis "
                          "when it does not fit into the panel at all, like this one here."),
        3000);
    Play(player, view, 434, 435);
    shot.Save("message-long");
    view.DropMessage();

    player.underrunShown = 1;
    view.InvalidateAll(true);
    shot.Save("underrun");
    player.underrunShown = 0;

    player.engineFlag = 1;
    view.ComposeBackground();
    view.ResetDisplayRecords();
    view.InvalidateAll(true);
    player.shared.userWaveformMode = 1;
    Play(player, view, 1, 57);
    shot.Save("fm-playing");

    player.playState = 0;
    player.authoringState = 1;
    player.bytesAuthored = static_cast<uint32_t>(kDemoLength * 42 / 100 * 4 + 4 * 44100);
    view.InvalidateAll(true);
    shot.Save("authoring");
    player.authoringState = 0;

    // The switch back to the wavetable module, three moments of it.
    TransitionWindow& t = *view.Transition();
    t.StartTransition();
    const struct {
        int paints;
        const char* name;
    } moments[3] = {{4, "transition-1"}, {14, "transition-2"}, {38, "transition-3"}};
    int done = 0;
    for (const auto& m : moments) {
        for (; done < m.paints; ++done) t.Advance();
        shot.ok = t.Surface().Picture().save(dir + "/" + m.name + ".png") && shot.ok;
    }
    if (!shot.ok)
        std::fprintf(stderr, "zeblo: cannot write the pictures into %s\n", qPrintable(dir));
    return shot.ok ? 0 : 1;
}

}  // namespace zeblo
