// Lookup tables every emulated chip reads, built once for a clock and an output rate, and the
// built-in instrument tones decoded into default patch pairs.
//
// Threads: OpllInitTables runs on whichever thread resets the FM module (render, authoring, or the
// user-interface thread under the sequencer lock), never while a chip generates samples. The
// tables are read-only for sample generation on the render thread.
#pragma once

#include <array>
#include <cstdint>

#include "modules/opll/OpllConstants.h"
#include "modules/opll/OpllPatch.h"

namespace zeblo {

// About 400 KB: owners allocate it on the heap. Not copyable, since waveTables points into it.
struct OpllTables {
    OpllTables() = default;
    OpllTables(const OpllTables&) = delete;
    OpllTables& operator=(const OpllTables&) = delete;

    uint32_t clock = 0;  // Hz, as given to the last OpllInitTables
    int32_t rate = 0;    // output rate in Hz; 0 until the first build

    std::array<int32_t, 256> vibrato{};      // 256ths of the phase step, 253-258
    std::array<int32_t, 256> tremolo{};      // dB units (0.1875 dB), 0-25
    std::array<int32_t, 256> db2lin{};       // dB units to linear, 512 at 0, 0 at 255
    std::array<int32_t, 128> attackCurve{};  // attack position to envelope value
    std::array<int32_t, 512> fullSine{};     // signed: |s| - 1 is the attenuation, 256 = silent
    std::array<int32_t, 512> halfSine{};
    uint32_t phaseStep[512][8][16] = {};         // [fnum][block][ML]
    uint32_t attackRate[16][16] = {};            // [AR][rks]
    uint32_t decayRate[16][16] = {};             // [rate][rks]
    uint32_t rateScale[2][8][2] = {};            // [fnum >> 8][block][KR]
    int32_t level[16][8][64][4] = {};            // [fnum >> 5][block][TL][KL], dB units
    std::array<uint32_t, 16> sustainLevel{};     // envelope phase at which decay stops
    std::array<const int32_t*, 2> waveTables{};  // by WF

    // The same contents arranged for the sample loop: db2lin continued with zeros, so that sums of
    // attenuations need no clamp, and each wave entry s as the attenuation it adds (s - 1, or
    // 1 - s for the negative half) with its sign in bit 31.
    std::array<int32_t, 1024> db2linWide{};
    std::array<int32_t, 512> fullSineShape{};
    std::array<int32_t, 512> halfSineShape{};
    std::array<const int32_t*, 2> waveShapes{};
    std::array<OpllPatchPair, kOpllPatchPairs> defaultPatches{};
};

// Register images (0x00-0x07 layout) of patch pairs 1-18.
extern const uint8_t BuiltInTones[kOpllBuiltInTones][8];

// Replaces every table for this clock and rate (rate within kOpllMinRateHz..kOpllMaxRateHz).
void OpllInitTables(OpllTables& tables, uint32_t clock, int32_t rate);

// Fills a pair from 8 bytes in the 0x00-0x07 register layout; flags are left alone.
void OpllDecodeTone(const uint8_t* tone, OpllPatchPair& pair);

}  // namespace zeblo
