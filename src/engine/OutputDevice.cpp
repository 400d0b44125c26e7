#include "engine/OutputDevice.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/StreamingMessages.h"

namespace zeblo {
namespace {

constexpr char kNotOpenText[] = "No output device is open.";
constexpr char kNotPreparedText[] = "The buffer has not been prepared.";
constexpr char kStillPlayingText[] = "The buffer is still queued for playback.";
constexpr char kBadBufferText[] = "There is no buffer with this number.";
constexpr char kNoBufferMemoryText[] = "There is not enough memory for the output buffers.";

}  // namespace

OutputDevice::OutputDevice(UserPrompt& prompt, BufferDoneQueue& notifications)
    : prompt_(prompt), notifications_(notifications) {}

OutputDevice::~OutputDevice() = default;

bool OutputDevice::OpenDevice(int32_t sampleRate, int32_t bits, bool stereo, int32_t deviceNumber) {
    if (IsOpen()) {
        prompt_.Ask(kOutputDeviceAlreadyOpenMessage, PromptButtons::Ok, PromptIcon::Error);
        return false;
    }
    if (state_ != kStateIdle) return false;
    if (sampleRate <= 0 || bits != 16 || bufferBytes_ == 0) {
        errorText_ = "The output format is not supported.";
        return false;
    }

    WaveFormat format;
    format.channels = stereo ? 2 : 1;
    format.samplesPerSecond = static_cast<uint32_t>(sampleRate);
    format.bitsPerSample = static_cast<uint16_t>(bits);
    format.blockAlign = static_cast<uint16_t>(format.channels * bits / 8);
    format.averageBytesPerSecond = format.blockAlign * format.samplesPerSecond;

    // The buffers come first, so a failed allocation never leaves a device open without them.
    std::array<std::unique_ptr<uint8_t[]>, kDeviceBufferCount> fresh;
    for (auto& data : fresh) {
        data.reset(new (std::nothrow) uint8_t[bufferBytes_]());
        if (data == nullptr) {
            errorText_ = kNoBufferMemoryText;
            return false;
        }
    }

    std::string error;
    lost_.store(false, std::memory_order_release);
    switch (OpenBackend(format, deviceNumber, error)) {
        case BackendOpenResult::Opened:
            break;
        case BackendOpenResult::NoSuchDevice:
            errorText_ = error;
            return false;
        case BackendOpenResult::Failed:
            errorText_ = error;
            prompt_.Ask(errorText_, PromptButtons::Ok, PromptIcon::Error);
            return false;
    }

    format_ = format;
    {
        std::lock_guard guard(queueLock_);
        for (uint32_t i = 0; i < kDeviceBufferCount; ++i) {
            buffers_[i].data = std::move(fresh[i]);
            buffers_[i].length = bufferBytes_;
            buffers_[i].prepared = false;
            buffers_[i].queued = false;
        }
        allocatedBytes_ = bufferBytes_;
        queuedCount_ = 0;
        playOffset_ = 0;
        playedBytes_.store(0, std::memory_order_relaxed);
    }
    paused_.store(false, std::memory_order_release);
    open_.store(true, std::memory_order_release);
    return true;
}

bool OutputDevice::PrepareBuffers() {
    if (state_ != kStateIdle || !IsOpen()) return false;
    for (uint32_t i = 0; i < kDeviceBufferCount; ++i) {
        if (!PrepareBuffer(i)) return false;
    }
    state_ = kStatePrepared;
    return true;
}

bool OutputDevice::PrepareBuffer(uint32_t index) {
    if (!ValidIndex(index)) {
        errorText_ = kBadBufferText;
        return false;
    }
    if (buffers_[index].data == nullptr) {
        errorText_ = kNotOpenText;
        return false;
    }
    buffers_[index].prepared = true;
    return true;
}

bool OutputDevice::UnprepareBuffer(uint32_t index) {
    if (!ValidIndex(index)) {
        errorText_ = kBadBufferText;
        return false;
    }
    std::lock_guard guard(queueLock_);
    if (buffers_[index].queued) {
        errorText_ = kStillPlayingText;
        return false;
    }
    buffers_[index].prepared = false;
    return true;
}

bool OutputDevice::WriteBuffer(uint32_t index) {
    if (!ValidIndex(index)) {
        errorText_ = kBadBufferText;
        return false;
    }
    if (!IsOpen()) {
        errorText_ = kNotOpenText;
        return false;
    }
    Buffer& buffer = buffers_[index];
    if (!buffer.prepared) {
        errorText_ = kNotPreparedText;
        return false;
    }
    std::lock_guard guard(queueLock_);
    if (buffer.queued) {
        errorText_ = kStillPlayingText;
        return false;
    }
    if (buffer.length == 0) {
        // Nothing to play: done at once, as the device would report it.
        notifications_.Post(index);
        return true;
    }
    buffer.queued = true;
    playOrder_[queuedCount_++] = index;
    return true;
}

bool OutputDevice::ResetDevice() {
    {
        // Under the lock no buffer can finish, so after the Clear no notification can arrive.
        std::lock_guard guard(queueLock_);
        for (Buffer& buffer : buffers_) buffer.queued = false;
        queuedCount_ = 0;
        playOffset_ = 0;
        playedBytes_.store(0, std::memory_order_relaxed);
        notifications_.Clear();
    }
    for (Buffer& buffer : buffers_) buffer.prepared = false;
    state_ = kStateIdle;
    return IsOpen();
}

bool OutputDevice::CloseDevice() {
    ResetDevice();
    if (!IsOpen()) return false;
    CloseBackend();
    open_.store(false, std::memory_order_release);
    paused_.store(false, std::memory_order_relaxed);
    // Anything the transport finished while it was closing is stale as well.
    notifications_.Clear();
    return true;
}

bool OutputDevice::Pause() {
    if (!IsOpen()) {
        errorText_ = kNotOpenText;
        return false;
    }
    paused_.store(true, std::memory_order_release);
    return true;
}

bool OutputDevice::Restart() {
    if (!IsOpen()) {
        errorText_ = kNotOpenText;
        return false;
    }
    paused_.store(false, std::memory_order_release);
    return true;
}

bool OutputDevice::GetPosition(uint64_t& samples) const {
    if (!IsOpen()) return false;
    const uint32_t align = std::max<uint32_t>(format_.blockAlign, 1);
    samples = playedBytes_.load(std::memory_order_acquire) / align;
    return true;
}

uint8_t* OutputDevice::BufferData(uint32_t index) {
    return ValidIndex(index) ? buffers_[index].data.get() : nullptr;
}

bool OutputDevice::SetBufferLength(uint32_t index, uint32_t bytes) {
    if (!ValidIndex(index) || buffers_[index].data == nullptr) return false;
    std::lock_guard guard(queueLock_);
    if (buffers_[index].queued) return false;
    buffers_[index].length = std::min(bytes, allocatedBytes_);
    return true;
}

uint32_t OutputDevice::BufferLength(uint32_t index) const {
    return ValidIndex(index) ? buffers_[index].length : 0;
}

bool OutputDevice::IsQueued(uint32_t index) const {
    if (!ValidIndex(index)) return false;
    std::lock_guard guard(queueLock_);
    return buffers_[index].queued;
}

void OutputDevice::ConsumeFrames(uint8_t* out, uint32_t bytes) {
    std::lock_guard guard(queueLock_);
    if (!paused_.load(std::memory_order_acquire)) {
        while (bytes > 0 && queuedCount_ > 0) {
            const uint32_t index = playOrder_[0];
            Buffer& buffer = buffers_[index];
            const uint32_t n = std::min(buffer.length - playOffset_, bytes);
            std::memcpy(out, buffer.data.get() + playOffset_, n);
            out += n;
            bytes -= n;
            playOffset_ += n;
            playedBytes_.fetch_add(n, std::memory_order_release);
            if (playOffset_ == buffer.length) {
                buffer.queued = false;
                playOffset_ = 0;
                --queuedCount_;
                for (uint32_t i = 0; i < queuedCount_; ++i) playOrder_[i] = playOrder_[i + 1];
                notifications_.Post(index);
            }
        }
    }
    if (bytes > 0) std::memset(out, 0, bytes);
}

void OutputDevice::ReportLost() {
    lost_.store(true, std::memory_order_release);
    notifications_.Post(kDeviceLostNotice);
}

}  // namespace zeblo
