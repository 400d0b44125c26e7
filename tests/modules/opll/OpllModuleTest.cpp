#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "OpllTestSupport.h"
#include "modules/opll/OpllMidiTables.h"
#include "modules/opll/OpllModule.h"

namespace zeblo {
namespace {

class OpllModuleTest : public ::testing::Test {
protected:
    EngineParameters params;
    ModuleSharedState shared;
    OpllNoise noise;
    std::unique_ptr<OpllTables> tables = std::make_unique<OpllTables>();
    std::unique_ptr<OpllModule> module =
        std::make_unique<OpllModule>(params, shared, noise, *tables);

    void Msg(uint32_t status, uint32_t d1, uint32_t d2 = 0, uint32_t port = 0) {
        module->ShortMsg(kOpenModuleHandle, PackShortMsg(status, d1, d2), port);
    }
    void Sysex(std::vector<uint8_t> bytes) {
        MessageHeader h;
        h.data = bytes.data();
        h.bufferLength = static_cast<uint32_t>(bytes.size());
        module->PrepareHeader(kOpenModuleHandle, &h, kMessageHeaderSize);
        module->LongMsg(kOpenModuleHandle, &h, kMessageHeaderSize, 0);
    }
    const FmVoice& V(int i) { return module->Voices()[i]; }
    uint8_t Reg(int chip, int address) { return module->Chip(chip)->registers[address]; }
    int UsedVoices() {
        int n = 0;
        for (const FmVoice& v : module->Voices()) n += v.channel != -1;
        return n;
    }
    void Samples(int n) {
        for (int i = 0; i < n; ++i) module->MixedSample();
    }
};

TEST_F(OpllModuleTest, ResetPreparesChipsChannelsAndTheRhythmChip) {
    ASSERT_TRUE(module->ChipsReady());
    EXPECT_EQ(tables->rate, 44100);
    for (int c = 0; c < 5; ++c) {
        const uint8_t userTone[8] = {0x21, 0x22, 0x07, 0x14, 0xE0, 0xFD, 0x65, 0x07};
        for (int a = 0; a < 8; ++a) EXPECT_EQ(Reg(c, a), userTone[a]);
        EXPECT_EQ(module->Chip(c)->rhythmMode, c == 4 ? 1u : 0u);
    }
    OpllChip& rhythm = *module->Chip(4);
    EXPECT_EQ(rhythm.slots[12].fnum, 0x120u);
    EXPECT_EQ(rhythm.slots[14].fnum, 0x150u);
    EXPECT_EQ(rhythm.slots[14].block, 2u);
    EXPECT_EQ(rhythm.slots[16].fnum, 0x1C0u);
    EXPECT_EQ(rhythm.slots[16].block, 0u);
    EXPECT_EQ(module->RhythmKeys(), 0x20u);
    EXPECT_EQ(module->Channel(9).rhythmPart, 1);
    EXPECT_EQ(module->Channel(0).rhythmPart, 0);
    EXPECT_EQ(module->Channel(3).program, 1);
    EXPECT_EQ(module->Channel(3).bendRange, 2);
    EXPECT_EQ(module->Channel(3).displayValue, 127);
    EXPECT_EQ(module->Channel(3).noteLevelBase, 100);
    for (int i = 0; i < kFmVoiceRecords; ++i) {
        EXPECT_EQ(V(i).channel, -1);
        EXPECT_EQ(V(i).voiceNumber, i);
    }
    for (int i = 0; i < 100; ++i) ASSERT_EQ(module->MixedSample(), 0);
}

TEST_F(OpllModuleTest, NoteOnWritesInstrumentPitchAndKey) {
    Msg(0x90, 69, 127);  // program 1 -> instrument 3 (factor 0.6): level 59, attenuation 1
    EXPECT_EQ(V(0).channel, 0);
    EXPECT_EQ(V(0).note, 69);
    EXPECT_EQ(V(0).instrument, 0x30);
    EXPECT_EQ(V(0).level, 59);
    EXPECT_EQ(V(0).frequency, 440);
    EXPECT_EQ(Reg(0, 0x30), 0x31);
    EXPECT_EQ(Reg(0, 0x10), 290 & 0xFF);  // F-number 290, block 4
    EXPECT_EQ(Reg(0, 0x20), 0x19);
    EXPECT_EQ(V(0).keyValue, 0x19);
    EXPECT_EQ(module->Chip(0)->slots[1].envState, kOpllAttack);
}

TEST_F(OpllModuleTest, LevelsFactorsAndAttenuations) {
    Msg(0xC0, 21);  // instrument 1, factor 1: level 99
    Msg(0x90, 60, 127);
    EXPECT_EQ(V(0).level, 99);
    EXPECT_EQ(Reg(0, 0x30), 0x10);
    Msg(0xC0, 52);  // instrument 4, factor 0.8: level 79
    Msg(0x90, 61, 127);
    EXPECT_EQ(V(1).level, 79);
    EXPECT_EQ(Reg(0, 0x31), 0x40);
    Msg(0xC0, 29);  // instrument 0, factor 0.7: level 69, not above 69
    Msg(0x90, 62, 127);
    EXPECT_EQ(V(2).level, 69);
    EXPECT_EQ(Reg(0, 0x32), 0x01);
    Msg(0xC0, 21);
    Msg(0x90, 63, 1);  // level 0 exceeds no threshold
    EXPECT_EQ(V(3).level, 0);
    EXPECT_EQ(Reg(0, 0x33), 0x1F);
    Msg(0xC0, 127);  // plays program 126's instrument
    Msg(0x90, 64, 64);
    EXPECT_EQ(V(4).instrument, 0x20);
    Msg(0xB0, 7, 0);  // volume and expression do not touch the level
    Msg(0xB0, 11, 0);
    Msg(0x90, 65, 64);
    EXPECT_EQ(V(5).level, V(4).level);
    EXPECT_EQ(Reg(0, 0x35), Reg(0, 0x34));
}

TEST_F(OpllModuleTest, NoteOffReleasesEveryMatchingVoice) {
    Msg(0x90, 60, 100);
    Msg(0x90, 60, 90);
    Msg(0x91, 60, 90);
    EXPECT_EQ(UsedVoices(), 3);
    Msg(0x80, 60, 0);
    EXPECT_EQ(V(0).channel, -1);
    EXPECT_EQ(V(1).channel, -1);
    EXPECT_EQ(V(2).channel, 1);
    EXPECT_EQ(Reg(0, 0x20) & 0x10, 0);
    EXPECT_EQ(Reg(0, 0x21) & 0x10, 0);
    EXPECT_EQ(Reg(0, 0x22) & 0x10, 0x10);
    EXPECT_EQ(V(0).keyValue & 0x10, 0x10);  // the record keeps its key value
    EXPECT_EQ(module->Chip(0)->slots[1].envState, kOpllRelease);

    Msg(0x91, 60, 0);  // velocity 0 is a note-off
    EXPECT_EQ(V(2).channel, -1);
    EXPECT_EQ(Reg(0, 0x22) & 0x10, 0);
}

TEST_F(OpllModuleTest, VoicesAreTakenInTurnAndThe36thNoteIsDropped) {
    Msg(0x90, 60, 100);
    Msg(0x80, 60);
    Msg(0x90, 61, 100);
    EXPECT_EQ(V(1).note, 61);  // not record 0 again
    EXPECT_EQ(module->NextVoice(), 2);
    for (int n = 0; n < 34; ++n) Msg(0x92, 20 + n, 100);
    EXPECT_EQ(UsedVoices(), 35);
    EXPECT_EQ(V(0).note, 53);  // wrapped around to the freed record
    EXPECT_EQ(V(35).channel, -1);
    EXPECT_EQ(Reg(3, 0x28), 0);  // chip 3 channel 8 never plays
    Msg(0x92, 100, 100);
    EXPECT_EQ(UsedVoices(), 35);
    for (const FmVoice& v : module->Voices()) EXPECT_NE(v.note, 100);

    // nextVoice busy: the highest free record is taken and nextVoice follows it.
    Msg(0x82, 30);  // record 12
    Msg(0x82, 25);  // record 7
    Msg(0x92, 101, 100);
    EXPECT_EQ(V(12).note, 101);
    EXPECT_EQ(module->NextVoice(), 13);
    Msg(0x82, 53);  // record 0
    Msg(0x92, 102, 100);
    EXPECT_EQ(V(7).note, 102);
    Msg(0x92, 103, 100);
    EXPECT_EQ(V(0).note, 103);
    EXPECT_EQ(module->NextVoice(), 1);
}

TEST_F(OpllModuleTest, VoicesMapOntoChipsAndChannels) {
    for (int n = 0; n < 20; ++n) Msg(0x90, 40 + n, 100);
    EXPECT_EQ(Reg(1, 0x20 + 3) & 0x10, 0x10);  // record 12: chip 1, channel 3
    EXPECT_EQ(Reg(2, 0x21) & 0x10, 0x10);      // record 19: chip 2, channel 1
    EXPECT_EQ(Reg(2, 0x22) & 0x10, 0);
}

TEST_F(OpllModuleTest, SustainPedalFreesTheVoiceAtOnceWithTheSusBit) {
    Msg(0xB0, 64, 127);
    Msg(0x90, 60, 100);
    Samples(2000);
    Msg(0x80, 60);
    EXPECT_EQ(V(0).channel, -1);
    EXPECT_EQ(Reg(0, 0x20), (V(0).keyValue & ~0x10) | 0x20);
    OpllChip& chip = *module->Chip(0);
    EXPECT_EQ(chip.slots[1].sustain, 1u);
    Samples(1);
    EXPECT_EQ(chip.slots[1].envState, kOpllRelease);
    EXPECT_EQ(chip.slots[1].envStep, tables->decayRate[5][chip.slots[1].rks]);
    const uint8_t before = Reg(0, 0x20);
    Msg(0xB0, 64, 0);
    EXPECT_EQ(Reg(0, 0x20), before);
    EXPECT_EQ(module->Channel(0).sustainPedal, 0);
}

TEST_F(OpllModuleTest, PitchBendRetunesWithoutRekeying) {
    Msg(0xB0, 101, 0);
    Msg(0xB0, 100, 0);
    Msg(0xB0, 6, 2);
    Msg(0x90, 69, 100);
    Samples(3000);
    OpllChip& chip = *module->Chip(0);
    const uint32_t state = chip.slots[1].envState;
    ASSERT_NE(state, kOpllAttack);
    Msg(0xE0, 0x7F, 0x7F);
    EXPECT_EQ(module->Channel(0).bendCents, 199);
    EXPECT_EQ(module->Channel(0).pitchBend, 8191);
    EXPECT_EQ(chip.slots[1].envState, state);
    EXPECT_EQ(chip.slots[1].fnum, 325u);  // 1.99 semitones up: 493.6 Hz
    EXPECT_EQ(chip.slots[1].block, 4u);
    EXPECT_EQ(V(0).keyValue, 0x19);
    EXPECT_EQ(V(0).frequency, 440);  // the display keeps the note-on value

    Msg(0x90, 69, 100);  // a new note starts bent
    EXPECT_EQ(Reg(0, 0x11), 325 & 0xFF);
    Msg(0xE0, 0x00, 0x40);
    EXPECT_EQ(module->Channel(0).bendCents, 0);
    EXPECT_EQ(Reg(0, 0x10), 290 & 0xFF);
    EXPECT_EQ(Reg(0, 0x11), 290 & 0xFF);
    Msg(0xE0, 0x00, 0x00);  // -8192 with range 2: -200 cents
    EXPECT_EQ(module->Channel(0).bendCents, -200);
    EXPECT_EQ(V(0).keyValue & 0x0F, 0x09);  // G4 392 Hz: F-number 258, block 4
    EXPECT_EQ(Reg(0, 0x10), 258 - 256);
}

TEST_F(OpllModuleTest, DataEntryNeedsRpnZeroAndAtMost24) {
    Msg(0xB0, 6, 12);
    EXPECT_EQ(module->Channel(0).bendRange, 2);
    Msg(0xB0, 101, 0);
    Msg(0xB0, 6, 12);
    EXPECT_EQ(module->Channel(0).bendRange, 2);
    Msg(0xB0, 100, 0);
    Msg(0xB0, 6, 25);
    EXPECT_EQ(module->Channel(0).bendRange, 2);
    Msg(0xB0, 6, 24);
    EXPECT_EQ(module->Channel(0).bendRange, 24);
}

TEST_F(OpllModuleTest, PitchBendOnARhythmChannelChangesNothing) {
    Msg(0x99, 38, 100);
    Msg(0xE9, 0x7F, 0x7F);
    EXPECT_EQ(module->Channel(9).pitchBend, 0);
    EXPECT_EQ(module->Channel(9).bendCents, 0);
}

TEST_F(OpllModuleTest, DrumNoteWritesVolumesAndRekeysItsInstrument) {
    Msg(0x99, 38, 64);  // snare drum, level 50: attenuation 2
    EXPECT_EQ(Reg(4, 0x36), 0x00);
    EXPECT_EQ(Reg(4, 0x37), 0x02);
    EXPECT_EQ(Reg(4, 0x38), 0x00);
    EXPECT_EQ(Reg(4, 0x0E), 0x28);
    EXPECT_EQ(module->RhythmKeys(), 0x28u);
    EXPECT_EQ(module->DrumAttenuation(kFmSnareDrum), 2);
    OpllChip& chip = *module->Chip(4);
    EXPECT_EQ(chip.slots[kOpllSlotSnareDrum].envState, kOpllAttack);

    Msg(0x99, 42, 64);  // hi-hat, trunc(50.39 * 0.9) = 45: attenuation 2
    EXPECT_EQ(Reg(4, 0x37), 0x22);
    EXPECT_EQ(Reg(4, 0x0E), 0x29);
    Msg(0x99, 45, 64);  // tom-tom, 35: attenuation 4
    EXPECT_EQ(Reg(4, 0x38), 0x40);
    Msg(0x99, 49, 127);  // cymbal, 100: attenuation 0
    Msg(0x99, 36, 20);   // bass drum, trunc(15.7 * 0.9) = 14: attenuation 9
    EXPECT_EQ(Reg(4, 0x36), 0x09);
    EXPECT_EQ(Reg(4, 0x38), 0x40);
    EXPECT_EQ(module->RhythmKeys(), 0x3Fu);

    module->MixedSample();
    Samples(500);
    const uint32_t bdPhase = chip.slots[kOpllSlotBassDrumCarrier].envPhase;
    const uint32_t bdState = chip.slots[kOpllSlotBassDrumCarrier].envState;
    ASSERT_NE(chip.slots[kOpllSlotSnareDrum].envState, kOpllAttack);
    Msg(0x99, 40, 127);  // the snare drum again: restarted, others untouched
    EXPECT_EQ(chip.slots[kOpllSlotSnareDrum].envState, kOpllAttack);
    EXPECT_EQ(chip.slots[kOpllSlotSnareDrum].envPhase, 0u);
    EXPECT_EQ(chip.slots[kOpllSlotBassDrumCarrier].envPhase, bdPhase);
    EXPECT_EQ(chip.slots[kOpllSlotBassDrumCarrier].envState, bdState);
    EXPECT_EQ(Reg(4, 0x37), 0x20);
    Msg(0x89, 40);  // drum note-offs do nothing
    EXPECT_EQ(chip.slots[kOpllSlotSnareDrum].envState, kOpllAttack);
}

TEST_F(OpllModuleTest, OnlyMappedDrumNotesSound) {
    for (int note : {37, 39, 52, 53, 34, 0, 55, 60, 127}) {
        Msg(0x99, static_cast<uint32_t>(note), 100);
        EXPECT_EQ(module->RhythmKeys(), 0x20u) << note;
        EXPECT_EQ(Reg(4, 0x0E), 0x20) << note;
    }
    struct Case {
        int note;
        uint32_t key;
    };
    for (Case c : {Case{35, 0x10}, Case{44, 0x01}, Case{46, 0x01}, Case{54, 0x01}, Case{51, 0x01},
                   Case{41, 0x04}, Case{50, 0x04}, Case{49, 0x02}, Case{40, 0x08}}) {
        module->Reset(0);
        Msg(0x99, static_cast<uint32_t>(c.note), 100);
        EXPECT_EQ(module->RhythmKeys(), 0x20u | c.key) << c.note;
    }
    // Program 50: every note plays, snare drum from note 60, bass drum below.
    module->Reset(0);
    Msg(0xC9, 50);
    Msg(0x99, 60, 100);
    EXPECT_EQ(module->RhythmKeys(), 0x28u);
    Msg(0x99, 10, 100);
    EXPECT_EQ(module->RhythmKeys(), 0x38u);
    EXPECT_EQ(UsedVoices(), 0);
}

TEST_F(OpllModuleTest, GsRhythmPartMessageMovesTheDrumChannel) {
    Sysex({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x15, 0x00, 0x1B, 0xF7});  // part 0 off
    EXPECT_EQ(module->Channel(9).rhythmPart, 0);
    Msg(0x99, 60, 100);
    EXPECT_EQ(V(0).channel, 9);
    Sysex({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x11, 0x15, 0x01, 0x19, 0xF7});  // part 1 on
    EXPECT_EQ(module->Channel(0).rhythmPart, 1);
    Sysex({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x15, 0x02, 0x0F, 0xF7});
    EXPECT_EQ(module->Channel(10).rhythmPart, 1);
    Sysex({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x15, 0x15, 0x01, 0x0F, 0xF7});
    EXPECT_EQ(module->Channel(4).rhythmPart, 1);
    Sysex({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x15, 0x15});  // too short to carry the value
    EXPECT_EQ(module->Channel(4).rhythmPart, 1);
    Msg(0x90, 36, 100);
    EXPECT_EQ(module->RhythmKeys(), 0x30u);
}

TEST_F(OpllModuleTest, GsResetGmOnAndDisplayData) {
    Msg(0x90, 60, 100);
    Sysex({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
    EXPECT_EQ(shared.gsResetSeen.load(), 1);
    EXPECT_EQ(V(0).channel, 0);  // no module reset
    Sysex({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    EXPECT_EQ(shared.gmSystemOnSeen.load(), 1);

    auto display = [](uint8_t page, uint8_t half, uint8_t fill, size_t length) {
        std::vector<uint8_t> m(length, fill);
        const uint8_t head[8] = {0xF0, 0x41, 0x10, 0x45, 0x12, 0x10, page, half};
        std::copy(head, head + 8, m.begin());
        return m;
    };
    Sysex(display(2, 0x40, 0x1F, 73));
    EXPECT_EQ(shared.displayDataArrived.load(), 1);
    EXPECT_EQ(shared.displayDots[191], 0);
    EXPECT_EQ(shared.displayDots[192], 0x1F);
    EXPECT_EQ(shared.displayDots[255], 0x1F);
    EXPECT_EQ(shared.displayDots[256], 0);
    shared.displayDataArrived = 0;
    Sysex(display(5, 0x40, 0x11, 72));
    EXPECT_EQ(shared.displayDots[639], 0x11);
    shared.displayDataArrived = 0;
    Sysex(display(6, 0x00, 0x22, 73));  // beyond the dot buffer: ignored
    Sysex(display(1, 0x00, 0x22, 71));  // too short: ignored
    Sysex(display(0, 0x00, 0x22, 73));
    EXPECT_EQ(shared.displayDataArrived.load(), 0);
    EXPECT_EQ(shared.displayDots[0], 0);

    module->Reset(0);
    EXPECT_EQ(shared.gsResetSeen.load(), 1);
    EXPECT_EQ(shared.displayDots[192], 0x1F);
}

TEST_F(OpllModuleTest, MutesUsePort0EntryForBothPorts) {
    shared.channelMute[3] = 1;
    Msg(0x93, 60, 100, 1);
    Msg(0x93, 61, 100, 0);
    EXPECT_EQ(UsedVoices(), 0);
    shared.channelMute[3] = 0;
    shared.channelMute[16 + 3] = 1;
    Msg(0x93, 62, 100, 1);
    EXPECT_EQ(UsedVoices(), 1);
    shared.channelMute[3] = 1;
    Msg(0x83, 62, 0, 1);  // a muted channel still releases
    EXPECT_EQ(UsedVoices(), 0);
    shared.channelMute[9] = 1;
    Msg(0x99, 38, 100);
    EXPECT_EQ(module->RhythmKeys(), 0x20u);
}

TEST_F(OpllModuleTest, PitchHelpers) {
    EXPECT_NEAR(NoteFrequency(69), 440.0, 0.01);
    EXPECT_NEAR(NoteFrequency(60), 261.63, 0.001);
    EXPECT_NEAR(NoteFrequency(240), 261.63, 0.001);  // octave 20: the default
    EXPECT_NEAR(NoteFrequency(-1), 8.175938, 1e-5);
    const FmPitch a4 = FrequencyToPitch(NoteFrequency(69));
    EXPECT_EQ(a4.fnum, 290u);
    EXPECT_EQ(a4.block, 4u);
    const FmPitch top = FrequencyToPitch(NoteFrequency(127));  // nine halvings
    EXPECT_EQ(top.fnum, 511u);
    EXPECT_EQ(top.block, 7u);
    const FmPitch low = FrequencyToPitch(NoteFrequency(0));
    EXPECT_EQ(low.fnum, 86u);
    EXPECT_EQ(low.block, 0u);
    EXPECT_NEAR(BentNoteFrequency(69, 50), (440.0 + 466.16) / 2, 0.05);
    EXPECT_NEAR(BentNoteFrequency(69, -100), NoteFrequency(68), 0.001);
    EXPECT_EQ(LevelAttenuation(70), 0);
    EXPECT_EQ(LevelAttenuation(69), 1);
    EXPECT_EQ(LevelAttenuation(2), 14);
    EXPECT_EQ(LevelAttenuation(1), 15);
    EXPECT_EQ(ProgramToInstrument[0], 0x30);
    EXPECT_EQ(ProgramToInstrument[36], 0xF0);
    EXPECT_EQ(ProgramToInstrument[71], 0x50);
    EXPECT_EQ(ProgramToInstrument[126], 0x20);
}

TEST(OpllMix, HalvesTheMelodicChipsAndAddsPoint4OfTheRhythmChip) {
    EXPECT_EQ(MixOpllSample(1000, 1000, 1000, 1000, 1000), 2400);
    EXPECT_EQ(MixOpllSample(-3, 0, 0, 0, 0), -1);  // truncation toward zero
    EXPECT_EQ(MixOpllSample(0, 0, 0, 0, -5), -2);  // trunc(-2.0000000298)
    EXPECT_EQ(MixOpllSample(0, 0, 0, 0, 32767), 13106);
    EXPECT_EQ(MixOpllSample(32767, 32767, 32767, 32767, 0), 32767);
    EXPECT_EQ(MixOpllSample(-32768, -32768, -32768, -32768, -32768), -32767);
    // The rhythm share against the double-precision product with the single-precision -0.4.
    for (int32_t s4 = -32768; s4 <= 32767; ++s4) {
        const double product = s4 * static_cast<double>(-0.4f);
        const int32_t expected = 7 - static_cast<int32_t>(std::trunc(product));
        ASSERT_EQ(MixOpllSample(14, 0, 0, 0, static_cast<int16_t>(s4)), expected) << s4;
    }
}

// Counts its calls and fails the third.
int createCalls = 0;
OpllChip* FailingThirdCreate(const OpllTables& tables) {
    return ++createCalls == 3 ? nullptr : OpllCreate(tables);
}

TEST(OpllModuleFailure, AChipThatCannotBeCreatedLeavesTheModuleSilent) {
    EngineParameters params;
    ModuleSharedState shared;
    OpllNoise noise;
    auto tables = std::make_unique<OpllTables>();
    createCalls = 0;
    OpllModule module(params, shared, noise, *tables, FailingThirdCreate);
    EXPECT_FALSE(module.ChipsReady());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(module.Chip(i), nullptr);
    module.ShortMsg(0, PackShortMsg(0x90, 60, 100), 0);
    module.ShortMsg(0, PackShortMsg(0x99, 38, 100), 0);
    module.ShortMsg(0, PackShortMsg(0xE0, 0, 0x50), 0);
    EXPECT_EQ(module.MixedSample(), 0);
    const uint32_t noiseBefore = noise.value;
    EXPECT_EQ(module.MixedSample(), 0);
    EXPECT_EQ(noise.value, noiseBefore);
    module.Reset(0);  // the next reset tries again and succeeds
    EXPECT_TRUE(module.ChipsReady());
}

TEST(OpllModuleFailure, AnUnusableRateLeavesTheModuleSilent) {
    EngineParameters params;
    params.sampleRate = 0;
    ModuleSharedState shared;
    OpllNoise noise;
    auto tables = std::make_unique<OpllTables>();
    OpllModule module(params, shared, noise, *tables);
    EXPECT_FALSE(module.ChipsReady());
    module.ShortMsg(0, PackShortMsg(0x90, 60, 100), 0);
    EXPECT_EQ(module.MixedSample(), 0);
    params.sampleRate = 22050;
    module.Reset(0);
    EXPECT_TRUE(module.ChipsReady());
    EXPECT_EQ(tables->rate, 22050);
}

TEST_F(OpllModuleTest, ResetSilencesAndReusesTheChipsInPlace) {
    OpllChip* first = module->Chip(0);
    Msg(0x90, 60, 127);
    Msg(0x99, 36, 127);
    Samples(100);
    module->Reset(0);
    EXPECT_EQ(module->Chip(0), first);
    EXPECT_EQ(UsedVoices(), 0);
    EXPECT_EQ(first->slots[1].envState, kOpllIdle);
    EXPECT_EQ(module->Chip(4)->slots[kOpllSlotBassDrumCarrier].envState, kOpllRelease);
    for (int i = 0; i < 50; ++i) ASSERT_EQ(module->MixedSample(), 0);
}

}  // namespace
}  // namespace zeblo
