// The steps of the per-sample generator, shared by its sample and run forms (OpllCalcSample.cpp,
// OpllCalcRun.cpp). Table lookups, adds and shifts only; derived values are recomputed
// only when a register write has flagged them. Work whose result cannot differ is skipped, which
// leaves the output bit-identical:
// - slots idle since reset, or finished, stay silent until a register write wakes them, and the
//   key-on that wakes them resets their phase (the tom-tom's phase, which the hi-hat and cymbal
//   read, is the one kept moving);
// - a held envelope (sustain level of a sustained tone) keeps its value until a flag is raised;
// - a chip with nothing left to do but move phases counts its samples, and the next register
//   write applies the LFO and tom-tom steps of all of them at once.
// The slots' tremolo and vibrato sources are the chip's own LFO values, read through a per-sample
// lookup indexed by the patch's AM and PM bits.
//
// Threads: as OpllChip.h: a chip is stepped by one thread at a time.
#pragma once

#include "modules/opll/OpllChip.h"

namespace zeblo::opll_detail {

inline int32_t Clamp255(int32_t x) {
    return x < 255 ? x : 255;
}

inline uint32_t EnvelopeRate(const OpllSlot& s, const OpllTables& t) {
    const OpllPatch& p = *s.patch;
    switch (s.envState) {
        case kOpllAttack:
            return t.attackRate[p.ar][s.rks];
        case kOpllDecay:
            return t.decayRate[p.dr][s.rks];
        case kOpllSustain:
            return t.decayRate[p.rr][s.rks];
        case kOpllRelease:
            if (s.sustain) return t.decayRate[5][s.rks];
            return p.eg ? t.decayRate[p.rr][s.rks] : t.decayRate[7][s.rks];
        default:
            return 0;
    }
}

// Recomputes what the flags mark stale. The envelope rate uses the key-scale rate from before
// this update when both are pending.
inline void UpdateSlot(OpllSlot& s, uint32_t flags, const OpllTables& t) {
    const OpllPatch& p = *s.patch;
    if (flags & kOpllUpdatePhaseStep) s.phaseStep = t.phaseStep[s.fnum][s.block][p.ml];
    if (flags & kOpllUpdateEnvelopeRate) s.envStep = EnvelopeRate(s, t);
    if (flags & kOpllUpdateLevel) {
        const uint32_t v = s.type == kOpllCarrierType ? s.volume : p.tl;
        s.level = t.level[s.fnum >> 5][s.block][v][p.kl];
    }
    if (flags & kOpllUpdateKeyScaleRate) s.rks = t.rateScale[s.fnum >> 8][s.block][p.kr];
    if (flags & kOpllUpdateWaveTable) {
        s.waveTable = t.waveTables[p.wf];
        s.waveShape = t.waveShapes[p.wf];
    }
    s.updateFlags = 0;
}

// One envelope step; returns the envelope value 0-128 in two-dB-unit steps.
inline int32_t EnvelopeValue(OpllSlot& s, const OpllTables& t) {
    switch (s.envState) {
        case kOpllAttack:
            s.envPhase += s.envStep;
            if (s.envPhase & 0x400000) {
                s.envPhase = 0;
                s.envState = kOpllDecay;
                s.updateFlags |= kOpllUpdateEnvelopeRate;
                return 0;
            }
            return t.attackCurve[(s.envPhase >> 15) & 127];
        case kOpllDecay: {
            s.envPhase += s.envStep;
            const uint32_t sustainLevel = t.sustainLevel[s.patch->sl];
            if (s.envPhase >= sustainLevel) {
                s.envPhase = sustainLevel;
                s.envState = s.patch->eg ? kOpllSustainHold : kOpllSustain;
                s.updateFlags |= kOpllUpdateEnvelopeRate;
            }
            return static_cast<int32_t>(s.envPhase >> 15);
        }
        case kOpllSustainHold:
            if (!s.patch->eg) {
                s.envState = kOpllSustain;
                s.updateFlags |= kOpllUpdateEnvelopeRate;
            }
            return static_cast<int32_t>(s.envPhase >> 15);
        case kOpllSustain:
        case kOpllRelease: {
            s.envPhase += s.envStep;
            const uint32_t e = s.envPhase >> 15;
            if (e >= 128) {
                s.envState = kOpllFinished;
                return 127;
            }
            return static_cast<int32_t>(e);
        }
        default:
            return 127;
    }
}

// This sample's LFO values indexed by the patch's AM and PM bits. A vibrato factor of 256 leaves
// the step unchanged: steps stay below 2^24 at every supported rate, so the product fits 32 bits.
struct LfoLookup {
    int32_t tremolo[2];
    uint32_t vibrato[2];
};

inline LfoLookup MakeLfoLookup(const OpllChip& chip) {
    return {{0, chip.tremoloValue}, {256, static_cast<uint32_t>(chip.vibratoValue)}};
}

inline void AdvancePhase(OpllSlot& s, const LfoLookup& lfo) {
    const uint32_t step = (lfo.vibrato[s.patch->pm] * s.phaseStep) >> 8;
    s.phase = (s.phase + step) & 0x3FFFF;
    s.phaseIndex = s.phase >> 9;
}

// Update, envelope and phase of a melodic or bass-drum slot. kPatchFlags: whether the slot's patch
// may carry flags this sample (only pair 0 ever does, in the sample after a user-tone write).
template <bool kPatchFlags>
inline void MelodicSlotTurn(OpllSlot& s, const OpllTables& t, const LfoLookup& lfo) {
    uint32_t flags = s.updateFlags;
    if constexpr (kPatchFlags) flags |= s.patch->updateFlags;
    if (flags == 0 && s.holding) {
        // A held envelope neither moves nor changes state, and without flags the level stays.
        s.envOutput = Clamp255(s.envBase + lfo.tremolo[s.patch->am]);
    } else {
        if (flags) UpdateSlot(s, flags, t);
        const int32_t e = EnvelopeValue(s, t);
        s.envBase = e * 2 + 1 + s.level;
        s.holding = s.envState == kOpllSustainHold;  // a percussive tone never stays there
        s.envOutput = Clamp255(s.envBase + lfo.tremolo[s.patch->am]);
    }
    AdvancePhase(s, lfo);
}

// Hi-hat, snare drum, tom-tom and cymbal: no tremolo, no vibrato, and their patches never carry
// flags.
inline void RhythmSlotTurn(OpllSlot& s, const OpllTables& t) {
    if (s.updateFlags) UpdateSlot(s, s.updateFlags, t);
    const int32_t e = EnvelopeValue(s, t);
    s.envOutput = Clamp255(e * 2 + 1 + s.level);
    if (!s.patch->pm) s.phase = (s.phase + s.phaseStep) & 0x3FFFF;
    s.phaseIndex = s.phase >> 9;
}

// s >= 1: +db2lin[a + s - 1]; s <= 0: -db2lin[a - s + 1], so negative half-waves come out two dB
// units quieter. Without branches (the sign of a modulated wave is unpredictable), on the wave's
// shape entry and the unclamped db2lin.
inline int32_t OperatorOutput(int32_t shape, int32_t a, const int32_t* db2linWide) {
    const int32_t negative = shape >> 31;
    const int32_t v = db2linWide[a + (shape & 0x3FF)];
    return (v ^ negative) - negative;
}

inline void ModulatorOutput(OpllSlot& s, const int32_t* db2lin) {
    if (s.envOutput == 255) {
        s.previousOutput = s.output;
        s.output = 0;
        return;
    }
    uint32_t index = s.phaseIndex;
    const uint32_t fb = s.patch->fb;
    if (fb != 0) {
        const int32_t feedback = ((s.previousOutput + s.output) & ~1) >> (7 - fb);
        index = (static_cast<uint32_t>(feedback) + s.phaseIndex) & 0x1FF;
    }
    const int32_t shape = s.waveShape[index];
    s.previousOutput = s.output;
    s.output = OperatorOutput(shape, s.envOutput, db2lin);
}

inline int32_t CarrierOutput(const OpllSlot& s, int32_t modulation, const int32_t* db2lin) {
    if (s.envOutput == 255) return 0;
    const uint32_t index = (s.phaseIndex + static_cast<uint32_t>(modulation) * 4u) & 0x1FF;
    return OperatorOutput(s.waveShape[index], s.envOutput, db2lin);
}

// Modulator into carrier, as every melodic channel and the bass drum play.
template <bool kPatchFlags>
inline int32_t TwoOperatorTurn(OpllSlot& mod, OpllSlot& car, const OpllTables& t,
                               const LfoLookup& lfo) {
    MelodicSlotTurn<kPatchFlags>(mod, t, lfo);
    ModulatorOutput(mod, t.db2linWide.data());
    MelodicSlotTurn<kPatchFlags>(car, t, lfo);
    return CarrierOutput(car, mod.output, t.db2linWide.data());
}

// Both slots asleep since reset (which zeroed their outputs) with nothing pending: silent now and
// until a register write wakes them.
inline bool IdleAndSettled(const OpllSlot& mod, const OpllSlot& car) {
    if (car.envState != kOpllIdle || mod.envState != kOpllIdle) return false;
    return (mod.updateFlags | car.updateFlags | mod.patch->updateFlags | car.patch->updateFlags) ==
           0;
}

template <bool kPatchFlags>
int32_t MelodicChannels(OpllChip& chip, const OpllTables& t, const LfoLookup& lfo) {
    if (chip.melodicQuiet) {
        if (chip.quietAdvancesTomPhase) AdvancePhase(chip.slots[kOpllSlotTomTom], lfo);
        return 0;
    }
    int32_t m = 0;
    bool quiet = true;
    bool tomPhase = false;
    const int count = chip.rhythmMode ? 6 : 9;
    for (int c = 0; c < count; ++c) {
        OpllSlot& mod = chip.slots[2 * c];
        OpllSlot& car = chip.slots[2 * c + 1];
        if (car.envState == kOpllFinished) continue;
        if (IdleAndSettled(mod, car)) {
            if (c == 8) {
                AdvancePhase(mod, lfo);
                tomPhase = true;
            }
            continue;
        }
        quiet = false;
        m += TwoOperatorTurn<kPatchFlags>(mod, car, t, lfo);
    }
    chip.melodicQuiet = quiet;
    chip.quietAdvancesTomPhase = tomPhase;
    return m;
}

// Hi-hat and cymbal: the tom-tom's phase and the noise ring-modulate a square-ish wave.
inline int32_t MetallicOutput(const OpllSlot& s, int32_t p, int32_t noise, const OpllTables& t) {
    const int32_t a = s.envOutput;
    if (a == 255) return 0;
    const int32_t q = t.fullSine[(s.phaseIndex + static_cast<uint32_t>(p) * 4u) & 0x1FF];
    const int32_t* db2lin = t.db2lin.data();
    if (q >= 1) return db2lin[Clamp255(a + noise + q + 31)] + db2lin[Clamp255(4 * a)];
    return db2lin[Clamp255(4 * a)] - db2lin[Clamp255(a + noise - q + 33)];
}

inline bool RhythmSlotAsleep(const OpllSlot& s) {
    return s.envState == kOpllFinished || (s.envState == kOpllIdle && s.updateFlags == 0);
}

// kBassDrumDone: the bass drum's sample (bassDrum) and whether it was played this sample come
// from a run of its own.
template <bool kBassDrumDone = false>
int32_t RhythmSection(OpllChip& chip, const OpllTables& t, const LfoLookup& lfo,
                      int32_t bassDrum = 0, bool bassDrumPlayed = false) {
    const int32_t* db2lin = t.db2lin.data();
    OpllSlot* slots = chip.slots;
    const int32_t p = t.fullSine[(slots[kOpllSlotTomTom].phaseIndex & 63) * 8];
    const int32_t noise = static_cast<int32_t>(chip.noise);
    int32_t r = 0;
    bool quiet = true;

    if constexpr (kBassDrumDone) {
        r = bassDrum;
        quiet = !bassDrumPlayed;
    } else {
        OpllSlot& bdMod = slots[kOpllSlotBassDrumModulator];
        OpllSlot& bdCar = slots[kOpllSlotBassDrumCarrier];
        if (bdCar.envState != kOpllFinished && !IdleAndSettled(bdMod, bdCar)) {
            quiet = false;
            r = TwoOperatorTurn<true>(bdMod, bdCar, t, lfo);
        }
    }

    OpllSlot& hh = slots[kOpllSlotHiHat];
    if (!RhythmSlotAsleep(hh)) {
        quiet = false;
        RhythmSlotTurn(hh, t);
        r += MetallicOutput(hh, p, noise * 4, t);
    }

    OpllSlot& sd = slots[kOpllSlotSnareDrum];
    if (!RhythmSlotAsleep(sd)) {
        quiet = false;
        RhythmSlotTurn(sd, t);
        const int32_t a = sd.envOutput;
        const int32_t q = t.fullSine[sd.phaseIndex];
        const int32_t n = noise * 2;
        if (a != 255) {
            r += q >= 1 ? db2lin[Clamp255(((q - 1) >> 2) + n + a)]
                        : -db2lin[Clamp255(((1 - q) >> 2) + n + a)];
        }
    }

    OpllSlot& tom = slots[kOpllSlotTomTom];
    if (RhythmSlotAsleep(tom)) {
        // Silent, but its phase feeds the hi-hat and the cymbal.
        if (tom.updateFlags) UpdateSlot(tom, tom.updateFlags, t);
        if (!tom.patch->pm) tom.phase = (tom.phase + tom.phaseStep) & 0x3FFFF;
        tom.phaseIndex = tom.phase >> 9;
    } else {
        quiet = false;
        RhythmSlotTurn(tom, t);
        const int32_t a = tom.envOutput;
        const int32_t q = tom.waveTable[tom.phaseIndex];
        if (a != 255) {
            r += q >= 1 ? db2lin[Clamp255(a + q + 3)] : -db2lin[Clamp255(a - q + 5)];
        }
    }

    OpllSlot& cym = slots[kOpllSlotTopCymbal];
    if (!RhythmSlotAsleep(cym)) {
        quiet = false;
        RhythmSlotTurn(cym, t);
        r += MetallicOutput(cym, p, noise * 2, t);
    }
    chip.rhythmQuiet = quiet;
    return r;
}

// A sample in which some slot may sound or change. Out of line: the quiet samples stay short.
int16_t BusySample(OpllChip& chip, const LfoLookup& lfo);

// One sample once the chip's noise share is set.
inline int16_t ChipSample(OpllChip& chip) {
    if (chip.quietLazy) {
        ++chip.quietSamples;
        return 0;
    }

    const OpllTables& t = *chip.tables;
    chip.tremoloPhase = (chip.tremoloPhase + chip.tremoloStep) & 0xFFFF;
    chip.tremoloValue = t.tremolo[chip.tremoloPhase >> 8];
    chip.vibratoPhase = (chip.vibratoPhase + chip.vibratoStep) & 0xFFFF;
    chip.vibratoValue = t.vibrato[chip.vibratoPhase >> 8];

    const LfoLookup lfo = MakeLfoLookup(chip);
    const bool quiet = chip.melodicQuiet && (!chip.rhythmMode || chip.rhythmQuiet);
    if (!quiet) {
        const int16_t x = BusySample(chip, lfo);
        // From the next sample on, nothing may be left to do but move phases.
        OpllSlot& tom = chip.slots[kOpllSlotTomTom];
        chip.quietLazy =
            chip.melodicQuiet &&
            (chip.rhythmMode ? chip.rhythmQuiet : !chip.quietAdvancesTomPhase || !tom.patch->pm);
        return x;
    }

    // Quiet, but the tom-tom phase moves with the vibrato. The flags of pair 0 are already
    // clear, since any write ends the quiet.
    AdvancePhase(chip.slots[kOpllSlotTomTom], lfo);
    return 0;
}

inline bool Quiet(const OpllChip& chip) {
    return chip.melodicQuiet && (!chip.rhythmMode || chip.rhythmQuiet);
}

}  // namespace zeblo::opll_detail
