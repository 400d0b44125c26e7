// Working values derived from the settings record at start-up.
#pragma once

#include <atomic>
#include <cstdint>

namespace zeblo {

// Fixed for the whole run except the atomics, which the user-interface thread refreshes from the
// record when the Preferences dialog closes while the render thread reads them: the two active
// sets at every note, the output switches and the cut-off at every render call, and the detune
// switch at every module reset.
struct EngineParameters {
    int32_t sampleRate = 44100;
    int32_t blockBytes = 352800;
    int32_t redrawRate = 10;
    int32_t blockCount = 10;
    // Beats per minute until the song's first tempo event: the player's own 180, or 120 as
    // Standard MIDI Files assume.
    uint16_t initialTempoBpm = 180;
    std::atomic<int32_t> activeDrumSet{0};
    std::atomic<int32_t> activeInstrumentSet{0};
    std::atomic<bool> autoDetune{true};
    std::atomic<bool> monauralOutput{false};
    std::atomic<bool> lowPassEnabled{false};
    std::atomic<int32_t> lowPassCutoff{10050};
};

}  // namespace zeblo
