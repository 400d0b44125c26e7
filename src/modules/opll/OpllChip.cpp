#include "modules/opll/OpllChip.h"

#include <cmath>
#include <new>

namespace zeblo {
namespace {

// LFO speeds, 6.4 Hz and 3.7 Hz, in 1/65536 of a cycle per second.
constexpr double kVibratoSpeed = 419430.4;
constexpr double kTremoloSpeed = 242483.2;

uint32_t LfoStep(double speed, double clock, double rate) {
    return static_cast<uint32_t>(std::trunc(speed / (clock / 72.0) * (clock / 72.0) / rate + 0.5));
}

void KeyOn(OpllSlot& slot) {
    slot.envState = kOpllAttack;
    slot.phase = 0;
    slot.envPhase = 0;
    slot.updateFlags |= kOpllUpdateEnvelopeRate;
}

// An attack cut short continues the release from the level it had reached.
void ReleaseSlot(OpllSlot& slot, const OpllTables& tables) {
    if (slot.envState == kOpllAttack) {
        slot.envPhase = static_cast<uint32_t>(tables.attackCurve[(slot.envPhase >> 15) & 127])
                        << 15;
    }
    slot.envState = kOpllRelease;
    slot.updateFlags |= kOpllUpdateEnvelopeRate;
}

void SetSlotPatch(OpllChip& chip, int slot, int pair) {
    chip.slots[slot].patch =
        (slot & 1) ? &chip.patches[pair].carrier : &chip.patches[pair].modulator;
}

void WritePatchFlags(OpllPatch& p, uint32_t v) {
    p.am = (v >> 7) & 1;
    p.pm = (v >> 6) & 1;
    p.eg = (v >> 5) & 1;
    p.kr = (v >> 4) & 1;
    p.ml = v & 15;
    p.updateFlags |= kOpllUpdateAll;
}

void WriteUserTone(OpllChip& chip, uint32_t address, uint32_t v) {
    OpllPatch& mod = chip.patches[0].modulator;
    OpllPatch& car = chip.patches[0].carrier;
    switch (address) {
        case 0x00:
            WritePatchFlags(mod, v);
            break;
        case 0x01:
            WritePatchFlags(car, v);
            break;
        case 0x02:
            mod.kl = (v >> 6) & 3;
            mod.tl = v & 63;
            mod.updateFlags |= kOpllUpdateLevel;
            break;
        case 0x03:
            car.kl = (v >> 6) & 3;
            car.wf = (v >> 4) & 1;
            mod.wf = (v >> 3) & 1;
            mod.fb = v & 7;
            car.updateFlags |= kOpllUpdateLevel | kOpllUpdateWaveTable;
            mod.updateFlags |= kOpllUpdateWaveTable;
            break;
        case 0x04:
        case 0x05: {
            OpllPatch& p = address == 0x04 ? mod : car;
            p.ar = v >> 4;
            p.dr = v & 15;
            p.updateFlags |= kOpllUpdateEnvelopeRate;
            break;
        }
        default: {  // 0x06, 0x07
            OpllPatch& p = address == 0x06 ? mod : car;
            p.sl = v >> 4;
            p.rr = v & 15;
            p.updateFlags |= kOpllUpdateEnvelopeRate;
            break;
        }
    }
}

constexpr uint32_t kPitchFlags = kOpllUpdatePhaseStep | kOpllUpdateLevel | kOpllUpdateKeyScaleRate;

void WriteFnumLow(OpllChip& chip, int c, uint32_t v) {
    const uint32_t fnum = ((chip.registers[0x20 + c] & 1u) << 8) + v;
    for (OpllSlot* s : {chip.channels[c].modulator, chip.channels[c].carrier}) {
        s->fnum = fnum;
        s->updateFlags |= kPitchFlags;
    }
}

// Pitch and sustain parts of a key register, shared by every channel.
void WriteKeyPitch(OpllChip& chip, int c, uint32_t v) {
    const uint32_t fnum = ((v & 1) << 8) + chip.registers[0x10 + c];
    const uint32_t block = (v >> 1) & 7;
    for (OpllSlot* s : {chip.channels[c].modulator, chip.channels[c].carrier}) {
        s->fnum = fnum;
        s->block = block;
        s->updateFlags |= kPitchFlags;
    }
}

void WriteKeySustain(OpllChip& chip, int c, uint32_t v, uint32_t old) {
    if (((v ^ old) & 0x20) == 0) return;
    for (OpllSlot* s : {chip.channels[c].modulator, chip.channels[c].carrier}) {
        s->sustain = (v >> 5) & 1;
        s->updateFlags |= kOpllUpdateEnvelopeRate;
    }
}

void WriteMelodicKey(OpllChip& chip, int c, uint32_t v) {
    const uint32_t old = chip.registers[0x20 + c];
    OpllChannel& ch = chip.channels[c];
    WriteKeyPitch(chip, c, v);
    const uint32_t wasOn = (old >> 4) & 1;
    chip.slotOn[2 * c] = chip.slotOn[2 * c + 1] = static_cast<uint8_t>(wasOn);
    if (v & 0x10) {
        if (!wasOn) {
            KeyOn(*ch.modulator);
            KeyOn(*ch.carrier);
        }
        ch.keyStatus = 1;
    } else {
        if (wasOn) ReleaseSlot(*ch.carrier, *chip.tables);
        ch.keyStatus = 0;
    }
    WriteKeySustain(chip, c, v, old);
}

// Channels 6-8: in rhythm mode each of the two slots is keyed by the key bit or its rhythm bit.
void WriteRhythmChannelKey(OpllChip& chip, int c, uint32_t v) {
    const uint32_t old = chip.registers[0x20 + c];
    const uint32_t r0e = chip.registers[0x0E];
    const uint32_t rhythmBits = (r0e & 0x20) ? r0e : 0;
    const uint32_t oldKey = (old >> 4) & 1;
    // Rhythm-register bits of the even and the odd slot of each channel.
    static constexpr int kEvenBit[3] = {4, 0, 2};
    static constexpr int kOddBit[3] = {4, 3, 1};
    const int even = 2 * c;
    const int odd = even + 1;
    const uint32_t onEven = oldKey | ((rhythmBits >> kEvenBit[c - 6]) & 1);
    const uint32_t onOdd = oldKey | ((rhythmBits >> kOddBit[c - 6]) & 1);
    OpllChannel& ch = chip.channels[c];
    WriteKeyPitch(chip, c, v);
    chip.slotOn[even] = static_cast<uint8_t>(onEven);
    chip.slotOn[odd] = static_cast<uint8_t>(onOdd);
    if (v & 0x10) {
        if (!onEven) KeyOn(chip.slots[even]);
        if (!onOdd) KeyOn(chip.slots[odd]);
        ch.keyStatus = 1;
    } else {
        if (onOdd) ReleaseSlot(chip.slots[odd], *chip.tables);
        ch.keyStatus = 0;
    }
    WriteKeySustain(chip, c, v, old);
}

void ReassignRhythmSlots(OpllChip& chip, bool entering) {
    for (int c = 6; c < 9; ++c) {
        const uint32_t pair = entering ? static_cast<uint32_t>(c + 10)
                                       : static_cast<uint32_t>(chip.registers[0x30 + c] >> 4);
        chip.channels[c].patchNumber = pair;
        SetSlotPatch(chip, 2 * c, static_cast<int>(pair));
        SetSlotPatch(chip, 2 * c + 1, static_cast<int>(pair));
    }
    const int32_t type = entering ? kOpllCarrierType : kOpllModulatorType;
    chip.slots[kOpllSlotHiHat].type = type;
    chip.slots[kOpllSlotTomTom].type = type;
    for (int s = 12; s < 18; ++s) {
        OpllSlot& slot = chip.slots[s];
        slot.updateFlags |= kOpllUpdateAll;
        ReleaseSlot(slot, *chip.tables);
        slot.updateFlags |= kOpllUpdateAll;
    }
}

void WriteRhythm(OpllChip& chip, uint32_t v) {
    const uint32_t old = chip.registers[0x0E];
    const uint32_t mode = (v >> 5) & 1;
    if (mode != chip.rhythmMode) {
        chip.rhythmMode = mode;
        ReassignRhythmSlots(chip, mode != 0);
    }
    if (chip.rhythmMode) {
        const uint32_t k26 = chip.registers[0x26];
        const uint32_t k27 = (chip.registers[0x27] >> 4) & 1;
        const uint32_t k28 = (chip.registers[0x28] >> 4) & 1;
        struct Instrument {
            uint32_t bit;
            uint32_t on;
            int slot;
        };
        // Order: bass drum, snare drum, tom-tom, top cymbal, hi-hat.
        const Instrument instruments[5] = {
            {0x10, ((k26 | old) >> 4) & 1, kOpllSlotBassDrumCarrier},
            {0x08, ((old >> 3) & 1) | k27, kOpllSlotSnareDrum},
            {0x04, ((old >> 2) & 1) | k28, kOpllSlotTomTom},
            {0x02, ((old >> 1) & 1) | k28, kOpllSlotTopCymbal},
            {0x01, (old & 1) | k27, kOpllSlotHiHat},
        };
        for (const Instrument& in : instruments) {
            const bool bassDrum = in.bit == 0x10;
            if ((v & in.bit) && !in.on) {
                if (bassDrum) {
                    KeyOn(chip.slots[kOpllSlotBassDrumModulator]);
                    chip.channels[6].keyStatus = 1;
                }
                KeyOn(chip.slots[in.slot]);
            } else if (!(v & in.bit) && in.on) {
                ReleaseSlot(chip.slots[in.slot], *chip.tables);
                if (bassDrum) chip.channels[6].keyStatus = 0;
            }
        }
    }
}

void WriteInstrumentVolume(OpllChip& chip, int c, uint32_t v) {
    const uint32_t instrument = v >> 4;
    OpllChannel& ch = chip.channels[c];
    if (!chip.rhythmMode || c < 6) {
        ch.patchNumber = instrument;
        SetSlotPatch(chip, 2 * c, static_cast<int>(instrument));
        SetSlotPatch(chip, 2 * c + 1, static_cast<int>(instrument));
        ch.modulator->updateFlags |= kOpllUpdateAll;
        ch.carrier->updateFlags |= kOpllUpdateAll;
    } else if (c == 7 || c == 8) {
        OpllSlot& s = chip.slots[c == 7 ? kOpllSlotHiHat : kOpllSlotTomTom];
        s.volume = instrument * 4;
        s.updateFlags |= kOpllUpdateLevel;
    }
    ch.carrier->volume = (v & 15) * 4;
    ch.carrier->updateFlags |= kOpllUpdateLevel;
}

void InitFreshChip(OpllChip& chip, const OpllTables& tables) {
    chip.tables = &tables;
    for (int c = 0; c < kOpllChannels; ++c) {
        chip.channels[c].modulator = &chip.slots[2 * c];
        chip.channels[c].carrier = &chip.slots[2 * c + 1];
    }
    for (int s = 0; s < kOpllSlots; ++s) {
        chip.slots[s].type = (s & 1) ? kOpllCarrierType : kOpllModulatorType;
    }
    chip.outputGain = kOpllOutputGain;
    chip.rhythmGain = kOpllRhythmGain;
    OpllReset(&chip);
}

}  // namespace

std::unique_ptr<OpllChip> OpllCreate(const OpllTables& tables) {
    std::unique_ptr<OpllChip> chip(new (std::nothrow) OpllChip());
    if (chip != nullptr) InitFreshChip(*chip, tables);
    return chip;
}

void OpllRecreate(OpllChip& chip, const OpllTables& tables) {
    chip.~OpllChip();
    new (&chip) OpllChip();
    InitFreshChip(chip, tables);
}

void OpllReset(OpllChip* chip) {
    if (chip == nullptr) return;
    const OpllTables& t = *chip->tables;
    const double clock = t.clock;
    const double rate = t.rate;
    chip->rhythmMode = 0;
    chip->vibratoPhase = 0;
    chip->tremoloPhase = 0;
    chip->vibratoStep = LfoStep(kVibratoSpeed, clock, rate);
    chip->tremoloStep = LfoStep(kTremoloSpeed, clock, rate);
    for (int a = 0; a <= 0x37; ++a) chip->registers[a] = 0;
    for (int c = 0; c < kOpllChannels; ++c) {
        OpllChannel& ch = chip->channels[c];
        for (OpllSlot* s : {ch.modulator, ch.carrier}) {
            s->phase = s->phaseStep = 0;
            s->output = s->previousOutput = 0;
            s->envState = kOpllIdle;
            s->envStep = 0;
            s->sustain = 0;
            s->level = 0;
            s->rks = 0;
            s->fnum = s->block = s->volume = 0;
            s->phaseIndex = 0;
            s->envOutput = 0;
            s->envPhase = 0x400000;
            s->waveTable = t.fullSine.data();
            s->waveShape = t.fullSineShape.data();
            s->updateFlags |= kOpllUpdateAll;
        }
        ch.patchNumber = 0;
        ch.keyStatus = 0;
        ch.modulator->patch = &chip->patches[0].modulator;
        ch.carrier->patch = &chip->patches[0].carrier;
    }
    chip->melodicQuiet = false;
    chip->rhythmQuiet = false;
    chip->quietLazy = false;
    chip->quietSamples = 0;
}

void OpllSettleQuietSamples(OpllChip& chip) {
    const uint32_t k = chip.quietSamples;
    if (k == 0) return;
    const OpllTables& t = *chip.tables;
    // Phases wrap at a power of two below 2^32, so the products may wrap too.
    chip.tremoloPhase = (chip.tremoloPhase + k * chip.tremoloStep) & 0xFFFF;
    chip.tremoloValue = t.tremolo[chip.tremoloPhase >> 8];
    chip.vibratoPhase = (chip.vibratoPhase + k * chip.vibratoStep) & 0xFFFF;
    chip.vibratoValue = t.vibrato[chip.vibratoPhase >> 8];
    OpllSlot& tom = chip.slots[kOpllSlotTomTom];
    const bool moves = chip.rhythmMode ? true : chip.quietAdvancesTomPhase;
    if (moves && !tom.patch->pm) tom.phase = (tom.phase + k * tom.phaseStep) & 0x3FFFF;
    if (moves) tom.phaseIndex = tom.phase >> 9;
    chip.quietSamples = 0;
}

void OpllLoadDefaultPatches(OpllChip& chip) {
    OpllSettleQuietSamples(chip);
    for (int i = 0; i < kOpllPatchPairs; ++i) chip.patches[i] = chip.tables->defaultPatches[i];
    chip.melodicQuiet = false;
    chip.rhythmQuiet = false;
    chip.quietLazy = false;
}

void OpllWriteRegister(OpllChip& chip, uint32_t address, uint32_t value) {
    if (address >= kOpllRegisters) return;
    const uint32_t v = value & 0xFF;
    OpllSettleQuietSamples(chip);
    chip.melodicQuiet = false;
    chip.rhythmQuiet = false;
    chip.quietLazy = false;
    if (address <= 0x07) {
        WriteUserTone(chip, address, v);
    } else if (address == 0x0E) {
        WriteRhythm(chip, v);
    } else if (address >= 0x10 && address <= 0x18) {
        WriteFnumLow(chip, static_cast<int>(address - 0x10), v);
    } else if (address >= 0x20 && address <= 0x25) {
        WriteMelodicKey(chip, static_cast<int>(address - 0x20), v);
    } else if (address >= 0x26 && address <= 0x28) {
        WriteRhythmChannelKey(chip, static_cast<int>(address - 0x20), v);
    } else if (address >= 0x30 && address <= 0x38) {
        WriteInstrumentVolume(chip, static_cast<int>(address - 0x30), v);
    }
    chip.registers[address] = static_cast<uint8_t>(v);
}

}  // namespace zeblo
