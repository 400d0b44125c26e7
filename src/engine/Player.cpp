#include "engine/Player.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <utility>

#include "engine/Authoring.h"
#include "engine/StreamingMessages.h"

namespace zeblo {

namespace {

constexpr int32_t kSpeedStepBpm = 200;          // tempo added per fast-forward level
constexpr int32_t kSpeedLevels = 3;             // 0, +200, +400
constexpr int32_t kLateDisplayOffset = -11025;  // samples, for displayOffsetMode 1
constexpr int kPositionBarLeft = 62;            // pixel 0 of the bar
constexpr int kPositionBarPixels = 236;
// 1/236 as the single-precision constant the bar has always used; the product is taken in
// double, so x = 180 with 96000 ticks lands exactly on tick 48000.
constexpr float kPerBarPixel = 0.0042372881f;

}  // namespace

uint32_t DisplayFrameFor(uint64_t position, int32_t displayOffset, uint32_t silenceFrames,
                         uint32_t samplesPerDisplayFrame) {
    const int64_t v = std::max<int64_t>(
        static_cast<int64_t>(displayOffset) - silenceFrames + static_cast<int64_t>(position), 0);
    return static_cast<uint32_t>(v / std::max<uint32_t>(samplesPerDisplayFrame, 1) + 1);
}

SeekTarget ComputeSeek(int x, uint32_t samplesPerDisplayFrame, uint32_t displayFrame,
                       uint64_t totalSamples, uint64_t totalTicks, int32_t seekBarOffset) {
    const int p = x - kPositionBarLeft;
    const double shown = totalSamples == 0
                             ? 0.0
                             : static_cast<double>(samplesPerDisplayFrame) * displayFrame /
                                       static_cast<double>(totalSamples) * kPositionBarPixels +
                                   seekBarOffset;
    const int64_t a = static_cast<int64_t>(shown);
    SeekTarget target;
    target.seekBarOffset = seekBarOffset + p - static_cast<int32_t>(a % kPositionBarPixels);
    target.tick = static_cast<uint64_t>(static_cast<double>(p) * static_cast<double>(kPerBarPixel) *
                                        static_cast<double>(totalTicks));
    return target;
}

Player::Player(PlayerParts parts)
    : engine_(parts.engine),
      settings_(parts.settings),
      playback_(parts.playback),
      device_(parts.device),
      slots_(parts.outputSlots),
      renderLoop_(parts.renderLoop),
      prompt_(parts.prompt),
      view_(parts.view),
      convertRcp_(std::move(parts.convertRcp)),
      author_(std::move(parts.author)),
      streaming_(parts.device, parts.outputSlots, parts.settings, parts.playback, parts.prompt,
                 *this, parts.timings),
      renderThread_(streaming_, parts.playback) {}

Player::~Player() {
    ShutDown();
}

uint32_t Player::SamplesPerDisplayFrame() const {
    const int32_t rate = std::max(settings_.parameters.redrawRate, 1);
    return static_cast<uint32_t>(settings_.parameters.sampleRate / rate);
}

void Player::Repaint(bool erase) {
    view_.Invalidate(erase);
    view_.Update();
}

void Player::RepaintView() {
    Repaint(false);
}

void Player::InvalidateView() {
    view_.Invalidate(false);
}

void Player::ProcessPendingEvent() {
    view_.ProcessPendingEvent();
}

void Player::StopPlayback() {
    StopOutputAndRenderThread(device_, renderThread_, playback_);
    playback_.pauseState.store(0);
    Repaint(true);
}

void Player::PlayFile() {
    // A play message handled during a start's prebuffering: that start gives way (its device
    // closes, so its wait ends) and this one runs from the event loop once the first is done.
    if (playback_.loadingState.load() != 0) {
        StopPlayback();
        view_.PostPlayCurrent();
        return;
    }

    view_.DropMessage();
    view_.Invalidate(true);
    if (playback_.currentPath.empty()) {
        view_.ShowMessage(kNoFileToPlayMessage, kPlayerMessageMs);
        return;
    }
    view_.ResetDisplayRecords();
    device_.CloseDevice();

    const int32_t rate = settings_.parameters.sampleRate;
    playback_.displayOffset.store(settings_.record.displayOffsetMode == 0 ? rate / 10
                                                                          : kLateDisplayOffset);
    playback_.underrunShown.store(0);
    playback_.silenceFrames.store(0);
    playback_.seekBarOffset.store(0);
    playback_.playState.store(0);

    renderThread_.Stop();

    Sequencer& sequencer = engine_.sequencer;
    sequencer.Stop();
    playback_.loadingState.store(1);
    slots_.ResetCounters();
    Repaint(true);

    if (!renderThread_.Create(renderLoop_.Frames())) {
        prompt_.Ask(kCreateThreadFailedMessage, PromptButtons::Ok, PromptIcon::Error);
        playback_.loadingState.store(0);
        return;
    }

    std::string file = playback_.currentPath;
    if (IsRcpFamilyPath(file)) {
        if (!convertRcp_ || !convertRcp_(file, prompt_)) {
            renderThread_.Stop();
            playback_.loadingState.store(0);
            view_.Invalidate(true);
            return;
        }
        file = kConvertedRcpFile;
    }

    SoundModule& module = engine_.SelectedModule();
    module.Reset(0);
    sequencer.SetModule(&module);

    uint64_t samples = 0;
    uint64_t ticks = 0;
    playback_.totalSamples.store(0);
    if (sequencer.LoadFile(file.c_str())) sequencer.Measure(&samples, &ticks);
    playback_.totalSamples.store(samples);
    playback_.totalTicks.store(ticks);
    Repaint(true);

    if (samples == 0) {
        renderThread_.Stop();
        playback_.loadingState.store(0);
        Repaint(true);
        view_.ShowMessage(kUnknownFileMessage, kPlayerMessageMs);
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

    playback_.playState.store(1);
    playback_.pauseState.store(0);
    playback_.speedMode.store(0);
    playback_.loadingState.store(0);
    view_.Invalidate(true);
}

void Player::PressPlay() {
    if (playback_.pauseState.load() != 0) {
        playback_.pauseState.store(0);
        device_.Restart();
        return;
    }
    StopPlayback();
    PlayFile();
}

void Player::PressSpeed() {
    const int32_t mode = (playback_.speedMode.load() + 1) % kSpeedLevels;
    playback_.speedMode.store(mode);
    Sequencer& sequencer = engine_.sequencer;
    std::lock_guard guard(sequencer.Lock());
    sequencer.SetTempoOffset(kSpeedStepBpm * mode);
    if (sequencer.Playing()) sequencer.ComputeStep();
}

void Player::PressPause() {
    if (playback_.pauseState.load() == 0) {
        device_.Pause();
        playback_.pauseState.store(1);
    } else {
        playback_.pauseState.store(0);
        device_.Restart();
    }
}

void Player::Seek(int x) {
    if (playback_.playState.load() == 0) return;
    const SeekTarget target = ComputeSeek(
        x, SamplesPerDisplayFrame(), playback_.displayFrame.load(), playback_.totalSamples.load(),
        playback_.totalTicks.load(), playback_.seekBarOffset.load());
    playback_.seekBarOffset.store(target.seekBarOffset);
    Sequencer& sequencer = engine_.sequencer;
    std::lock_guard guard(sequencer.Lock());
    sequencer.Seek(target.tick);
}

void Player::ToggleMute(int channel) {
    if (channel < 0 || channel >= kChannelCount) return;
    std::atomic<int32_t>& mute = engine_.shared.channelMute[static_cast<std::size_t>(channel)];
    mute.store(mute.load() != 0 ? 0 : 1);
}

void Player::InvertEngine() {
    engine_.engineFlag.store(engine_.engineFlag.load() == kEngineWavetable ? kEngineOpll
                                                                           : kEngineWavetable);
}

bool Player::RefuseWhileAuthoring() {
    if (playback_.authoringState.load() == 0) return false;
    prompt_.Ask(kAuthoringNowMessage, PromptButtons::Ok, PromptIcon::Information);
    return true;
}

bool Player::DropFile(const std::string& path) {
    if (RefuseWhileAuthoring()) return false;
    playback_.currentPath = path;
    StopPlayback();
    view_.PostPlayCurrent();
    return true;
}

bool Player::PlayShared(const std::string& path) {
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
    if (playback_.playState.load() == 0 || playback_.pauseState.load() != 0 ||
        playback_.loadingState.load() != 0 || !device_.IsOpen()) {
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
}

bool Player::HandleNotification(std::chrono::milliseconds wait) {
    uint32_t index = 0;
    if (!device_.notifications().WaitTake(index, wait)) return false;
    streaming_.OnBufferDone(index);
    return true;
}

void Player::StartAuthoring() {
    if (playback_.currentPath.empty()) {
        view_.ShowMessage(kNoFileToAuthorMessage, kPlayerMessageMs);
        return;
    }
    if (!author_ || authoringThread_.joinable()) return;
    const std::string output = AuthoringOutputPath(playback_.currentPath);
    const int size = std::snprintf(nullptr, 0, kAuthoringConfirmFormat, output.c_str());
    std::string question(static_cast<std::size_t>(std::max(size, 0)) + 1, '\0');
    std::snprintf(question.data(), question.size(), kAuthoringConfirmFormat, output.c_str());
    question.pop_back();
    if (prompt_.Ask(question, PromptButtons::OkCancel, PromptIcon::Question) ==
        PromptAnswer::Cancel) {
        return;
    }
    outputPath_ = output;

    // Real-time output stops here, on the thread that owns the device and the view, before the
    // authoring thread exists; the thread itself only renders and writes.
    StopOutputAndRenderThread(device_, renderThread_, playback_);
    playback_.pauseState.store(0);
    Repaint(true);
    playback_.authoringState.store(1);
    bytesAuthored_.store(0);
    Repaint(true);

    try {
        authoringThread_ =
            std::thread(&Player::AuthoringThread, this, playback_.currentPath, output);
    } catch (const std::system_error&) {
        playback_.authoringState.store(0);
        prompt_.Ask(kCreateThreadFailedMessage, PromptButtons::Ok, PromptIcon::Error);
        Repaint(true);
    }
}

void Player::AuthoringThread(std::string songPath, std::string outputPath) {
    author_(songPath, outputPath, playback_.threadStop, bytesAuthored_, authoringPrompt_);
    view_.PostAuthoringEnded();
}

void Player::FinishAuthoring() {
    if (!authoringThread_.joinable()) return;
    authoringThread_.join();
    for (const std::string& text : authoringPrompt_.Take()) {
        prompt_.Ask(text, PromptButtons::Ok, PromptIcon::Information);
    }
    playback_.authoringState.store(0);
    Repaint(true);
    view_.ShowMessage(kAuthoringFinishedMessage, kPlayerMessageMs);
}

void Player::ShutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    StopOutputAndRenderThread(device_, renderThread_, playback_);
    playback_.pauseState.store(0);
    // Left set: nothing may start rendering once the view is gone.
    playback_.threadStop.store(1);
    if (authoringThread_.joinable()) authoringThread_.join();
    authoringPrompt_.Take();
    playback_.authoringState.store(0);
}

PromptAnswer Player::DeferredPrompt::Ask(std::string_view text, PromptButtons, PromptIcon) {
    std::lock_guard guard(lock_);
    texts_.emplace_back(text);
    return PromptAnswer::Ok;
}

std::vector<std::string> Player::DeferredPrompt::Take() {
    std::lock_guard guard(lock_);
    return std::exchange(texts_, {});
}

}  // namespace zeblo
