// The player as the window sees it: the display's facade, the view's actions and the view's side
// of the player core, on top of Qt's event loop. Buffer-done notifications from the audio thread
// and the end of an authoring run come back to the user-interface thread as queued calls; the
// private messages 1801-1803 are events of those types posted to the view.
//
// Threads: user-interface thread, except the two wake-ups (the device's notification queue and
// the authoring thread's end), which only post.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "audio/PlayerStack.h"
#include "engine/EngineContext.h"
#include "engine/Player.h"
#include "ui/PlayerFacade.h"

namespace zeblo {

class CPlayerView;
class SharedPathSource;

// The waveform bytes a wavetable snapshot names: a built-in record, or an uploaded row.
class EngineWaveforms final : public WaveformResolver {
public:
    explicit EngineWaveforms(const WavetableModule& module) : module_(module) {}
    const int8_t* Samples(uint32_t wave) const override;

private:
    const WavetableModule& module_;
};

// The seek of a click at x on the position bar: the new seekBarOffset and the target tick.
struct SeekTarget {
    int32_t seekBarOffset = 0;
    uint64_t tick = 0;
};
SeekTarget ComputeSeek(int x, uint32_t samplesPerDisplayFrame, uint32_t displayFrame,
                       uint64_t totalSamples, uint64_t totalTicks, int32_t seekBarOffset);

class QtPlayer final : public QObject,
                       public PlayerFacade,
                       public PlayerControl,
                       private PlayerListener {
    Q_OBJECT
public:
    // `sharedPath` may be null: then message 1801 finds no block.
    QtPlayer(PlayerStack& stack, UserPrompt& prompt, const SharedPathSource* sharedPath);
    ~QtPlayer() override;

    // The view the player draws on and posts to; the player shuts down when it is destroyed.
    void AttachView(CPlayerView* view);
    // The Preferences button's command (connected by the application).
    std::function<void()> preferences;

    Player& core() { return player_; }
    // Where the position bar stands, as a sample of the song; and a seek to a sample of the
    // song that moves the bar with it (only while playing).
    uint64_t SongPosition() const;
    void SeekToSample(uint64_t sample);
    // Told of every change of what the window shows of the state or the song.
    std::function<void()> changed;

    // PlayerFacade
    int32_t PlayState() const override;
    int32_t PauseState() const override;
    int32_t LoadingState() const override;
    int32_t AuthoringState() const override;
    int32_t SpeedMode() const override;
    uint64_t TotalSamples() const override;
    uint64_t TotalTicks() const override;
    int32_t DisplayFrame() const override;
    uint32_t BytesAuthored() const override;
    uint32_t WriteCount() const override;
    uint32_t ReadCount() const override;
    int32_t UnderrunShown() const override;
    void ClearUnderrunShown() override;
    int32_t TakeUnderrunDisplayFrame() override;
    int32_t SeekBarOffset() const override;
    std::string SongTitle() const override;
    int32_t SongTitleSet() const override;
    std::string CurrentPath() const override;
    int32_t EngineFlag() const override;
    int32_t KeepRunningOnUnderrun() const override;
    int32_t IsDrumChannel(int c) const override;
    int32_t ActiveDrumSet() const override;
    const ModuleSharedState& SharedState() const override;
    int32_t SampleRate() const override;
    int32_t RedrawRate() const override;
    int32_t BlockCount() const override;
    SnapshotRing& Snapshots() override;

    // PlayerControl
    void Play() override;
    void Speed() override;
    void Stop() override;
    void Pause() override;
    void Author() override;
    void Preferences() override;
    void Seek(int x) override;
    void ToggleMute(int channel) override;
    void StopPlayback() override;
    void InvertEngine() override;
    void DropFile(const std::string& path) override;
    void PlayShared() override;
    void PlayCurrent() override;
    void DisplayTick() override;

private:
    // PlayerListener
    void StateChanged() override;
    void FullRedrawNeeded() override;
    void PlayStarting() override;
    void SongLoading() override;
    void SongLoaded() override { StateChanged(); }
    void BufferingProgress() override { Repaint(false); }
    void UnderrunNoticed() override;
    void ShowMessage(std::string_view text, int32_t ms) override;
    bool AbandonWait() override;
    void PlayRequested() override;
    void AuthoringEnded() override;
    void Repaint(bool erase);

    PlayerStack& stack_;
    Player& player_;
    PlaybackState& playback_;
    UserPrompt& prompt_;
    const SharedPathSource* sharedPath_;
    int32_t seekBarOffset_ = 0;  // pixel correction of the position bar after seeks
    QPointer<CPlayerView> view_;
};

}  // namespace zeblo
