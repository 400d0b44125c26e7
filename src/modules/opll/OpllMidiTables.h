// Fixed tables of the MIDI-to-FM mapping.
#pragma once

#include <cstdint>

namespace zeblo {

// GM programs 0-126 to the chip instrument number in bits 4-7.
extern const uint8_t ProgramToInstrument[127];

// Note-level multiplier by chip instrument (single precision).
extern const float InstrumentLevelFactor[16];

// A level's attenuation is the index of the first threshold it exceeds.
extern const int32_t LevelThresholds[15];

// Note frequencies: octave bases 0-19 (Hz) and the ratios of semitones 1-11 (single precision).
extern const float NoteOctaveBase[20];
extern const float NoteSemitoneRatio[11];
inline constexpr float kNoteDefaultFrequency = 261.63f;  // octaves outside the table

}  // namespace zeblo
