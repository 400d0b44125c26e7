// The chip's plain render path: every slot of every channel visited every sample, with nothing
// skipped, held or counted lazily. Slow, and the measure of OpllCalcSample and OpllCalcRun.
#include <algorithm>

#include "modules/opll/OpllChip.h"

namespace zeblo {
namespace {

int32_t Clamp(int32_t x) {
    return std::min(x, 255);
}

bool IsRhythmOnlySlot(const OpllChip& chip, const OpllSlot& s) {
    const int index = static_cast<int>(&s - chip.slots);
    return chip.rhythmMode && index >= kOpllSlotHiHat;
}

void Update(const OpllChip& chip, OpllSlot& s) {
    const OpllTables& t = *chip.tables;
    const OpllPatch& p = *s.patch;
    const uint32_t flags =
        IsRhythmOnlySlot(chip, s) ? s.updateFlags : s.updateFlags | p.updateFlags;
    if (flags == 0) return;
    if (flags & kOpllUpdatePhaseStep) s.phaseStep = t.phaseStep[s.fnum][s.block][p.ml];
    if (flags & kOpllUpdateEnvelopeRate) {
        switch (s.envState) {
            case kOpllAttack:
                s.envStep = t.attackRate[p.ar][s.rks];
                break;
            case kOpllDecay:
                s.envStep = t.decayRate[p.dr][s.rks];
                break;
            case kOpllSustain:
                s.envStep = t.decayRate[p.rr][s.rks];
                break;
            case kOpllRelease:
                s.envStep = s.sustain ? t.decayRate[5][s.rks]
                                      : (p.eg ? t.decayRate[p.rr][s.rks] : t.decayRate[7][s.rks]);
                break;
            default:
                s.envStep = 0;
        }
    }
    if (flags & kOpllUpdateLevel) {
        s.level = t.level[s.fnum >> 5][s.block][s.type == kOpllCarrierType ? s.volume : p.tl][p.kl];
    }
    if (flags & kOpllUpdateKeyScaleRate) s.rks = t.rateScale[s.fnum >> 8][s.block][p.kr];
    if (flags & kOpllUpdateWaveTable) {
        s.waveTable = p.wf ? t.halfSine.data() : t.fullSine.data();
        s.waveShape = t.waveShapes[p.wf];  // for the fast path, should it take over
    }
    s.updateFlags = 0;
}

void Envelope(const OpllChip& chip, OpllSlot& s) {
    const OpllTables& t = *chip.tables;
    int32_t e = 127;
    switch (s.envState) {
        case kOpllAttack:
            s.envPhase += s.envStep;
            if (s.envPhase & (1u << 22)) {
                s.envPhase = 0;
                s.envState = kOpllDecay;
                s.updateFlags |= kOpllUpdateEnvelopeRate;
                e = 0;
            } else {
                e = t.attackCurve[s.envPhase >> 15];
            }
            break;
        case kOpllDecay:
            s.envPhase += s.envStep;
            e = static_cast<int32_t>(s.envPhase >> 15);
            if (s.envPhase >= t.sustainLevel[s.patch->sl]) {
                s.envPhase = t.sustainLevel[s.patch->sl];
                s.envState = s.patch->eg ? kOpllSustainHold : kOpllSustain;
                s.updateFlags |= kOpllUpdateEnvelopeRate;
                e = static_cast<int32_t>(s.envPhase >> 15);
            }
            break;
        case kOpllSustainHold:
            e = static_cast<int32_t>(s.envPhase >> 15);
            if (!s.patch->eg) {
                s.envState = kOpllSustain;
                s.updateFlags |= kOpllUpdateEnvelopeRate;
            }
            break;
        case kOpllSustain:
        case kOpllRelease:
            s.envPhase += s.envStep;
            e = static_cast<int32_t>(s.envPhase >> 15);
            if (e >= 128) {
                s.envState = kOpllFinished;
                e = 127;
            }
            break;
        default:
            break;
    }
    const bool tremolo = !IsRhythmOnlySlot(chip, s) && s.patch->am;
    s.envOutput = Clamp(e * 2 + 1 + s.level + (tremolo ? chip.tremoloValue : 0));
}

void Phase(const OpllChip& chip, OpllSlot& s) {
    if (IsRhythmOnlySlot(chip, s)) {
        if (!s.patch->pm) s.phase = (s.phase + s.phaseStep) & 0x3FFFF;
    } else {
        const uint32_t step = s.patch->pm
                                  ? (static_cast<uint32_t>(chip.vibratoValue) * s.phaseStep) >> 8
                                  : s.phaseStep;
        s.phase = (s.phase + step) & 0x3FFFF;
    }
    s.phaseIndex = s.phase >> 9;
}

void Turn(const OpllChip& chip, OpllSlot& s) {
    Update(chip, s);
    Envelope(chip, s);
    Phase(chip, s);
}

int32_t Op(const OpllTables& t, int32_t s, int32_t a) {
    return s >= 1 ? t.db2lin[Clamp(a + s - 1)] : -t.db2lin[Clamp(a - s + 1)];
}

int32_t Channel(const OpllChip& chip, OpllSlot& mod, OpllSlot& car) {
    const OpllTables& t = *chip.tables;
    Turn(chip, mod);
    if (mod.envOutput == 255) {
        mod.previousOutput = mod.output;
        mod.output = 0;
    } else {
        int32_t index = static_cast<int32_t>(mod.phaseIndex);
        if (mod.patch->fb) {
            index =
                ((((mod.previousOutput + mod.output) & ~1) >> (7 - mod.patch->fb)) + index) & 0x1FF;
        }
        mod.previousOutput = mod.output;
        mod.output = Op(t, mod.waveTable[index], mod.envOutput);
    }
    Turn(chip, car);
    if (car.envOutput == 255) return 0;
    return Op(t, car.waveTable[(static_cast<int32_t>(car.phaseIndex) + 4 * mod.output) & 0x1FF],
              car.envOutput);
}

int32_t Metallic(const OpllTables& t, const OpllSlot& s, int32_t p, int32_t n) {
    const int32_t a = s.envOutput;
    if (a == 255) return 0;
    const int32_t q = t.fullSine[(static_cast<int32_t>(s.phaseIndex) + 4 * p) & 0x1FF];
    if (q >= 1) return t.db2lin[Clamp(a + n + q + 31)] + t.db2lin[Clamp(4 * a)];
    return t.db2lin[Clamp(4 * a)] - t.db2lin[Clamp(a + n - q + 33)];
}

int32_t Rhythm(OpllChip& chip) {
    const OpllTables& t = *chip.tables;
    OpllSlot* s = chip.slots;
    const int32_t noise = static_cast<int32_t>(chip.noise);
    const int32_t p = t.fullSine[(s[16].phaseIndex & 63) * 8];
    int32_t r = 0;
    if (s[13].envState != kOpllFinished) r = Channel(chip, s[12], s[13]);
    if (s[14].envState != kOpllFinished) {
        Turn(chip, s[14]);
        r += Metallic(t, s[14], p, noise * 4);
    }
    if (s[15].envState != kOpllFinished) {
        Turn(chip, s[15]);
        const int32_t a = s[15].envOutput;
        const int32_t q = t.fullSine[s[15].phaseIndex];
        if (a != 255) {
            r += q >= 1 ? t.db2lin[Clamp(((q - 1) >> 2) + noise * 2 + a)]
                        : -t.db2lin[Clamp(((1 - q) >> 2) + noise * 2 + a)];
        }
    }
    if (s[16].envState == kOpllFinished) {
        Update(chip, s[16]);
        Phase(chip, s[16]);
    } else {
        Turn(chip, s[16]);
        const int32_t a = s[16].envOutput;
        const int32_t q = s[16].waveTable[s[16].phaseIndex];
        if (a != 255) r += q >= 1 ? t.db2lin[Clamp(a + q + 3)] : -t.db2lin[Clamp(a - q + 5)];
    }
    if (s[17].envState != kOpllFinished) {
        Turn(chip, s[17]);
        r += Metallic(t, s[17], p, noise * 2);
    }
    return r;
}

// The fast path keeps what it skipped in the chip: brought up to date, then dropped, so that
// either path may follow.
void LeaveFastPath(OpllChip& chip) {
    OpllSettleQuietSamples(chip);
    chip.melodicQuiet = false;
    chip.rhythmQuiet = false;
    chip.quietLazy = false;
    for (OpllSlot& s : chip.slots) s.holding = false;
}

}  // namespace

int16_t OpllCalcSamplePlain(OpllChip& chip, OpllNoise& noise) {
    LeaveFastPath(chip);
    const OpllTables& t = *chip.tables;
    chip.tremoloPhase = (chip.tremoloPhase + chip.tremoloStep) & 0xFFFF;
    chip.tremoloValue = t.tremolo[chip.tremoloPhase >> 8];
    chip.vibratoPhase = (chip.vibratoPhase + chip.vibratoStep) & 0xFFFF;
    chip.vibratoValue = t.vibrato[chip.vibratoPhase >> 8];
    const uint32_t n = noise.value;
    noise.value = ((n & 0x7FFF) << 1) | (((n >> 12) & 1) ^ ((n >> 15) & 1));
    chip.noise = noise.value >> 11;

    int32_t m = 0;
    for (int c = 0; c < (chip.rhythmMode ? 6 : 9); ++c) {
        if (chip.slots[2 * c + 1].envState == kOpllFinished) continue;
        m += Channel(chip, chip.slots[2 * c], chip.slots[2 * c + 1]);
    }
    const int32_t r = chip.rhythmMode ? Rhythm(chip) : 0;
    int32_t x = ((chip.rhythmGain * (r * 2)) >> 6) + (m >> 1);
    x = (x * chip.outputGain) >> 2;
    x = std::clamp(x, -32768, 32767);
    chip.patches[0].modulator.updateFlags = 0;
    chip.patches[0].carrier.updateFlags = 0;
    return static_cast<int16_t>(x);
}

}  // namespace zeblo
