// The voice's per-sample step takes short cuts (a steady path, reads without division). This
// checks it sample for sample against a plain rendering of the same steps, written the long
// way: every division performed, every step in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "modules/wavetable/VoiceScenario.h"
#include "modules/wavetable/WavetableVoice.h"

namespace zeblo {
namespace {

using test::Prepare;
using test::ScenarioDice;
using test::ScenarioOdds;
using test::VoiceScenario;

// 32-bit products wrap.
int32_t Wrap(int64_t x) {
    return static_cast<int32_t>(static_cast<uint32_t>(x));
}

struct PlainVoice {
    explicit PlainVoice() { random.Seed(777); }

    void SetNote(int32_t n) {
        double f;
        if (cents == 0.0f) {
            f = WavetableVoice::NoteFrequency(n, octaveShift);
        } else if (cents > 0.0f) {
            const int32_t q = static_cast<int32_t>(cents) / 100;
            const double r = static_cast<double>(cents) - 100.0 * q;
            const double f1 = WavetableVoice::NoteFrequency(n + q, octaveShift);
            f = f1 + (WavetableVoice::NoteFrequency(n + q + 1, octaveShift) - f1) * r * 0.01;
        } else {
            const int32_t q = static_cast<int32_t>(cents) / -100;
            const double r = -(100.0 * q + static_cast<double>(cents));
            const double f1 = WavetableVoice::NoteFrequency(n - q, octaveShift);
            f = f1 + (WavetableVoice::NoteFrequency(n - q - 1, octaveShift) - f1) * r * 0.01;
        }
        frequency = static_cast<float>(f);
        samplesPerCycle = static_cast<float>(sampleRate / static_cast<double>(frequency));
        note = n;
        nextCycle = samplesPerCycle;
        samplePosition = 0;
        cycleStart = 0.0f;
    }
    void SetExpression(int32_t v) {
        if (idle != 0) {
            expression = v;
            expressionDirty = 0;
        } else {
            newExpression = v;
            expressionDirty = 1;
        }
    }
    bool StartNote(int32_t n) {
        if (transitionPending != 0 || idle == 0) return false;
        if (envelope != nullptr) {
            const uint32_t full = 0x3FFFC000u;
            envStage = 0;
            envLevel = 0;
            sustainLevel = static_cast<int32_t>(envelope->sustainLevel * 16384u);
            if (envelope->attack != 0) {
                attackStep = static_cast<int32_t>(full / envelope->attack);
            } else {
                envLevel = 0x3FFFC000;
                attackStep = 0;
            }
            decayStep = envelope->decay != 0
                            ? static_cast<int32_t>((full - sustainLevel) / envelope->decay)
                            : 0;
            sustainStep = envelope->sustainTime != 0
                              ? static_cast<int32_t>(sustainLevel / envelope->sustainTime)
                              : 0;
            if (attackStep == 0) {
                envStage = 1;
                envLevel = 0x3FFFC000;
                if (decayStep == 0) {
                    envStage = 2;
                    envLevel = sustainLevel;
                }
            }
        }
        stopRequested = 0;
        pendingNote = n;
        transitionPending = 1;
        return true;
    }

    int32_t Read() const {
        const double t = static_cast<double>(samplePosition) - static_cast<double>(cycleStart);
        const int64_t p0 = static_cast<int64_t>(t / samplesPerCycle * 32768);
        const int64_t p1 = static_cast<int64_t>((t + 1) / samplesPerCycle * 32768);
        const int64_t w = p1 - p0;
        if (w < 2) return wave[(p0 >> 10) & 31];
        int64_t sum = 0;
        int64_t p = p0;
        int64_t k = p0 >> 10;
        int64_t remaining = w;
        while (remaining > 0) {
            const int64_t step = std::min(1024 * (p / 1024 + 1) - p, remaining);
            sum += static_cast<int64_t>(wave[k % 32]) * step;
            ++k;
            p += step;
            remaining -= step;
        }
        return Wrap(sum) / static_cast<int32_t>(w);
    }

    std::array<int32_t, 2> RenderSample() {
        if (transitionPending == 0 && idle != 0) return {0, 0};
        if (startDelay > 0) {
            --startDelay;
            return {0, 0};
        }
        if (envelope != nullptr) {
            switch (envStage) {
                case 0:
                    envLevel += attackStep;
                    if (envLevel > 0x3FFFC000) {
                        envLevel = 0x3FFFC000;
                        envStage = 1;
                    }
                    break;
                case 1:
                    envLevel -= decayStep;
                    if (envLevel < sustainLevel || decayStep == 0) {
                        envLevel = sustainLevel;
                        envStage = 2;
                    }
                    break;
                case 2:
                    envLevel -= sustainStep;
                    if (envLevel < 0) {
                        envLevel = 0;
                        envStage = 4;
                    }
                    break;
                case 3:
                    envLevel -= releaseStep;
                    if (envLevel <= 0) {
                        envLevel = 0;
                        envStage = 4;
                    }
                    break;
                case 4:
                    envLevel = 0;
                    transitionPending = 1;
                    stopRequested = 1;
                    break;
            }
        }
        if (transitionPending != 0 && stopRequested == 0) {
            idle = 0;
            transitionPending = 0;
            samplePosition = 0;
        }
        amplitude += amplitudeSlope;
        if (amplitude < 0) {
            amplitude = 0;
            if (decayRate != 0) {
                transitionPending = 1;
                stopRequested = 1;
            }
        }
        if (sweep != 0) {
            newCents = (centsDirty != 0 ? newCents : cents) + sweep;
            centsDirty = 1;
        }
        if (lengthCounter != 0) {
            --lengthCounter;
            if (lengthCounter < 1) {
                transitionPending = 1;
                stopRequested = 1;
            }
        }
        if (samplePosition == 0 || static_cast<double>(samplePosition) >= nextCycle) {
            if (stopRequested != 0 && transitionPending != 0) {
                idle = 1;
                transitionPending = 0;
                return {0, 0};
            }
            const bool committed = centsDirty != 0;
            if (committed) {
                cents = newCents;
                centsDirty = 0;
            }
            if (expressionDirty != 0) {
                expression = newExpression;
                expressionDirty = 0;
            }
            if (panDirty != 0) {
                rightGain = newPan;
                leftGain = 127 - newPan;
                panDirty = 0;
            }
            if (pendingNote != -1) {
                SetNote(pendingNote);
                pendingNote = -1;
            } else if (committed) {
                SetNote(note);
            } else {
                cycleStart = nextCycle;
                nextCycle += samplesPerCycle;
            }
            if (kind == 4) noiseValue = static_cast<int32_t>(random.Next()) % 65535 - 32768;
        }
        int32_t s;
        if (kind == 4) {
            s = Wrap(int64_t{Wrap(int64_t{amplitude >> 16} * noiseValue) >> 7} * expression) >> 7;
            if (sampleRate == 22050) ++samplePosition;
        } else if (frequency > 22050.0) {
            s = 0;
        } else {
            s = Wrap(int64_t{Wrap(int64_t{amplitude >> 16} * Read()) >> 7} * expression) >> 7;
        }
        ++samplePosition;
        if (idle != 0) return {0, 0};
        if (envelope != nullptr) s = Wrap(int64_t{envLevel >> 14} * s) >> 16;
        return {Wrap(int64_t{leftGain} * s) >> 7, Wrap(int64_t{rightGain} * s) >> 7};
    }

    Mt19937 random;
    int32_t kind = 1, sampleRate = 44100;
    float frequency = 440.0f, samplesPerCycle = 100.0f, cycleStart = 0.0f, nextCycle = 0.0f;
    uint32_t samplePosition = 0;
    int32_t note = 60, pendingNote = -1, transitionPending = 0;
    float cents = 0.0f;
    int32_t centsDirty = 0;
    float newCents = 0.0f;
    int32_t stopRequested = 0, idle = 1, expressionDirty = 0, newExpression = 0;
    const int32_t* wave = nullptr;
    int32_t amplitude = 0, expression = 127, lengthCounter = 0;
    float decayRate = 0.0f;
    int32_t amplitudeSlope = 0;
    float sweep = 0.0f;
    int32_t startDelay = 0, leftGain = 1, rightGain = 1, octaveShift = 0, panDirty = 0, newPan = 0,
            noiseValue = 0;
    const EnvelopeShape* envelope = nullptr;
    int32_t envStage = 0, envLevel = 0, attackStep = 0, decayStep = 0, sustainLevel = 0,
            sustainStep = 0, releaseStep = 0;
};

TEST(WavetableVoiceAgainstPlainSteps, SampleForSampleOverManyNotes) {
    ScenarioDice dice(12345);
    const ScenarioOdds odds;
    int compared = 0;
    for (int scenario = 0; scenario < 400; ++scenario) {
        const VoiceScenario s = dice.Next(odds);
        Mt19937 random;
        WavetableVoice fast(random);
        PlainVoice plain;
        Prepare(fast, s);
        Prepare(plain, s);
        for (int n = 0; n < 4000; ++n) {
            dice.MaybeChange(401, fast, plain);
            const StereoSample a = fast.RenderSample();
            const std::array<int32_t, 2> b = plain.RenderSample();
            ASSERT_EQ(a.left, b[0]) << "scenario " << scenario << " sample " << n;
            ASSERT_EQ(a.right, b[1]) << "scenario " << scenario << " sample " << n;
            ASSERT_EQ(fast.idle, plain.idle) << "scenario " << scenario << " sample " << n;
            compared += a.right != 0;
        }
    }
    EXPECT_GT(compared, 400000);  // most of the comparisons were of sound, not silence
}

}  // namespace
}  // namespace zeblo
