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

struct QtPlayerParts {
    EngineContext& engine;
    Settings& settings;
    PlaybackState& playback;
    OutputDevice& device;
    OutputSlots& outputSlots;
    SnapshotRing& snapshots;
    UserPrompt& prompt;
    PlayerRenderLoop& renderLoop;
    RcpConversion convertRcp;
    AuthoringRun author;
    const SharedPathSource* sharedPath = nullptr;  // none: 1801 finds no block
    StreamingTimings timings{};
};

class QtPlayer final : public QObject,
                       public PlayerFacade,
                       public PlayerControl,
                       private PlayerView {
    Q_OBJECT
public:
    explicit QtPlayer(QtPlayerParts parts);
    ~QtPlayer() override;

    // The view the player draws on and posts to; the player shuts down when it is destroyed.
    void AttachView(CPlayerView* view);
    // The Preferences button's command (connected by the application).
    std::function<void()> preferences;

    Player& core() { return *player_; }

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
    // PlayerView
    void DropMessage() override;
    void Invalidate(bool erase) override;
    void Update() override;
    void ShowMessage(std::string_view text, int32_t ms) override;
    void ResetDisplayRecords() override;
    void ProcessPendingEvent() override;
    void PostPlayCurrent() override;
    void PostAuthoringEnded() override;

    EngineContext& engine_;
    Settings& settings_;
    PlaybackState& playback_;
    OutputSlots& slots_;
    SnapshotRing& snapshots_;
    UserPrompt& prompt_;
    const SharedPathSource* sharedPath_;
    OutputDevice* device_ = nullptr;
    QPointer<CPlayerView> view_;
    std::unique_ptr<Player> player_;
};

}  // namespace zeblo
