// Songs shared by tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>

#include "SmfWriter.h"

namespace zeblo::test {

// One track, division 480: a tempo of 500000 at tick 0 and the end of the track at tick 1920.
// At 44100 Hz it measures 87939 samples and 1926 ticks.
inline tools::SmfBuilder MeasureExampleSong() {
    tools::SmfBuilder smf(0, 480);
    smf.AddTrack().Tempo(0, 500000).EndOfTrack(1920);
    return smf;
}

struct DenseSongOptions {
    uint32_t seconds = 240;
    int melodicTracks = 12;
    uint16_t division = 480;
    uint32_t seed = 1;
};

// A busy format 1 song: a conductor track with a title and tempo changes, melodic tracks with
// programs, controllers, pitch bends and sixteenth-note runs, and a drum track on channel 10.
// Tempo stays near 120 beats per minute, so the song lasts about options.seconds.
inline tools::SmfBuilder DenseSong(const DenseSongOptions& options = {}) {
    uint32_t state = options.seed * 2654435761u + 12345u;
    auto next = [&state](uint32_t range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    const uint32_t quarter = options.division;
    const uint32_t total = options.seconds * 2 * quarter;  // two quarters a second at 120 bpm
    tools::SmfBuilder smf(1, options.division);

    tools::TrackBuilder& conductor = smf.AddTrack();
    conductor.TrackName(0, "Dense test song").Tempo(0, 500000);
    conductor.SysEx(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7});
    for (uint32_t t = 16 * quarter; t < total; t += 16 * quarter) {
        conductor.Tempo(16 * quarter, 480000 + next(40000));
    }
    conductor.EndOfTrack(total - conductor.Tick());

    for (int i = 0; i < options.melodicTracks; ++i) {
        const int ch = i < 9 ? i : i + 1;  // channel 10 is the drums'
        tools::TrackBuilder& track = smf.AddTrack();
        track.TrackName(0, "part " + std::to_string(i));
        track.ProgramChange(0, ch, static_cast<int>(next(128))).ControlChange(0, ch, 7, 100);
        track.ControlChange(0, ch, 10, static_cast<int>(next(128)));
        const uint32_t step = quarter / 4;
        uint32_t t = static_cast<uint32_t>(next(4)) * step;
        while (t + step < total) {
            const int note = 36 + static_cast<int>(next(48));
            track.NoteOn(t - track.Tick(), ch, note, 60 + static_cast<int>(next(60)));
            if (next(8) == 0)
                track.PitchBend(step / 2, ch, static_cast<int>(next(16384)));
            else
                track.ControlChange(step / 2, ch, 11, static_cast<int>(next(128)));
            track.NoteOff(step - step / 2, ch, note);
            t += step * (1 + next(2));
        }
        track.EndOfTrack(total - track.Tick());
    }

    tools::TrackBuilder& drums = smf.AddTrack();
    for (uint32_t t = 0; t + quarter / 2 <= total; t += quarter / 2) {
        const int note = (t / (quarter / 2)) % 2 == 0 ? 36 : 42;
        drums.NoteOn(0, 9, note, 100).NoteOff(quarter / 2, 9, note);
    }
    drums.EndOfTrack(total - drums.Tick());
    return smf;
}

}  // namespace zeblo::test
