#include "engine/Player.h"

#include <algorithm>
#include <utility>

#include "engine/StreamingMessages.h"
#include "midi/RmidFile.h"

namespace zeblo {

namespace {

constexpr int32_t kSpeedStepBpm = 200;          // tempo added per fast-forward level
constexpr int32_t kSpeedLevels = 3;             // 0, +200, +400
constexpr int32_t kLateDisplayOffset = -11025;  // samples, for displayOffsetMode 1

}  // namespace

uint32_t DisplayFrameFor(uint64_t position, int32_t displayOffset, uint32_t silenceFrames,
                         uint32_t samplesPerDisplayFrame) {
    const int64_t v = std::max<int64_t>(
        static_cast<int64_t>(displayOffset) - silenceFrames + static_cast<int64_t>(position), 0);
    return static_cast<uint32_t>(v / std::max<uint32_t>(samplesPerDisplayFrame, 1) + 1);
}

Player::Player(PlayerParts parts)
    : engine_(parts.engine),
      settings_(parts.settings),
      playback_(parts.playback),
      device_(parts.device),
      slots_(parts.outputSlots),
      renderLoop_(parts.renderLoop),
      prompt_(parts.prompt),
      convertRcp_(std::move(parts.convertRcp)),
      streaming_(parts.device, parts.outputSlots, parts.settings, parts.playback, parts.prompt,
                 *this, parts.timings),
      renderThread_(streaming_, parts.playback),
      authoring_(parts.playback, parts.prompt, std::move(parts.author)) {}

Player::~Player() {
    ShutDown();
}

uint32_t Player::SamplesPerDisplayFrame() const {
    const int32_t rate = std::max(settings_.parameters.redrawRate, 1);
    return static_cast<uint32_t>(settings_.parameters.sampleRate / rate);
}

bool Player::AbandonWait() {
    if (!listener_->AbandonWait()) return false;
    StopPlayback();
    return true;
}

void Player::StopPlayback() {
    StopOutputAndRenderThread(device_, renderThread_, playback_);
    playback_.paused.store(false);
    listener_->StateChanged();
}

// The song of a play start into the sequencer (an RCP-family file through the converter first,
// an RMID file unwrapped), measured. False when the converter failed.
bool Player::LoadCurrent(std::string& file) {
    file = playback_.currentPath;
    if (IsRcpFamilyPath(file)) {
        if (!convertRcp_ || !convertRcp_(file)) return false;
        file = kConvertedRcpFile;
    }
    Sequencer& sequencer = engine_.sequencer;
    SoundModule& module = engine_.SelectedModule();
    module.Reset(0);
    sequencer.SetModule(&module);

    uint64_t samples = 0;
    uint64_t ticks = 0;
    playback_.totalSamples.store(0);
    if (LoadSongFile(sequencer, file)) sequencer.Measure(&samples, &ticks);
    playback_.totalSamples.store(samples);
    playback_.totalTicks.store(ticks);
    return true;
}

void Player::PlayFile() {
    // A play command handled during a start's prebuffering: that start gives way (its device
    // closes, so its wait ends) and this one runs once the first is done.
    if (playback_.loading.load()) {
        StopPlayback();
        listener_->PlayRequested();
        return;
    }

    listener_->PlayStarting();
    if (playback_.currentPath.empty()) {
        listener_->ShowMessage(kNoFileToPlayMessage, kPlayerMessageMs);
        return;
    }
    listener_->SongLoading();
    device_.CloseDevice();

    const int32_t rate = settings_.parameters.sampleRate;
    playback_.displayOffset.store(settings_.record.displayOffsetMode == 0 ? rate / 10
                                                                          : kLateDisplayOffset);
    playback_.underrunShown.store(false);
    playback_.silenceFrames.store(0);
    playback_.playing.store(false);

    renderThread_.Stop();
    Sequencer& sequencer = engine_.sequencer;
    sequencer.Stop();
    playback_.loading.store(true);
    slots_.ResetCounters();
    listener_->StateChanged();

    if (!renderThread_.Create(renderLoop_.Frames())) {
        prompt_.Ask(kCreateThreadFailedMessage, PromptButtons::Ok, PromptIcon::Error);
        playback_.loading.store(false);
        return;
    }
    std::string file;
    if (!LoadCurrent(file)) {
        renderThread_.Stop();
        playback_.loading.store(false);
        listener_->FullRedrawNeeded();
        return;
    }
    listener_->SongLoaded();
    if (playback_.totalSamples.load() == 0) {
        renderThread_.Stop();
        playback_.loading.store(false);
        listener_->StateChanged();
        listener_->ShowMessage(kUnknownFileMessage, kPlayerMessageMs);
        return;
    }

    sequencer.SetLoop(loopSongs);
    sequencer.SetTempoOffset(0);
    sequencer.Start();
    if (!streaming_.PrepareSlots(settings_.parameters.blockBytes)) {
        prompt_.Ask(kOutOfMemoryMessage, PromptButtons::Ok, PromptIcon::Error);
    }
    renderLoop_.StartSnapshotClock();
    playback_.displayFrame.store(0);
    if (!renderThread_.Resume()) {
        prompt_.Ask(kResumeThreadFailedMessage, PromptButtons::Ok, PromptIcon::Error);
    }
    streaming_.StartStreaming();

    playback_.playing.store(true);
    playback_.paused.store(false);
    playback_.speedMode.store(0);
    playback_.loading.store(false);
    listener_->FullRedrawNeeded();
    StopIfDeviceLost();
}

void Player::Play() {
    if (playback_.paused.load()) {
        playback_.paused.store(false);
        device_.Restart();
        return;
    }
    StopPlayback();
    PlayFile();
}

void Player::Speed() {
    const int32_t mode = (playback_.speedMode.load() + 1) % kSpeedLevels;
    playback_.speedMode.store(mode);
    Sequencer& sequencer = engine_.sequencer;
    std::lock_guard guard(sequencer.Lock());
    sequencer.SetTempoOffset(kSpeedStepBpm * mode);
    if (sequencer.Playing()) sequencer.ComputeStep();
}

void Player::Pause() {
    if (!playback_.paused.load()) {
        device_.Pause();
        playback_.paused.store(true);
    } else {
        playback_.paused.store(false);
        device_.Restart();
    }
}

void Player::SeekToTick(uint64_t tick) {
    if (!playback_.playing.load()) return;
    Sequencer& sequencer = engine_.sequencer;
    std::lock_guard guard(sequencer.Lock());
    sequencer.Seek(tick);
}

void Player::ToggleMute(int channel) {
    if (channel < 0 || channel >= kChannelCount) return;
    std::atomic<int32_t>& mute = engine_.shared.channelMute[static_cast<std::size_t>(channel)];
    mute.store(mute.load() != 0 ? 0 : 1);
}

void Player::SwitchEngine() {
    engine_.engineFlag.store(engine_.engineFlag.load() == kEngineWavetable ? kEngineOpll
                                                                           : kEngineWavetable);
}

bool Player::RefuseWhileAuthoring() {
    if (!playback_.authoring.load()) return false;
    prompt_.Ask(kAuthoringNowMessage, PromptButtons::Ok, PromptIcon::Information);
    return true;
}

bool Player::Open(const std::string& path) {
    if (RefuseWhileAuthoring()) return false;
    playback_.currentPath = path;
    StopPlayback();
    listener_->PlayRequested();
    return true;
}

bool Player::PlayPath(const std::string& path) {
    if (RefuseWhileAuthoring()) return false;
    playback_.currentPath = path;
    PlayFile();
    return true;
}

bool Player::PlayCurrent() {
    if (RefuseWhileAuthoring()) return false;
    PlayFile();
    return true;
}

void Player::DisplayTick() {
    if (!playback_.playing.load() || playback_.paused.load() || playback_.loading.load() ||
        !device_.IsOpen()) {
        return;
    }
    uint64_t position = 0;
    if (!device_.GetPosition(position)) {
        playback_.displayFrame.store(0);
        return;
    }
    playback_.displayFrame.store(DisplayFrameFor(position, playback_.displayOffset.load(),
                                                 playback_.silenceFrames.load(),
                                                 SamplesPerDisplayFrame()));
}

void Player::DrainNotifications() {
    uint32_t index = 0;
    while (device_.notifications().Take(index)) streaming_.OnBufferDone(index);
    StopIfDeviceLost();
}

bool Player::HandleNotification(std::chrono::milliseconds wait) {
    uint32_t index = 0;
    if (!device_.notifications().WaitTake(index, wait)) return false;
    streaming_.OnBufferDone(index);
    StopIfDeviceLost();
    return true;
}

void Player::StopIfDeviceLost() {
    // A start that is prebuffering notices the loss itself and comes here once it has ended.
    if (playback_.loading.load() || !device_.IsOpen() || !device_.Lost()) return;
    StopPlayback();
    prompt_.Ask(kWaveDeviceOpenFailedMessage, PromptButtons::Ok, PromptIcon::Warning);
}

void Player::Author() {
    if (authoring_.Running()) return CancelAuthoring();
    authoring_.Start(*listener_, [this] { StopPlayback(); });
}

void Player::ShutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    StopOutputAndRenderThread(device_, renderThread_, playback_);
    playback_.paused.store(false);
    authoring_.ShutDown();
}

}  // namespace zeblo
