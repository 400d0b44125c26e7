// The parameters of one operator, and a modulator/carrier pair of them.
//
// Threads: written by register writes and read by sample generation, both on the render thread.
#pragma once

#include <cstdint>

namespace zeblo {

// Derived values a register write has made stale; sample generation recomputes them.
inline constexpr uint32_t kOpllUpdatePhaseStep = 1;
inline constexpr uint32_t kOpllUpdateEnvelopeRate = 2;
inline constexpr uint32_t kOpllUpdateLevel = 4;
inline constexpr uint32_t kOpllUpdateKeyScaleRate = 8;
inline constexpr uint32_t kOpllUpdateWaveTable = 16;
inline constexpr uint32_t kOpllUpdateAll = 31;

struct OpllPatch {
    uint32_t tl = 0;  // total level, 0.75 dB steps (modulator only)
    uint32_t fb = 0;  // feedback depth (modulator only)
    uint32_t eg = 0;  // 1 = sustained tone, 0 = percussive
    uint32_t ml = 0;  // frequency multiple index
    uint32_t ar = 0;
    uint32_t dr = 0;
    uint32_t sl = 0;
    uint32_t rr = 0;
    uint32_t kr = 0;  // key scale of rate
    uint32_t kl = 0;  // key scale of level
    uint32_t am = 0;  // tremolo on
    uint32_t pm = 0;  // vibrato on
    uint32_t wf = 0;  // 0 = full sine, 1 = half sine
    uint32_t updateFlags = 0;
};

struct OpllPatchPair {
    OpllPatch modulator;
    OpllPatch carrier;
};

}  // namespace zeblo
