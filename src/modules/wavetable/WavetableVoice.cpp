#include "modules/wavetable/WavetableVoice.h"

#include <algorithm>
#include <cmath>

namespace zeblo {

namespace {

// Products and sums that could leave 32 bits wrap instead of being undefined.
int32_t WrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t FloorDiv(int32_t a, int32_t b) {
    const int32_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// Keeps the truncating float-to-int conversion of the pitch offset defined for any value.
int32_t TruncateCents(float cents) {
    return static_cast<int32_t>(std::clamp(cents, -1.0e6f, 1.0e6f));
}

}  // namespace

WavetableVoice::WavetableVoice(Mt19937& random) : random(&random) {
    sampleRate = kDefaultVoiceSampleRate;
    ResetVoice();
    random.Seed(kRandomSeed);
}

void WavetableVoice::ResetVoice() {
    kind = kBuiltInWave;
    frequency = 440.0f;
    samplesPerCycle = 100.0f;
    cycleStart = 0.0f;
    nextCycle = 0.0f;
    samplePosition = 0;
    note = 60;
    pendingNote = -1;
    transitionPending = 0;
    cents = 0.0f;
    centsDirty = 0;
    newCents = 0.0f;
    stopRequested = 0;
    idle = 0;
    expressionDirty = 0;
    amplitude = 100;
    expression = 127;
    lengthCounter = 0;
    decayRate = 0.0f;
    amplitudeSlope = 0;
    sweep = 0.0f;
    startDelay = 0;
    leftGain = 1;
    rightGain = 1;
    octaveShift = 0;
    sustainPedal = 0;
    envelope = nullptr;
}

double WavetableVoice::NoteFrequency(int32_t n, int32_t octaveShift) {
    // Floor division and a non-negative semitone keep notes below 0 (a downward offset on
    // note 0) inside the tables.
    const int32_t octave = std::clamp(FloorDiv(n + 24, 12) + octaveShift, 0, kOctaveCount - 1);
    const int32_t semitone = ((n % 12) + 12) % 12;
    return static_cast<double>(kOctaveTable[octave]) * static_cast<double>(kReferenceFrequency) *
           static_cast<double>(kSemitoneTable[semitone]);
}

void WavetableVoice::SetNote(int32_t n) {
    double f;
    if (cents == 0.0f) {
        f = NoteFrequency(n, octaveShift);
    } else if (cents > 0.0f) {
        const int32_t q = TruncateCents(cents) / 100;
        const double r = static_cast<double>(cents) - 100.0 * q;
        const double f1 = NoteFrequency(n + q, octaveShift);
        const double f2 = NoteFrequency(n + q + 1, octaveShift);
        f = f1 + (f2 - f1) * r * 0.01;
    } else {
        const int32_t q = TruncateCents(cents) / -100;
        const double r = -(100.0 * q + static_cast<double>(cents));
        const double f1 = NoteFrequency(n - q, octaveShift);
        const double f2 = NoteFrequency(n - q - 1, octaveShift);
        f = f1 + (f2 - f1) * r * 0.01;
    }
    frequency = static_cast<float>(f);
    samplesPerCycle =
        static_cast<float>(static_cast<double>(sampleRate) / static_cast<double>(frequency));
    note = n;
    nextCycle = samplesPerCycle;
    samplePosition = 0;
    cycleStart = 0.0f;
}

void WavetableVoice::SetExpression(int32_t v) {
    if (idle != 0) {
        expression = v;
        expressionDirty = 0;
    } else {
        newExpression = v;
        expressionDirty = 1;
    }
}

void WavetableVoice::SetSustainPedal(int32_t on) {
    sustainPedal = on;
}

void WavetableVoice::SetLength(int32_t n) {
    lengthCounter = HalfRate() ? n / 2 : n;
}

void WavetableVoice::SetPitchSweep(float s) {
    if (HalfRate()) s *= 2.0f;
    sweep = s;
    if (s != 0.0f) {
        newCents = (centsDirty != 0 ? newCents : cents) + s;
        centsDirty = 1;
    }
}

void WavetableVoice::ArmEnvelope() {
    const uint32_t full = static_cast<uint32_t>(kEnvelopeFullLevel);
    envStage = kAttack;
    envLevel = 0;
    sustainLevel = static_cast<int32_t>(envelope->sustainLevel * kEnvelopeLevelScale);
    const uint32_t sustain = static_cast<uint32_t>(sustainLevel);
    if (envelope->attack != 0) {
        attackStep = static_cast<int32_t>(full / envelope->attack);
    } else {
        envLevel = kEnvelopeFullLevel;
        attackStep = 0;
    }
    decayStep = envelope->decay != 0 ? static_cast<int32_t>((full - sustain) / envelope->decay) : 0;
    sustainStep =
        envelope->sustainTime != 0 ? static_cast<int32_t>(sustain / envelope->sustainTime) : 0;
    if (attackStep == 0) {
        envStage = kDecay;
        envLevel = kEnvelopeFullLevel;
        if (decayStep == 0) {
            envStage = kSustain;
            envLevel = sustainLevel;
        }
    }
}

bool WavetableVoice::StartNote(int32_t n) {
    if (transitionPending != 0 || idle == 0) return false;
    if (envelope != nullptr) ArmEnvelope();
    stopRequested = 0;
    pendingNote = n;
    transitionPending = 1;
    return true;
}

void WavetableVoice::StepEnvelope() {
    switch (envStage) {
        case kAttack:
            envLevel = WrapAdd(envLevel, attackStep);
            if (envLevel > kEnvelopeFullLevel) {
                envLevel = kEnvelopeFullLevel;
                envStage = kDecay;
            }
            break;
        case kDecay:
            envLevel = WrapAdd(envLevel, -decayStep);
            if (envLevel < sustainLevel || decayStep == 0) {
                envLevel = sustainLevel;
                envStage = kSustain;
            }
            break;
        case kSustain:
            envLevel = WrapAdd(envLevel, -sustainStep);
            if (envLevel < 0) {
                envLevel = 0;
                envStage = kFinished;
            }
            break;
        case kRelease:
            envLevel = WrapAdd(envLevel, -releaseStep);
            if (envLevel <= 0) {
                envLevel = 0;
                envStage = kFinished;
            }
            break;
        case kFinished:
            envLevel = 0;
            transitionPending = 1;
            stopRequested = 1;
            break;
        default:
            break;
    }
}

int64_t WavetableVoice::PhaseAt(double t) {
    if (t == lastPhaseTime && samplesPerCycle == lastPhaseCycle) return lastPhase;
    return static_cast<int64_t>(t / static_cast<double>(samplesPerCycle) * kPhaseUnitsPerCycle);
}

// Box filter over the part of the cycle this sample covers, in 1/1024 of a step.
int32_t WavetableVoice::ReadWave() {
    const double t = static_cast<double>(samplePosition) - static_cast<double>(cycleStart);
    const int64_t p0 = PhaseAt(t);
    const double tEnd = t + 1.0;
    const int64_t p1 =
        static_cast<int64_t>(tEnd / static_cast<double>(samplesPerCycle) * kPhaseUnitsPerCycle);
    lastPhaseTime = tEnd;
    lastPhaseCycle = samplesPerCycle;
    lastPhase = p1;

    const int64_t w = p1 - p0;
    const int64_t firstStep = p0 >> 10;
    // The index is masked in every branch: below about 2.7 Hz p0 >> 10 can reach 32.
    if (w < 2 || firstStep == ((p1 - 1) >> 10)) return wave[firstStep & (kWaveSteps - 1)];

    uint32_t sum = 0;
    int64_t p = p0;
    int64_t k = firstStep;
    int64_t remaining = w;
    while (remaining > 0) {
        const int64_t step =
            std::min(kPhaseUnitsPerStep * (p / kPhaseUnitsPerStep + 1) - p, remaining);
        sum += static_cast<uint32_t>(wave[k & (kWaveSteps - 1)]) * static_cast<uint32_t>(step);
        ++k;
        p += step;
        remaining -= step;
    }
    return static_cast<int32_t>(sum) / static_cast<int32_t>(w);
}

StereoSample WavetableVoice::RenderActiveSample() {
    if (startDelay > 0) {
        --startDelay;
        return {};
    }
    if (envelope != nullptr) StepEnvelope();

    if (transitionPending != 0 && stopRequested == 0) {
        idle = 0;
        transitionPending = 0;
        samplePosition = 0;
    }

    amplitude = WrapAdd(amplitude, amplitudeSlope);
    if (amplitude < 0) {
        amplitude = 0;
        if (decayRate != 0.0f) {
            transitionPending = 1;
            stopRequested = 1;
        }
    }

    if (sweep != 0.0f) {
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
            return {};
        }
        const bool centsCommitted = centsDirty != 0;
        if (centsCommitted) {
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
        } else if (centsCommitted) {
            SetNote(note);
        } else {
            cycleStart = nextCycle;
            nextCycle += samplesPerCycle;
        }
        if (kind == kNoise) noiseValue = static_cast<int32_t>(random->Next()) % 65535 - 32768;
    }

    const int32_t level = amplitude >> 16;
    int32_t s;
    if (kind == kNoise) {
        s = WrapMul(WrapMul(level, noiseValue) >> 7, expression) >> 7;
        if (HalfRate()) ++samplePosition;  // noise runs at double rate
    } else if (frequency > kHighestWaveFrequency) {
        s = 0;
    } else {
        s = WrapMul(WrapMul(level, ReadWave()) >> 7, expression) >> 7;
    }
    ++samplePosition;

    if (idle != 0) return {};
    if (envelope != nullptr) s = WrapMul(envLevel >> 14, s) >> 16;
    return {WrapMul(leftGain, s) >> 7, WrapMul(rightGain, s) >> 7};
}

}  // namespace zeblo
