// The FM module's sound, feature by feature, frozen as hashes of what it renders for short
// scripts of messages; and the bookkeeping and arithmetic that sound cannot show.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "modules/ModuleTestSupport.h"
#include "modules/opll/OpllModule.h"

namespace zeblo {
namespace {

using test::ScriptHash;
using test::Step;

struct Rig {
    explicit Rig(int32_t rate = 44100, OpllModule::ChipFactory factory = OpllCreate) {
        params.sampleRate = rate;
        module = std::make_unique<OpllModule>(params, shared, noise, factory);
    }
    void Send(uint32_t status, uint32_t d1, uint32_t d2 = 0, uint32_t port = 0) {
        test::Send(*module, status, d1, d2, port);
    }
    int UsedVoices() const {
        int n = 0;
        for (const FmVoice& v : module->Voices()) n += v.channel != -1;
        return n;
    }
    EngineParameters params;
    ModuleSharedState shared;
    OpllNoise noise;
    std::unique_ptr<OpllModule> module;
};

// Programs with vibrato, tremolo, feedback and percussive and sustained tones, as chords.
std::vector<Step> Melody() {
    std::vector<Step> s;
    for (uint32_t p = 0; p < 128; p += 7) {
        const uint32_t ch = p % 8;
        s.push_back({0, PackShortMsg(0xC0 | ch, p)});
        s.push_back({0, PackShortMsg(0x90 | ch, 36 + p % 48, 20 + p % 100)});
        s.push_back({0, PackShortMsg(0x90 | ch, 43 + p % 48, 100)});
        s.push_back({1500, PackShortMsg(0x80 | ch, 36 + p % 48)});
    }
    return s;
}

std::vector<Step> Rhythm() {
    std::vector<Step> s;
    for (uint32_t key = 33; key <= 60; ++key)
        s.push_back({1800, PackShortMsg(0x99, key, 30 + key)});
    s.push_back({0, PackShortMsg(0xC9, 50)});
    for (uint32_t key : {40u, 60u, 72u}) s.push_back({1800, PackShortMsg(0x99, key, 100)});
    return s;
}

std::vector<Step> BendAndPedal() {
    std::vector<Step> s = {{0, PackShortMsg(0x90, 69, 100)},
                           {0, PackShortMsg(0xB1, 64, 127)},
                           {0, PackShortMsg(0x91, 57, 100)},
                           {500, PackShortMsg(0x81, 57)}};
    for (uint32_t msb : {127u, 0u, 90u, 40u}) s.push_back({1500, PackShortMsg(0xE0, 0x7F, msb)});
    for (auto [c, v] : {std::pair{101u, 0u}, {100u, 0u}, {6u, 12u}})
        s.push_back({0, PackShortMsg(0xB0, c, v)});
    s.push_back({0, PackShortMsg(0xE0, 0x10, 100)});
    s.push_back({1500, PackShortMsg(0xB1, 64, 0)});
    return s;
}

std::vector<Step> SysExes() {
    return {{0, 0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x15, 0x00, 0x1B}},
            {0, PackShortMsg(0x99, 60, 100)},
            {1500, 0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x11, 0x15, 0x01, 0x19}},
            {0, PackShortMsg(0x90, 38, 100)},
            {1500, 0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41}},
            {0, PackShortMsg(0x92, 60, 100)},
            {1500, 0, {0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x7F, 0x00, 0x01}},
            {0, PackShortMsg(0x99, 36, 100)}};
}

TEST(OpllSound, FeatureHashes) {
    struct Row {
        const char* name;
        std::vector<Step> script;
        int32_t rate;
        uint64_t expected;
    };
    const Row rows[] = {
        {"melody", Melody(), 44100, 0x49b41925752cafa9},
        {"melody at 22050", Melody(), 22050, 0x4f3618a2655f013d},
        {"rhythm", Rhythm(), 44100, 0x64dde33f1bc9519d},
        {"bend and pedal", BendAndPedal(), 48000, 0xc70552c2b68a0a3d},
        {"system exclusive", SysExes(), 44100, 0x1afd3d6307b9c945},
    };
    for (const Row& row : rows) {
        Rig rig(row.rate);
        EXPECT_EQ(ScriptHash(*rig.module, row.script, 6000), row.expected) << row.name;
    }
}

TEST(OpllModule, VoicesAreTakenInTurnAndThe36thNoteIsDropped) {
    Rig rig;
    rig.Send(0x90, 60, 100);
    rig.Send(0x80, 60);
    rig.Send(0x90, 61, 100);
    EXPECT_EQ(rig.module->Voices()[1].note, 61);  // not record 0 again
    for (uint32_t n = 0; n < 35; ++n) rig.Send(0x92, 20 + n, 100);
    EXPECT_EQ(rig.UsedVoices(), kFmUsableVoices);
    EXPECT_EQ(rig.module->Voices()[0].note, 53);  // wrapped around to the freed record
    for (const FmVoice& v : rig.module->Voices()) EXPECT_NE(v.note, 54);
}

// Channel mutes are looked up by the port-0 index for both ports; a muted channel still releases.
TEST(OpllModule, MutesUsePort0EntryForBothPorts) {
    Rig rig;
    rig.shared.channelMute[3] = 1;
    rig.Send(0x93, 60, 100, 1);
    EXPECT_EQ(rig.UsedVoices(), 0);
    rig.shared.channelMute[3] = 0;
    rig.shared.channelMute[16 + 3] = 1;
    rig.Send(0x93, 62, 100, 1);
    EXPECT_EQ(rig.UsedVoices(), 1);
    rig.shared.channelMute[3] = 1;
    rig.Send(0x83, 62, 0, 1);
    EXPECT_EQ(rig.UsedVoices(), 0);
}

int createCalls = 0;
std::unique_ptr<OpllChip> FailingThirdCreate(const OpllTables& tables) {
    return ++createCalls == 3 ? nullptr : OpllCreate(tables);
}

TEST(OpllModule, WithoutChipsOrAUsableRateTheModuleIsSilent) {
    Rig failing(44100, FailingThirdCreate);
    Rig noRate(0);
    for (Rig* rig : {&failing, &noRate}) {
        EXPECT_FALSE(rig->module->ChipsReady());
        rig->Send(0x90, 60, 100);
        rig->Send(0x99, 38, 100);
        const uint32_t noise = rig->noise.value;
        EXPECT_EQ(ScriptHash(*rig->module, {}, 100), ScriptHash(*Rig().module, {}, 100));
        EXPECT_EQ(rig->noise.value, noise);
    }
    failing.module->Reset(0);  // the next reset tries again
    EXPECT_TRUE(failing.module->ChipsReady());
}

TEST(OpllModule, PitchLevelAndMixArithmetic) {
    EXPECT_NEAR(NoteFrequency(69), 440.0, 0.01);
    EXPECT_NEAR(NoteFrequency(240), 261.63, 0.001);  // octave 20: the default
    EXPECT_NEAR(BentNoteFrequency(69, 50), (440.0 + 466.16) / 2, 0.05);
    EXPECT_NEAR(BentNoteFrequency(69, -100), NoteFrequency(68), 0.001);
    struct Pitch {
        int32_t note;
        uint32_t fnum, block;
    };
    for (const Pitch p : {Pitch{69, 290, 4}, Pitch{127, 511, 7}, Pitch{0, 86, 0}}) {
        const FmPitch got = FrequencyToPitch(NoteFrequency(p.note));
        EXPECT_EQ(got.fnum, p.fnum) << p.note;
        EXPECT_EQ(got.block, p.block) << p.note;
    }
    for (auto [level, attenuation] : {std::pair{70, 0}, {69, 1}, {2, 14}, {1, 15}})
        EXPECT_EQ(LevelAttenuation(level), attenuation) << level;
    EXPECT_EQ(MixOpllSample(1000, 1000, 1000, 1000, 1000), 2400);
    EXPECT_EQ(MixOpllSample(-3, 0, 0, 0, 0), -1);  // truncation toward zero
    EXPECT_EQ(MixOpllSample(32767, 32767, 32767, 32767, 0), 32767);
    EXPECT_EQ(MixOpllSample(-32768, -32768, -32768, -32768, -32768), -32767);
}

}  // namespace
}  // namespace zeblo
