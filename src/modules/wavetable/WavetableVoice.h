// One oscillator of the wavetable module: a 32-step waveform or sample-and-hold noise, with an
// amplitude ramp, an optional four-stage envelope and a pan position. Changes of pitch,
// expression, pan, note and running state wait for the end of the current waveform cycle.
//
// Threads: constructed at start-up. Every other operation runs on the thread that runs the render
// loop (or under the sequencer's lock, through the module). The render loop reads the fields for
// the display snapshot on that same thread.
#pragma once

#include <bit>
#include <cstdint>

#include "modules/wavetable/Mt19937.h"
#include "modules/wavetable/WavetableTables.h"

namespace zeblo {

// The envelope's per-stage steps, as the voice holds them.
struct EnvelopeSteps {
    int32_t attackStep;
    int32_t decayStep;
    int32_t sustainLevel;
    int32_t sustainStep;
    int32_t releaseStep;
};

struct StereoSample {
    int32_t left = 0;
    int32_t right = 0;
};

enum WaveKind : int32_t {
    kBuiltInWave = 1,
    kUploadedWave = 2,
    kDrumSquareWave = 3,
    kNoise = 4,
};

enum EnvelopeStage : int32_t {
    kAttack = 0,
    kDecay = 1,
    kSustain = 2,
    kRelease = 3,
    kFinished = 4,
};

class WavetableVoice {
public:
    // Seeds the shared generator with 777, as every voice does.
    explicit WavetableVoice(Mt19937& random);
    virtual ~WavetableVoice() = default;
    WavetableVoice(const WavetableVoice&) = delete;
    WavetableVoice& operator=(const WavetableVoice&) = delete;

    void ResetVoice();
    void SetNote(int32_t n);
    void SetExpression(int32_t v);
    void SetSustainPedal(int32_t on);
    void SetLength(int32_t n);
    void SetPitchSweep(float s);
    // False, with nothing changed, unless the voice is idle with no transition pending.
    bool StartNote(int32_t n);

    // One output sample. A silent, free voice returns at the first test; a voice that only
    // sounds on (no start, delay, ramp, sweep or length pending) takes the short path.
    StereoSample RenderSample() {
        if (idle != 0 && transitionPending == 0) return {};
        if (!Steady()) return RenderSampleInFull();
        return RenderSteadySample();
    }

    // The same sample the long way: every step in order, every read divided out. The plain
    // render path, and the measure of the others.
    StereoSample RenderPlainSample();

    // `frames` samples added into left[] and right[]: the same as that many RenderSample calls.
    // Returns false when the voice ended idle (nothing pending) within the run. The vector
    // passes are the ones the active render path names (baseline unless it is avx2).
    bool RenderRun(uint32_t* left, uint32_t* right, uint32_t frames);

    // The frequency of note n before any cents offset, as the exact product of the tables.
    static double NoteFrequency(int32_t n, int32_t octaveShift);

    // True at 22050 Hz, where lengths halve and per-sample rates double.
    bool HalfRate() const { return sampleRate == kHalfRate; }

    int32_t kind = kBuiltInWave;
    int32_t sampleRate = kDefaultVoiceSampleRate;
    float frequency = 440.0f;
    float samplesPerCycle = 100.0f;
    float cycleStart = 0.0f;
    float nextCycle = 0.0f;
    uint32_t samplePosition = 0;
    int32_t note = 60;
    int32_t pendingNote = -1;
    int32_t transitionPending = 0;
    float cents = 0.0f;
    int32_t centsDirty = 0;
    float newCents = 0.0f;
    int32_t stopRequested = 0;
    int32_t idle = 0;
    int32_t expressionDirty = 0;
    int32_t newExpression = 0;
    const int32_t* wave = kDrumSquare.data();  // 32 samples
    int32_t amplitude = 100;                   // 16.16
    int32_t expression = 127;
    int32_t lengthCounter = 0;
    float decayRate = 0.0f;
    int32_t amplitudeSlope = 0;
    float sweep = 0.0f;
    int32_t startDelay = 0;
    int32_t leftGain = 1;
    int32_t rightGain = 1;
    int32_t octaveShift = 0;
    int32_t panDirty = 0;
    int32_t newPan = 0;
    int32_t noiseValue = 0;
    int32_t sustainPedal = 0;
    const EnvelopeShape* envelope = nullptr;
    int32_t envStage = kAttack;
    int32_t envLevel = 0;
    int32_t attackStep = 0;
    int32_t decayStep = 0;
    int32_t sustainLevel = 0;
    int32_t sustainStep = 0;
    int32_t releaseStep = 0;

private:
    EnvelopeSteps Steps() const {
        return {attackStep, decayStep, sustainLevel, sustainStep, releaseStep};
    }
    // Nothing but the envelope can change before the next cycle boundary: no start, delay, ramp,
    // sweep or length is pending.
    bool Steady() const {
        return (startDelay | transitionPending | lengthCounter | amplitudeSlope |
                (amplitude >> 31) | std::bit_cast<int32_t>(sweep)) == 0;
    }
    // Steady samples of a waveform voice up to (not including) the next cycle boundary, at most
    // `frames`, added into left[] and right[]; returns how many. Stops after a sample in which
    // the envelope finished.
    uint32_t RenderSteadySpan(uint32_t* __restrict left, uint32_t* __restrict right,
                              uint32_t frames);
    // Fills phaseSteps for the current samplesPerCycle; false when a span cannot take it.
    bool MakePhaseSteps();
    StereoSample RenderSampleInFull();
    // Every step before the sound, in order; false when this sample is silent.
    bool StepInFull();
    StereoSample RenderSteadySample();
    StereoSample RenderFromBoundary();
    // kPlain: the wave is read by ReadWavePlain.
    template <bool kPlain = false>
    StereoSample SoundSample(double position);
    void StepEnvelope();
    bool CycleBoundary();
    void ArmEnvelope();
    int32_t ReadWave(double t);
    int32_t ReadWaveAcrossSteps(double t);
    int32_t ReadWavePlain(double t) const;
    int64_t PhaseAt(double t) const;
    int32_t DivideBySpan(int32_t n, int32_t w);
    void RefreshReciprocal();

    Mt19937* random;
    // Derived from samplesPerCycle (kept in reciprocalCycle): 32768 / samplesPerCycle and
    // 32 / samplesPerCycle.
    float reciprocalCycle = 0.0f;
    double phasePerSample = 0.0;
    double stepsPerSample = 0.0;
    // Multipliers for the last two box widths (a sample's width takes one of two values).
    struct SpanDivisor {
        uint32_t span = 0;
        uint64_t magic = 0;
    };
    SpanDivisor spanCache[2];
    int32_t spanCacheNext = 0;
    // The whole-number read phase of RenderSteadySpan for samplesPerCycle = divisor / 2^shift
    // (shift counts the 2^15 phase units too), kept while samplesPerCycle stays.
    struct PhaseSteps {
        float samplesPerCycle = 0.0f;  // the value these were made for; 0 = none
        int32_t divisor = 0;
        int32_t shift = 0;
        int32_t stepWhole = 0;
        int32_t stepRest = 0;
        uint64_t narrowMagic = 0;  // 2^48 / stepWhole + 1
        uint64_t wideMagic = 0;    // 2^48 / (stepWhole + 1) + 1
    };
    PhaseSteps phaseSteps;
};

namespace wavetable_detail {

// Products and sums that could leave 32 bits wrap instead of being undefined.
inline int32_t WrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace wavetable_detail

// The per-sample code below is inline so that the render loop's sum over the voices compiles
// into one loop; the rare parts (starts, cycle boundaries, reads across steps) are out of line.

// One envelope step on the stage and level alone; true when the envelope has finished (level 0).
inline bool StepEnvelopeLevel(int32_t& stage, int32_t& level, const EnvelopeSteps& steps) {
    using wavetable_detail::WrapAdd;
    // Tests in order of how long a voice stays in each stage.
    if (stage == kSustain) {
        level = WrapAdd(level, -steps.sustainStep);
        if (level < 0) {
            level = 0;
            stage = kFinished;
        }
    } else if (stage == kRelease) {
        level = WrapAdd(level, -steps.releaseStep);
        if (level <= 0) {
            level = 0;
            stage = kFinished;
        }
    } else if (stage == kAttack) {
        level = WrapAdd(level, steps.attackStep);
        if (level > kEnvelopeFullLevel) {
            level = kEnvelopeFullLevel;
            stage = kDecay;
        }
    } else if (stage == kDecay) {
        level = WrapAdd(level, -steps.decayStep);
        if (level < steps.sustainLevel || steps.decayStep == 0) {
            level = steps.sustainLevel;
            stage = kSustain;
        }
    } else if (stage == kFinished) {
        level = 0;
        return true;
    }
    return false;
}

inline void WavetableVoice::StepEnvelope() {
    if (StepEnvelopeLevel(envStage, envLevel, Steps())) {
        transitionPending = 1;
        stopRequested = 1;
    }
}

// The box-filtered waveform value at t samples into the cycle.
inline int32_t WavetableVoice::ReadWave(double t) {
    if (samplesPerCycle != reciprocalCycle) RefreshReciprocal();
    // Most samples lie inside one step, and then the average is that step's value. The estimates
    // in steps are within 2^-40 of the exact positions here, so an interval clear of the step's
    // edges by 2^-30 is inside it for the exact positions too.
    constexpr double kEdgeMargin = 0x1p-30;
    const double y0 = t * stepsPerSample;
    const double y1 = y0 + stepsPerSample;
    if (y0 >= kEdgeMargin && y1 < 1024.0) {
        const int32_t k = static_cast<int32_t>(y0 - kEdgeMargin);
        if (k == static_cast<int32_t>(y1 + kEdgeMargin)) return wave[k & (kWaveSteps - 1)];
    }
    return ReadWaveAcrossSteps(t);
}

// Raw sample, position count, envelope and pan: everything after the cycle-boundary test.
template <bool kPlain>
inline StereoSample WavetableVoice::SoundSample(double position) {
    using wavetable_detail::WrapMul;
    const int32_t level = amplitude >> 16;
    int32_t s;
    if (kind == kNoise) {
        s = WrapMul(WrapMul(level, noiseValue) >> 7, expression) >> 7;
        if (HalfRate()) ++samplePosition;  // noise runs at double rate
    } else if (frequency > kHighestWaveFrequency) {
        s = 0;
    } else {
        const double t = position - static_cast<double>(cycleStart);
        const int32_t v = kPlain ? ReadWavePlain(t) : ReadWave(t);
        s = WrapMul(WrapMul(level, v) >> 7, expression) >> 7;
    }
    ++samplePosition;

    if (idle != 0) return {};
    if (envelope != nullptr) s = WrapMul(envLevel >> 14, s) >> 16;
    return {WrapMul(leftGain, s) >> 7, WrapMul(rightGain, s) >> 7};
}

// The full step with nothing but the envelope to advance: no start, delay, ramp, sweep or
// length can act, so only the envelope, the boundary test and the sample remain.
inline StereoSample WavetableVoice::RenderSteadySample() {
    if (envelope != nullptr) StepEnvelope();
    const double position = static_cast<double>(samplePosition);
    if (samplePosition == 0 || position >= static_cast<double>(nextCycle))
        return RenderFromBoundary();
    return SoundSample(position);
}

}  // namespace zeblo
