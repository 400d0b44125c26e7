// The wave output device as the streaming sees it: three buffers queued in order, played by the
// device, each reported done through the notification queue; pause, restart, reset, close and
// the position in samples. The transport (a sound library, or a test's hand) is a backend
// underneath that pulls bytes with ConsumeFrames.
//
// Threads: the owning thread (the one that runs the streaming) calls every public operation
// except GetPosition and IsOpen, which the display timer may call at any time. ConsumeFrames runs
// on the backend's device thread. Reset and close return every queued buffer and drop every
// notification still waiting, so none reaches the owner after them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/BufferDoneQueue.h"
#include "engine/StreamingConstants.h"
#include "settings/UserPrompt.h"

namespace zeblo {

inline constexpr int32_t kDefaultOutputDevice = -1;
// Posted to the notification queue when the device went away; no buffer has this index.
inline constexpr uint32_t kDeviceLostNotice = 0xFFFFFFFF;

struct WaveFormat {
    uint16_t channels = 2;
    uint32_t samplesPerSecond = 44100;
    uint32_t averageBytesPerSecond = 176400;
    uint16_t blockAlign = 4;
    uint16_t bitsPerSample = 16;
};

enum class BackendOpenResult {
    Opened,
    NoSuchDevice,  // the device cannot be asked for its capabilities: no box
    Failed,        // the backend refused the format or the device: its text in a box
};

class OutputDevice {
public:
    static constexpr uint32_t kStateIdle = 0;
    static constexpr uint32_t kStatePrepared = 2;

    OutputDevice(UserPrompt& prompt, BufferDoneQueue& notifications);
    virtual ~OutputDevice();
    OutputDevice(const OutputDevice&) = delete;
    OutputDevice& operator=(const OutputDevice&) = delete;

    // `deviceNumber` -1 opens the system's default device. Starts unpaused with no buffer queued.
    bool OpenDevice(int32_t sampleRate, int32_t bits, bool stereo, int32_t deviceNumber);
    bool PrepareBuffers();
    bool PrepareBuffer(uint32_t index);
    bool UnprepareBuffer(uint32_t index);  // fails while the buffer is queued
    bool WriteBuffer(uint32_t index);      // queues the buffer's current length; false on error
    bool ResetDevice();
    bool CloseDevice();
    bool Pause();
    bool Restart();

    // Frames played from buffers since the open or the last reset; false while closed.
    bool GetPosition(uint64_t& samples) const;
    bool IsOpen() const { return open_.load(std::memory_order_acquire); }
    bool IsPaused() const { return paused_.load(std::memory_order_acquire); }
    // The device went away (unplugged, or its output failed) since the last open. Any thread.
    bool Lost() const { return lost_.load(std::memory_order_acquire); }

    uint32_t bufferBytes() const { return bufferBytes_; }
    void SetBufferBytes(uint32_t bytes) { bufferBytes_ = bytes; }
    // The data of buffer `index` (bufferBytes() long), nullptr before the first open.
    uint8_t* BufferData(uint32_t index);
    // How many bytes the next WriteBuffer plays; at most bufferBytes(), which it is after open.
    bool SetBufferLength(uint32_t index, uint32_t bytes);
    uint32_t BufferLength(uint32_t index) const;
    bool IsQueued(uint32_t index) const;

    uint32_t state() const { return state_; }
    const std::string& errorText() const { return errorText_; }
    const WaveFormat& format() const { return format_; }
    BufferDoneQueue& notifications() { return notifications_; }

protected:
    // Device thread: fills `bytes` at `out` from the queued buffers in the order written, posting
    // a buffer-done notification for each one finished, and silence for the rest. While paused
    // or with nothing queued it gives silence and the position stands still.
    void ConsumeFrames(uint8_t* out, uint32_t bytes);

    // Opens the transport so that it starts calling ConsumeFrames; `error` receives its text.
    virtual BackendOpenResult OpenBackend(const WaveFormat& format, int32_t deviceNumber,
                                          std::string& error) = 0;
    // Returns with the transport closed and no ConsumeFrames running or to come.
    virtual void CloseBackend() = 0;

    // Any thread: the open device went away. The owner learns it from the notification queue.
    void ReportLost();

private:
    struct Buffer {
        std::unique_ptr<uint8_t[]> data;
        uint32_t length = 0;
        bool prepared = false;
        bool queued = false;  // guarded by queueLock_
    };

    bool ValidIndex(uint32_t index) const { return index < kDeviceBufferCount; }

    UserPrompt& prompt_;
    BufferDoneQueue& notifications_;
    WaveFormat format_;
    std::string errorText_;
    std::array<Buffer, kDeviceBufferCount> buffers_;
    uint32_t bufferBytes_ = kInitialBufferBytes;
    uint32_t allocatedBytes_ = 0;
    uint32_t state_ = kStateIdle;
    std::atomic<bool> open_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> lost_{false};

    // The play order and the read position inside the first queued buffer.
    mutable std::mutex queueLock_;
    std::array<uint32_t, kDeviceBufferCount> playOrder_{};
    uint32_t queuedCount_ = 0;
    uint32_t playOffset_ = 0;
    std::atomic<uint64_t> playedBytes_{0};
};

}  // namespace zeblo
