// Wavetable module cost: one second of output (44100 frames) in the render loop's longest runs,
// through the run path it uses, with 45, 8 and 0 voices sounding. Targets: 45 voices within
// 15 ms, 8 voices within 3 ms, on one core.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "engine/RenderConstants.h"
#include "modules/ModuleSharedState.h"
#include "modules/SoundModule.h"
#include "modules/wavetable/Mt19937.h"
#include "modules/wavetable/WavetableModule.h"
#include "settings/EngineParameters.h"

namespace zeblo {
namespace {

constexpr uint32_t kFramesPerSecond = 44100;

struct Rig {
    Rig() {
        params.autoDetune = true;
        module = std::make_unique<WavetableModule>(params, shared, random);
    }
    void Send(uint32_t status, uint32_t data1, uint32_t data2) {
        module->ShortMsg(kOpenModuleHandle, PackShortMsg(status, data1, data2), 0);
    }
    // Held notes spread over the keyboard and over programs whose envelopes hold their level:
    // plain, attack-then-hold, square and triangle waveforms, one noise program.
    void StartNotes(int count) {
        module->Reset(0);
        constexpr int kPrograms[] = {80,  16, 56,  81, 40, 61, 90, 48,
                                     126, 64, 100, 20, 72, 30, 54, 66};
        for (int ch = 0; ch < 16; ++ch) Send(0xC0 | ch, kPrograms[ch], 0);
        for (int i = 0; i < count; ++i) {
            const int ch = i % 16 == 9 ? 15 : i % 16;
            Send(0x90 | ch, 36 + i, 100);
        }
    }
    int Sounding() const {
        int n = 0;
        for (int i = 0; i < kWavetableVoiceCount; ++i)
            n += module->Slot(i).voice.idle == 0 || module->Slot(i).voice.transitionPending != 0;
        return n;
    }

    EngineParameters params;
    ModuleSharedState shared;
    Mt19937 random;
    std::unique_ptr<WavetableModule> module;
};

void RenderOneSecond(benchmark::State& state) {
    const int voices = static_cast<int>(state.range(0));
    Rig rig;
    int64_t checksum = 0;
    int32_t left[kMixRunFrames];
    int32_t right[kMixRunFrames];
    for (auto _ : state) {
        rig.StartNotes(voices);
        for (uint32_t frame = 0; frame < kFramesPerSecond;) {
            const uint32_t run = std::min(kMixRunFrames, kFramesPerSecond - frame);
            rig.module->RenderRun(left, right, run);
            checksum += left[run - 1] ^ right[0];
            frame += run;
        }
        if (rig.Sounding() != voices) {
            state.SkipWithError("not every voice kept sounding");
            break;
        }
    }
    benchmark::DoNotOptimize(checksum);
    state.counters["realtime_x"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(RenderOneSecond)->Arg(45)->Arg(8)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zeblo

BENCHMARK_MAIN();
