// One oscillator of the wavetable module: a 32-step waveform or sample-and-hold noise, with an
// amplitude ramp, an optional four-stage envelope and a pan position. Changes of pitch,
// expression, pan, note and running state wait for the end of the current waveform cycle.
//
// Threads: constructed at start-up. Every other operation runs on the thread that runs the render
// loop (or under the sequencer's lock, through the module). The render loop reads the fields for
// the display snapshot on that same thread.
#pragma once

#include <cstdint>
#include <limits>

#include "modules/wavetable/Mt19937.h"
#include "modules/wavetable/WavetableTables.h"

namespace zeblo {

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

    // One output sample. A silent, free voice returns at the first test.
    StereoSample RenderSample() {
        if (transitionPending == 0 && idle != 0) return {};
        return RenderActiveSample();
    }

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
    StereoSample RenderActiveSample();
    void StepEnvelope();
    void ArmEnvelope();
    int32_t ReadWave();
    int64_t PhaseAt(double t);

    Mt19937* random;
    // The end of one sample's read interval is the start of the next one's: the last phase
    // computed, remembered with what it was computed from.
    double lastPhaseTime = std::numeric_limits<double>::quiet_NaN();
    float lastPhaseCycle = 0.0f;
    int64_t lastPhase = 0;
};

}  // namespace zeblo
