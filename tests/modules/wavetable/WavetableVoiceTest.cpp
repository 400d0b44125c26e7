#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "modules/wavetable/WavetableVoice.h"

namespace zeblo {
namespace {

// A voice as the module leaves it after Reset: idle, with a waveform to play.
struct VoiceRig {
    explicit VoiceRig(int32_t sampleRate = 44100) : voice(random) {
        voice.sampleRate = sampleRate;
        voice.idle = 1;
        voice.amplitude = 100 << 16;
        for (int i = 0; i < kWaveSteps; ++i) table[i] = i < 16 ? 10000 : -10000;
        voice.wave = table.data();
        voice.newPan = 64;
        voice.panDirty = 1;
    }
    // Renders until the voice goes idle; returns the number of calls, at most limit.
    int RunUntilIdle(int limit) {
        for (int n = 1; n <= limit; ++n) {
            voice.RenderSample();
            if (voice.idle != 0 && voice.transitionPending == 0) return n;
        }
        return limit + 1;
    }
    Mt19937 random;
    WavetableVoice voice;
    std::array<int32_t, kWaveSteps> table{};
};

TEST(WavetableVoicePitch, ReferenceNoteAndOctaveShift) {
    VoiceRig rig;
    rig.voice.SetNote(60);
    EXPECT_EQ(rig.voice.frequency, 261.63f);
    EXPECT_EQ(rig.voice.samplesPerCycle, static_cast<float>(44100.0 / 261.63f));
    EXPECT_EQ(rig.voice.nextCycle, rig.voice.samplesPerCycle);
    rig.voice.octaveShift = kWaveformRecords[15].octaveShift;  // "BIG SAWED SQUARE"
    rig.voice.SetNote(60);
    EXPECT_EQ(rig.voice.frequency, 130.815f);
    rig.voice.SetNote(69);
    EXPECT_NEAR(rig.voice.frequency, 220.0, 0.005);
}

TEST(WavetableVoicePitch, CentsInterpolateLinearlyInFrequency) {
    VoiceRig rig;
    rig.voice.cents = 50.0f;
    rig.voice.SetNote(60);
    EXPECT_NEAR(rig.voice.frequency, (261.63 + 277.18) / 2, 0.01);
    rig.voice.cents = -150.0f;
    rig.voice.SetNote(60);
    EXPECT_NEAR(rig.voice.frequency, (246.94 + 233.08) / 2, 0.01);
    rig.voice.cents = 1200.0f;
    rig.voice.SetNote(60);
    EXPECT_EQ(rig.voice.frequency, 523.26f);
    rig.voice.cents = -14.0f;
    rig.voice.SetNote(69);
    EXPECT_NEAR(rig.voice.frequency, 436.55, 0.005);
    // Note 0 with a downward offset reaches below note 0 without leaving the tables.
    rig.voice.cents = -250.0f;
    rig.voice.SetNote(0);
    EXPECT_GT(rig.voice.frequency, 0.0f);
    EXPECT_LT(rig.voice.frequency, 8.2f);
}

TEST(WavetableVoicePlayback, StartDelayThenStartAtTheFirstSample) {
    VoiceRig rig;
    rig.voice.startDelay = 3;
    ASSERT_TRUE(rig.voice.StartNote(69));
    EXPECT_FALSE(rig.voice.StartNote(70));  // a start is already pending
    for (int i = 0; i < 3; ++i) {
        const StereoSample s = rig.voice.RenderSample();
        EXPECT_EQ(s.left, 0);
        EXPECT_EQ(rig.voice.idle, 1);
    }
    const StereoSample s = rig.voice.RenderSample();
    EXPECT_EQ(rig.voice.idle, 0);
    EXPECT_NEAR(rig.voice.frequency, 440.0, 0.01);
    EXPECT_EQ(rig.voice.samplePosition, 1u);
    // Step 0 of the table at amplitude 100 and expression 127; pan 64 gives 63 and 64 of 128.
    const int32_t raw = ((100 * 10000 >> 7) * 127) >> 7;
    EXPECT_EQ(raw, 7750);
    EXPECT_EQ(s.left, 63 * raw >> 7);
    EXPECT_EQ(s.right, 64 * raw >> 7);
    EXPECT_FALSE(rig.voice.StartNote(70));  // sounding
}

TEST(WavetableVoicePlayback, BoxFilterAveragesTheStepsASampleCovers) {
    VoiceRig rig;
    for (int i = 0; i < kWaveSteps; ++i) rig.table[i] = i * 1000;
    rig.voice.StartNote(60);
    rig.voice.RenderSample();
    // Four samples per cycle from here on: each sample covers eight whole steps; the raw
    // sample is the waveform value itself with these gains.
    rig.voice.amplitude = 128 << 16;
    rig.voice.expression = 128;
    rig.voice.rightGain = 128;
    rig.voice.samplesPerCycle = 4.0f;
    rig.voice.cycleStart = static_cast<float>(rig.voice.samplePosition);
    rig.voice.nextCycle = 1.0e6f;
    EXPECT_EQ(rig.voice.RenderSample().right, 3500);   // mean of 0 .. 7000
    EXPECT_EQ(rig.voice.RenderSample().right, 11500);  // mean of 8000 .. 15000
    // Three samples per cycle: 10 whole steps and 682/1024 of step 10, over 10922.
    rig.voice.samplesPerCycle = 3.0f;
    rig.voice.cycleStart = static_cast<float>(rig.voice.samplePosition);
    EXPECT_EQ(rig.voice.RenderSample().right, (45000 * 1024 + 682 * 10000) / 10922);
    // Inside one step: the step itself.
    rig.voice.samplesPerCycle = 400.0f;
    rig.voice.cycleStart = static_cast<float>(rig.voice.samplePosition) - 30.0f;
    EXPECT_EQ(rig.voice.RenderSample().right, 2000);
}

TEST(WavetableVoicePlayback, VerySlowCycleReadWrapsTheStepIndex) {
    VoiceRig rig;
    for (int i = 0; i < kWaveSteps; ++i) rig.table[i] = 1000 + i;
    rig.voice.StartNote(60);
    rig.voice.RenderSample();
    rig.voice.amplitude = 128 << 16;
    rig.voice.expression = 128;
    rig.voice.rightGain = 128;
    // A read position of a whole cycle (which float rounding allows at the slowest rates) reads
    // step 0 again, never past the table.
    rig.voice.samplesPerCycle = 20000.0f;
    rig.voice.cycleStart = static_cast<float>(rig.voice.samplePosition) - 20000.0f;
    rig.voice.nextCycle = 1.0e9f;
    EXPECT_EQ(rig.voice.RenderSample().right, 1000);
}

TEST(WavetableVoicePlayback, ChangesWaitForTheCycleBoundary) {
    VoiceRig rig;
    rig.voice.StartNote(69);  // 100.23 samples per cycle
    for (int i = 0; i < 10; ++i) rig.voice.RenderSample();
    rig.voice.SetExpression(50);
    rig.voice.newCents = 100.0f;
    rig.voice.centsDirty = 1;
    rig.voice.newPan = 127;
    rig.voice.panDirty = 1;
    for (int i = 10; i < 101; ++i) rig.voice.RenderSample();
    EXPECT_EQ(rig.voice.expression, 127);
    EXPECT_NEAR(rig.voice.frequency, 440.0, 0.01);
    EXPECT_EQ(rig.voice.samplePosition, 101u);
    rig.voice.RenderSample();  // position 101 >= 100.23: the boundary
    EXPECT_EQ(rig.voice.expression, 50);
    EXPECT_EQ(rig.voice.leftGain, 0);
    EXPECT_EQ(rig.voice.rightGain, 127);
    EXPECT_NEAR(rig.voice.frequency, 466.17, 0.005);
    EXPECT_EQ(rig.voice.samplePosition, 1u);  // the new pitch restarts the cycle at step 0
}

TEST(WavetableVoicePlayback, UnchangedCyclesFollowOnWithoutRestarting) {
    VoiceRig rig;
    rig.voice.StartNote(69);
    for (int i = 0; i < 102; ++i) rig.voice.RenderSample();
    EXPECT_EQ(rig.voice.samplePosition, 102u);
    EXPECT_EQ(rig.voice.cycleStart, rig.voice.samplesPerCycle);
    EXPECT_EQ(rig.voice.nextCycle, rig.voice.samplesPerCycle + rig.voice.samplesPerCycle);
}

TEST(WavetableVoicePlayback, StopIsHonouredOnlyAtACycleBoundary) {
    VoiceRig rig;
    rig.voice.StartNote(31);  // 49.0 Hz: 900 samples per cycle
    rig.voice.RenderSample();
    ASSERT_GT(rig.voice.samplesPerCycle, 880.0f);
    // The request comes at position 1; positions 1 up to the end of the cycle still sound.
    const int expected = static_cast<int>(std::ceil(rig.voice.samplesPerCycle)) - 1;
    rig.voice.transitionPending = 1;
    rig.voice.stopRequested = 1;
    int sounding = 0;
    while (true) {
        const StereoSample s = rig.voice.RenderSample();
        if (rig.voice.idle != 0) break;
        EXPECT_NE(s.right, 0);
        ++sounding;
    }
    EXPECT_EQ(sounding, expected);
}

TEST(WavetableVoicePlayback, WaveformAboveNyquistIsSilentButNoiseIsNot) {
    VoiceRig rig;
    rig.voice.StartNote(144);  // 33489 Hz
    int nonzero = 0;
    for (int i = 0; i < 500; ++i) nonzero += rig.voice.RenderSample().right != 0;
    EXPECT_GT(rig.voice.frequency, 22050.0f);
    EXPECT_EQ(rig.voice.idle, 0);
    EXPECT_EQ(nonzero, 0);

    VoiceRig noise;
    noise.voice.kind = kNoise;
    noise.voice.StartNote(144);
    for (int i = 0; i < 500; ++i) nonzero += noise.voice.RenderSample().right != 0;
    EXPECT_GT(nonzero, 400);
}

TEST(WavetableVoicePlayback, NoiseDrawsOncePerCycleFromTheSharedGenerator) {
    VoiceRig rig;
    Mt19937 reference;
    reference.Seed(777);
    rig.voice.kind = kNoise;
    rig.voice.StartNote(96);  // 2093 Hz, 21.07 samples per cycle
    rig.voice.RenderSample();
    const auto expectedNoise = [&reference] {
        return static_cast<int32_t>(reference.Next()) % 65535 - 32768;
    };
    EXPECT_EQ(rig.voice.noiseValue, expectedNoise());
    const int32_t held = rig.voice.noiseValue;
    for (int i = 1; i < 22; ++i) {
        rig.voice.RenderSample();
        EXPECT_EQ(rig.voice.noiseValue, held);
    }
    rig.voice.RenderSample();  // position 22 >= 21.07
    EXPECT_EQ(rig.voice.noiseValue, expectedNoise());
    int32_t lowest = 0;
    for (int i = 0; i < 20000; ++i) {
        rig.voice.RenderSample();
        lowest = std::min(lowest, rig.voice.noiseValue);
        ASSERT_LE(rig.voice.noiseValue, 32766);
        ASSERT_GE(rig.voice.noiseValue, -98302);
    }
    EXPECT_LT(lowest, -32768);  // a signed draw reaches below the 16-bit range
}

TEST(WavetableVoiceHalfRate, LengthsHalveRatesDoubleNoiseRunsTwiceAsFast) {
    VoiceRig rig(22050);
    rig.voice.SetLength(1601);
    EXPECT_EQ(rig.voice.lengthCounter, 800);
    rig.voice.SetPitchSweep(-0.6f);
    EXPECT_EQ(rig.voice.sweep, -1.2f);
    EXPECT_EQ(rig.voice.newCents, -1.2f);
    EXPECT_EQ(rig.voice.centsDirty, 1);

    VoiceRig noise(22050);
    noise.voice.kind = kNoise;
    noise.voice.StartNote(60);
    for (int i = 0; i < 10; ++i) noise.voice.RenderSample();
    EXPECT_EQ(noise.voice.samplePosition, 20u);
}

TEST(WavetableVoiceEnvelope, NoAttackNoDecayStartsAtTheSustainLevel) {
    VoiceRig rig;
    const EnvelopeShape shape{0, 0, 30000, 0, 100};
    rig.voice.envelope = &shape;
    rig.voice.StartNote(60);
    EXPECT_EQ(rig.voice.envStage, kSustain);
    EXPECT_EQ(rig.voice.envLevel, 30000 * 16384);
    rig.voice.RenderSample();
    EXPECT_EQ(rig.voice.envLevel, 30000 * 16384);
}

TEST(WavetableVoiceEnvelope, OrganAttackRisesOver882SamplesAndHolds) {
    VoiceRig rig;
    rig.voice.envelope = &kEnvelopeShapes[16];
    rig.voice.StartNote(60);
    EXPECT_EQ(rig.voice.attackStep, 1217375);
    for (int i = 0; i < 882; ++i) rig.voice.RenderSample();
    EXPECT_EQ(rig.voice.envStage, kAttack);
    EXPECT_EQ(rig.voice.envLevel, 882 * 1217375);
    rig.voice.RenderSample();
    EXPECT_EQ(rig.voice.envStage, kDecay);
    EXPECT_EQ(rig.voice.envLevel, kEnvelopeFullLevel);
    for (int i = 0; i < 100000; ++i) rig.voice.RenderSample();
    EXPECT_EQ(rig.voice.envStage, kSustain);
    EXPECT_EQ(rig.voice.envLevel, kEnvelopeFullLevel);
    EXPECT_EQ(rig.voice.idle, 0);
}

TEST(WavetableVoiceEnvelope, Program28FadesOut22050SamplesAfterTheStart) {
    VoiceRig rig;
    rig.voice.envelope = &kEnvelopeShapes[28];
    rig.voice.StartNote(60);
    EXPECT_EQ(rig.voice.envStage, kSustain);
    EXPECT_EQ(rig.voice.envLevel, kEnvelopeFullLevel);
    for (int i = 0; i < 22050; ++i) rig.voice.RenderSample();
    EXPECT_EQ(rig.voice.envStage, kSustain);
    EXPECT_EQ(rig.voice.envLevel, kEnvelopeFullLevel - 22050 * 48695);
    rig.voice.RenderSample();
    EXPECT_EQ(rig.voice.envStage, kFinished);
    const int more = rig.RunUntilIdle(1000);
    EXPECT_LE(more, static_cast<int>(rig.voice.samplesPerCycle) + 2);
}

TEST(WavetableVoiceEnvelope, EnvelopeScalesTheOutput) {
    VoiceRig rig;
    const EnvelopeShape half{0, 0, 32768, 0, 100};
    rig.voice.envelope = &half;
    rig.voice.StartNote(60);
    const StereoSample s = rig.voice.RenderSample();
    // The raw 7750 of the start test, times (32768 * 16384 >> 14) >> 16: halved.
    EXPECT_EQ(s.right, 64 * 3875 >> 7);
}

TEST(WavetableVoiceAmplitude, SlopeFrom100ReachesZeroAfterAbout20000Samples) {
    VoiceRig rig;
    rig.voice.decayRate = -0.005f;
    rig.voice.amplitudeSlope = -327;
    rig.voice.StartNote(60);
    int n = 0;
    while (rig.voice.amplitude > 0 && n < 30000) {
        rig.voice.RenderSample();
        ++n;
    }
    EXPECT_EQ(n, 100 * 65536 / 327 + 1);  // 20042: the first step below zero
    EXPECT_EQ(rig.voice.stopRequested, 1);
    EXPECT_LE(rig.RunUntilIdle(1000), static_cast<int>(rig.voice.samplesPerCycle) + 1);
}

TEST(WavetableVoiceAmplitude, WithoutDecayRateAZeroAmplitudeKeepsSounding) {
    VoiceRig rig;
    rig.voice.amplitude = 1 << 16;
    rig.voice.amplitudeSlope = -65536;
    rig.voice.StartNote(60);
    for (int i = 0; i < 1000; ++i) rig.voice.RenderSample();
    EXPECT_EQ(rig.voice.amplitude, 0);
    EXPECT_EQ(rig.voice.idle, 0);
}

TEST(WavetableVoiceLength, LengthRunsOutThenStopsAtTheBoundary) {
    VoiceRig rig;
    rig.voice.SetLength(100);
    rig.voice.StartNote(60);  // 168.56 samples per cycle
    for (int i = 0; i < 99; ++i) rig.voice.RenderSample();
    EXPECT_EQ(rig.voice.stopRequested, 0);
    rig.voice.RenderSample();
    EXPECT_EQ(rig.voice.stopRequested, 1);
    EXPECT_EQ(rig.RunUntilIdle(1000), 69 + 1);  // positions 100 .. 168, then the boundary
}

TEST(WavetableVoiceSweep, SweepAccumulatesAndCommitsAtBoundaries) {
    VoiceRig rig;
    rig.voice.SetPitchSweep(10.0f);
    EXPECT_EQ(rig.voice.newCents, 10.0f);
    rig.voice.StartNote(60);
    rig.voice.RenderSample();
    // Committed at the start: 10 applied at once plus one step.
    EXPECT_EQ(rig.voice.cents, 20.0f);
    const float first = rig.voice.frequency;
    for (int i = 0; i < 200; ++i) rig.voice.RenderSample();
    EXPECT_GT(rig.voice.frequency, first);
}

}  // namespace
}  // namespace zeblo
