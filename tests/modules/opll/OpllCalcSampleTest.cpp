#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "OpllReferenceGenerator.h"
#include "OpllTestSupport.h"
#include "modules/opll/OpllChip.h"

namespace zeblo {
namespace {

using testing::ChipPtr;
using testing::MakeChip;
using testing::MakeTables;
using testing::RunSamples;
using testing::WriteUserTone;

// Modulator silent (AR 0), carrier attacks at once to full level and holds there.
constexpr uint8_t kPureCarrier[8] = {0x21, 0x21, 0x3F, 0x00, 0x00, 0xF0, 0x00, 0x00};

class OpllSamples : public ::testing::Test {
protected:
    std::unique_ptr<OpllTables> tables = MakeTables();
    ChipPtr chip = MakeChip(*tables);
    OpllNoise noise;

    void W(uint32_t a, uint32_t v) { OpllWriteRegister(*chip, a, v); }
    void KeyOnPure(int c) {
        W(0x30 + c, 0x00);
        W(0x10 + c, 0x00);
        W(0x20 + c, 0x17);  // F-number 0x100, block 3: about 2 table entries per sample
    }
};

TEST_F(OpllSamples, IdleChipsGiveZero) {
    for (int16_t s : RunSamples(*chip, noise, 2000)) ASSERT_EQ(s, 0);
    W(0x0E, 0x20);
    for (int16_t s : RunSamples(*chip, noise, 2000)) ASSERT_EQ(s, 0);
}

TEST_F(OpllSamples, OneChannelAtThePeakGives4000AndNineClip) {
    WriteUserTone(*chip, kPureCarrier);
    KeyOnPure(0);
    const auto one = RunSamples(*chip, noise, 4000);
    EXPECT_EQ(*std::max_element(one.begin(), one.end()), 4000);  // 16 * (501 >> 1)
    // Negative half-waves are two dB units quieter: db2lin[3] = 480.
    EXPECT_EQ(*std::min_element(one.begin(), one.end()), -3840);
    EXPECT_EQ(chip->slots[1].envState, kOpllSustainHold);
    EXPECT_EQ(chip->slots[1].envOutput, 1);

    ChipPtr nine = MakeChip(*tables);
    chip.swap(nine);
    WriteUserTone(*chip, kPureCarrier);
    for (int c = 0; c < 9; ++c) KeyOnPure(c);
    const auto all = RunSamples(*chip, noise, 4000);
    EXPECT_EQ(*std::max_element(all.begin(), all.end()), 32767);
    EXPECT_EQ(*std::min_element(all.begin(), all.end()), -32768);
}

TEST_F(OpllSamples, AttackReachingBit22GivesFullLevelAtOnce) {
    WriteUserTone(*chip, kPureCarrier);
    KeyOnPure(0);
    OpllCalcSample(*chip, noise);
    EXPECT_EQ(chip->slots[1].envState, kOpllDecay);
    EXPECT_EQ(chip->slots[1].envPhase, 0u);
    EXPECT_EQ(chip->slots[1].envOutput, 1);
    EXPECT_EQ(chip->slots[0].envState, kOpllAttack);  // AR 0 never leaves the attack
    EXPECT_EQ(chip->slots[0].envOutput, 255);
}

TEST_F(OpllSamples, FinishedCarrierSilencesItsChannelAndStopsItsModulator) {
    // Percussive carrier decaying into SL 15; modulator at full level.
    const uint8_t tone[8] = {0x21, 0x01, 0x00, 0x00, 0xF0, 0xFF, 0x00, 0xFF};
    WriteUserTone(*chip, tone);
    KeyOnPure(0);
    OpllSlot& mod = chip->slots[0];
    OpllSlot& car = chip->slots[1];
    bool heard = false;
    int guard = 0;
    while (car.envState != kOpllSustain && guard++ < 100000) {
        heard |= OpllCalcSample(*chip, noise) != 0;
    }
    ASSERT_TRUE(heard);
    EXPECT_EQ(car.envPhase, 0x400000u);  // decay stopped at SL 15
    OpllCalcSample(*chip, noise);
    EXPECT_EQ(car.envState, kOpllFinished);  // the next sample

    const uint32_t modPhase = mod.phase;
    const int32_t modOutput = mod.output;
    EXPECT_NE(modOutput, 0);
    for (int16_t s : RunSamples(*chip, noise, 500)) ASSERT_EQ(s, 0);
    EXPECT_EQ(mod.phase, modPhase);
    EXPECT_EQ(mod.output, modOutput);
}

TEST_F(OpllSamples, SustainedToneHoldsAtSilenceAfterDecayIntoSl15) {
    const uint8_t tone[8] = {0x21, 0x21, 0x3F, 0x00, 0x00, 0xFF, 0x00, 0xFF};
    WriteUserTone(*chip, tone);
    KeyOnPure(0);
    RunSamples(*chip, noise, 5000);
    EXPECT_EQ(chip->slots[1].envState, kOpllSustainHold);
    EXPECT_EQ(chip->slots[1].envPhase, 0x400000u);
    EXPECT_EQ(OpllCalcSample(*chip, noise), 0);
}

TEST_F(OpllSamples, EveryCallAdvancesTheSharedNoiseOnce) {
    ChipPtr other = MakeChip(*tables);
    noise.value = 0x0800;
    OpllCalcSample(*chip, noise);
    EXPECT_EQ(noise.value, 0x1000u);
    OpllCalcSample(*other, noise);
    EXPECT_EQ(noise.value, 0x2001u);  // bit 12 xor bit 15 shifted in
    EXPECT_EQ(chip->noise, 2u);
    EXPECT_EQ(other->noise, 4u);

    OpllNoise fresh;
    EXPECT_EQ(fresh.value, 0xFFFFu);
    OpllCalcSample(*chip, fresh);
    EXPECT_EQ(fresh.value, 0xFFFEu);
    EXPECT_EQ(chip->noise, 31u);
    OpllReset(chip.get());
    EXPECT_EQ(fresh.value, 0xFFFEu);  // never reset by a chip
}

// Modulator at full level with phase 0 (F-number 0) so only feedback moves its table index.
class OpllFeedback : public OpllSamples {
protected:
    int32_t ModulatorOutputAfter(uint32_t fb, int32_t previous, int32_t current) {
        const uint8_t tone[8] = {0x21, 0x21, 0x00, static_cast<uint8_t>(fb),
                                 0xF0, 0x00, 0x00, 0x00};
        WriteUserTone(*chip, tone);
        W(0x30, 0x0F);
        W(0x10, 0x00);
        W(0x20, 0x10);
        RunSamples(*chip, noise, 3);
        OpllSlot& mod = chip->slots[0];
        EXPECT_EQ(mod.envOutput, 1);
        EXPECT_EQ(mod.phaseIndex, 0u);
        mod.previousOutput = previous;
        mod.output = current;
        OpllCalcSample(*chip, noise);
        EXPECT_EQ(mod.previousOutput, current);
        return mod.output;
    }
    int32_t Expected(int index) {
        const int32_t s = tables->fullSine[index];
        return s >= 1 ? tables->db2lin[std::min(s, 255)] : -tables->db2lin[std::min(2 - s, 255)];
    }
};

TEST_F(OpllFeedback, Fb7ShiftsTheClearedSumByZero) {
    EXPECT_EQ(ModulatorOutputAfter(7, 51, 100), Expected(150));  // 151 & ~1
}

TEST_F(OpllFeedback, Fb1ShiftsRightBySix) {
    EXPECT_EQ(ModulatorOutputAfter(1, 51, 100), Expected(2));  // 150 >> 6
}

TEST_F(OpllFeedback, NegativeSumsShiftArithmetically) {
    EXPECT_EQ(ModulatorOutputAfter(1, -51, -100), Expected(509));  // -152 >> 6 = -3
}

// Feeds the same writes to a chip on the skipping generator and one on the plain generator.
struct GeneratorPair {
    std::unique_ptr<OpllTables> tables = MakeTables();
    ChipPtr fast = MakeChip(*tables);
    ChipPtr plain = MakeChip(*tables);
    OpllNoise fastNoise;
    OpllNoise plainNoise;
    long sample = 0;

    void Write(uint32_t a, uint32_t v) {
        OpllWriteRegister(*fast, a, v);
        OpllWriteRegister(*plain, a, v);
    }
    // Reports the first sample that differs.
    ::testing::AssertionResult Agree(uint32_t samples) {
        for (uint32_t i = 0; i < samples; ++i, ++sample) {
            const int16_t a = OpllCalcSample(*fast, fastNoise);
            const int16_t b = testing::ReferenceCalcSample(*plain, plainNoise);
            if (a != b) {
                return ::testing::AssertionFailure()
                       << "sample " << sample << ": " << a << " instead of " << b;
            }
        }
        return ::testing::AssertionSuccess();
    }
    // The same through OpllCalcRun in runs of up to maxRun samples. The fast chip sits second of
    // three chips on one noise register: it takes every third share, and the plain chip's register
    // moves by the other two calls around its own.
    ::testing::AssertionResult AgreeInRuns(uint32_t samples, uint32_t maxRun, std::mt19937& rng) {
        std::vector<uint8_t> shares;
        std::vector<int16_t> out;
        while (samples > 0) {
            const uint32_t run = std::min(samples, 1 + static_cast<uint32_t>(rng() % maxRun));
            shares.assign(3 * run, 0);
            for (uint8_t& share : shares) {
                fastNoise.value = OpllNextNoise(fastNoise.value);
                share = static_cast<uint8_t>(fastNoise.value >> 11);
            }
            out.assign(run, 0);
            OpllCalcRun(*fast, shares.data() + 1, 3, out.data(), run);
            for (uint32_t i = 0; i < run; ++i, ++sample) {
                plainNoise.value = OpllNextNoise(plainNoise.value);
                const int16_t b = testing::ReferenceCalcSample(*plain, plainNoise);
                plainNoise.value = OpllNextNoise(plainNoise.value);
                if (out[i] != b) {
                    return ::testing::AssertionFailure()
                           << "sample " << sample << ": " << out[i] << " instead of " << b;
                }
            }
            samples -= run;
        }
        return ::testing::AssertionSuccess();
    }
};

// Channel 8 tuned but never keyed, so the melodic channels go quiet for a long time; the tom-tom's
// phase that the hi-hat and cymbal read must still have moved when rhythm mode starts.
TEST(OpllGenerator, TomPhaseKeepsMovingWhileChannel8Sleeps) {
    for (uint32_t instrument : {0x10u, 0x30u}) {  // with and without vibrato
        GeneratorPair g;
        g.Write(0x38, instrument);
        g.Write(0x18, 0x9D);
        g.Write(0x28, 0x0B);
        ASSERT_TRUE(g.Agree(7000));
        EXPECT_TRUE(g.fast->melodicQuiet);
        g.Write(0x0E, 0x23);  // rhythm mode with hi-hat and cymbal
        ASSERT_TRUE(g.Agree(4000));
        g.Write(0x0E, 0x00);
        g.Write(0x28, 0x1B);
        ASSERT_TRUE(g.Agree(4000));
    }
}

// Edits of the user tone reach the slots that play it in the next sample only; held envelopes
// must notice a change of envelope type, and finished channels must miss the edits.
TEST(OpllGenerator, UserToneEditsWhileChannelsSoundHoldAndFinish) {
    GeneratorPair g;
    const uint8_t held[8] = {0x21, 0x21, 0x10, 0x00, 0xF0, 0xF0, 0x00, 0x00};
    for (uint32_t a = 0; a < 8; ++a) g.Write(a, held[a]);
    for (uint32_t c = 0; c < 9; ++c) {
        g.Write(0x30 + c, c);  // instrument 0, rising attenuation
        g.Write(0x10 + c, 0x40 + 17 * c);
        g.Write(0x20 + c, 0x14 | (c & 1));
    }
    ASSERT_TRUE(g.Agree(800));
    EXPECT_EQ(g.fast->slots[1].envState, kOpllSustainHold);
    const uint8_t edits[][2] = {{0x02, 0x25}, {0x00, 0x62}, {0x01, 0x81}, {0x03, 0x1D},
                                {0x07, 0x24}, {0x05, 0xF4}, {0x01, 0xA3}, {0x02, 0x80},
                                {0x00, 0xD1}, {0x06, 0x53}};
    for (const auto& e : edits) {
        g.Write(e[0], e[1]);
        ASSERT_TRUE(g.Agree(1500)) << "after " << int(e[0]) << " = " << int(e[1]);
    }
    g.Write(0x20, 0x04);  // release channel 0, let it finish, edit, key it on again
    ASSERT_TRUE(g.Agree(40000));
    g.Write(0x03, 0x08);
    ASSERT_TRUE(g.Agree(10));
    g.Write(0x20, 0x14);
    ASSERT_TRUE(g.Agree(3000));
}

// The skipping generator against a plain one that visits every slot, under random register
// traffic that includes rhythm-mode changes, user-tone edits and long silences.
// Rounds 3-5 render in runs, as the module does between sequencer steps.
TEST(OpllGenerator, MatchesThePlainGeneratorSampleForSample) {
    std::mt19937 rng(20240611);
    auto pick = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    for (int round = 0; round < 6; ++round) {
        GeneratorPair g;
        if (round % 3 == 2) g.Write(0x0E, 0x20);
        for (int step = 0; step < 250; ++step) {
            const uint32_t c = pick(9);
            const uint32_t action = pick(100);
            if (action < 30) {
                g.Write(0x30 + c, pick(256));
                g.Write(0x10 + c, pick(256));
                g.Write(0x20 + c, 0x10 | pick(16) | (pick(4) == 0 ? 0x20 : 0));
            } else if (action < 50) {
                g.Write(0x20 + c, (g.fast->registers[0x20 + c] & 0x0F) | (pick(3) == 0 ? 0x20 : 0));
            } else if (action < 60) {
                g.Write(pick(8), pick(256));
            } else if (action < 72) {
                g.Write(0x0E, (pick(5) == 0 ? 0 : 0x20) | pick(32));
            } else if (action < 78) {
                g.Write(0x26 + pick(3), pick(64));
            } else if (action < 84) {
                g.Write(0x36 + pick(3), pick(256));
            } else if (action < 92) {
                g.Write(0x10 + c, pick(256));
            } else {
                g.Write(pick(64), pick(256));
            }
            const uint32_t run = pick(20) == 0 ? 20000 + pick(20000) : 1 + pick(3000);
            if (round < 3) {
                ASSERT_TRUE(g.Agree(run)) << "round " << round << ", step " << step;
            } else {
                ASSERT_TRUE(g.AgreeInRuns(run, 700, rng)) << "round " << round << ", step " << step;
            }
        }
    }
}

}  // namespace
}  // namespace zeblo
