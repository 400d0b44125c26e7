#include "modules/wavetable/WavetableVoice.h"

#include <algorithm>
#include <cmath>

namespace zeblo {

using wavetable_detail::WrapAdd;
using wavetable_detail::WrapMul;

namespace {

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

void WavetableVoice::RefreshReciprocal() {
    reciprocalCycle = samplesPerCycle;
    phasePerSample = kPhaseUnitsPerCycle / static_cast<double>(samplesPerCycle);
    stepsPerSample = phasePerSample / kPhaseUnitsPerStep;
}

// trunc(t / samplesPerCycle * 32768). The product with the reciprocal lies within 2^-30 of the
// quotient below 2^20, so a fraction clear of whole numbers by 2^-24 truncates alike; otherwise
// divide.
int64_t WavetableVoice::PhaseAt(double t) const {
    constexpr double kMargin = 0x1p-24;
    const double estimate = t * phasePerSample;
    if (estimate >= 0.0 && estimate < 0x1p20) {
        const int32_t whole = static_cast<int32_t>(estimate);
        const double fraction = estimate - static_cast<double>(whole);
        if (fraction > kMargin && fraction < 1.0 - kMargin) return whole;
    }
    return static_cast<int64_t>(t / static_cast<double>(samplesPerCycle) * kPhaseUnitsPerCycle);
}

// trunc(n / w) for a nonzero w, by a multiplication where that is exact.
int32_t WavetableVoice::DivideBySpan(int32_t n, int32_t w) {
    // With m = 2^48 / w + 1, (|n| * m) >> 48 is |n| / w for |n| <= 2^15 w and w < 2^16: the
    // excess |n| (m - 2^48 / w) / 2^48 stays below 1 / w, and the product below 2^64.
    const uint32_t magnitude = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
    if (w <= 0 || w >= (1 << 16) ||
        static_cast<uint64_t>(magnitude) > (static_cast<uint64_t>(w) << 15))
        return n / w;
    const uint32_t span = static_cast<uint32_t>(w);
    int32_t slot = spanCache[0].span == span ? 0 : (spanCache[1].span == span ? 1 : -1);
    if (slot < 0) {
        slot = spanCacheNext;
        spanCacheNext ^= 1;
        spanCache[slot] = {span, (uint64_t{1} << 48) / span + 1};
    }
    const uint32_t q = static_cast<uint32_t>((magnitude * spanCache[slot].magic) >> 48);
    return n < 0 ? -static_cast<int32_t>(q) : static_cast<int32_t>(q);
}

// Box filter over the interval this sample covers, in 1/1024 of a step, when it may reach over
// more than one step.
int32_t WavetableVoice::ReadWaveAcrossSteps(double t) {
    const int64_t p0 = PhaseAt(t);
    const int64_t p1 = PhaseAt(t + 1.0);
    const int64_t w = p1 - p0;
    const int64_t firstStep = p0 >> 10;
    // The index is masked in every branch: below about 2.7 Hz p0 >> 10 can reach 32.
    if (w < 2 || firstStep == ((p1 - 1) >> 10)) return wave[firstStep & (kWaveSteps - 1)];

    uint32_t sum = 0;
    const int64_t edge = (firstStep + 1) * kPhaseUnitsPerStep;
    if (p0 >= 0 && p1 <= edge + kPhaseUnitsPerStep) {
        // Over one step edge: the two weights of the loop below.
        sum = static_cast<uint32_t>(wave[firstStep & (kWaveSteps - 1)]) *
                  static_cast<uint32_t>(edge - p0) +
              static_cast<uint32_t>(wave[(firstStep + 1) & (kWaveSteps - 1)]) *
                  static_cast<uint32_t>(p1 - edge);
    } else {
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
    }
    return DivideBySpan(static_cast<int32_t>(sum), static_cast<int32_t>(w));
}

// Commits what waited for the end of the cycle and starts the next one. Returns true when the
// voice stops here instead.
bool WavetableVoice::CycleBoundary() {
    if (stopRequested != 0 && transitionPending != 0) {
        idle = 1;
        transitionPending = 0;
        return true;
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
    return false;
}

StereoSample WavetableVoice::RenderFromBoundary() {
    if (CycleBoundary()) return {};
    return SoundSample(static_cast<double>(samplePosition));
}

// Every step in its order; RenderSteadySample is this with the steps that cannot act left out.
StereoSample WavetableVoice::RenderSampleInFull() {
    if (!StepInFull()) return {};
    return SoundSample(static_cast<double>(samplePosition));
}

bool WavetableVoice::StepInFull() {
    if (startDelay > 0) {
        --startDelay;
        return false;
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

    if (samplePosition == 0 || static_cast<double>(samplePosition) >= nextCycle)
        return !CycleBoundary();
    return true;
}

}  // namespace zeblo
