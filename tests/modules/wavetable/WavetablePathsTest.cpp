// The voice's fast paths (the steady per-sample step, and runs with each variant of the vector
// passes this processor supports) against its plain path, over random notes: every sample equal.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "modules/RenderPath.h"
#include "modules/wavetable/WavetableVoice.h"

namespace zeblo {
namespace {

class Dice {
public:
    int Roll(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine); }
    bool OneIn(int n) { return Roll(1, n) == 1; }

    // Arms idle voices alike with a random note as the module would, on a random wave: uploaded
    // values (the full range the upload gives, often with its ends, 32768 being past 16 bits), a
    // built-in record, or the drum square.
    void Arm(const std::vector<std::unique_ptr<WavetableVoice>>& voices,
             std::array<int32_t, kWaveSteps>& wave) {
        const int source = Roll(0, 3);
        const WaveformRecord& record = kWaveformRecords[Roll(0, 32)];
        for (int i = 0; i < kWaveSteps; ++i)
            wave[i] =
                source == 0 ? (OneIn(16) ? 32768 * (Roll(0, 1) * 2 - 1) : Roll(-32768, 32768))
                            : record.samples[i] * record.amplitudeMultiplier;
        static constexpr int32_t kRates[] = {22050, 44100, 48000};
        const int32_t rate = kRates[Roll(0, 2)];
        const int32_t octaveShift = OneIn(6) ? -1 : 0;
        const int32_t startDelay = OneIn(4) ? Roll(1, 240) : 0;
        const int32_t amplitude = Roll(1, 228) << 16;
        const bool decays = OneIn(3);
        const int32_t slope = decays ? -327 * Roll(1, 4) : 0;
        const int32_t length = OneIn(3) ? Roll(50, 3000) : 0;
        const float sweep = OneIn(3) ? (OneIn(2) ? 0.8f : -0.6f) : 0.0f;
        const float cents = OneIn(3) ? 0.0f : static_cast<float>(Roll(-250, 250));
        const int32_t pan = Roll(0, 127);
        const EnvelopeShape* envelope = OneIn(2) ? nullptr : &kEnvelopeShapes[Roll(0, 127)];
        const int32_t expression = Roll(0, 127);
        const int32_t note = Roll(0, 175);
        for (const auto& v : voices) {
            v->sampleRate = rate;
            v->kind = source == 3 ? kNoise : (source == 2 ? kDrumSquareWave : kBuiltInWave);
            v->wave = source == 2 ? kDrumSquare.data() : wave.data();
            v->octaveShift = octaveShift;
            v->startDelay = startDelay;
            v->amplitude = amplitude;
            v->amplitudeSlope = slope;
            v->decayRate = decays ? -0.005f : 0.0f;
            v->lengthCounter = length;
            v->sweep = sweep;
            v->cents = cents;
            v->newCents = cents + sweep;
            v->centsDirty = 1;
            v->newPan = pan;
            v->panDirty = 1;
            v->envelope = envelope;
            v->idle = 1;
            v->SetExpression(expression);
            v->StartNote(note);
        }
    }

    // What the module may do to a sounding voice between runs: expression, detune, pan, release.
    void Change(WavetableVoice& v, int what, int32_t value) {
        if (what == 0) v.SetExpression(value & 127);
        if (what == 1) {
            v.newCents = static_cast<float>(value % 400 - 200);
            v.centsDirty = 1;
        }
        if (what == 2) {
            v.newPan = value & 127;
            v.panDirty = 1;
        }
        if (what == 3 && v.envelope == nullptr) v.transitionPending = v.stopRequested = 1;
        if (what == 3 && v.envelope != nullptr) {
            v.envStage = v.envelope->release == 0 ? kFinished : kRelease;
            if (v.envelope->release != 0)
                v.releaseStep = std::max<int32_t>(
                    1,
                    static_cast<int32_t>(static_cast<uint32_t>(v.envLevel) / v.envelope->release));
        }
    }

private:
    std::mt19937 engine{12345};
};

TEST(WavetableVoicePaths, FastPathsMatchThePlainPathSampleForSample) {
    const RenderPath saved = ActiveRenderPath();
    Dice dice;
    long sounding = 0;
    const RenderPath avx2 =
        RenderPathSupported(RenderPath::Avx2) ? RenderPath::Avx2 : RenderPath::Sse;
    for (int scenario = 0; scenario < 300; ++scenario) {
        std::array<int32_t, kWaveSteps> wave;
        // Plain, per-sample fast, runs on the baseline passes, runs on the AVX2 passes; each
        // with a generator of its own, seeded alike by the voice.
        Mt19937 random[4];
        std::vector<std::unique_ptr<WavetableVoice>> voices;
        for (Mt19937& r : random) voices.push_back(std::make_unique<WavetableVoice>(r));
        dice.Arm(voices, wave);
        for (int n = 0; n < 6000;) {
            const uint32_t run = dice.OneIn(5) ? 1 : static_cast<uint32_t>(dice.Roll(1, 700));
            uint32_t sums[4][2][700] = {};
            for (uint32_t i = 0; i < run; ++i) {
                const StereoSample a = voices[0]->RenderPlainSample();
                const StereoSample b = voices[1]->RenderSample();
                sums[0][0][i] = a.left, sums[0][1][i] = a.right;
                sums[1][0][i] = b.left, sums[1][1][i] = b.right;
                sounding += a.right != 0;
            }
            SetRenderPath(RenderPath::Sse);
            voices[2]->RenderRun(sums[2][0], sums[2][1], run);
            SetRenderPath(avx2);
            voices[3]->RenderRun(sums[3][0], sums[3][1], run);
            for (int k = 1; k < 4; ++k) {
                for (uint32_t i = 0; i < run; ++i) {
                    ASSERT_EQ(sums[k][0][i], sums[0][0][i]) << scenario << " " << n + i << " " << k;
                    ASSERT_EQ(sums[k][1][i], sums[0][1][i]) << scenario << " " << n + i << " " << k;
                }
                ASSERT_EQ(voices[k]->idle, voices[0]->idle) << scenario << " " << n << " " << k;
            }
            n += static_cast<int>(run);
            if (dice.OneIn(8)) {
                const int what = dice.Roll(0, 3);
                const int32_t value = dice.Roll(0, 100000);
                for (auto& v : voices) dice.Change(*v, what, value);
            }
        }
    }
    SetRenderPath(saved);
    EXPECT_GT(sounding, 500000);  // most comparisons were of sound, not silence
}

// Steady voices whose short envelopes end mid-run, often on a sample that starts a cycle: runs
// cross boundaries and must stop the voice where the plain path does.
TEST(WavetableVoicePaths, RunsEndEnvelopesWhereThePlainPathDoes) {
    std::mt19937 engine{777};
    const auto roll = [&](int lo, int hi) {
        return static_cast<uint32_t>(std::uniform_int_distribution<int>(lo, hi)(engine));
    };
    for (int scenario = 0; scenario < 3000; ++scenario) {
        Mt19937 random[2];
        WavetableVoice plain(random[0]);
        WavetableVoice run(random[1]);
        const EnvelopeShape envelope{roll(0, 3), roll(0, 50), roll(1, 100), roll(1, 400), 0};
        const int32_t note = static_cast<int32_t>(roll(20, 110));
        for (WavetableVoice* v : {&plain, &run}) {
            v->kind = kDrumSquareWave;
            v->amplitude = 100 << 16;
            v->envelope = &envelope;
            v->idle = 1;
            v->StartNote(note);
        }
        while (plain.idle == 0 || plain.transitionPending != 0) {
            const uint32_t frames = roll(1, 1024);
            std::vector<uint32_t> sums(4 * frames);
            for (uint32_t i = 0; i < frames; ++i) sums[i] = plain.RenderPlainSample().right;
            run.RenderRun(&sums[2 * frames], &sums[3 * frames], frames);
            for (uint32_t i = 0; i < frames; ++i) ASSERT_EQ(sums[3 * frames + i], sums[i]) << i;
            ASSERT_EQ(run.samplePosition, plain.samplePosition) << scenario;
            ASSERT_EQ(run.idle, plain.idle) << scenario;
        }
    }
}

}  // namespace
}  // namespace zeblo
