#include "ui/ScreenShots.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <memory>

#include "engine/EngineContext.h"
#include "engine/Renderer.h"
#include "settings/RecordingPrompt.h"
#include "settings/Settings.h"
#include "ui/CMainFrame.h"
#include "ui/CPlayerView.h"
#include "ui/PlayerStateRecord.h"
#include "ui/QtPlayer.h"
#include "ui/TransitionWindow.h"

namespace zeblo {

namespace {

constexpr std::size_t kRingSize = 1200;

// The demo song as a play start renders it: real snapshots of the render loop, frame by frame.
class DemoRender {
public:
    DemoRender(const QByteArray& song, int32_t engineFlag) {
        engine.engineFlag.store(engineFlag);
        SoundModule& module = engine.SelectedModule();
        module.Reset(0);
        engine.sequencer.SetModule(&module);
        const auto* bytes = reinterpret_cast<const uint8_t*>(song.constData());
        if (engine.sequencer.LoadImage({bytes, static_cast<std::size_t>(song.size())}))
            engine.sequencer.Measure(&length, nullptr);
        engine.sequencer.SetLoop(true);
        engine.sequencer.Start();
        renderer.StartSnapshotClock();
        renderer.ClearFilterHistory();
    }

    // The record of display frame f, rendering on until it has been written.
    const DisplaySnapshot& Frame(int32_t f) {
        // Record f is filled after the frame with index (f - 1) * interval + 1.
        const uint64_t due = static_cast<uint64_t>(f - 1) * renderer.SnapshotInterval() + 2;
        while (rendered < due && length > 0) {
            const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(due - rendered, 4096));
            rendered += renderer.Render(scratch.data(), n, true);
        }
        return renderer.Snapshots()[static_cast<std::size_t>(f) % renderer.Snapshots().Size()];
    }
    // The song clock written with display frame f's record (after Frame(f)).
    SongClock Clock(int32_t f) const {
        return renderer.Snapshots().Clock(static_cast<std::size_t>(f) %
                                          renderer.Snapshots().Size());
    }

    RecordingPrompt prompt;
    Settings settings{prompt};
    EngineContext engine{settings.parameters};
    Renderer renderer{engine};
    uint64_t length = 0;
    uint64_t rendered = 0;
    std::vector<uint32_t> scratch = std::vector<uint32_t>(4096);
};

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
void Play(PlayerStateRecord& player, DemoRender& demo, CPlayerView& view, int32_t first,
          int32_t last) {
    for (int32_t f = first; f <= last; ++f) {
        player.ring[f % player.ring.Size()] = demo.Frame(f);
        player.ring.SetClock(f % player.ring.Size(), demo.Clock(f));
        for (int c = 0; c < kChannelCount; ++c)
            player.drumChannel[c] = demo.engine.wavetable.IsDrumChannel(c) ? 1 : 0;
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
    QFile songFile(QStringLiteral(":/zeblo/demo.mid"));
    const QByteArray song = songFile.open(QIODevice::ReadOnly) ? songFile.readAll() : QByteArray();
    auto demo = std::make_unique<DemoRender>(song, 0);
    EngineWaveforms waves(demo->engine.wavetable);
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
    player.totalSamples = demo->length;
    player.songTitleSet = demo->engine.sequencer.SongTitleSet() ? 1 : 0;
    player.songTitle = demo->engine.sequencer.SongTitle();
    player.shared.gsResetSeen = demo->engine.shared.gsResetSeen.load();
    player.shared.gmSystemOnSeen = demo->engine.shared.gmSystemOnSeen.load();
    player.shared.channelMute[7] = 1;
    view.ResetDisplayRecords();
    view.InvalidateAll(true);
    Play(player, *demo, view, 1, 97);
    shot.Save("playing-1");
    Play(player, *demo, view, 98, 263);
    player.speedMode = 1;
    Play(player, *demo, view, 264, 266);
    shot.Save("playing-2");
    player.speedMode = 2;
    player.pauseState = 1;
    player.songTitle = "\x83\x5E\x83\x43\x83\x67\x83\x8B\x81\x45\x83\x65\x83\x58\x83\x67";
    view.InvalidateAll(true);  // a new title comes with a new play, which erases
    Play(player, *demo, view, 267, 431);
    shot.Save("playing-3");
    player.speedMode = 0;
    player.pauseState = 0;

    view.ShowMessage(QString::fromUtf8("\r\nUnknown files. can't playing."), 3000);
    Play(player, *demo, view, 432, 433);
    shot.Save("message");
    view.ShowMessage(
        QString::fromUtf8("設定を変更しました。新しい設定はプログラムの再起動後に有効になります。"
                          " A long message wraps at word boundaries and ends with an ellipsis "
                          "when it does not fit into the panel at all, like this one here."),
        3000);
    Play(player, *demo, view, 434, 435);
    shot.Save("message-long");
    view.DropMessage();

    player.underrunShown = 1;
    view.InvalidateAll(true);
    shot.Save("underrun");
    player.underrunShown = 0;

    player.engineFlag = 1;
    auto fmDemo = std::make_unique<DemoRender>(song, 1);
    view.ComposeBackground();
    view.ResetDisplayRecords();
    view.InvalidateAll(true);
    player.shared.userWaveformMode = 1;
    Play(player, *fmDemo, view, 1, 57);
    shot.Save("fm-playing");

    player.playState = 0;
    player.authoringState = 1;
    player.bytesAuthored = static_cast<uint32_t>(demo->length * 42 / 100 * 4 + 4 * 44100);
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
