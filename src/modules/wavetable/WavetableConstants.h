// Tunable constants of the wavetable module, with their units.
#pragma once

#include <cstdint>

namespace zeblo {

inline constexpr int kWavetableVoiceCount = 45;
inline constexpr int kWaveSteps = 32;             // steps in one waveform cycle
inline constexpr int kWaveformRecordCount = 128;  // built-in records, 33 used
inline constexpr int kInstrumentSetCount = 8;
inline constexpr int kProgramCount = 128;

// Envelope levels are 16-bit shape levels scaled by 16384.
inline constexpr int32_t kEnvelopeLevelScale = 16384;
inline constexpr int32_t kEnvelopeFullLevel = 0x3FFFC000;  // 65535 * 16384

// Release time, in samples, of a note let go while the sustain pedal is down.
inline constexpr uint32_t kPedalReleaseSamples = 25000;

// Staggered note starts, in samples.
inline constexpr int32_t kStartDelayStep = 20;
inline constexpr int32_t kStartDelayLimit = 250;  // the next delay wraps to 0 above this

// Waveform voices above this frequency (Hz) are silent; noise is exempt.
inline constexpr float kHighestWaveFrequency = 22050.0f;

// At this output rate lengths are halved and per-sample rates doubled (Hz).
inline constexpr int32_t kHalfRate = 22050;
inline constexpr int32_t kDefaultVoiceSampleRate = 44100;

// The single-precision value nearest 1/127: velocity and volume scale.
inline constexpr float kLevelScale = 0.007874015718698502f;

inline constexpr uint32_t kRandomSeed = 777;

// The mix: the voice sum is divided by this before master volume (a gain of 0..127, >> 7).
inline constexpr int32_t kVoiceSumDivisor = 3;
inline constexpr int32_t kMasterVolumeShift = 7;

// Box-filter phase: one waveform step is 1024 units, a cycle 32768.
inline constexpr int32_t kPhaseUnitsPerStep = 1024;
inline constexpr double kPhaseUnitsPerCycle = 32768.0;

}  // namespace zeblo
