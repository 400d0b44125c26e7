#include "engine/StreamingSession.h"

#include "engine/StreamingMessages.h"

namespace zeblo {

StreamingSession::StreamingSession(OutputDevice& device, OutputSlots& slots, Settings& settings,
                                   PlaybackState& playback, UserPrompt& prompt,
                                   StreamingTimings timings)
    : device_(device),
      settings_(settings),
      playback_(playback),
      prompt_(prompt),
      streaming_(device, slots, settings, playback, prompt, *this, timings),
      thread_(streaming_, playback) {}

StreamingSession::~StreamingSession() {
    Stop();
}

bool StreamingSession::Start(FrameSource& source) {
    if (!thread_.Create(source)) {
        prompt_.Ask(kCreateThreadFailedMessage, PromptButtons::Ok, PromptIcon::Error);
        return false;
    }
    if (!streaming_.PrepareSlots(settings_.parameters.blockBytes)) {
        prompt_.Ask(kOutOfMemoryMessage, PromptButtons::Ok, PromptIcon::Error);
    }
    if (!thread_.Resume()) {
        prompt_.Ask(kResumeThreadFailedMessage, PromptButtons::Ok, PromptIcon::Error);
    }
    const bool started = streaming_.StartStreaming();
    playback_.playState.store(1);
    playback_.pauseState.store(0);
    playback_.speedMode.store(0);
    playback_.loadingState.store(0);
    return started;
}

void StreamingSession::Stop() {
    StopOutputAndRenderThread(device_, thread_, playback_);
    playback_.pauseState.store(0);
}

bool StreamingSession::HandleNotification(std::chrono::milliseconds wait) {
    uint32_t index = 0;
    if (!device_.notifications().WaitTake(index, wait)) return false;
    streaming_.OnBufferDone(index);
    return true;
}

void StreamingSession::RepaintView() {
    if (hooks.repaint) hooks.repaint();
}

void StreamingSession::InvalidateView() {
    if (hooks.invalidate) hooks.invalidate();
}

void StreamingSession::ProcessPendingEvent() {
    if (hooks.processEvent) hooks.processEvent();
}

}  // namespace zeblo
