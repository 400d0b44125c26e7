// The drum table of the wavetable module: sound-generator style hits of square waves and noise.
// Constant data: any thread may read it.
#pragma once

#include <cstdint>

namespace zeblo {

// Lengths are in samples at 44100 or 48000 Hz and per-sample rates are for those rates; the
// voice halves and doubles them at 22050 Hz.
struct DrumHit {
    int32_t kind;       // 3 drum square wave, 4 noise
    int32_t pitchNote;  // kDrumKeyAsPitch: the key itself
    int32_t length;
    bool givesDecay;  // false: the default decay stays
    float decayRate;  // amplitude change per sample
    float sweep;      // cents per sample, 0 = none
    float gain;
    bool secondVoice;  // the snare's body: a second square-wave voice
};

inline constexpr int32_t kDrumKeyAsPitch = -1;

// The row that a hit uses, by the channel's program and the key, first match in table order.
const DrumHit& FindDrumHit(int32_t program, int32_t key);

// Defaults of every hit before its row applies.
inline constexpr int32_t kDrumDefaultLength = 5;
inline constexpr float kDrumDefaultDecay = -0.005f;
inline constexpr float kDrumDefaultGain = 1.2f;

// The snare's second voice.
inline constexpr int32_t kSnareBodyNote = 63;
inline constexpr int32_t kSnareBodyLength = 1200;
inline constexpr float kSnareBodySweep = -0.6f;
inline constexpr float kSnareBodyGain = 0.9f;

}  // namespace zeblo
