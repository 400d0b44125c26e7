// The render loop gives each voice a run of frames at once (RenderRun). Between runs the module
// may change a voice, as a sequencer step does; inside a run nothing touches it. The runs must
// add up to exactly what the same number of single samples gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "modules/wavetable/VoiceScenario.h"
#include "modules/wavetable/WavetableVoice.h"

namespace zeblo {
namespace {

using test::Prepare;
using test::ScenarioDice;
using test::ScenarioOdds;
using test::VoiceScenario;

TEST(VoiceRuns, AddUpToSingleSamplesOverManyNotes) {
    ScenarioDice dice(2024);
    ScenarioOdds odds;
    odds.picksPerTableWave = 2;
    odds.wideNoteOneIn = 6;
    odds.decayOneIn = 4;
    odds.sweepOneIn = 5;
    odds.lengthOneIn = 4;
    odds.noEnvelopeOneIn = 4;
    int64_t sounding = 0;
    for (int scenario = 0; scenario < 600; ++scenario) {
        const VoiceScenario s = dice.Next(odds);
        Mt19937 randomA;
        Mt19937 randomB;
        WavetableVoice single(randomA);
        WavetableVoice runs(randomB);
        Prepare(single, s);
        Prepare(runs, s);
        std::vector<uint32_t> left;
        std::vector<uint32_t> right;
        for (int step = 0; step < 40; ++step) {
            dice.MaybeChange(4, single, runs);
            const uint32_t frames = static_cast<uint32_t>(dice.Roll(1, 1024));
            // Something is already in the sums: the voice adds to it.
            left.assign(frames, 1000);
            right.assign(frames, 0xFFFFFFF0u);
            const bool still = runs.RenderRun(left.data(), right.data(), frames);
            for (uint32_t i = 0; i < frames; ++i) {
                const StereoSample a = single.RenderSample();
                ASSERT_EQ(left[i], 1000u + static_cast<uint32_t>(a.left))
                    << "scenario " << scenario << " step " << step << " frame " << i;
                ASSERT_EQ(right[i], 0xFFFFFFF0u + static_cast<uint32_t>(a.right))
                    << "scenario " << scenario << " step " << step << " frame " << i;
                sounding += a.left != 0;
            }
            ASSERT_EQ(still, single.idle == 0 || single.transitionPending != 0);
            ASSERT_EQ(runs.samplePosition, single.samplePosition);
            ASSERT_EQ(runs.envLevel, single.envLevel);
            ASSERT_EQ(runs.envStage, single.envStage);
            ASSERT_EQ(runs.idle, single.idle);
        }
    }
    EXPECT_GT(sounding, 2000000);  // mostly sound, not silence
}

}  // namespace
}  // namespace zeblo
