#include "engine/Streaming.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "engine/StreamingMessages.h"

namespace zeblo {

Streaming::Streaming(OutputDevice& device, OutputSlots& slots, Settings& settings,
                     PlaybackState& playback, UserPrompt& prompt, StreamingHost& host,
                     StreamingTimings timings)
    : device_(device),
      slots_(slots),
      settings_(settings),
      playback_(playback),
      prompt_(prompt),
      host_(host),
      timings_(timings) {}

bool Streaming::PrepareSlots(int32_t blockBytes) {
    producerEnded_.store(false, std::memory_order_relaxed);
    sourceEnded_.store(false, std::memory_order_relaxed);
    slots_.ResetCounters();
    underruns_ = 0;
    blockBytes_ = blockBytes > 0 ? static_cast<uint32_t>(blockBytes) : 0;

    const int count = std::clamp(settings_.parameters.blockCount, 0, kOutputSlotCapacity);
    int ready = 0;
    bool ok = blockBytes_ > 0;
    for (int i = 0; i < count && ok; ++i) {
        slots_[i].ClearBookkeeping();
        if (!slots_.EnsureBlock(i, blockBytes)) {
            ok = false;
            break;
        }
        ++ready;
    }
    // With no more slots than device buffers the ring would hand out slots still being played.
    ringSize_ = ready > static_cast<int>(kDeviceBufferCount) ? static_cast<uint32_t>(ready) : 0;
    return ok && count > 0;
}

uint32_t Streaming::RenderBlock(FrameSource& source, uint32_t* out, uint32_t frames,
                                const std::atomic<int32_t>& stop, bool& interrupted) {
    uint32_t done = 0;
    interrupted = false;
    while (done < frames) {
        if (stop.load(std::memory_order_acquire) != 0) {
            interrupted = true;
            return done;
        }
        const uint32_t want = std::min(frames - done, kRenderChunkFrames);
        const uint32_t got = source.Render(out + done, want, true);
        done += got;
        if (got < want) break;
    }
    return done;
}

void Streaming::RunProducer(FrameSource& source, const std::atomic<int32_t>& stop) {
    const uint32_t frames = blockBytes_ / 4;
    while (ringSize_ > 0 && frames > 0 && stop.load(std::memory_order_acquire) == 0) {
        // Read before the slot, so a hand-back after the look below still ends the wait.
        const uint32_t seen = handBacks_.load(std::memory_order_acquire);
        const uint32_t index = slots_.writeCount.load(std::memory_order_relaxed) % ringSize_;
        OutputSlot& slot = slots_[static_cast<int>(index)];
        if (slot.filled.load(std::memory_order_acquire) != 0) {
            // The ring is full. Waiting here instead of polling keeps an idle render thread
            // off the processor between hand-backs (one per played block).
            if (stop.load(std::memory_order_acquire) == 0) {
                handBacks_.wait(seen, std::memory_order_acquire);
            }
            continue;
        }
        bool interrupted = false;
        const uint32_t got = RenderBlock(source, reinterpret_cast<uint32_t*>(slot.block.get()),
                                         frames, stop, interrupted);
        if (interrupted) break;
        if (got == 0) {
            sourceEnded_.store(true, std::memory_order_release);
            break;
        }
        slot.byteCount = got * 4;
        slot.filled.store(1, std::memory_order_release);
        slots_.writeCount.fetch_add(1, std::memory_order_release);
        if (got < frames) {
            // A short block is the song's last: no need to wait for a free slot to learn it.
            sourceEnded_.store(true, std::memory_order_release);
            break;
        }
        std::this_thread::sleep_for(timings_.slotPoll);
        std::this_thread::sleep_for(timings_.slotPoll);
    }
    producerEnded_.store(true, std::memory_order_release);
}

void Streaming::WakeProducer() {
    handBacks_.fetch_add(1, std::memory_order_release);
    handBacks_.notify_all();
}

bool Streaming::WaitForSlot(uint32_t slotIndex) {
    const OutputSlot& slot = slots_[static_cast<int>(slotIndex)];
    while (slot.filled.load(std::memory_order_acquire) == 0) {
        // A render thread that has ended will fill nothing more.
        if (producerEnded_.load(std::memory_order_acquire)) {
            return slot.filled.load(std::memory_order_acquire) != 0;
        }
        std::this_thread::sleep_for(timings_.slotPoll);
    }
    return true;
}

void Streaming::CopySlotToBuffer(uint32_t slotIndex, uint32_t bufferIndex) {
    const OutputSlot& slot = slots_[static_cast<int>(slotIndex)];
    const uint32_t bytes = std::min(slot.byteCount, device_.bufferBytes());
    std::memcpy(device_.BufferData(bufferIndex), slot.block.get(), bytes);
    device_.SetBufferLength(bufferIndex, bytes);
}

bool Streaming::StartStreaming() {
    device_.ResetDevice();
    device_.SetBufferBytes(blockBytes_);
    int32_t deviceNumber = ReadShared(settings_.record.outputDevice);
    // A device that went away is not asked for again: the system's default takes its place until
    // the preferences name another one.
    if (device_.Lost()) lostDevice_ = openedDevice_;
    if (deviceNumber == lostDevice_) deviceNumber = kDefaultOutputDevice;
    if (!device_.OpenDevice(settings_.parameters.sampleRate, 16, true, deviceNumber)) {
        prompt_.Ask(kWaveDeviceOpenFailedMessage, PromptButtons::Ok, PromptIcon::Warning);
        return false;
    }
    openedDevice_ = deviceNumber;
    device_.PrepareBuffers();
    device_.Pause();

    for (uint32_t i = 0; i < kDeviceBufferCount && ringSize_ > 0; ++i) {
        if (!WaitForSlot(i)) break;
        CopySlotToBuffer(i, i);
        slots_.readCount.fetch_add(1, std::memory_order_relaxed);
        device_.PrepareBuffer(i);
        device_.WriteBuffer(i);
    }

    const uint32_t enough = ringSize_ / 2 + 3;
    for (int round = 0; round < timings_.prebufferRounds; ++round) {
        std::this_thread::sleep_for(timings_.prebufferPoll);
        host_.BufferingProgress();
        if (FilledSlots() >= enough || ProducerEnded()) break;
        // Stopped, or the device went away, while waiting.
        if (host_.AbandonWait() || !device_.IsOpen() || device_.Lost()) return false;
    }
    return device_.Restart();
}

void Streaming::OnBufferDone(uint32_t bufferIndex) {
    if (bufferIndex >= kDeviceBufferCount || !device_.IsOpen()) return;
    device_.UnprepareBuffer(bufferIndex);

    const uint32_t n = ringSize_;
    const uint32_t r = n > 0 ? slots_.readCount.load(std::memory_order_relaxed) % n : 0;
    const uint32_t h = n > 0 ? slots_.releaseCount.load(std::memory_order_relaxed) % n : 0;

    // The end flag first: once it reads true, a last block published before it reads filled.
    const bool sourceEnded = sourceEnded_.load(std::memory_order_acquire);
    if (n > 0 && slots_[static_cast<int>(r)].filled.load(std::memory_order_acquire) != 0) {
        CopySlotToBuffer(r, bufferIndex);
        slots_[static_cast<int>(h)].filled.store(0, std::memory_order_release);
        slots_.releaseCount.fetch_add(1, std::memory_order_relaxed);
        slots_.readCount.fetch_add(1, std::memory_order_relaxed);
        WakeProducer();
    } else if (sourceEnded) {
        // The song is over, not late: the buffer stays idle and nothing is marked.
        return;
    } else {
        ++underruns_;
        std::memset(device_.BufferData(bufferIndex), 0, device_.bufferBytes());
        device_.SetBufferLength(bufferIndex, device_.bufferBytes());
        if (!playback_.authoring.load() && !playback_.underrunShown.load()) {
            playback_.underrunShown.store(true);
            host_.UnderrunNoticed();
        }
        playback_.underrunDisplayFrames.store(kUnderrunDisplaySeconds *
                                              settings_.parameters.redrawRate);
        if (ReadShared(settings_.record.keepRunningOnUnderrun) != 0) {
            playback_.silenceFrames.fetch_add(blockBytes_ / 4);
        } else {
            host_.StopPlayback();
        }
    }

    if (!playback_.playing.load()) return;
    device_.PrepareBuffer(bufferIndex);
    device_.WriteBuffer(bufferIndex);

    if (n > kDeviceBufferCount) {
        const double ahead = static_cast<double>(slots_.writeCount.load(std::memory_order_acquire) -
                                                 slots_.readCount.load(std::memory_order_relaxed));
        host_.SetRenderPriority(ahead / static_cast<double>(n - kDeviceBufferCount) <
                                kLowFillRatio);
    }
}

bool Streaming::Finished() const {
    if (!sourceEnded_.load(std::memory_order_acquire)) return false;
    if (slots_.readCount.load(std::memory_order_relaxed) !=
        slots_.writeCount.load(std::memory_order_acquire)) {
        return false;
    }
    for (uint32_t i = 0; i < kDeviceBufferCount; ++i) {
        if (device_.IsQueued(i)) return false;
    }
    return true;
}

uint32_t Streaming::FilledSlots() const {
    uint32_t filled = 0;
    for (uint32_t i = 0; i < ringSize_; ++i) {
        if (slots_[static_cast<int>(i)].filled.load(std::memory_order_acquire) != 0) ++filled;
    }
    return filled;
}

}  // namespace zeblo
