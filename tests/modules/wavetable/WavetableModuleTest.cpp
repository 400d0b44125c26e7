// The wavetable module's sound, feature by feature, frozen as hashes of what it renders for short
// scripts of messages; and the bookkeeping that sound cannot show.
#include <gtest/gtest.h>

#include <memory>

#include "modules/ModuleTestSupport.h"
#include "modules/wavetable/WavetableModule.h"

namespace zeblo {
namespace {

using test::ScriptHash;
using test::Step;

struct Rig {
    explicit Rig(int32_t rate = 44100, int32_t set = 0, bool detune = false) {
        params.sampleRate = rate;
        params.activeInstrumentSet = set;
        params.autoDetune = detune;
        module = std::make_unique<WavetableModule>(params, shared, random);
    }
    void Send(uint32_t status, uint32_t d1, uint32_t d2 = 0, uint32_t port = 0) {
        test::Send(*module, status, d1, d2, port);
    }
    int BoundSlots() const {
        int n = 0;
        for (int i = 0; i < kWavetableVoiceCount; ++i) n += module->Slot(i).channel != -1;
        return n;
    }
    EngineParameters params;
    ModuleSharedState shared;
    Mt19937 random;
    std::unique_ptr<WavetableModule> module;
};

// Every key of two drum kits, one hit at a time.
std::vector<Step> Drums() {
    std::vector<Step> s;
    for (uint32_t kit : {0u, 48u}) {
        s.push_back({0, PackShortMsg(0xC9, kit)});
        for (uint32_t key = 27; key <= 87; ++key) s.push_back({2500, PackShortMsg(0x99, key, 100)});
    }
    return s;
}

std::vector<Step> Pan() {
    std::vector<Step> s = {{0, PackShortMsg(0xC0, 80)},
                           {0, PackShortMsg(0x90, 60, 100)},
                           {0, PackShortMsg(0xB1, 10, 10)},
                           {0, PackShortMsg(0x91, 67, 90)}};
    for (uint32_t pan : {0u, 20u, 64u, 100u, 127u})
        s.push_back({3000, PackShortMsg(0xB0, 10, pan)});
    return s;
}

std::vector<Step> Bend() {
    std::vector<Step> s = {{0, PackShortMsg(0xC0, 80)},
                           {0, PackShortMsg(0x90, 60, 100)},
                           {0, PackShortMsg(0xC2, 122)},
                           {0, PackShortMsg(0x92, 50, 100)}};
    for (uint32_t msb : {127u, 0u, 90u, 40u}) {
        s.push_back({2000, PackShortMsg(0xE0, 0x7F, msb)});
        s.push_back({0, PackShortMsg(0xE2, 0, msb)});
    }
    for (auto [c, v] : {std::pair{101u, 0u}, {100u, 0u}, {6u, 12u}})
        s.push_back({0, PackShortMsg(0xB0, c, v)});
    s.push_back({0, PackShortMsg(0xE0, 0x10, 100)});
    s.push_back({2000, PackShortMsg(0xB0, 121, 0)});
    return s;
}

std::vector<Step> Envelopes() {
    std::vector<Step> s = {{0, PackShortMsg(0xB1, 64, 127)}};
    for (uint32_t p = 0; p < 128; p += 9) {
        const uint32_t ch = p % 3;
        s.push_back({0, PackShortMsg(0xC0 | ch, p)});
        s.push_back({0, PackShortMsg(0xB0 | ch, 7, 60 + p % 60)});
        s.push_back({0, PackShortMsg(0x90 | ch, 40 + p % 40, 30 + p % 90)});
        s.push_back({1200, PackShortMsg(0xB0 | ch, 11, 127 - p % 100)});
        s.push_back({1200, PackShortMsg(0x80 | ch, 40 + p % 40)});
    }
    s.push_back({3000, PackShortMsg(0xB1, 64, 0)});
    return s;
}

std::vector<Step> SysExes() {
    std::vector<uint8_t> upload = {0x77, 0x10, 0x42, 0x12, 0xF1, 0x05, 0x00};
    for (int i = 0; i < 32; ++i) upload.push_back(static_cast<uint8_t>(i * 8 - 128));
    return {{0, 0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x04, 90, 0x00}},
            {0, PackShortMsg(0x90, 60, 100)},
            {2000, 0, {0x7F, 0x7F, 0x04, 0x01, 0x00, 50}},
            {2000, 0, upload},
            {0, 0, {0x77, 0x10, 0x42, 0x12, 0xF0, 0x00, 0x00, 0x01}},
            {0, PackShortMsg(0xC1, 5)},
            {0, PackShortMsg(0x91, 64, 100)},
            {2000, 0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x13, 0x15, 0x01, 0x00}},
            {0, PackShortMsg(0x92, 38, 100)},
            {2000, 0, {0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x7F, 0x00, 0x01}},
            {0, PackShortMsg(0x92, 38, 100)},
            {0, PackShortMsg(0x99, 36, 100), {}, 1}};
}

TEST(WavetableSound, FeatureHashes) {
    struct Row {
        const char* name;
        std::vector<Step> script;
        int32_t rate;
        int32_t set;
        bool detune;
        uint64_t expected;
    };
    const Row rows[] = {
        {"drums", Drums(), 44100, 0, false, 0x3fa9ba926af58f84},
        {"drums at half rate", Drums(), 22050, 0, false, 0xf8acd921428f3eef},
        {"drums at 48000", Drums(), 48000, 0, false, 0x8c4f970f4dc3d062},
        {"pan", Pan(), 44100, 0, false, 0x6cb7ec07b505db12},
        {"bend", Bend(), 44100, 0, true, 0x46ac708e47250e32},
        {"envelopes", Envelopes(), 44100, 0, true, 0xd4136d32413ea3f5},
        {"envelopes in set 2", Envelopes(), 48000, 2, false, 0xf911a484d8e44c61},
        {"system exclusive", SysExes(), 44100, 0, false, 0x508a9215f6a8e364},
    };
    for (const Row& row : rows) {
        Rig rig(row.rate, row.set, row.detune);
        EXPECT_EQ(ScriptHash(*rig.module, row.script, 6000), row.expected) << row.name;
    }
}

// A second song renders as the first did in a fresh process.
TEST(WavetableSound, ResetRunStateRepeatsAFreshRun) {
    Rig rig;
    const uint64_t first = ScriptHash(*rig.module, SysExes(), 3000);
    rig.module->ResetRunState();
    EXPECT_EQ(ScriptHash(*rig.module, SysExes(), 3000), first);
    EXPECT_EQ(rig.shared.masterVolume, 127);
}

TEST(WavetableModule, AllocationTakesTheHighestFreeSlotAndDropsThe46thNote) {
    Rig rig;
    for (uint32_t key = 20; key < 20 + kWavetableVoiceCount + 1; ++key) rig.Send(0x90, key, 100);
    EXPECT_EQ(rig.BoundSlots(), kWavetableVoiceCount);
    EXPECT_EQ(rig.module->Slot(kWavetableVoiceCount - 1).key, 20);
    EXPECT_EQ(rig.module->Slot(0).key, 64);
}

// A drum hit ends at the first cycle boundary after its length, so the length shows only here.
// At 22050 Hz lengths halve and per-sample rates double.
TEST(WavetableModule, DrumHitsArmTheirVoices) {
    struct Hit {
        int32_t rate;
        uint32_t key;
        int32_t length, slope;
        float sweep;
    };
    for (const Hit h : {Hit{44100, 36, 540, -262, 0.0f}, Hit{22050, 36, 270, -524, 0.0f},
                        Hit{22050, 41, 600, -655, -1.2f}, Hit{44100, 46, 2500, -655, 0.0f}}) {
        Rig rig(h.rate);
        rig.Send(0x99, h.key, 100);
        const WavetableVoice& v = rig.module->Slot(kWavetableVoiceCount - 1).voice;
        EXPECT_EQ(v.lengthCounter, h.length) << h.key << " at " << h.rate;
        EXPECT_EQ(v.amplitudeSlope, h.slope) << h.key << " at " << h.rate;
        EXPECT_EQ(v.sweep, h.sweep) << h.key << " at " << h.rate;
    }
}

// A note that ended by itself keeps its slot while its key is held, until no slot is free.
TEST(WavetableModule, EndedNotesKeepTheirSlotsUntilNoneIsFree) {
    Rig rig;
    rig.Send(0xC0, 28);  // fades out within half a second
    for (uint32_t key = 20; key < 20 + kWavetableVoiceCount; ++key) rig.Send(0x90, key, 100);
    std::vector<int32_t> left(30000), right(30000);
    rig.module->RenderRun(left.data(), right.data(), 30000);
    EXPECT_EQ(left.back() | right.back(), 0);
    EXPECT_EQ(rig.BoundSlots(), kWavetableVoiceCount);
    rig.Send(0x91, 70, 100);
    EXPECT_EQ(rig.BoundSlots(), 1);
    EXPECT_EQ(rig.module->Slot(kWavetableVoiceCount - 1).channel, 1);
}

TEST(WavetableModule, MutesPortsAndDrumChannels) {
    Rig rig;
    rig.shared.channelMute[16 + 3] = 1;
    rig.Send(0x93, 60, 100, 2);  // port 2 folds onto port 1: muted
    EXPECT_EQ(rig.BoundSlots(), 0);
    rig.Send(0x93, 60, 100, 0);
    rig.Send(0xB3, 7, 33, 5);
    EXPECT_EQ(rig.module->Channel(19).volume, 33);
    EXPECT_EQ(rig.BoundSlots(), 1);
    rig.Send(0x99, 38, 100);  // the snare takes a noise voice and a square body
    EXPECT_EQ(rig.BoundSlots(), 3);
    EXPECT_TRUE(rig.module->IsDrumChannel(9));
    test::SysEx(*rig.module, {0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x15, 0x00, 0x00}, 1);
    EXPECT_FALSE(rig.module->IsDrumChannel(16 + 9));
    EXPECT_TRUE(rig.module->IsDrumChannel(9));
}

TEST(Mt19937, UnseededUsesSeed4357AndMatchesThePublishedOutputs) {
    Mt19937 random;
    for (uint32_t expected : {3510405877u, 4290933890u, 2191955339u, 564929546u})
        EXPECT_EQ(random.Next(), expected);
    for (int i = 5; i < 16384; ++i) random.Next();
    EXPECT_EQ(random.Next(), 2454186801u);  // output number 16384
}

}  // namespace
}  // namespace zeblo
