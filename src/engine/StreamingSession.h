// Real-time playback for an owner that runs its own loop (the terminal player, benchmarks,
// tests): the streaming, the render thread and the stop sequence tied together, with the
// buffer-done notifications taken from the device's queue by the owner.
//
// Threads: every operation runs on the owning thread. The hooks are called on it too.
#pragma once

#include <chrono>
#include <functional>

#include "engine/FrameSource.h"
#include "engine/OutputDevice.h"
#include "engine/OutputSlots.h"
#include "engine/PlaybackState.h"
#include "engine/RenderThread.h"
#include "engine/Streaming.h"
#include "settings/Settings.h"
#include "settings/UserPrompt.h"

namespace zeblo {

class StreamingSession final : private StreamingHost {
public:
    struct Hooks {
        std::function<void()> repaint;       // a prebuffering poll
        std::function<void()> invalidate;    // an underrun was noticed
        std::function<void()> processEvent;  // a prebuffering poll may handle one event
    };

    StreamingSession(OutputDevice& device, OutputSlots& slots, Settings& settings,
                     PlaybackState& playback, UserPrompt& prompt, StreamingTimings timings = {});
    ~StreamingSession();

    // The end of a play start, once the song is loaded and the sequencer started: creates the
    // render thread, readies the slots, resumes the thread and streams. Failures are told through
    // the prompt; the result is true when the device was started. `source` must outlive the play.
    bool Start(FrameSource& source);

    // Stops as the stop button does: device reset and closed, `playState` clear, render thread
    // ended, `pauseState` clear.
    void Stop();

    // Waits up to `wait` for one buffer-done notification and handles it; false if none came.
    bool HandleNotification(std::chrono::milliseconds wait);

    // The song ended and everything rendered has been played.
    bool Finished() const { return streaming_.Finished(); }

    Streaming& streaming() { return streaming_; }
    RenderThread& renderThread() { return thread_; }
    Hooks hooks;

private:
    void RepaintView() override;
    void InvalidateView() override;
    void ProcessPendingEvent() override;
    void StopPlayback() override { Stop(); }
    void SetRenderPriority(bool raised) override { thread_.SetRaised(raised); }

    OutputDevice& device_;
    Settings& settings_;
    PlaybackState& playback_;
    UserPrompt& prompt_;
    Streaming streaming_;
    RenderThread thread_;
};

}  // namespace zeblo
