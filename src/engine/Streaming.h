// Block streaming: the ring of output slots between the render thread and the output device.
// The render thread fills slots (RunProducer); the owning thread primes the device's three
// buffers, waits until about half the ring is rendered and starts the device (StartStreaming),
// then refills each buffer the device reports done (OnBufferDone), handing the oldest slot back.
//
// Threads: PrepareSlots, StartStreaming, OnBufferDone and the queries run on the owning thread
// (the GUI thread, or the terminal player's loop); RunProducer runs on the render thread. The
// slots and the three counters are shared without a lock: the producer only writes slots whose
// `filled` is 0 and publishes a slot by setting `filled` last (release); the owner reads `filled`
// (acquire) before the samples and hands a slot back by clearing it (release). `writeCount` has
// the producer as its only writer, `readCount` and `releaseCount` the owner.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>

#include "engine/FrameSource.h"
#include "engine/OutputDevice.h"
#include "engine/OutputSlots.h"
#include "engine/PlaybackState.h"
#include "engine/StreamingConstants.h"
#include "settings/Settings.h"
#include "settings/UserPrompt.h"

namespace zeblo {

// What the streaming asks of the player around it. Every call comes on the owning thread.
class StreamingHost {
public:
    // A prebuffering poll found the ring filling: show the buffer meter now.
    virtual void BufferingProgress() = 0;
    // An underrun was noticed (the mark goes on with the next paint).
    virtual void UnderrunNoticed() = 0;
    // A prebuffering poll: true when the start must give up waiting. By the time it returns
    // playback may have been stopped; either way the device being closed ends the wait.
    virtual bool AbandonWait() = 0;
    // An underrun without keepRunningOnUnderrun: stop as the stop button does. Returns with the
    // device closed, `playing` clear and no render thread running.
    virtual void StopPlayback() = 0;
    // Raise the render thread (true) or put it back to normal priority (false).
    virtual void SetRenderPriority(bool raised) = 0;

protected:
    StreamingHost() = default;
    ~StreamingHost() = default;
};

struct StreamingTimings {
    std::chrono::milliseconds slotPoll = kSlotPollInterval;
    std::chrono::milliseconds prebufferPoll = kPrebufferPollInterval;
    int prebufferRounds = kPrebufferRounds;
};

class Streaming {
public:
    Streaming(OutputDevice& device, OutputSlots& slots, Settings& settings, PlaybackState& playback,
              UserPrompt& prompt, StreamingHost& host, StreamingTimings timings = {});

    // Owning thread, before the render thread is resumed. Readies the first block-count slots
    // for `blockBytes` each; on a failure the ring keeps the slots readied before it (when at
    // least four; otherwise nothing is rendered) and the result is false.
    bool PrepareSlots(int32_t blockBytes);

    // Render thread: fills free slots from `source` until `stop` is set or the source has no
    // more frames. Looks at `stop` between chunks, so it returns soon after a stop. While the
    // ring is full it sleeps until a slot is handed back or WakeProducer is called.
    void RunProducer(FrameSource& source, const std::atomic<int32_t>& stop);

    // Any thread: wakes a producer that waits for a free slot (after setting its stop flag).
    void WakeProducer();

    // Owning thread, after the render thread was resumed: opens the device, primes its buffers
    // from slots 0-2, waits for the ring to fill, and starts the device. False when the device
    // could not be opened (the user has been told) or playback was stopped, or the device went
    // away, while waiting. A device that went away is replaced by the system's default.
    bool StartStreaming();

    // Owning thread: the device finished buffer `bufferIndex`.
    void OnBufferDone(uint32_t bufferIndex);

    // The song has ended: the producer ran out of frames and every rendered frame has been
    // played out. (A looping song never gets here.)
    bool Finished() const;
    bool ProducerEnded() const { return producerEnded_.load(std::memory_order_acquire); }

    // Slots in use by the ring, and how many of them hold rendered samples.
    uint32_t ringSize() const { return ringSize_; }
    uint32_t FilledSlots() const;
    // Underruns since the last PrepareSlots.
    uint32_t underruns() const { return underruns_; }

private:
    uint32_t RenderBlock(FrameSource& source, uint32_t* out, uint32_t frames,
                         const std::atomic<int32_t>& stop, bool& interrupted);
    bool WaitForSlot(uint32_t slotIndex);
    void CopySlotToBuffer(uint32_t slotIndex, uint32_t bufferIndex);

    OutputDevice& device_;
    OutputSlots& slots_;
    Settings& settings_;
    PlaybackState& playback_;
    UserPrompt& prompt_;
    StreamingHost& host_;
    StreamingTimings timings_;

    uint32_t ringSize_ = 0;
    uint32_t blockBytes_ = 0;
    uint32_t underruns_ = 0;
    // The device number of the last open, and one that went away (none at first).
    int32_t openedDevice_ = kDefaultOutputDevice;
    int32_t lostDevice_ = std::numeric_limits<int32_t>::min();
    std::atomic<uint32_t> handBacks_{0};  // bumped whenever the producer may go on
    std::atomic<bool> producerEnded_{false};
    std::atomic<bool> sourceEnded_{false};
};

}  // namespace zeblo
