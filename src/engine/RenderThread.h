// The render thread of real-time playback: created held at a gate, resumed once the song is
// loaded, it clears the output filter's history and runs the streaming's producer until told to
// stop or the song has no more frames.
//
// Threads: every operation runs on the owning thread (the one that starts and stops playback).
// Stopping is cooperative: Stop sets `threadStop`,
// which the producer reads between render chunks, and joins; it never terminates the thread.
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/FrameSource.h"
#include "engine/OutputDevice.h"
#include "engine/PlaybackState.h"
#include "engine/Streaming.h"

namespace zeblo {

class RenderThread {
public:
    RenderThread(Streaming& streaming, PlaybackState& playback);
    ~RenderThread();  // stops a thread still running
    RenderThread(const RenderThread&) = delete;
    RenderThread& operator=(const RenderThread&) = delete;

    // Creates the thread held before its first step; false when no thread can be created or one
    // exists already. `source` must outlive the thread.
    bool Create(FrameSource& source);
    // Lets the created thread run.
    bool Resume();
    // Sets `threadStop`, releases a held thread, waits for the thread to end and clears
    // `threadStop`. Returns at once when no thread exists.
    void Stop();

    bool Exists() const { return thread_.joinable(); }
    // The thread function has returned (the song ran out, or it was told to stop).
    bool Ended() const { return ended_.load(std::memory_order_acquire); }

    // Best effort: raising needs a privilege most sessions lack; then the priority stays as it
    // is. Asking for the level it already has costs nothing.
    void SetRaised(bool raised);
    bool raised() const { return raised_; }

    // CPU time the current (or last) thread has used, in seconds.
    double CpuSeconds() const;

private:
    void Main(FrameSource& source);

    Streaming& streaming_;
    PlaybackState& playback_;
    std::thread thread_;
    pthread_t nativeHandle_{};
    std::mutex gateLock_;
    std::condition_variable gate_;
    bool released_ = false;
    std::atomic<bool> ended_{false};
    std::atomic<int> systemThreadId_{0};
    std::atomic<long long> lastCpuNanoseconds_{0};
    int normalNice_ = 0;
    bool raised_ = false;
};

// The first two steps of stopping playback: reset the device and clear `playing`, close the
// device (so no buffer-done notification is left for a closed device), then stop the render
// thread. The caller clears `paused` and repaints. Owning thread.
void StopOutputAndRenderThread(OutputDevice& device, RenderThread& renderThread,
                               PlaybackState& playback);

}  // namespace zeblo
