// The player: real-time playback control shared by the window and the terminal player. It takes
// commands (play, stop, pause, speed, seek to a tick, mute, switch the sound module, author),
// turns the device position into the display frame, and reports what happened to its listener.
//
// Threads: every public operation runs on the owning thread (the window's user-interface thread,
// or the terminal player's loop), except where noted. The render thread runs the streaming's
// producer; the authoring thread runs the authoring run. The two never run at once: authoring
// stops the render thread first, and nothing starts playback while `authoring` is set.
// Stopping is cooperative everywhere: every stop returns with no render thread left.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/AuthoringThread.h"
#include "engine/EngineContext.h"
#include "engine/FrameSource.h"
#include "engine/OutputDevice.h"
#include "engine/OutputSlots.h"
#include "engine/PlaybackState.h"
#include "engine/PlayerListener.h"
#include "engine/PlayerMessages.h"
#include "engine/RenderThread.h"
#include "engine/Streaming.h"
#include "midi/RcpConverter.h"
#include "settings/Settings.h"
#include "settings/UserPrompt.h"

namespace zeblo {

// What the player needs of the render loop beside its frames.
class PlayerRenderLoop {
public:
    virtual FrameSource& Frames() = 0;
    // The snapshot clock of a play start: interval and next at sampleRate / redrawRate, the
    // counter at 0.
    virtual void StartSnapshotClock() = 0;

protected:
    ~PlayerRenderLoop() = default;
};

// Converts an RCP, R36 or G36 file into kConvertedRcpFile; false when it failed (the converter
// has told the user). Owning thread.
using RcpConversion = std::function<bool(const std::string& path)>;

// displayOffset - silenceFrames + position, 0 if negative, then / samplesPerDisplayFrame + 1.
uint32_t DisplayFrameFor(uint64_t position, int32_t displayOffset, uint32_t silenceFrames,
                         uint32_t samplesPerDisplayFrame);

struct PlayerParts {
    EngineContext& engine;
    Settings& settings;
    PlaybackState& playback;
    OutputDevice& device;
    OutputSlots& outputSlots;
    UserPrompt& prompt;
    PlayerRenderLoop& renderLoop;
    RcpConversion convertRcp;  // may be empty: no converter
    AuthoringRun author;       // may be empty: no authoring
    StreamingTimings timings{};
};

class Player final : private StreamingHost {
public:
    explicit Player(PlayerParts parts);
    ~Player();  // ShutDown
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Before any command; the listener must outlive the player (or the next SetListener).
    void SetListener(PlayerListener& listener) { listener_ = &listener; }

    // A play start of `currentPath`. The window's songs loop; the terminal player's --once
    // clears `loopSongs` so the song ends.
    void PlayFile();
    void Stop() { StopPlayback(); }
    void StopPlayback() override;

    // Play resumes a paused output, else starts `currentPath` afresh.
    void Play();
    void Pause();  // pauses, or resumes a paused output
    void Speed();  // the next fast-forward level: +0, +200, +400 beats per minute
    // Only while playing.
    void SeekToTick(uint64_t tick);
    void ToggleMute(int channel);
    // The other sound module, from the next play start on.
    void SwitchEngine();

    // Refused with a box during authoring; otherwise `path` becomes `currentPath`, playback stops
    // and a play is requested from the listener. False when refused.
    bool Open(const std::string& path);
    // Both are refused with a box during authoring, so that no play start runs into the
    // authoring thread. PlayPath takes a handed-over path.
    bool PlayPath(const std::string& path);
    bool PlayCurrent();

    // The display timer: the device position into `displayFrame`.
    void DisplayTick();

    // Buffer-done notifications: every one waiting (the window's queued call), or one waited for
    // up to `wait` (the terminal player's loop); false when none came. A device that went away
    // stops playback here.
    void DrainNotifications();
    bool HandleNotification(std::chrono::milliseconds wait);

    // The Author button: confirmation, then the authoring thread; pressed again during the run,
    // the question whether to cancel it. FinishAuthoring ends it once the listener was told the
    // run ended.
    void Author();
    void CancelAuthoring() { authoring_.AskCancel(); }
    void FinishAuthoring() { authoring_.Finish(*listener_); }

    // The owner is going: playback stops, `threadStop` stays set, the authoring thread is waited
    // for. Runs once.
    void ShutDown();

    bool loopSongs = true;

    // Any thread.
    uint32_t BytesAuthored() const { return authoring_.BytesAuthored(); }
    bool Finished() const { return streaming_.Finished(); }
    const Streaming& streaming() const { return streaming_; }
    const RenderThread& renderThread() const { return renderThread_; }
    const AuthoringThread& authoring() const { return authoring_; }
    uint32_t SamplesPerDisplayFrame() const;

private:
    void BufferingProgress() override { listener_->BufferingProgress(); }
    void UnderrunNoticed() override { listener_->UnderrunNoticed(); }
    bool AbandonWait() override;
    void SetRenderPriority(bool raised) override { renderThread_.SetRaised(raised); }
    bool RefuseWhileAuthoring();
    // The device went away under playback: stop as the STOP button does, and say so.
    void StopIfDeviceLost();
    bool LoadCurrent(std::string& file);

    EngineContext& engine_;
    Settings& settings_;
    PlaybackState& playback_;
    OutputDevice& device_;
    OutputSlots& slots_;
    PlayerRenderLoop& renderLoop_;
    UserPrompt& prompt_;
    RcpConversion convertRcp_;
    PlayerListener silent_;
    PlayerListener* listener_ = &silent_;
    Streaming streaming_;
    RenderThread renderThread_;
    AuthoringThread authoring_;
    bool shutDown_ = false;
};

}  // namespace zeblo
