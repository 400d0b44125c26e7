// The render loop gives each voice a run of frames at once (RenderRun). Between runs the module
// may change a voice, as a sequencer step does; inside a run nothing touches it. The runs must
// add up to exactly what the same number of single samples gives.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "modules/wavetable/WavetableTables.h"
#include "modules/wavetable/WavetableVoice.h"

namespace zeblo {
namespace {

struct VoiceSetup {
    int32_t sampleRate;
    int32_t kind;
    const int32_t* wave;
    int32_t note;
    int32_t octaveShift;
    float cents;
    int32_t startDelay;
    int32_t amplitude;
    int32_t slope;
    float decayRate;
    int32_t length;
    float sweep;
    int32_t pan;
    const EnvelopeShape* envelope;
};

void Prepare(WavetableVoice& v, const VoiceSetup& s) {
    v.sampleRate = s.sampleRate;
    v.idle = 1;
    v.kind = s.kind;
    v.wave = s.wave;
    v.octaveShift = s.octaveShift;
    v.startDelay = s.startDelay;
    v.amplitude = s.amplitude << 16;
    v.amplitudeSlope = s.slope;
    v.decayRate = s.decayRate;
    v.lengthCounter = s.length;
    v.sweep = s.sweep;
    v.cents = s.cents;
    v.newCents = s.cents + s.sweep;
    v.centsDirty = 1;
    v.newPan = s.pan;
    v.panDirty = 1;
    v.envelope = s.envelope;
    v.SetExpression(100);
    v.StartNote(s.note);
}

// What the module does to a sounding voice between steps.
void Change(WavetableVoice& v, int what, int32_t value) {
    switch (what) {
        case 0:
            v.SetExpression(value & 127);
            break;
        case 1:
            v.newCents = static_cast<float>(value % 400 - 200);
            v.centsDirty = 1;
            break;
        case 2:
            v.newPan = value & 127;
            v.panDirty = 1;
            break;
        default:
            if (v.envelope == nullptr) {
                v.transitionPending = 1;
                v.stopRequested = 1;
            } else if (v.envelope->release == 0) {
                v.envStage = kFinished;
            } else {
                v.envStage = kRelease;
                v.releaseStep = std::max<int32_t>(
                    1,
                    static_cast<int32_t>(static_cast<uint32_t>(v.envLevel) / v.envelope->release));
            }
            break;
    }
}

TEST(VoiceRuns, AddUpToSingleSamplesOverManyNotes) {
    std::mt19937 dice(2024);
    const auto roll = [&dice](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(dice);
    };
    std::array<int32_t, kWaveSteps> custom{};
    std::array<int32_t, kWaveSteps> expanded{};
    const int32_t rates[] = {22050, 44100, 48000};
    int64_t sounding = 0;
    for (int scenario = 0; scenario < 600; ++scenario) {
        for (int32_t& value : custom) value = roll(-32768, 32767);
        const WaveformRecord& record = kWaveformRecords[roll(0, 32)];
        for (int i = 0; i < kWaveSteps; ++i)
            expanded[i] = record.samples[i] * record.amplitudeMultiplier;
        const int pick = roll(0, 5);
        VoiceSetup s{};
        s.sampleRate = rates[roll(0, 2)];
        s.kind = pick == 5 ? kNoise : (pick == 4 ? kDrumSquareWave : kBuiltInWave);
        s.wave = pick <= 1 ? custom.data() : (pick <= 3 ? expanded.data() : kDrumSquare.data());
        s.note = roll(0, 5) == 0 ? roll(0, 175) : roll(24, 110);
        s.octaveShift = roll(0, 5) == 0 ? -1 : 0;
        s.cents = roll(0, 2) == 0 ? 0.0f : static_cast<float>(roll(-250, 250));
        s.startDelay = roll(0, 3) == 0 ? roll(1, 240) : 0;
        s.amplitude = roll(1, 228);
        s.pan = roll(0, 127);
        if (roll(0, 3) == 0) {
            s.decayRate = -0.005f;
            s.slope = -327 * roll(1, 4);
        }
        if (roll(0, 4) == 0) s.sweep = roll(0, 1) ? 0.8f : -0.6f;
        if (roll(0, 3) == 0) s.length = roll(50, 3000);
        s.envelope = roll(0, 3) != 0 ? &kEnvelopeShapes[roll(0, 127)] : nullptr;

        Mt19937 randomA;
        Mt19937 randomB;
        WavetableVoice single(randomA);
        WavetableVoice runs(randomB);
        Prepare(single, s);
        Prepare(runs, s);
        std::vector<uint32_t> left;
        std::vector<uint32_t> right;
        for (int step = 0; step < 40; ++step) {
            if (roll(0, 3) == 0) {
                const int what = roll(0, 3);
                const int32_t value = roll(0, 100000);
                Change(single, what, value);
                Change(runs, what, value);
            }
            const uint32_t frames = static_cast<uint32_t>(roll(1, 1024));
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
