#include <gtest/gtest.h>

#include "OpllTestSupport.h"
#include "modules/opll/OpllTables.h"

namespace zeblo {
namespace {

using testing::MakeTables;

TEST(OpllTables, SineTablesHaveSilenceAtTheZerosAndFullLevelAtThePeaks) {
    auto t = MakeTables();
    EXPECT_EQ(t->fullSine[0], 256);
    EXPECT_EQ(t->fullSine[255], 256);
    EXPECT_EQ(t->fullSine[256], -256);
    EXPECT_EQ(t->fullSine[511], -256);
    // Full level over the 16 entries either side of the peak, one step less beyond.
    for (int i = 112; i <= 143; ++i) EXPECT_EQ(t->fullSine[i], 1) << i;
    EXPECT_EQ(t->fullSine[111], 2);
    EXPECT_EQ(t->fullSine[144], 2);
    for (int i = 1; i < 256; ++i) EXPECT_EQ(t->fullSine[256 + i], -t->fullSine[i]) << i;
    // Entry 43 is about half amplitude: 5.96 dB is 31 dB units, plus one.
    EXPECT_EQ(t->fullSine[43], 32);

    for (int i = 0; i < 256; ++i) EXPECT_EQ(t->halfSine[i], t->fullSine[i]) << i;
    for (int i = 256; i < 512; ++i) EXPECT_EQ(t->halfSine[i], 256) << i;
    EXPECT_EQ(t->waveTables[0], t->fullSine.data());
    EXPECT_EQ(t->waveTables[1], t->halfSine.data());
}

TEST(OpllTables, LevelConversionsAndEnvelopeCurve) {
    auto t = MakeTables();
    EXPECT_EQ(t->db2lin[0], 512);
    EXPECT_EQ(t->db2lin[1], 501);
    EXPECT_EQ(t->db2lin[32], 256);  // 6 dB
    EXPECT_EQ(t->db2lin[254], 2);
    EXPECT_EQ(t->db2lin[255], 0);

    EXPECT_EQ(t->attackCurve[0], 128);
    EXPECT_EQ(t->attackCurve[1], 127);
    EXPECT_EQ(t->attackCurve[2], 108);
    EXPECT_EQ(t->attackCurve[127], 0);

    EXPECT_EQ(t->sustainLevel[0], 0u);
    EXPECT_EQ(t->sustainLevel[14], 14u * 0x40000);
    EXPECT_EQ(t->sustainLevel[15], 0x400000u);
}

TEST(OpllTables, LfoTablesStayInTheirRanges) {
    auto t = MakeTables();
    EXPECT_EQ(t->vibrato[0], 256);
    EXPECT_EQ(t->vibrato[64], 258);
    EXPECT_EQ(t->vibrato[192], 253);
    EXPECT_EQ(t->tremolo[0], 12);
    EXPECT_EQ(t->tremolo[64], 25);
    EXPECT_EQ(t->tremolo[192], 0);
    for (int i = 0; i < 256; ++i) {
        EXPECT_GE(t->vibrato[i], 253);
        EXPECT_LE(t->vibrato[i], 258);
        EXPECT_GE(t->tremolo[i], 0);
        EXPECT_LE(t->tremolo[i], 25);
    }
}

TEST(OpllTables, PhaseStepsFollowTheOutputRate) {
    auto t44 = MakeTables(44100);
    auto t22 = MakeTables(22050);
    // A4 at F-number 290, block 4, multiple 1: one cycle is 2^18 phase units.
    const double hz = t44->phaseStep[290][4][1] * 44100.0 / 262144.0;
    EXPECT_NEAR(hz, 440.0, 0.2);
    EXPECT_EQ(t44->phaseStep[290][4][0] * 2, t44->phaseStep[290][4][1] + 1);  // half, rounded
    EXPECT_NEAR(t22->phaseStep[290][4][1], 2.0 * t44->phaseStep[290][4][1], 1.0);
    EXPECT_EQ(t44->phaseStep[0][7][15], 0u);
    EXPECT_EQ(t22->rate, 22050);
    EXPECT_EQ(t22->clock, kOpllClockHz);
}

TEST(OpllTables, EnvelopeRates) {
    auto t = MakeTables();
    for (int rks = 0; rks < 16; ++rks) {
        EXPECT_EQ(t->attackRate[15][rks], 0x400000u);
        EXPECT_EQ(t->attackRate[0][rks], 0u);
        EXPECT_EQ(t->decayRate[0][rks], 0u);
    }
    // Each rate step doubles the speed; rks adds quarter steps.
    for (int r = 1; r < 14; ++r) {
        EXPECT_NEAR(t->decayRate[r + 1][0], 2.0 * t->decayRate[r][0], 1.0) << r;
        EXPECT_NEAR(t->attackRate[r + 1][0], 2.0 * t->attackRate[r][0], 1.0) << r;
    }
    EXPECT_NEAR(t->decayRate[4][2], 1.5 * t->decayRate[4][0], 1.0);
    EXPECT_EQ(t->decayRate[14][8], t->decayRate[15][0]);  // capped at rate 15
    EXPECT_GT(t->decayRate[15][3], t->decayRate[15][0]);
}

TEST(OpllTables, RateScaleAndKeyScaleLevel) {
    auto t = MakeTables();
    EXPECT_EQ(t->rateScale[0][7][0], 3u);
    EXPECT_EQ(t->rateScale[1][7][0], 3u);
    EXPECT_EQ(t->rateScale[1][7][1], 15u);
    EXPECT_EQ(t->rateScale[0][5][1], 10u);

    EXPECT_EQ(t->level[15][7][10][0], 40);  // no key scaling
    EXPECT_EQ(t->level[15][7][0][1], 53);   // 42 >> 2 = 10, times 16/3
    EXPECT_EQ(t->level[15][7][10][3], 264);
    EXPECT_EQ(t->level[1][7][0][2], 48);   // 18 >> 1 = 9
    EXPECT_EQ(t->level[15][0][5][3], 20);  // 42 - 42 = 0: only TL
    EXPECT_EQ(t->level[0][7][63][3], 252);
}

TEST(OpllTables, BuiltInTonesDecodeIntoTheDefaultPairs) {
    auto t = MakeTables();
    const OpllPatchPair& user = t->defaultPatches[0];
    EXPECT_EQ(user.modulator.ar + user.modulator.tl + user.carrier.ar + user.carrier.ml, 0u);

    // Pair 1: 61 61 1E 17 F0 7F 07 17.
    const OpllPatch& m = t->defaultPatches[1].modulator;
    const OpllPatch& c = t->defaultPatches[1].carrier;
    EXPECT_EQ(m.am, 0u);
    EXPECT_EQ(m.pm, 1u);
    EXPECT_EQ(m.eg, 1u);
    EXPECT_EQ(m.kr, 0u);
    EXPECT_EQ(m.ml, 1u);
    EXPECT_EQ(m.kl, 0u);
    EXPECT_EQ(m.tl, 30u);
    EXPECT_EQ(c.wf, 1u);
    EXPECT_EQ(m.wf, 0u);
    EXPECT_EQ(m.fb, 7u);
    EXPECT_EQ(m.ar, 15u);
    EXPECT_EQ(m.dr, 0u);
    EXPECT_EQ(c.ar, 7u);
    EXPECT_EQ(c.dr, 15u);
    EXPECT_EQ(m.sl, 0u);
    EXPECT_EQ(m.rr, 7u);
    EXPECT_EQ(c.sl, 1u);
    EXPECT_EQ(c.rr, 7u);
    EXPECT_EQ(c.tl, 0u);
    EXPECT_EQ(c.fb, 0u);

    // Pair 12: 97 E1 28 07 ...: tremolo on both halves, key-scale level 0, TL 40.
    EXPECT_EQ(t->defaultPatches[12].modulator.am, 1u);
    EXPECT_EQ(t->defaultPatches[12].carrier.am, 1u);
    EXPECT_EQ(t->defaultPatches[12].carrier.pm, 1u);
    EXPECT_EQ(t->defaultPatches[12].modulator.ml, 7u);
    EXPECT_EQ(t->defaultPatches[12].modulator.tl, 40u);
    // Pair 18 (tom-tom, cymbal): 25 18 ...: cymbal percussive, key-scale rate, multiple 8.
    EXPECT_EQ(t->defaultPatches[18].carrier.eg, 0u);
    EXPECT_EQ(t->defaultPatches[18].carrier.kr, 1u);
    EXPECT_EQ(t->defaultPatches[18].carrier.ml, 8u);
    EXPECT_EQ(t->defaultPatches[18].carrier.sl, 5u);
    // Pair 3's byte 2 (0x99): KL 2, TL 25.
    EXPECT_EQ(t->defaultPatches[3].modulator.kl, 2u);
    EXPECT_EQ(t->defaultPatches[3].modulator.tl, 25u);
    for (const OpllPatchPair& pair : t->defaultPatches) {
        EXPECT_EQ(pair.modulator.updateFlags | pair.carrier.updateFlags, 0u);
    }
}

}  // namespace
}  // namespace zeblo
