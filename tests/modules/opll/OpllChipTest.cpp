#include <gtest/gtest.h>

#include <cstring>

#include "OpllTestSupport.h"
#include "modules/opll/OpllChip.h"

namespace zeblo {
namespace {

using testing::ChipPtr;
using testing::MakeChip;
using testing::MakeTables;
using testing::RunSamples;

class OpllRegisters : public ::testing::Test {
protected:
    std::unique_ptr<OpllTables> tables = MakeTables();
    ChipPtr chip = MakeChip(*tables);
    OpllNoise noise;

    void W(uint32_t a, uint32_t v) { OpllWriteRegister(*chip, a, v); }
    OpllSlot& S(int i) { return chip->slots[i]; }
};

TEST_F(OpllRegisters, FreshChipIsIdleOnPairZeroWithAllFlagsPending) {
    for (int s = 0; s < kOpllSlots; ++s) {
        EXPECT_EQ(S(s).envState, kOpllIdle);
        EXPECT_EQ(S(s).envPhase, 0x400000u);
        EXPECT_EQ(S(s).updateFlags, kOpllUpdateAll);
        EXPECT_EQ(S(s).patch, (s & 1) ? &chip->patches[0].carrier : &chip->patches[0].modulator);
        EXPECT_EQ(S(s).type, s & 1);
    }
    EXPECT_EQ(chip->outputGain, 64);
    EXPECT_EQ(chip->rhythmGain, 64);
    EXPECT_EQ(chip->patches[5].carrier.ar, tables->defaultPatches[5].carrier.ar);
}

TEST_F(OpllRegisters, KeyOnStartsBothSlotsAndSecondKeyWriteChangesPitchOnly) {
    W(0x30, 0x30);  // instrument 3
    W(0x10, 0x22);
    W(0x20, 0x19);  // key on, block 4, F-number 0x122
    EXPECT_EQ(S(0).envState, kOpllAttack);
    EXPECT_EQ(S(1).envState, kOpllAttack);
    EXPECT_EQ(S(1).fnum, 0x122u);
    EXPECT_EQ(S(1).block, 4u);
    EXPECT_EQ(chip->channels[0].keyStatus, 1u);
    RunSamples(*chip, noise, 400);
    const uint32_t modState = S(0).envState;
    const uint32_t carState = S(1).envState;
    const uint32_t carPhase = S(1).envPhase;
    ASSERT_NE(carState, kOpllAttack);

    W(0x20, 0x1B);  // still keyed: block 5
    EXPECT_EQ(S(0).envState, modState);
    EXPECT_EQ(S(1).envState, carState);
    EXPECT_EQ(S(1).envPhase, carPhase);
    EXPECT_EQ(S(1).block, 5u);
    EXPECT_EQ(S(1).updateFlags & kOpllUpdatePhaseStep, kOpllUpdatePhaseStep);
    EXPECT_EQ(chip->slotOn[0], 1);
    EXPECT_EQ(chip->slotOn[1], 1);
    OpllCalcSample(*chip, noise);
    EXPECT_EQ(S(1).phaseStep, tables->phaseStep[0x122][5][tables->defaultPatches[3].carrier.ml]);
}

TEST_F(OpllRegisters, KeyOffReleasesOnlyTheCarrier) {
    W(0x30, 0x10);
    W(0x10, 0x80);
    W(0x20, 0x17);
    RunSamples(*chip, noise, 200);
    const uint32_t modState = S(0).envState;
    const uint32_t modPhase = S(0).envPhase;
    W(0x20, 0x07);
    EXPECT_EQ(S(1).envState, kOpllRelease);
    EXPECT_EQ(S(0).envState, modState);
    EXPECT_EQ(S(0).envPhase, modPhase);
    EXPECT_EQ(chip->channels[0].keyStatus, 0u);
    // Key-off again with the key already off changes nothing.
    const uint32_t carPhase = S(1).envPhase;
    W(0x20, 0x07);
    EXPECT_EQ(S(1).envPhase, carPhase);
}

TEST_F(OpllRegisters, ReleaseDuringAttackContinuesFromTheAttackCurve) {
    // User tone: slow carrier attack (AR 4) so the attack can be caught at value 2.
    const uint8_t tone[8] = {0x20, 0x20, 0x3F, 0x00, 0x40, 0x40, 0x00, 0x05};
    testing::WriteUserTone(*chip, tone);
    W(0x30, 0x00);
    W(0x10, 0x40);
    W(0x20, 0x18);
    int guard = 0;
    while ((S(1).envPhase >> 15) != 2 && guard++ < 10000) OpllCalcSample(*chip, noise);
    ASSERT_EQ(S(1).envState, kOpllAttack);
    ASSERT_EQ(S(1).envPhase >> 15, 2u);
    W(0x20, 0x08);
    EXPECT_EQ(S(1).envState, kOpllRelease);
    EXPECT_EQ(S(1).envPhase, 108u << 15);
}

TEST_F(OpllRegisters, SustainBitAndNinthFnumBit) {
    W(0x20, 0x01);  // key off, F-number bit 8 set
    W(0x10, 0x23);
    EXPECT_EQ(S(0).fnum, 0x123u);
    EXPECT_EQ(S(1).fnum, 0x123u);
    W(0x20, 0x00);
    W(0x10, 0x23);
    EXPECT_EQ(S(1).fnum, 0x23u);

    OpllCalcSample(*chip, noise);
    W(0x21, 0x20);
    EXPECT_EQ(S(2).sustain, 1u);
    EXPECT_EQ(S(3).sustain, 1u);
    EXPECT_EQ(S(3).updateFlags & kOpllUpdateEnvelopeRate, kOpllUpdateEnvelopeRate);
    OpllCalcSample(*chip, noise);
    W(0x21, 0x20);  // unchanged bit 5: pitch flags only
    EXPECT_EQ(S(3).updateFlags, kOpllUpdatePhaseStep | kOpllUpdateLevel | kOpllUpdateKeyScaleRate);
}

TEST_F(OpllRegisters, InstrumentAndVolume) {
    W(0x34, 0x5A);
    EXPECT_EQ(chip->channels[4].patchNumber, 5u);
    EXPECT_EQ(S(8).patch, &chip->patches[5].modulator);
    EXPECT_EQ(S(9).patch, &chip->patches[5].carrier);
    EXPECT_EQ(S(9).volume, 40u);
    EXPECT_EQ(S(8).volume, 0u);
    OpllCalcSample(*chip, noise);
    EXPECT_EQ(S(9).level, tables->level[0][0][40][tables->defaultPatches[5].carrier.kl]);
    EXPECT_EQ(S(8).level, tables->level[0][0][tables->defaultPatches[5].modulator.tl]
                                       [tables->defaultPatches[5].modulator.kl]);
}

TEST_F(OpllRegisters, UserToneWritesPairZeroAndFlagIt) {
    const uint8_t tone[8] = {0xE5, 0x12, 0x8A, 0xD5, 0xC3, 0x4B, 0x79, 0x2E};
    testing::WriteUserTone(*chip, tone);
    const OpllPatch& m = chip->patches[0].modulator;
    const OpllPatch& c = chip->patches[0].carrier;
    EXPECT_EQ(m.am + m.pm + m.eg + m.kr, 3u);  // E5: AM PM EG, no KR
    EXPECT_EQ(m.ml, 5u);
    EXPECT_EQ(c.kr, 1u);
    EXPECT_EQ(c.ml, 2u);
    EXPECT_EQ(m.kl, 2u);
    EXPECT_EQ(m.tl, 10u);
    EXPECT_EQ(c.kl, 3u);
    EXPECT_EQ(c.wf, 1u);
    EXPECT_EQ(m.wf, 0u);
    EXPECT_EQ(m.fb, 5u);
    EXPECT_EQ(m.ar, 12u);
    EXPECT_EQ(m.dr, 3u);
    EXPECT_EQ(c.ar, 4u);
    EXPECT_EQ(c.dr, 11u);
    EXPECT_EQ(m.sl, 7u);
    EXPECT_EQ(m.rr, 9u);
    EXPECT_EQ(c.sl, 2u);
    EXPECT_EQ(c.rr, 14u);
    EXPECT_EQ(m.updateFlags, kOpllUpdateAll);
    EXPECT_EQ(c.updateFlags, kOpllUpdateAll);
    OpllCalcSample(*chip, noise);
    EXPECT_EQ(m.updateFlags | c.updateFlags, 0u);
    EXPECT_EQ(S(1).waveTable, tables->halfSine.data());

    W(0x02, 0x3F);
    EXPECT_EQ(m.updateFlags, kOpllUpdateLevel);
    EXPECT_EQ(c.updateFlags, 0u);
    OpllCalcSample(*chip, noise);
    W(0x03, 0x08);
    EXPECT_EQ(m.updateFlags, kOpllUpdateWaveTable);
    EXPECT_EQ(c.updateFlags, kOpllUpdateLevel | kOpllUpdateWaveTable);
    OpllCalcSample(*chip, noise);
    W(0x07, 0x00);
    EXPECT_EQ(c.updateFlags, kOpllUpdateEnvelopeRate);
}

TEST_F(OpllRegisters, EnteringRhythmModeReassignsOnceAndKeysInstruments) {
    W(0x0E, 0x20);
    EXPECT_EQ(chip->rhythmMode, 1u);
    EXPECT_EQ(chip->channels[6].patchNumber, 16u);
    EXPECT_EQ(chip->channels[8].patchNumber, 18u);
    EXPECT_EQ(S(12).patch, &chip->patches[16].modulator);
    EXPECT_EQ(S(15).patch, &chip->patches[17].carrier);
    EXPECT_EQ(S(16).patch, &chip->patches[18].modulator);
    EXPECT_EQ(S(14).type, kOpllCarrierType);
    EXPECT_EQ(S(16).type, kOpllCarrierType);
    for (int s = 12; s < 18; ++s) {
        EXPECT_EQ(S(s).envState, kOpllRelease) << s;
        EXPECT_EQ(S(s).updateFlags, kOpllUpdateAll) << s;
    }
    W(0x0E, 0x30);  // bass drum
    EXPECT_EQ(S(12).envState, kOpllAttack);
    EXPECT_EQ(S(13).envState, kOpllAttack);
    EXPECT_EQ(chip->channels[6].keyStatus, 1u);
    RunSamples(*chip, noise, 100);
    const uint32_t bdState = S(13).envState;
    const uint32_t bdPhase = S(13).envPhase;

    W(0x0E, 0x30);  // the same value: nothing re-assigned or restarted
    EXPECT_EQ(S(13).envState, bdState);
    EXPECT_EQ(S(13).envPhase, bdPhase);
    for (int s = 12; s < 18; ++s) EXPECT_EQ(S(s).updateFlags & kOpllUpdateLevel, 0u) << s;

    const uint32_t bdModState = S(12).envState;
    W(0x0E, 0x29);  // bass drum off, snare and hi-hat on
    EXPECT_EQ(S(13).envState, kOpllRelease);
    EXPECT_EQ(S(12).envState, bdModState);  // only the carrier is released
    EXPECT_EQ(chip->channels[6].keyStatus, 0u);
    EXPECT_EQ(S(15).envState, kOpllAttack);
    EXPECT_EQ(S(14).envState, kOpllAttack);
    EXPECT_NE(S(16).envState, kOpllAttack);
    EXPECT_NE(S(17).envState, kOpllAttack);
}

TEST_F(OpllRegisters, RhythmVolumesComeFromTheNibbles) {
    W(0x0E, 0x20);
    W(0x36, 0xF3);
    W(0x37, 0x5A);
    W(0x38, 0x9C);
    EXPECT_EQ(chip->channels[6].patchNumber, 16u);  // high nibble of 0x36 has no effect
    EXPECT_EQ(S(13).volume, 12u);
    EXPECT_EQ(S(14).volume, 20u);  // hi-hat
    EXPECT_EQ(S(15).volume, 40u);  // snare drum
    EXPECT_EQ(S(16).volume, 36u);  // tom-tom
    EXPECT_EQ(S(17).volume, 48u);  // top cymbal
    EXPECT_EQ(S(16).patch, &chip->patches[18].modulator);
}

TEST_F(OpllRegisters, LeavingRhythmModeRestoresChannelsAndReleasesAllSix) {
    W(0x0E, 0x20);
    W(0x36, 0x50);
    W(0x37, 0x70);
    W(0x38, 0x90);
    W(0x0E, 0x3F);
    RunSamples(*chip, noise, 50);
    W(0x0E, 0x00);
    EXPECT_EQ(chip->rhythmMode, 0u);
    EXPECT_EQ(chip->channels[6].patchNumber, 5u);
    EXPECT_EQ(chip->channels[7].patchNumber, 7u);
    EXPECT_EQ(chip->channels[8].patchNumber, 9u);
    EXPECT_EQ(S(12).patch, &chip->patches[5].modulator);
    EXPECT_EQ(S(15).patch, &chip->patches[7].carrier);
    EXPECT_EQ(S(17).patch, &chip->patches[9].carrier);
    EXPECT_EQ(S(14).type, kOpllModulatorType);
    EXPECT_EQ(S(16).type, kOpllModulatorType);
    for (int s = 12; s < 18; ++s) EXPECT_EQ(S(s).envState, kOpllRelease) << s;
}

TEST_F(OpllRegisters, RhythmChannelKeyRegistersKeyTheirInstruments) {
    W(0x0E, 0x20);
    RunSamples(*chip, noise, 2);
    W(0x27, 0x10);  // hi-hat and snare drum together
    EXPECT_EQ(S(14).envState, kOpllAttack);
    EXPECT_EQ(S(15).envState, kOpllAttack);
    EXPECT_EQ(chip->channels[7].keyStatus, 1u);
    W(0x0E, 0x21);  // hi-hat bit: already on through 0x27, not restarted
    RunSamples(*chip, noise, 10);
    W(0x27, 0x00);
    EXPECT_EQ(S(15).envState, kOpllRelease);
    EXPECT_NE(S(14).envState, kOpllRelease);  // the hi-hat is not the released slot
    EXPECT_EQ(chip->slotOn[14], 1);
    EXPECT_EQ(chip->slotOn[15], 1);
}

TEST_F(OpllRegisters, ResetKeepsHighRegistersAndAddressesAbove3FAreIgnored) {
    W(0x3A, 0x77);
    W(0x20, 0x10);
    OpllReset(chip.get());
    EXPECT_EQ(chip->registers[0x3A], 0x77);
    EXPECT_EQ(chip->registers[0x20], 0);
    EXPECT_EQ(S(0).envState, kOpllIdle);

    RunSamples(*chip, noise, 3);
    alignas(OpllChip) unsigned char before[sizeof(OpllChip)];
    std::memcpy(before, static_cast<void*>(chip.get()), sizeof(OpllChip));
    for (uint32_t a : {0x40u, 0x4Eu, 0xFFu, 0x1000u}) W(a, 0x3F);
    EXPECT_EQ(std::memcmp(before, static_cast<void*>(chip.get()), sizeof(OpllChip)), 0);
}

}  // namespace
}  // namespace zeblo
