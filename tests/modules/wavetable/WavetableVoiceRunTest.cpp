// Runs of samples at the edges of the span arithmetic: waveform values at the largest magnitude
// the vector read takes (sums up to 2^15 times the box width, every read inside one step an exact
// multiple of its width) and one past it, which takes the general read. Every note at every rate
// must give what single samples give.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "modules/wavetable/VoiceScenario.h"
#include "modules/wavetable/WavetableTables.h"
#include "modules/wavetable/WavetableVoice.h"

namespace zeblo {
namespace {

using test::VoiceScenario;

VoiceScenario Steady(int32_t rate, const int32_t* wave, int32_t note, float cents,
                     const EnvelopeShape* envelope) {
    VoiceScenario s;
    s.sampleRate = rate;
    s.kind = kUploadedWave;
    s.wave = wave;
    s.note = note;
    s.cents = cents;
    s.amplitude = 127;
    s.pan = 100;
    s.envelope = envelope;
    s.expression = 127;
    return s;
}

// Returns how many frames sounded.
int64_t CompareRunsWithSamples(const int32_t* wave, int32_t rate, int32_t note, float cents,
                               const EnvelopeShape* envelope) {
    Mt19937 randomA;
    Mt19937 randomB;
    WavetableVoice single(randomA);
    WavetableVoice runs(randomB);
    const VoiceScenario s = Steady(rate, wave, note, cents, envelope);
    test::Prepare(single, s);
    test::Prepare(runs, s);
    int64_t sounding = 0;
    std::vector<uint32_t> left;
    std::vector<uint32_t> right;
    // Run lengths that end inside, on and just past the 256-frame passes.
    for (const uint32_t frames : {700u, 256u, 257u, 1u, 511u, 3000u}) {
        left.assign(frames, 7);
        right.assign(frames, 0);
        runs.RenderRun(left.data(), right.data(), frames);
        for (uint32_t i = 0; i < frames; ++i) {
            const StereoSample a = single.RenderSample();
            EXPECT_EQ(left[i], 7u + static_cast<uint32_t>(a.left))
                << "rate " << rate << " note " << note << " cents " << cents << " frame " << i;
            EXPECT_EQ(right[i], static_cast<uint32_t>(a.right))
                << "rate " << rate << " note " << note << " cents " << cents << " frame " << i;
            if (left[i] != 7u + static_cast<uint32_t>(a.left)) return -1;
            sounding += a.right != 0;
        }
        EXPECT_EQ(runs.samplePosition, single.samplePosition);
        EXPECT_EQ(runs.envLevel, single.envLevel);
    }
    return sounding;
}

TEST(WavetableVoiceRuns, ExtremeWaveValuesMatchSingleSamples) {
    std::array<int32_t, kWaveSteps> limit{};
    std::array<int32_t, kWaveSteps> beyond{};
    for (int i = 0; i < kWaveSteps; ++i) {
        // Alternate extremes and a few near-misses, so that quotients sit on and just off whole
        // numbers at the largest magnitudes.
        limit[i] = (i % 3 == 0) ? 32768 : (i % 3 == 1 ? -32768 : 32767 - i);
        beyond[i] = limit[i];
    }
    beyond[5] = 32769;
    const EnvelopeShape* shapes[] = {nullptr, &kEnvelopeShapes[0], &kEnvelopeShapes[48]};
    int64_t sounding = 0;
    for (const int32_t* wave : {limit.data(), beyond.data()}) {
        for (const int32_t rate : {22050, 44100, 48000}) {
            for (int32_t note = 0; note < 128; note += 3) {
                for (const float cents : {0.0f, 37.0f, -181.0f}) {
                    const int64_t n =
                        CompareRunsWithSamples(wave, rate, note, cents, shapes[note % 3]);
                    ASSERT_GE(n, 0);
                    sounding += n;
                }
            }
        }
    }
    EXPECT_GT(sounding, 2000000);
}

}  // namespace
}  // namespace zeblo
