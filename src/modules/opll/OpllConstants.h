// Fixed numbers of the FM voice: chip clock, sizes and the gains the chips are built with.
#pragma once

#include <cstdint>

namespace zeblo {

inline constexpr uint32_t kOpllClockHz = 3579545;  // every emulated chip runs from this clock

// Output rates the tables are built for; outside this range the envelope and phase steps no
// longer fit their accumulators, so the module stays silent instead.
inline constexpr int32_t kOpllMinRateHz = 8000;
inline constexpr int32_t kOpllMaxRateHz = 192000;

inline constexpr int kOpllChannels = 9;       // per chip
inline constexpr int kOpllSlots = 18;         // two operators per channel
inline constexpr int kOpllPatchPairs = 19;    // user tone, 15 instruments, 3 rhythm tones
inline constexpr int kOpllBuiltInTones = 18;  // pairs 1-18
inline constexpr int kOpllRegisters = 64;     // 0x00-0x3F

inline constexpr int32_t kOpllOutputGain = 64;  // set at creation, never changed
inline constexpr int32_t kOpllRhythmGain = 64;

// The module: five chips, nine voices on each of the four melodic ones.
inline constexpr int kOpllChipCount = 5;
inline constexpr int kOpllRhythmChip = 4;
inline constexpr int kFmVoiceRecords = 36;  // record i plays chip i / 9, channel i % 9
inline constexpr int kFmUsableVoices = 35;  // the last record is never allocated
inline constexpr int kFmMidiChannels = 16;  // both ports share these

}  // namespace zeblo
