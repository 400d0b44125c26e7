// The player: real-time playback control shared by the window and the terminal player. It starts a
// song (PlayFile), stops, pauses, speeds up, seeks, mutes channels, switches the sound module,
// turns the device position into the display frame, and runs WAV authoring on a thread of its own.
//
// Threads: every public operation runs on the owning thread (the window's user-interface thread,
// or the terminal player's loop), except where noted. The render thread runs the streaming's
// producer; the authoring thread runs the authoring run. The two never run at once: authoring
// stops the render thread first, and nothing starts playback while `authoringState` is set.
// Stopping is cooperative everywhere: every stop returns with no render thread left.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/EngineContext.h"
#include "engine/FrameSource.h"
#include "engine/OutputDevice.h"
#include "engine/OutputSlots.h"
#include "engine/PlaybackState.h"
#include "engine/PlayerMessages.h"
#include "engine/RenderThread.h"
#include "engine/Streaming.h"
#include "midi/RcpConverter.h"
#include "settings/Settings.h"
#include "settings/UserPrompt.h"

namespace zeblo {

// What the player asks of the display around it. Owning thread, except PostAuthoringEnded.
class PlayerView {
public:
    // The message panel goes away at once.
    virtual void DropMessage() = 0;
    // Marks the whole view for the next paint; erase redraws the background and every element.
    virtual void Invalidate(bool erase) = 0;
    // Paints what is marked now.
    virtual void Update() = 0;
    virtual void ShowMessage(std::string_view text, int32_t ms) = 0;
    // Clears the snapshot ring and arms a full redraw.
    virtual void ResetDisplayRecords() = 0;
    // A prebuffering poll may let the event loop handle what is waiting.
    virtual void ProcessPendingEvent() = 0;
    // Asks for PlayCurrent later, from the event loop (the private message 1803).
    virtual void PostPlayCurrent() = 0;
    // Authoring thread: the run has ended; FinishAuthoring must follow on the owning thread.
    virtual void PostAuthoringEnded() = 0;

protected:
    ~PlayerView() = default;
};

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

// The authoring run: renders `songPath` from its start to its end into a WAV file at
// `outputPath`, obeying `stop` between chunks, adding each chunk's bytes to `bytesAuthored`, and
// telling failures through `prompt` (which then deletes the partial file). Authoring thread.
using AuthoringRun = std::function<void(const std::string& songPath, const std::string& outputPath,
                                        const std::atomic<int32_t>& stop,
                                        std::atomic<uint32_t>& bytesAuthored, UserPrompt& prompt)>;

// Converts an RCP, R36 or G36 file into kConvertedRcpFile; false when it failed (the converter
// has told the user). Owning thread, or the authoring thread with that thread's prompt.
using RcpConversion = std::function<bool(const std::string& path, UserPrompt& prompt)>;

// displayOffset - silenceFrames + position, 0 if negative, then / samplesPerDisplayFrame + 1.
uint32_t DisplayFrameFor(uint64_t position, int32_t displayOffset, uint32_t silenceFrames,
                         uint32_t samplesPerDisplayFrame);

// The seek of a click at x on the position bar: the new seekBarOffset and the target tick.
struct SeekTarget {
    int32_t seekBarOffset = 0;
    uint64_t tick = 0;
};
SeekTarget ComputeSeek(int x, uint32_t samplesPerDisplayFrame, uint32_t displayFrame,
                       uint64_t totalSamples, uint64_t totalTicks, int32_t seekBarOffset);

struct PlayerParts {
    EngineContext& engine;
    Settings& settings;
    PlaybackState& playback;
    OutputDevice& device;
    OutputSlots& outputSlots;
    UserPrompt& prompt;
    PlayerRenderLoop& renderLoop;
    PlayerView& view;
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

    // A play start of `currentPath` in its seventeen steps. The window's songs loop; the terminal
    // player's --once clears `loopSongs` so the song ends.
    void PlayFile();
    void StopPlayback() override;

    // The view's buttons.
    void PressPlay();
    void PressSpeed();
    void PressPause();
    void Seek(int x);  // a click on the position bar, only while playing
    void ToggleMute(int channel);
    void InvertEngine();

    // A dropped file: refused with a box during authoring; otherwise it becomes `currentPath`,
    // playback stops and PlayCurrent is posted. False when refused.
    bool DropFile(const std::string& path);
    // The private messages. Both are refused with a box during authoring, so that no play start
    // runs into the authoring thread. PlayShared takes the handed-over path.
    bool PlayShared(const std::string& path);
    bool PlayCurrent();

    // The display timer: the device position into `displayFrame`.
    void DisplayTick();

    // Buffer-done notifications: every one waiting (the window's queued call), or one waited for
    // up to `wait` (the terminal player's loop); false when none came.
    void DrainNotifications();
    bool HandleNotification(std::chrono::milliseconds wait);

    // The Author button: confirmation, then the authoring thread. FinishAuthoring ends it on the
    // owning thread once the view was told the run ended.
    void StartAuthoring();
    void FinishAuthoring();

    // The view is going: playback stops, `threadStop` stays set, the authoring thread is waited
    // for. Runs once.
    void ShutDown();

    bool loopSongs = true;

    // Any thread.
    uint32_t BytesAuthored() const { return bytesAuthored_.load(std::memory_order_relaxed); }
    bool Finished() const { return streaming_.Finished(); }
    const Streaming& streaming() const { return streaming_; }
    const RenderThread& renderThread() const { return renderThread_; }
    uint32_t SamplesPerDisplayFrame() const;
    bool AuthoringThreadExists() const { return authoringThread_.joinable(); }
    const std::string& outputPath() const { return outputPath_; }

private:
    // Messages of the authoring thread, shown on the owning thread once the run has ended.
    class DeferredPrompt final : public UserPrompt {
    public:
        PromptAnswer Ask(std::string_view text, PromptButtons buttons, PromptIcon icon) override;
        std::vector<std::string> Take();

    private:
        std::mutex lock_;
        std::vector<std::string> texts_;
    };

    void RepaintView() override;
    void InvalidateView() override;
    void ProcessPendingEvent() override;
    void SetRenderPriority(bool raised) override { renderThread_.SetRaised(raised); }
    void Repaint(bool erase);
    bool RefuseWhileAuthoring();
    void AuthoringThread(std::string songPath, std::string outputPath);

    EngineContext& engine_;
    Settings& settings_;
    PlaybackState& playback_;
    OutputDevice& device_;
    OutputSlots& slots_;
    PlayerRenderLoop& renderLoop_;
    UserPrompt& prompt_;
    PlayerView& view_;
    RcpConversion convertRcp_;
    AuthoringRun author_;
    Streaming streaming_;
    RenderThread renderThread_;

    std::string outputPath_;
    std::atomic<uint32_t> bytesAuthored_{0};
    std::thread authoringThread_;
    DeferredPrompt authoringPrompt_;
    bool shutDown_ = false;
};

}  // namespace zeblo
