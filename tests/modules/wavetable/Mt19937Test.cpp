#include <gtest/gtest.h>

#include "modules/wavetable/Mt19937.h"
#include "modules/wavetable/WavetableVoice.h"

namespace zeblo {
namespace {

TEST(Mt19937, UnseededUsesSeed4357AndMatchesThePublishedOutputs) {
    Mt19937 random;
    for (uint32_t expected : {3510405877u, 4290933890u, 2191955339u, 564929546u})
        EXPECT_EQ(random.Next(), expected);
    for (int i = 5; i < 16384; ++i) random.Next();
    EXPECT_EQ(random.Next(), 2454186801u);  // output number 16384
}

TEST(Mt19937, ExplicitSeedAndReseedRestartTheSequence) {
    Mt19937 unseeded;
    Mt19937 seeded;
    seeded.Seed(4357);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(seeded.Next(), unseeded.Next());

    seeded.Seed(777);
    const uint32_t first = seeded.Next();
    const uint32_t second = seeded.Next();
    EXPECT_NE(first, 3510405877u);
    seeded.Seed(777);
    EXPECT_EQ(seeded.Next(), first);
    EXPECT_EQ(seeded.Next(), second);
}

TEST(Mt19937, EveryVoiceConstructorSeedsWith777) {
    Mt19937 reference;
    reference.Seed(777);
    Mt19937 shared;
    for (int i = 0; i < 50; ++i) shared.Next();
    WavetableVoice first(shared);
    for (int i = 0; i < 700; ++i) shared.Next();  // across a regeneration of the state
    WavetableVoice second(shared);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(shared.Next(), reference.Next());
}

}  // namespace
}  // namespace zeblo
