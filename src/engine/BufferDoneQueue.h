// Buffer-done notifications on their way from the device to the thread that owns the stream.
//
// Threads: Post runs on the device's thread (the audio callback); everything else runs on the
// owning thread (the GUI thread, the terminal player's loop, a test). The wake function is how an
// event loop learns that something is waiting: the GUI posts a queued call that drains the queue
// on its own thread. Because the indexes live here and not in the event loop, Clear drops every
// notification still waiting, and a wake that arrives after a Clear finds nothing.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

namespace zeblo {

class BufferDoneQueue {
public:
    using WakeFunction = std::function<void()>;

    // Owning thread, while no device is open. Called after every Post, on the device's thread;
    // it must not call back into the device.
    void SetWake(WakeFunction wake);

    // Device thread. Never allocates; a notification beyond the capacity is counted and dropped
    // (the device has only three buffers, so this does not happen).
    void Post(uint32_t bufferIndex);

    // Owning thread. Take returns false when nothing is waiting; WaitTake waits up to `timeout`.
    bool Take(uint32_t& bufferIndex);
    bool WaitTake(uint32_t& bufferIndex, std::chrono::milliseconds timeout);

    // Owning thread: drops every notification still waiting.
    void Clear();

    std::size_t Size() const;
    uint64_t DroppedCount() const;

private:
    static constexpr std::size_t kCapacity = 16;

    mutable std::mutex lock_;
    std::condition_variable posted_;
    std::array<uint32_t, kCapacity> entries_{};
    std::size_t head_ = 0;
    std::size_t size_ = 0;
    uint64_t dropped_ = 0;
    WakeFunction wake_;
};

}  // namespace zeblo
