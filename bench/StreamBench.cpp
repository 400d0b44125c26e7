// Real-time streaming figures with SDL's disk driver (real-time pacing, output to /dev/null
// unless SDL_DISKAUDIOFILE says otherwise), default settings: 44100 Hz, ten blocks of 2 s.
//
//   bench_stream [seconds]
//
// Prints the time from the start to the first sound next to its bound (the time to render the
// three primed blocks + the 200 ms prebuffer poll + 50 ms), and the render thread's CPU use in
// the steady state after the ring has filled.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <thread>
#include <vector>

#include "audio/WaveOutDevice.h"
#include "engine/RenderThread.h"
#include "engine/Streaming.h"
#include "settings/RecordingPrompt.h"

namespace {

using Clock = std::chrono::steady_clock;

// A 441 Hz tone with a slow stereo drift: cheap, so the figures are the streaming's own.
class ToneSource final : public zeblo::FrameSource {
public:
    ToneSource() {
        for (int i = 0; i < 100; ++i) {
            table_[i] = static_cast<int16_t>(12000 * std::sin(2 * std::numbers::pi * i / 100));
        }
    }
    uint32_t Render(uint32_t* out, uint32_t frames, bool) override {
        for (uint32_t i = 0; i < frames; ++i, ++frame_) {
            const auto left = static_cast<uint16_t>(table_[frame_ % 100]);
            const auto right = static_cast<uint16_t>(table_[(frame_ + frame_ / 44100) % 100]);
            out[i] = left | (static_cast<uint32_t>(right) << 16);
        }
        return frames;
    }
    void ClearFilterHistory() override {}

private:
    int16_t table_[100];
    uint64_t frame_ = 0;
};

// The streaming's owner with nothing to show.
class BenchHost final : public zeblo::StreamingHost {
public:
    void BufferingProgress() override {}
    void UnderrunNoticed() override {}
    bool AbandonWait() override { return false; }
    void StopPlayback() override {}
    void SetRenderPriority(bool raised) override {
        if (thread != nullptr) thread->SetRaised(raised);
    }
    zeblo::RenderThread* thread = nullptr;
};

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zeblo;
    const int seconds = argc > 1 ? std::max(std::atoi(argv[1]), 10) : 30;
    setenv("SDL_AUDIODRIVER", "disk", 0);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 0);

    RecordingPrompt prompt;
    OutputSlots slots;
    Settings settings(prompt);
    ComputeEngineParameters(settings.record, settings.parameters);
    slots.AllocateBlocks(settings.parameters.blockCount, settings.parameters.blockBytes);
    PlaybackState playback;
    BufferDoneQueue queue;
    WaveOutDevice device(prompt, queue);
    ToneSource source;
    BenchHost host;
    Streaming streaming(device, slots, settings, playback, prompt, host);
    RenderThread thread(streaming, playback);
    host.thread = &thread;

    // Watches from outside: when the third block is in, and when the device first plays.
    const Clock::time_point start = Clock::now();
    std::atomic<bool> watching{true};
    Clock::time_point threeBlocks{}, firstSound{};
    std::thread watcher([&] {
        uint64_t position = 0;
        while (watching) {
            const Clock::time_point now = Clock::now();
            if (threeBlocks == Clock::time_point{} && slots.writeCount.load() >= 3) {
                threeBlocks = now;
            }
            if (device.GetPosition(position) && position > 0) {
                firstSound = now;
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
    });
    thread.Create(source);
    streaming.PrepareSlots(settings.parameters.blockBytes);
    thread.Resume();
    playback.playing = true;
    if (!streaming.StartStreaming()) {
        watching = false;
        watcher.join();
        std::fprintf(stderr, "bench_stream: the device did not start: %s\n",
                     device.errorText().c_str());
        return 1;
    }
    watcher.join();

    const auto steadyFrom = start + std::chrono::seconds(5);
    const auto end = start + std::chrono::seconds(seconds);
    double cpuAtSteady = -1;
    Clock::time_point steadyStart{};
    while (Clock::now() < end) {
        uint32_t index = 0;
        if (queue.WaitTake(index, std::chrono::milliseconds(20))) streaming.OnBufferDone(index);
        if (cpuAtSteady < 0 && Clock::now() >= steadyFrom) {
            cpuAtSteady = thread.CpuSeconds();
            steadyStart = Clock::now();
        }
    }
    const double cpuShare = (thread.CpuSeconds() - cpuAtSteady) /
                            std::chrono::duration<double>(Clock::now() - steadyStart).count();
    const int underruns = playback.underrunShown.load();
    StopOutputAndRenderThread(device, thread, playback);

    const double bound = Milliseconds(threeBlocks - start) + 250;
    std::printf("first sound after %.1f ms (three blocks rendered after %.1f ms; bound %.1f ms)\n",
                Milliseconds(firstSound - start), Milliseconds(threeBlocks - start), bound);
    std::printf("render thread CPU over %d s of steady playing: %.3f %% of one core\n", seconds - 5,
                100 * cpuShare);
    std::printf("underrun: %s\n", underruns ? "yes" : "no");
    return 0;
}
