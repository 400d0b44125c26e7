// Constant tables of the wavetable module. Read-only data: any thread may read them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "modules/wavetable/WavetableConstants.h"

namespace zeblo {

// One single-cycle waveform, laid out as the 72-byte little-endian record.
struct WaveformRecord {
    int32_t amplitudeMultiplier;  // applied to every step on expansion
    int32_t octaveShift;          // added to the octave of every note played with it
    char name[32];                // ASCII, NUL-padded
    int8_t samples[kWaveSteps];   // one cycle in playing order
};
static_assert(sizeof(WaveformRecord) == 72);
static_assert(offsetof(WaveformRecord, name) == 8);
static_assert(offsetof(WaveformRecord, samples) == 40);

// Times in output samples (whatever the rate); levels 0..65535 of full scale.
struct EnvelopeShape {
    uint32_t attack;
    uint32_t decay;  // from full scale down to the sustain level
    uint32_t sustainLevel;
    uint32_t sustainTime;  // from the sustain level to zero while held; 0 = hold
    uint32_t release;      // from the current level to zero; 0 = stop at once
};
static_assert(sizeof(EnvelopeShape) == 20);

extern const std::array<WaveformRecord, kWaveformRecordCount> kWaveformRecords;

// Waveform index by instrument set and program.
extern const std::array<std::array<int32_t, kProgramCount>, kInstrumentSetCount>
    kInstrumentSetTable;

// The names the Preferences dialog offers, in set order.
extern const std::array<const char*, kInstrumentSetCount> kInstrumentSetNames;

// Indexed by program.
extern const std::array<EnvelopeShape, kProgramCount> kEnvelopeShapes;

// Octave table: 2^(i - 7); index 7 is the octave of notes 60..71.
inline constexpr int kOctaveCount = 29;
inline constexpr std::array<float, kOctaveCount> kOctaveTable = [] {
    std::array<float, kOctaveCount> table{};
    float value = 0.0078125f;
    for (float& entry : table) {
        entry = value;
        value *= 2.0f;
    }
    return table;
}();

// Equal-tempered semitone ratios to six decimals.
inline constexpr std::array<float, 12> kSemitoneTable = {
    1.0f,      1.059463f, 1.122462f, 1.189207f, 1.259921f, 1.334840f,
    1.414214f, 1.498307f, 1.587401f, 1.681793f, 1.781797f, 1.887749f,
};

// Frequency of note 60, Hz.
inline constexpr float kReferenceFrequency = 261.63f;

// One cycle of a full-scale square wave, played by kind-3 drum hits.
inline constexpr std::array<int32_t, kWaveSteps> kDrumSquare = [] {
    std::array<int32_t, kWaveSteps> table{};
    for (int i = 0; i < kWaveSteps; ++i) table[i] = i < kWaveSteps / 2 ? 32000 : -32000;
    return table;
}();

}  // namespace zeblo
