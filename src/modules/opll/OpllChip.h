// One emulated two-operator FM chip: nine channels, a register file, 19 patch pairs, and a
// sample generator that runs straight at the output rate on the shared tables.
//
// Threads: everything here runs on the render thread (or on a thread holding the sequencer lock
// while the render thread is held). A chip is used by one thread at a time; OpllNoise is shared by
// all chips and advanced by every OpllCalcSample call.
#pragma once

#include <cstdint>
#include <memory>

#include "modules/opll/OpllConstants.h"
#include "modules/opll/OpllPatch.h"
#include "modules/opll/OpllTables.h"

namespace zeblo {

// The process-wide 16-bit noise register. Never reset by the chips.
struct OpllNoise {
    uint32_t value = 0xFFFF;
};

enum OpllEnvState : uint32_t {
    kOpllIdle = 0,
    kOpllAttack = 1,
    kOpllDecay = 2,
    kOpllSustainHold = 3,
    kOpllSustain = 4,
    kOpllRelease = 5,
    kOpllFinished = 6,
};

inline constexpr int32_t kOpllModulatorType = 0;
inline constexpr int32_t kOpllCarrierType = 1;

// Rhythm-mode slots of channels 6-8.
inline constexpr int kOpllSlotBassDrumModulator = 12;
inline constexpr int kOpllSlotBassDrumCarrier = 13;
inline constexpr int kOpllSlotHiHat = 14;
inline constexpr int kOpllSlotSnareDrum = 15;
inline constexpr int kOpllSlotTomTom = 16;
inline constexpr int kOpllSlotTopCymbal = 17;

struct OpllSlot {
    OpllPatch* patch = nullptr;
    int32_t type = kOpllModulatorType;  // a carrier takes its level from volume, else patch TL
    uint32_t updateFlags = 0;
    int32_t output = 0;
    int32_t previousOutput = 0;
    const int32_t* waveTable = nullptr;
    const int32_t* waveShape = nullptr;  // waveTable in the sample loop's form
    uint32_t phase = 0;                  // 18 bits
    uint32_t phaseStep = 0;
    uint32_t phaseIndex = 0;  // phase >> 9
    uint32_t fnum = 0;
    uint32_t block = 0;
    uint32_t volume = 0;  // register volume times 4
    uint32_t sustain = 0;
    int32_t level = 0;  // dB units
    uint32_t rks = 0;
    uint32_t envState = kOpllIdle;
    uint32_t envPhase = 0;  // bit 22 ends the attack; >> 15 is the envelope value
    uint32_t envStep = 0;
    int32_t envOutput = 0;  // 0-255 dB units, 255 = silent

    // Kept by the sample loop: envOutput before tremolo, and whether the envelope is holding still
    // (a sustained tone at its sustain level), in which case both stay until a flag is raised.
    int32_t envBase = 0;
    bool holding = false;
};

struct OpllChannel {
    uint32_t patchNumber = 0;
    uint32_t keyStatus = 0;
    OpllSlot* modulator = nullptr;
    OpllSlot* carrier = nullptr;
};

// Holds pointers into itself: never copied, only created, re-created and destroyed.
struct OpllChip {
    OpllChip() = default;
    OpllChip(const OpllChip&) = delete;
    OpllChip& operator=(const OpllChip&) = delete;

    uint8_t registers[kOpllRegisters] = {};
    uint8_t slotOn[kOpllSlots] = {};
    uint32_t rhythmMode = 0;
    uint32_t vibratoPhase = 0;
    uint32_t vibratoStep = 0;
    int32_t vibratoValue = 0;
    uint32_t tremoloPhase = 0;
    uint32_t tremoloStep = 0;
    int32_t tremoloValue = 0;
    uint32_t noise = 0;  // 0-31, this sample's share of the noise register
    OpllChannel channels[kOpllChannels];
    OpllSlot slots[kOpllSlots];
    OpllPatchPair patches[kOpllPatchPairs];
    int32_t outputGain = 0;
    int32_t rhythmGain = 0;

    const OpllTables* tables = nullptr;
    // Set by a sample in which no melodic channel did audible or stateful work; any register
    // write or reset clears it. While set, later samples skip the melodic channels outright.
    bool melodicQuiet = false;
    bool quietAdvancesTomPhase = false;  // channel 8 was idle: slot 16 still moves its phase
    bool rhythmQuiet = false;            // the same for the five rhythm instruments
    // Quiet with nothing but linear phase movement left: samples then only count themselves, and
    // the next register write applies the LFO and tom-tom steps of all of them at once.
    bool quietLazy = false;
    uint32_t quietSamples = 0;
};

// Null when memory runs out. The chip reads tables until it is destroyed.
std::unique_ptr<OpllChip> OpllCreate(const OpllTables& tables);
// Returns an existing chip to the state OpllCreate gives, without allocating.
void OpllRecreate(OpllChip& chip, const OpllTables& tables);
// Clock and rate come from the tables' last OpllInitTables. Null is ignored.
void OpllReset(OpllChip* chip);
void OpllLoadDefaultPatches(OpllChip& chip);
// Addresses above 0x3F are ignored.
void OpllWriteRegister(OpllChip& chip, uint32_t address, uint32_t value);
// Brings the LFO and tom-tom phases of a quiet chip up to date; register writes do this first.
// Needed only by code that reads those fields between samples.
void OpllSettleQuietSamples(OpllChip& chip);

// The noise register's next value.
inline uint32_t OpllNextNoise(uint32_t value) {
    return ((value & 0x7FFF) << 1) | (((value >> 12) ^ (value >> 15)) & 1);
}

// Advances the chip by one output sample.
int16_t OpllCalcSample(OpllChip& chip, OpllNoise& noise);
// The same sample on the plain render path (see RenderPath.h). Either call may follow the other.
int16_t OpllCalcSamplePlain(OpllChip& chip, OpllNoise& noise);
// Advances the chip by count samples, as count OpllCalcSample calls would, with sample i taking
// noiseShares[i * stride] (the noise register's value >> 11 after that call's advance) as its
// share; the shared register itself is left to the caller.
void OpllCalcRun(OpllChip& chip, const uint8_t* noiseShares, uint32_t stride, int16_t* out,
                 uint32_t count);

}  // namespace zeblo
