// Random voice scenarios for the tests that hold the voice against another way of rendering the
// same notes: how a voice is armed, what the module does to it between steps, and the dice that
// draw both. Only the test thread uses these.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>

#include "modules/wavetable/WavetableTables.h"
#include "modules/wavetable/WavetableVoice.h"

namespace zeblo::test {

struct VoiceScenario {
    int32_t sampleRate = 44100;
    int32_t kind = kBuiltInWave;
    const int32_t* wave = nullptr;
    int32_t note = 60;
    int32_t octaveShift = 0;
    float cents = 0.0f;
    int32_t startDelay = 0;
    int32_t amplitude = 0;  // 0..228, the top half of the voice's amplitude
    int32_t slope = 0;
    float decayRate = 0.0f;
    int32_t length = 0;
    float sweep = 0.0f;
    int32_t pan = 64;
    const EnvelopeShape* envelope = nullptr;
    int32_t expression = 100;
};

// Arms an idle voice as the module does for a note-on. Works on any voice with the same fields.
template <typename Voice>
void Prepare(Voice& v, const VoiceScenario& s) {
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
    v.SetExpression(s.expression);
    v.StartNote(s.note);
}

// What the module does to a sounding voice between steps: what 0 = expression, 1 = detune,
// 2 = pan, 3 = note-off.
template <typename Voice>
void Change(Voice& v, int what, int32_t value) {
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

// How often each optional part of a scenario turns up, as "one in N" draws.
struct ScenarioOdds {
    int picksPerTableWave = 1;  // draws given to each of the uploaded and expanded built-in waves
    int wideNoteOneIn = 1;      // a note over the whole 0..175 range, else one in 24..110
    int decayOneIn = 3;
    int sweepOneIn = 3;
    int lengthOneIn = 3;
    int noEnvelopeOneIn = 2;
};

// Draws scenarios from a fixed seed, so a failing scenario number names the same notes each run.
// The waves a scenario points at live here and change on the next draw.
class ScenarioDice {
public:
    explicit ScenarioDice(uint32_t seed) : dice(seed) {}

    int Roll(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(dice); }

    VoiceScenario Next(const ScenarioOdds& odds) {
        static constexpr int32_t kRates[] = {22050, 44100, 48000};
        for (int32_t& value : uploaded) value = Roll(-32768, 32767);
        const WaveformRecord& record = kWaveformRecords[Roll(0, 32)];
        for (int i = 0; i < kWaveSteps; ++i)
            expanded[i] = record.samples[i] * record.amplitudeMultiplier;
        const int perWave = odds.picksPerTableWave;
        const int pick = Roll(0, 2 * perWave + 1);
        VoiceScenario s;
        s.sampleRate = kRates[Roll(0, 2)];
        s.kind = pick == 2 * perWave + 1 ? kNoise
                                         : (pick == 2 * perWave ? kDrumSquareWave : kBuiltInWave);
        s.wave = pick < perWave       ? uploaded.data()
                 : pick < 2 * perWave ? expanded.data()
                                      : kDrumSquare.data();
        if (odds.wideNoteOneIn == 1)
            s.note = Roll(0, 175);
        else
            s.note = OneIn(odds.wideNoteOneIn) ? Roll(0, 175) : Roll(24, 110);
        s.octaveShift = OneIn(6) ? -1 : 0;
        s.cents = OneIn(3) ? 0.0f : static_cast<float>(Roll(-250, 250));
        s.startDelay = OneIn(4) ? Roll(1, 240) : 0;
        s.amplitude = Roll(1, 228);
        s.pan = Roll(0, 127);
        if (OneIn(odds.decayOneIn)) {
            s.decayRate = -0.005f;
            s.slope = -327 * Roll(1, 4);
        }
        if (OneIn(odds.sweepOneIn)) s.sweep = Roll(0, 1) ? 0.8f : -0.6f;
        if (OneIn(odds.lengthOneIn)) s.length = Roll(50, 3000);
        s.envelope = OneIn(odds.noEnvelopeOneIn) ? nullptr : &kEnvelopeShapes[Roll(0, 127)];
        return s;
    }

    // One time in oneIn, applies the same random change to every voice given.
    template <typename... Voices>
    void MaybeChange(int oneIn, Voices&... voices) {
        if (!OneIn(oneIn)) return;
        const int what = Roll(0, 3);
        const int32_t value = Roll(0, 100000);
        (Change(voices, what, value), ...);
    }

private:
    bool OneIn(int n) { return Roll(0, n - 1) == 0; }

    std::mt19937 dice;
    std::array<int32_t, kWaveSteps> uploaded{};
    std::array<int32_t, kWaveSteps> expanded{};
};

}  // namespace zeblo::test
