// The chip's fast generators (OpllCalcSample, which skips what cannot change, and OpllCalcRun)
// against its plain one, under random register traffic that includes rhythm-mode changes,
// user-tone edits and long silences; and a chip that switches paths between runs.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "modules/opll/OpllChip.h"

namespace zeblo {
namespace {

// Plain, per-sample fast, runs, and one that takes plain samples or runs by turns; each with a
// noise register of its own that steps alike.
struct ChipSet {
    ChipSet() {
        OpllInitTables(*tables, kOpllClockHz, 44100);
        for (auto& chip : chips) {
            chip = OpllCreate(*tables);
            OpllReset(chip.get());
            OpllLoadDefaultPatches(*chip);
        }
    }
    void Write(uint32_t address, uint32_t value) {
        for (auto& chip : chips) OpllWriteRegister(*chip, address, value);
    }
    // The first sample that differs from the plain chip's, if any.
    ::testing::AssertionResult Agree(uint32_t samples, std::mt19937& rng) {
        while (samples > 0) {
            const uint32_t run = std::min<uint32_t>(samples, 1 + rng() % 700);
            const bool mixedPlain = rng() % 2 == 0;
            std::vector<int16_t> out[4];
            std::vector<uint8_t> shares(run);
            for (uint32_t i = 0; i < run; ++i) {
                out[0].push_back(OpllCalcSamplePlain(*chips[0], noise[0]));
                out[1].push_back(OpllCalcSample(*chips[1], noise[1]));
                noise[2].value = OpllNextNoise(noise[2].value);
                shares[i] = static_cast<uint8_t>(noise[2].value >> 11);
                if (mixedPlain) out[3].push_back(OpllCalcSamplePlain(*chips[3], noise[3]));
            }
            out[2].resize(run);
            OpllCalcRun(*chips[2], shares.data(), 1, out[2].data(), run);
            if (!mixedPlain) {
                out[3].resize(run);
                OpllCalcRun(*chips[3], shares.data(), 1, out[3].data(), run);
                noise[3] = noise[2];
            }
            for (int k = 1; k < 4; ++k)
                for (uint32_t i = 0; i < run; ++i)
                    if (out[k][i] != out[0][i])
                        return ::testing::AssertionFailure()
                               << "chip " << k << ", sample " << sample + i << ": " << out[k][i]
                               << " instead of " << out[0][i];
            sample += run;
            samples -= run;
        }
        return ::testing::AssertionSuccess();
    }
    std::unique_ptr<OpllTables> tables = std::make_unique<OpllTables>();
    std::unique_ptr<OpllChip> chips[4];
    OpllNoise noise[4];
    long sample = 0;
};

// Channel 8 tuned but never keyed, so the melodic channels go quiet for a long time; the
// tom-tom's phase that the hi-hat and cymbal read must still have moved when rhythm mode starts.
TEST(OpllPaths, TomPhaseKeepsMovingWhileChannel8Sleeps) {
    std::mt19937 rng(7);
    for (uint32_t instrument : {0x10u, 0x30u}) {  // with and without vibrato
        ChipSet g;
        g.Write(0x38, instrument);
        g.Write(0x18, 0x9D);
        g.Write(0x28, 0x0B);
        ASSERT_TRUE(g.Agree(7000, rng));
        EXPECT_TRUE(g.chips[1]->melodicQuiet);
        g.Write(0x0E, 0x23);  // rhythm mode with hi-hat and cymbal
        ASSERT_TRUE(g.Agree(4000, rng));
    }
}

TEST(OpllPaths, FastPathsMatchThePlainPathSampleForSample) {
    std::mt19937 rng(20240611);
    auto pick = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    for (int round = 0; round < 4; ++round) {
        ChipSet g;
        if (round % 2 == 1) g.Write(0x0E, 0x20);
        for (int step = 0; step < 250; ++step) {
            const uint32_t c = pick(9);
            const uint32_t action = pick(100);
            if (action < 30) {
                g.Write(0x30 + c, pick(256));
                g.Write(0x10 + c, pick(256));
                g.Write(0x20 + c, 0x10 | pick(16) | (pick(4) == 0 ? 0x20 : 0));
            } else if (action < 50) {
                g.Write(0x20 + c,
                        (g.chips[0]->registers[0x20 + c] & 0x0F) | (pick(3) == 0 ? 0x20 : 0));
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
            ASSERT_TRUE(g.Agree(run, rng)) << "round " << round << ", step " << step;
        }
    }
}

}  // namespace
}  // namespace zeblo
