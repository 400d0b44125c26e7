// Whole-song render speed, as authoring renders: a dense four-minute General MIDI song (12 tracks,
// about 6000 notes, sustained pads and chords over bass, arpeggios, melodies and drums) through
// the render loop in 20000-frame chunks with either engine, on one core. Targets: the wavetable
// engine at least 500 times faster than real time, the FM engine at least 200 times.
//
//   bench_render                      runs the benchmark ("realtime_x" is the speed)
//   bench_render --write-song PATH    writes the song, for zeblo-cli render or a profiler
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

#include "SmfWriter.h"
#include "engine/EngineContext.h"
#include "engine/RenderConstants.h"
#include "engine/Renderer.h"
#include "settings/Settings.h"

namespace zeblo {
namespace {

constexpr int kBars = 120;  // 4/4 at 120 beats per minute: 240 seconds
constexpr uint32_t kDivision = 480;
constexpr uint32_t kBar = 4 * kDivision;

struct Part {
    int channel;
    int program;
    int volume;
    int pan;
};

// Chord roots of an eight-bar progression, as semitones above C.
constexpr int kProgression[8] = {0, 9, 5, 7, 0, 4, 5, 7};
constexpr int kMajorChord[4] = {0, 4, 7, 12};
constexpr int kScale[7] = {0, 2, 4, 5, 7, 9, 11};

class Random {
public:
    uint32_t Next(uint32_t range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    }

private:
    uint32_t state = 20240611u;
};

tools::TrackBuilder& StartPart(tools::SmfBuilder& smf, const Part& part, const char* name) {
    tools::TrackBuilder& track = smf.AddTrack();
    track.TrackName(0, name)
        .ProgramChange(0, part.channel, part.program)
        .ControlChange(0, part.channel, 7, part.volume)
        .ControlChange(0, part.channel, 10, part.pan)
        .ControlChange(0, part.channel, 11, 127);
    return track;
}

// Notes at absolute ticks: each track's events are added in time order.
void Note(tools::TrackBuilder& track, int channel, uint32_t at, uint32_t length, int note,
          int velocity) {
    track.NoteOn(at - track.Tick(), channel, note, velocity);
    track.NoteOff(length, channel, note);
}

void Chord(tools::TrackBuilder& track, int channel, uint32_t at, uint32_t length, int root,
           int count, int velocity) {
    for (int i = 0; i < count; ++i)
        track.NoteOn(i == 0 ? at - track.Tick() : 0, channel, root + kMajorChord[i], velocity);
    for (int i = 0; i < count; ++i)
        track.NoteOff(i == 0 ? length : 0, channel, root + kMajorChord[i]);
}

std::vector<uint8_t> DenseGmSong(int* noteCount) {
    tools::SmfBuilder smf(1, kDivision);
    Random random;
    int notes = 0;
    const uint32_t end = kBars * kBar;

    tools::TrackBuilder& conductor = smf.AddTrack();
    conductor.TrackName(0, "Dense render benchmark").Tempo(0, 500000);
    conductor.SysEx(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7});
    conductor.EndOfTrack(end);

    const auto root = [](int bar) { return kProgression[bar % 8]; };

    auto& bass = StartPart(smf, {0, 33, 110, 64}, "bass");
    for (int bar = 0; bar < kBars; ++bar)
        for (int i = 0; i < 8; ++i, ++notes)
            Note(bass, 0, bar * kBar + i * 240, 200, 36 + root(bar) + (i % 4 == 3 ? 7 : 0),
                 90 + static_cast<int>(random.Next(30)));

    auto& pad = StartPart(smf, {1, 89, 80, 40}, "pad");
    for (int bar = 0; bar < kBars; ++bar, notes += 4)
        Chord(pad, 1, bar * kBar, kBar - 10, 60 + root(bar), 4, 70);

    auto& strings = StartPart(smf, {2, 48, 90, 90}, "strings");
    for (int bar = 0; bar < kBars; ++bar)
        for (int half = 0; half < 2; ++half, notes += 3)
            Chord(strings, 2, bar * kBar + half * 960, 940, 55 + root(bar), 3, 80);

    auto& arpeggio = StartPart(smf, {3, 81, 85, 20}, "arpeggio");
    for (int bar = 0; bar < kBars; ++bar)
        for (int i = 0; i < 8; ++i, ++notes)
            Note(arpeggio, 3, bar * kBar + i * 240, 180, 72 + root(bar) + kMajorChord[i % 4], 80);

    auto& lead = StartPart(smf, {4, 73, 100, 64}, "lead");
    for (int bar = 0; bar < kBars; ++bar) {
        for (int i = 0; i < 4; ++i, ++notes) {
            const int step = static_cast<int>(random.Next(7));
            Note(lead, 4, bar * kBar + i * 480, 400, 72 + kScale[step], 100);
        }
        lead.PitchBend(0, 4, 8192 + static_cast<int>(random.Next(1024)));
        lead.PitchBend(10, 4, 8192);
    }

    auto& counter = StartPart(smf, {5, 11, 85, 100}, "counter");
    for (int bar = 0; bar < kBars; ++bar)
        for (int i = 0; i < 2; ++i, ++notes)
            Note(counter, 5, bar * kBar + i * 960 + 480, 700, 67 + kScale[random.Next(7)], 90);

    auto& piano = StartPart(smf, {6, 0, 95, 50}, "piano");
    for (int bar = 0; bar < kBars; ++bar, notes += 3) {
        piano.ControlChange(bar * kBar - piano.Tick(), 6, 64, 127);
        Chord(piano, 6, bar * kBar, 600, 48 + root(bar), 3, 85);
        piano.ControlChange(kBar - 700, 6, 64, 0);
    }

    auto& brass = StartPart(smf, {7, 61, 95, 80}, "brass");
    for (int bar = 0; bar < kBars; ++bar, notes += 3)
        Chord(brass, 7, bar * kBar + 1440, 300, 60 + root(bar), 3, 105);

    auto& guitar = StartPart(smf, {8, 25, 90, 30}, "guitar");
    for (int bar = 0; bar < kBars; ++bar)
        for (int i = 0; i < 4; ++i, ++notes) {
            Note(guitar, 8, bar * kBar + i * 480, 440, 52 + root(bar) + kMajorChord[i % 3], 75);
            guitar.ControlChange(0, 8, 11, 100 + static_cast<int>(random.Next(28)));
        }

    auto& organ = StartPart(smf, {10, 16, 70, 110}, "organ");
    for (int bar = 0; bar < kBars; ++bar)
        for (int half = 0; half < 2; ++half, ++notes)
            Note(organ, 10, bar * kBar + half * 960, 900, 64 + root(bar), 70);

    tools::TrackBuilder& drums = smf.AddTrack();
    drums.TrackName(0, "drums");
    for (int bar = 0; bar < kBars; ++bar) {
        for (int beat = 0; beat < 4; ++beat) {
            const uint32_t at = bar * kBar + beat * 480;
            drums.NoteOn(at - drums.Tick(), 9, 36, 110);
            drums.NoteOn(0, 9, 42, 80);
            notes += 2;
            if (beat % 2 == 1) {
                drums.NoteOn(0, 9, 38, 105);
                ++notes;
            }
            drums.NoteOff(120, 9, 36).NoteOff(0, 9, 42);
            if (beat % 2 == 1) drums.NoteOff(0, 9, 38);
        }
    }

    for (std::size_t i = 1; i < smf.TrackCount(); ++i) {
        tools::TrackBuilder& track = smf.TrackAt(i);
        track.EndOfTrack(end + kBar > track.Tick() ? end + kBar - track.Tick() : 0);
    }
    if (noteCount != nullptr) *noteCount = notes;
    return smf.Build();
}

void RenderDenseSong(benchmark::State& state) {
    const int32_t engine = static_cast<int32_t>(state.range(0));
    int notes = 0;
    const std::vector<uint8_t> song = DenseGmSong(&notes);
    SettingsRecord record = DefaultSettings();
    EngineParameters parameters;
    ComputeEngineParameters(record, parameters);
    std::vector<uint32_t> chunk(kAuthoringChunkFrames);
    uint64_t frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // Fresh state for every pass, as the command-line renderer has for every song.
        auto context = std::make_unique<EngineContext>(parameters);
        context->engineFlag = engine;
        auto renderer = std::make_unique<Renderer>(*context);
        SoundModule& module = context->SelectedModule();
        module.Reset(0);
        context->sequencer.SetModule(&module);
        context->sequencer.SetLoop(false);
        if (!context->sequencer.LoadImage(song)) {
            state.SkipWithError("the song did not load");
            break;
        }
        context->sequencer.Start();
        context->sequencer.Advance(true);
        frames = 0;
        state.ResumeTiming();
        for (;;) {
            const uint32_t got = renderer->Render(chunk.data(), kAuthoringChunkFrames, false);
            frames += got;
            if (got < kAuthoringChunkFrames) break;
        }
        benchmark::DoNotOptimize(chunk.data());
    }
    const double seconds = static_cast<double>(frames) / parameters.sampleRate;
    state.counters["audio_s"] = seconds;
    state.counters["notes"] = notes;
    state.counters["tracks"] = 12;
    state.counters["realtime_x"] = benchmark::Counter(
        seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(RenderDenseSong)
    ->ArgName("engine")
    ->Arg(kEngineWavetable)
    ->Arg(kEngineOpll)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace zeblo

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-song") == 0) {
        int notes = 0;
        const std::vector<uint8_t> song = zeblo::DenseGmSong(&notes);
        if (!zeblo::tools::SmfBuilder::WriteBytes(argv[2], song)) {
            std::cerr << "cannot write " << argv[2] << "\n";
            return 1;
        }
        std::cout << argv[2] << ": " << notes << " notes\n";
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
