// Load plus Measure of a dense four-minute song: the work the player does before every start.
// Target: under 20 ms on one core.
#include <benchmark/benchmark.h>

#include <string>

#include "midi/Sequencer.h"
#include "modules/SoundModule.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace {

using namespace zeblo;

class NoteCounter final : public StandardSoundModule {
public:
    virtual ~NoteCounter() = default;
    uint32_t Reset(SoundModuleHandle) override { return 0; }
    uint32_t ShortMsg(SoundModuleHandle, uint32_t message, uint32_t) override {
        if ((message & 0xF0) == 0x90 && (message >> 16) != 0) ++notes;
        return 0;
    }
    uint32_t LongMsg(SoundModuleHandle, MessageHeader*, uint32_t, uint32_t) override { return 0; }
    uint64_t notes = 0;
};

void CountSong(benchmark::State& state, const std::vector<uint8_t>& image) {
    EngineParameters parameters;
    NoteCounter module;
    Sequencer sequencer(parameters);
    sequencer.SetModule(&module);
    sequencer.LoadImage(image);
    uint64_t samples = 0;
    sequencer.Measure(&samples, nullptr);
    state.counters["tracks"] = sequencer.Header().trackCount;
    state.counters["song_s"] = static_cast<double>(samples) / parameters.sampleRate;
    state.counters["bytes"] = static_cast<double>(image.size());
    state.counters["notes"] = static_cast<double>(module.notes);
}

void BM_LoadFileAndMeasureDenseSong(benchmark::State& state) {
    const std::vector<uint8_t> image =
        test::DenseSong({.seconds = 240, .melodicTracks = 14}).Build();
    test::TempDir dir;
    const std::string path = dir.File("dense.mid");
    if (!tools::SmfBuilder::WriteBytes(path, image)) {
        state.SkipWithError("cannot write the song");
        return;
    }
    EngineParameters parameters;
    SilentModule module;
    Sequencer sequencer(parameters);
    sequencer.SetModule(&module);
    for (auto _ : state) {
        uint64_t samples = 0;
        uint64_t ticks = 0;
        if (!sequencer.LoadFile(path.c_str()) || !sequencer.Measure(&samples, &ticks)) {
            state.SkipWithError("the song did not load");
            return;
        }
        benchmark::DoNotOptimize(samples);
    }
    CountSong(state, image);
}
BENCHMARK(BM_LoadFileAndMeasureDenseSong)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
