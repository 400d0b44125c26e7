// One second of FM output at 44100 Hz in the render loop's longest runs, through the run path it
// uses: all five chips busy, and all five silent. Targets: at most 15 ms for the busy second, at
// most 1 ms for the silent one.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "engine/RenderConstants.h"
#include "modules/opll/OpllModule.h"

namespace zeblo {
namespace {

constexpr uint32_t kRate = 44100;

// One second in runs; `between` is called before each run.
template <typename Between>
int64_t RenderSecond(OpllModule& module, Between between) {
    int32_t left[kMixRunFrames];
    int32_t right[kMixRunFrames];
    int64_t sink = 0;
    for (uint32_t frame = 0; frame < kRate;) {
        between(frame);
        const uint32_t run = std::min(kMixRunFrames, kRate - frame);
        module.RenderRun(left, right, run);
        sink += left[run - 1] ^ right[0];
        frame += run;
    }
    return sink;
}

struct FmRig {
    EngineParameters params;
    ModuleSharedState shared;
    OpllNoise noise;
    OpllModule module{params, shared, noise};

    void Msg(uint32_t status, uint32_t d1, uint32_t d2) {
        module.ShortMsg(kOpenModuleHandle, PackShortMsg(status, d1, d2), 0);
    }
    void HitAllDrums() {
        for (uint32_t note : {36u, 38u, 45u, 49u, 42u}) Msg(0x99, note, 100);
    }
    // 35 sustained notes over 15 melodic channels, on instruments whose carriers hold (so no
    // channel ever finishes), with vibrato, tremolo and feedback among them.
    void StartDenseSong() {
        const uint32_t programs[] = {21, 16, 71, 68, 55, 60, 59, 98, 80, 48, 0, 16, 40, 61, 8};
        int channel = 0;
        for (uint32_t program : programs) {
            if (channel == 9) ++channel;
            Msg(0xC0 | channel, program, 0);
            ++channel;
        }
        channel = 0;
        for (int v = 0; v < kFmUsableVoices; ++v) {
            if (channel == 9) ++channel;
            Msg(0x90 | channel, 36 + (v * 7) % 60, 100);
            channel = channel == 15 ? 0 : channel + 1;
        }
        HitAllDrums();
    }
};

void BM_FiveChipsDenseSecond(benchmark::State& state) {
    FmRig rig;
    rig.StartDenseSong();
    int64_t sink = 0;
    uint32_t nextHit = 0;
    for (auto _ : state) {
        sink += RenderSecond(rig.module, [&](uint32_t frame) {
            // Keep the drums sounding: ten hits a second.
            if (frame < nextHit) return;
            rig.HitAllDrums();
            nextHit = frame + kRate / 10;
        });
        nextHit = 0;
    }
    benchmark::DoNotOptimize(sink);
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FiveChipsDenseSecond)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_FiveChipsSilentSecond(benchmark::State& state) {
    FmRig rig;
    int64_t sink = 0;
    for (auto _ : state) sink += RenderSecond(rig.module, [](uint32_t) {});
    benchmark::DoNotOptimize(sink);
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FiveChipsSilentSecond)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
}  // namespace zeblo

BENCHMARK_MAIN();
