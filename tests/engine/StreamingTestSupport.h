// A synthetic song, a device moved by hand, and a host, for driving the streaming in tests.
#pragma once

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "engine/FrameSource.h"
#include "engine/OutputDevice.h"
#include "engine/RenderThread.h"
#include "engine/Streaming.h"
#include "settings/RecordingPrompt.h"
#include "settings/Settings.h"

namespace zeblo::testing {

// Frame k of the song: never 0, different for every k below 2^31, left and right apart.
inline uint32_t CounterFrame(uint64_t k) {
    const uint32_t left = static_cast<uint32_t>(k % 65535) + 1;
    const uint32_t right = static_cast<uint32_t>((k / 65535 * 7 + k * 3) % 65535) + 1;
    return left | (right << 16);
}

inline constexpr uint64_t kEndless = UINT64_MAX;

// A song of `length` counter frames. A render call waits until the frames it wants are within
// `allowedFrames`, or until the stop flag is set.
class CounterSource final : public FrameSource {
public:
    explicit CounterSource(uint64_t length = kEndless, const std::atomic<int32_t>* stop = nullptr)
        : length_(length), stop_(stop) {}

    uint32_t Render(uint32_t* out, uint32_t frames, bool) override {
        const uint64_t left = length_ - produced.load();
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(frames, left));
        while (produced + n > allowedFrames.load()) {
            if (stop_ != nullptr && stop_->load() != 0) return frames;  // a stop, not an end
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (delayPerCall.count() > 0) std::this_thread::sleep_for(delayPerCall);
        for (uint32_t i = 0; i < n; ++i) out[i] = CounterFrame(produced + i);
        produced += n;
        ++calls;
        return n;
    }
    void ClearFilterHistory() override { ++filterClears; }

    std::atomic<uint64_t> allowedFrames{UINT64_MAX};
    std::atomic<uint64_t> produced{0};
    std::atomic<int> calls{0};
    std::atomic<int> filterClears{0};
    std::chrono::microseconds delayPerCall{0};

private:
    uint64_t length_;
    const std::atomic<int32_t>* stop_;
};

// A device whose "sound card" is the test: Play pulls bytes as a callback would.
class FakeOutputDevice final : public OutputDevice {
public:
    using OutputDevice::OutputDevice;
    using OutputDevice::ReportLost;
    ~FakeOutputDevice() override { CloseDevice(); }

    std::vector<uint8_t> Play(uint32_t bytes) {
        std::vector<uint8_t> out(bytes);
        ConsumeFrames(out.data(), bytes);
        return out;
    }

    BackendOpenResult nextOpen = BackendOpenResult::Opened;
    std::string openError = "The device refused the format.";
    int32_t lastDeviceNumber = 99;

private:
    BackendOpenResult OpenBackend(const WaveFormat&, int32_t deviceNumber,
                                  std::string& error) override {
        lastDeviceNumber = deviceNumber;
        if (nextOpen != BackendOpenResult::Opened) error = openError;
        return nextOpen;
    }
    void CloseBackend() override {}
};

// Settings with a given block length (tenths), rate and block count; everything else default.
inline void UseOutput(Settings& settings, int32_t blockLength, int32_t rate, int32_t blockCount) {
    settings.record.blockLength = blockLength;
    settings.record.outputFrequency = rate;
    settings.record.blockCount = blockCount;
    ComputeEngineParameters(settings.record, settings.parameters);
}

// The expected bytes of counter frames [first, first + count).
inline std::vector<uint8_t> CounterBytes(uint64_t first, uint64_t count) {
    std::vector<uint8_t> bytes(count * 4);
    for (uint64_t i = 0; i < count; ++i) {
        const uint32_t frame = CounterFrame(first + i);
        std::memcpy(bytes.data() + i * 4, &frame, 4);
    }
    return bytes;
}

inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace zeblo::testing
