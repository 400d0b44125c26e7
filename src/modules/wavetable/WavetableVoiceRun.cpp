// Runs of samples for the render loop: between two cycle boundaries a steady waveform voice
// changes nothing but its envelope and its read position, so a whole stretch is rendered in two
// passes. The first steps the read phase in whole numbers and takes the box-filtered waveform
// value and the envelope level of every sample; the second turns them into the two output sums
// four samples at a time. Every value is the one RenderSample gives.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "modules/RenderPath.h"
#include "modules/wavetable/EnvelopeRun.h"
#include "modules/wavetable/OneEdgeReads.h"
#include "modules/wavetable/WavetableVoice.h"

namespace zeblo {

using wavetable_detail::EnvelopeRun;
using wavetable_detail::OneEdgeReads;
using wavetable_detail::WrapMul;

namespace {

// Samples per pass: the two passes share buffers of this many values on the stack.
constexpr uint32_t kPassFrames = 256;

// Samples side by side: four, or eight on the AVX2 path.
template <uint32_t kWidth>
struct LaneTypes;
template <>
struct LaneTypes<4> {
    using Signed = int32_t __attribute__((vector_size(16)));
    using Unsigned = uint32_t __attribute__((vector_size(16)));
};
template <>
struct LaneTypes<8> {
    using Signed = int32_t __attribute__((vector_size(32)));
    using Unsigned = uint32_t __attribute__((vector_size(32)));
};
template <uint32_t kWidth>
using Lanes = typename LaneTypes<kWidth>::Signed;
template <uint32_t kWidth>
using UnsignedLanes = typename LaneTypes<kWidth>::Unsigned;

// Phase chains stepped side by side.
constexpr uint32_t kPhaseLanes = 8;
using PhaseLanes = int32_t __attribute__((vector_size(4 * kPhaseLanes)));
using UnsignedPhaseLanes = uint32_t __attribute__((vector_size(4 * kPhaseLanes)));

// The lane helpers are always inlined, so no call passes a wide vector: GCC's note on how such
// calls changed is moot here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

template <uint32_t kWidth>
[[gnu::always_inline]] inline Lanes<kWidth> LanesOf(int32_t x) {
    return Lanes<kWidth>{} + x;
}
// Products wrap in 32 bits, as the scalar code's.
template <uint32_t kWidth>
[[gnu::always_inline]] inline Lanes<kWidth> Multiply(Lanes<kWidth> a, Lanes<kWidth> b) {
    using U = UnsignedLanes<kWidth>;
    return reinterpret_cast<Lanes<kWidth>>(reinterpret_cast<U>(a) * reinterpret_cast<U>(b));
}

// trunc(n / w) for 0 < w < 2^16, by a multiplication where that is exact: for |n| <= 2^15 w,
// (|n| * (2^48 / w + 1)) >> 48 is |n| / w. The magic number is made once per pitch.
uint64_t SpanMagic(int32_t w) {
    return w > 0 && w < (1 << 16) ? (uint64_t{1} << 48) / static_cast<uint32_t>(w) + 1 : 0;
}

struct SpanDivider {
    SpanDivider(int32_t w, uint64_t magic) : span(w), magic(magic) {}
    int32_t Divide(int32_t n) const {
        const uint32_t magnitude = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
        if (magic == 0 || static_cast<uint64_t>(magnitude) > (static_cast<uint64_t>(span) << 15))
            return n / span;
        const uint32_t q = static_cast<uint32_t>((magnitude * magic) >> 48);
        return n < 0 ? -static_cast<int32_t>(q) : static_cast<int32_t>(q);
    }
    int32_t span;
    uint64_t magic;
};

// The box filter over phases p0 ... p1 (in 1/1024 of a step), as ReadWaveAcrossSteps takes it.
int32_t BoxFilter(const int32_t* wave, int32_t p0, int32_t p1, const SpanDivider& narrow,
                  const SpanDivider& wide) {
    const int32_t w = p1 - p0;
    const int32_t firstStep = p0 >> 10;
    if (w < 2 || firstStep == ((p1 - 1) >> 10)) return wave[firstStep & (kWaveSteps - 1)];
    uint32_t sum = 0;
    int32_t p = p0;
    int32_t k = firstStep;
    int32_t remaining = w;
    while (remaining > 0) {
        const int32_t step =
            std::min(kPhaseUnitsPerStep * (p / kPhaseUnitsPerStep + 1) - p, remaining);
        sum += static_cast<uint32_t>(wave[k & (kWaveSteps - 1)]) * static_cast<uint32_t>(step);
        ++k;
        p += step;
        remaining -= step;
    }
    const int32_t n = static_cast<int32_t>(sum);
    return w == narrow.span ? narrow.Divide(n) : wide.Divide(n);
}

// The read phase of a span: phase = floor(N / divisor), N growing by a fixed amount per sample,
// kept as a whole part and a remainder.
struct PhaseStepper {
    int32_t phase;
    int32_t rest;
    int32_t divisor;
    int32_t stepWhole;
    int32_t stepRest;
    int64_t startNumerator;  // N at the span's first sample
    int shift;               // N grows by 2^shift per sample
    uint32_t index = 0;      // samples stepped since the span's first
    // The next sample's phase; `wide` tells whether it moved by stepWhole + 1.
    int32_t Next(bool& wide) {
        rest += stepRest;
        wide = rest >= divisor;
        rest -= wide ? divisor : 0;
        return phase + stepWhole + (wide ? 1 : 0);
    }
};

struct OutputGains {
    int32_t level;  // amplitude >> 16
    int32_t expression;
    int32_t left;
    int32_t right;
};

int32_t ScaledSample(int32_t v, int32_t e, const OutputGains& g, bool withEnvelope) {
    int32_t s = WrapMul(WrapMul(g.level, v) >> 7, g.expression) >> 7;
    if (withEnvelope) s = WrapMul(e >> 14, s) >> 16;
    return s;
}

// The second pass: waveform values (and envelope levels) to the output sums.
template <bool kEnvelope, uint32_t kWidth>
[[gnu::always_inline]] inline void AddOutput(const int32_t* v, const int32_t* e, uint32_t count,
                                             const OutputGains& g, uint32_t* __restrict left,
                                             uint32_t* __restrict right) {
    using V = Lanes<kWidth>;
    using U = UnsignedLanes<kWidth>;
    const V level = LanesOf<kWidth>(g.level);
    const V expression = LanesOf<kWidth>(g.expression);
    const V leftGain = LanesOf<kWidth>(g.left);
    const V rightGain = LanesOf<kWidth>(g.right);
    uint32_t j = 0;
    for (; j + kWidth <= count; j += kWidth) {
        V x;
        std::memcpy(&x, v + j, sizeof x);
        V s = Multiply<kWidth>(Multiply<kWidth>(level, x) >> 7, expression) >> 7;
        if constexpr (kEnvelope) {
            V envelope;
            std::memcpy(&envelope, e + j, sizeof envelope);
            s = Multiply<kWidth>(envelope >> 14, s) >> 16;
        }
        U l;
        U r;
        std::memcpy(&l, left + j, sizeof l);
        std::memcpy(&r, right + j, sizeof r);
        l += reinterpret_cast<U>(Multiply<kWidth>(leftGain, s) >> 7);
        r += reinterpret_cast<U>(Multiply<kWidth>(rightGain, s) >> 7);
        std::memcpy(left + j, &l, sizeof l);
        std::memcpy(right + j, &r, sizeof r);
    }
    for (; j < count; ++j) {
        const int32_t s = ScaledSample(v[j], kEnvelope ? e[j] : 0, g, kEnvelope);
        left[j] += static_cast<uint32_t>(WrapMul(g.left, s) >> 7);
        right[j] += static_cast<uint32_t>(WrapMul(g.right, s) >> 7);
    }
}

// The first pass when a sample's read covers at most one step edge and every waveform value lies
// within 2^15. The phases come first, then the values independently of each other, so that they
// go several at a time. A read inside one step weighs the next step by zero, and its sum (the
// value times the width) divides back to the value. Sums stay below 2^26 and quotients below
// 2^15, so |sum| times the double reciprocal of the width is within 2^-35 of the exact quotient;
// raised by kQuotientBias it truncates alike, since a quotient off a whole number lies at least
// 1/1025 below the next one.

template <bool kAvx2>
[[gnu::always_inline]] inline void ReadOneEdge(const int32_t* wave, PhaseStepper& stepper,
                                               uint32_t count, int32_t* __restrict v) {
    // The phases of count + 1 samples, kPhaseLanes interleaved chains at a time: each lane steps
    // kPhaseLanes samples at once, N growing by kPhaseLanes times as much.
    int32_t phases[kPassFrames + 1 + kPhaseLanes];
    int32_t rests[kPassFrames + 1 + kPhaseLanes];
    const int32_t divisor = stepper.divisor;
    const int32_t stepWhole = stepper.stepWhole;
    const int32_t stepRest = stepper.stepRest;
    PhaseLanes phase;
    PhaseLanes rest;
    {
        int32_t p = stepper.phase;
        int32_t r = stepper.rest;
        for (uint32_t l = 0; l < kPhaseLanes; ++l) {
            phase[l] = p;
            rest[l] = r;
            r += stepRest;
            const int32_t carry = r >= divisor ? 1 : 0;
            r -= divisor & -carry;
            p += stepWhole + carry;
        }
    }
    // stepRest < divisor < 2^24, so the lanes' step and remainder stay well inside 32 bits.
    const int32_t laneRest = static_cast<int32_t>(kPhaseLanes) * stepRest;
    const PhaseLanes laneStepRest = PhaseLanes{} + laneRest % divisor;
    const PhaseLanes laneStepWhole =
        PhaseLanes{} + (static_cast<int32_t>(kPhaseLanes) * stepWhole + laneRest / divisor);
    // The remainders wrap by an unsigned minimum: below the divisor, the subtraction wraps round
    // to more than the sum. Three operations long, the remainder's chain sets the loop's pace.
    const UnsignedPhaseLanes divisors = UnsignedPhaseLanes{} + static_cast<uint32_t>(divisor);
    const UnsignedPhaseLanes restStep = reinterpret_cast<const UnsignedPhaseLanes&>(laneStepRest);
    UnsignedPhaseLanes remainder = reinterpret_cast<UnsignedPhaseLanes&>(rest);
    for (uint32_t j = 0; j <= count; j += kPhaseLanes) {
        std::memcpy(phases + j, &phase, sizeof phase);
        std::memcpy(rests + j, &remainder, sizeof remainder);
        const UnsignedPhaseLanes sum = remainder + restStep;
        const UnsignedPhaseLanes reduced = sum - divisors;
        remainder = reduced < sum ? reduced : sum;
        phase += laneStepWhole - reinterpret_cast<PhaseLanes>(remainder == reduced);
    }
    const OneEdgeReads reads{wave, stepWhole, 1.0 / stepWhole, 1.0 / (stepWhole + 1)};
    uint32_t j = 0;
#if ZEBLO_X86
    if constexpr (kAvx2) j = reads.EightAtATime(phases, count, v);
#endif
    for (; j < count; ++j) v[j] = reads.Value(phases[j], phases[j + 1]);
    stepper.phase = phases[count];
    stepper.rest = rests[count];
    stepper.index += count;
}

[[gnu::always_inline]] inline void ReadAnyEdges(const int32_t* wave, PhaseStepper& stepper,
                                                const SpanDivider& narrow, const SpanDivider& wide,
                                                uint32_t count, int32_t* __restrict v) {
    for (uint32_t j = 0; j < count; ++j) {
        bool isWide = false;
        const int32_t p1 = stepper.Next(isWide);
        v[j] = BoxFilter(wave, stepper.phase, p1, narrow, wide);
        stepper.phase = p1;
    }
    stepper.index += count;
}

// A cycle boundary inside a span at which nothing waits: from the sample at `offset` (counted
// from the span's first) on, the read phase counts from the next cycle's start.
struct Crossing {
    uint32_t offset;
    PhaseStepper stepper;
};
constexpr uint32_t kMaxCrossings = 48;

// What the first pass reads with: the phase, the wave and the boundaries the span runs through.
struct SpanRead {
    const int32_t* wave;
    PhaseStepper stepper;
    SpanDivider narrow;
    SpanDivider wide;
    bool oneEdge;  // the step allows ReadOneEdge; the passes check the wave's values
    const Crossing* crossings;
    uint32_t crossingCount;
    uint32_t nextCrossing = 0;
};

// The values of samples at ... at + count - 1 of the span, a cycle at a time.
template <bool kAvx2>
[[gnu::always_inline]] inline void ReadValues(SpanRead& read, uint32_t at, uint32_t count,
                                              int32_t* __restrict v) {
    uint32_t done = 0;
    while (done < count) {
        uint32_t segment = count - done;
        if (read.nextCrossing < read.crossingCount) {
            const Crossing& crossing = read.crossings[read.nextCrossing];
            if (crossing.offset == at + done) {
                read.stepper = crossing.stepper;
                ++read.nextCrossing;
                continue;
            }
            segment = std::min(segment, crossing.offset - (at + done));
        }
        if (read.oneEdge) {
            ReadOneEdge<kAvx2>(read.wave, read.stepper, segment, v + done);
        } else {
            ReadAnyEdges(read.wave, read.stepper, read.narrow, read.wide, segment, v + done);
        }
        done += segment;
    }
}

// The envelope levels of up to `count` samples; fewer when the envelope finishes on the sample
// after them.
template <uint32_t kWidth>
[[gnu::always_inline]] inline uint32_t EnvelopeLevels(EnvelopeRun& envelope, uint32_t count,
                                                      int32_t* __restrict e, bool& finished) {
    EnvelopeRun run = envelope;
    uint32_t j = 0;
    while (j < count) {
        if (run.ramp > 0) {
            const uint32_t take =
                static_cast<uint32_t>(std::min<int64_t>(run.ramp, static_cast<int64_t>(count - j)));
            const int32_t level = run.level;
            const int32_t delta = run.delta;
            // A vector at a time: level + (q + 1) delta. Lanes past the ramp's end are computed
            // but never stored; unsigned, so that computing them cannot overflow.
            using U = UnsignedLanes<kWidth>;
            const uint32_t base = static_cast<uint32_t>(level), step = static_cast<uint32_t>(delta);
            U ramp;
            for (uint32_t l = 0; l < kWidth; ++l) ramp[l] = base + (l + 1) * step;
            const U stride = U{} + kWidth * step;
            uint32_t q = 0;
            for (; q + kWidth <= take; q += kWidth) {
                std::memcpy(e + j + q, &ramp, sizeof ramp);
                ramp += stride;
            }
            for (; q < take; ++q) e[j + q] = static_cast<int32_t>(base + (q + 1) * step);
            run.level = level + static_cast<int32_t>(take) * delta;
            run.ramp -= take;
            j += take;
            continue;
        }
        if (!run.Step()) {
            finished = true;
            break;
        }
        e[j++] = run.level;
    }
    envelope = run;
    return j;
}

// Every waveform value lies within +-2^15, so that a read's sum and quotient stay in range.
[[gnu::always_inline]] inline bool WaveWithin15Bits(const int32_t* wave) {
    int32_t low = 0;
    int32_t high = 0;
    for (int i = 0; i < kWaveSteps; ++i) {
        low = std::min(low, wave[i]);
        high = std::max(high, wave[i]);
    }
    return low >= -(1 << 15) && high <= (1 << 15);
}

using PassesFunction = uint32_t (*)(SpanRead& read, EnvelopeRun& envelope, const OutputGains& gains,
                                    uint32_t n, uint32_t* __restrict left,
                                    uint32_t* __restrict right, bool& finished);

// The passes of a span, inlined whole into each variant below so that each gets its own vector
// code.
template <bool kEnvelope, bool kAvx2>
[[gnu::always_inline]] inline uint32_t RenderPasses(SpanRead& read, EnvelopeRun& envelope,
                                                    const OutputGains& gains, uint32_t n,
                                                    uint32_t* __restrict left,
                                                    uint32_t* __restrict right, bool& finished) {
    constexpr uint32_t kWidth = kAvx2 ? 8 : 4;
    read.oneEdge = read.oneEdge && WaveWithin15Bits(read.wave);
    int32_t v[kPassFrames];
    int32_t e[kPassFrames];
    uint32_t i = 0;
    while (i < n && !finished) {
        uint32_t count = std::min(n - i, kPassFrames);
        if constexpr (kEnvelope) count = EnvelopeLevels<kWidth>(envelope, count, e, finished);
        ReadValues<kAvx2>(read, i, count, v);
        AddOutput<kEnvelope, kWidth>(v, e, count, gains, left + i, right + i);
        i += count;
    }
    return i;
}

template <bool kEnvelope>
uint32_t BaselinePasses(SpanRead& read, EnvelopeRun& envelope, const OutputGains& gains, uint32_t n,
                        uint32_t* __restrict left, uint32_t* __restrict right, bool& finished) {
    return RenderPasses<kEnvelope, false>(read, envelope, gains, n, left, right, finished);
}

#if ZEBLO_X86
// For processors with AVX2, whose 32-bit vector multiply the second pass uses. Only called once
// RenderPathSupported has seen the processor offer it.
template <bool kEnvelope>
__attribute__((target("avx2"))) uint32_t Avx2Passes(SpanRead& read, EnvelopeRun& envelope,
                                                    const OutputGains& gains, uint32_t n,
                                                    uint32_t* __restrict left,
                                                    uint32_t* __restrict right, bool& finished) {
    return RenderPasses<kEnvelope, true>(read, envelope, gains, n, left, right, finished);
}
#endif

template <bool kEnvelope>
PassesFunction PassesFor(RenderPath path) {
#if ZEBLO_X86
    if (path == RenderPath::Avx2) return Avx2Passes<kEnvelope>;
#endif
    static_cast<void>(path);
    return BaselinePasses<kEnvelope>;
}

// The whole-number phase steps of a pitch: samplesPerCycle = divisor / 2^(shift - 15).
struct StepShape {
    int32_t divisor;
    int32_t shift;
    int32_t stepWhole;
    int32_t stepRest;
};

// The read phase at `position` for a cycle starting at cycleStart: false when cycleStart is off
// the pitch's grid (a multiple of 2^-(shift - 15)) or the numbers leave their ranges.
bool StepperAt(const StepShape& k, uint32_t position, float cycleStart, PhaseStepper& stepper) {
    const int a = k.shift - 15;
    const double scaledStart =
        static_cast<double>(cycleStart) * std::bit_cast<double>(uint64_t(1023 + a) << 52);
    if (scaledStart < 0.0 || scaledStart != std::floor(scaledStart) || scaledStart > 0x1p52)
        return false;
    const int64_t t0 = (int64_t{position} << a) - static_cast<int64_t>(scaledStart);
    if (t0 < 0 || t0 >= (int64_t{1} << 40)) return false;
    const int64_t n0 = t0 << 15;
    const int64_t whole = n0 / k.divisor;
    if (whole >= (int64_t{1} << 24)) return false;
    stepper = {static_cast<int32_t>(whole),
               static_cast<int32_t>(n0 - whole * k.divisor),
               k.divisor,
               k.stepWhole,
               k.stepRest,
               n0,
               k.shift};
    return true;
}

// Extends a span that meets a boundary after n samples over the boundaries that only start the
// next cycle (cycleStart taking nextCycle, nextCycle growing by samplesPerCycle, as at each), up
// to `frames`; records them and returns the span's new length.
uint32_t CrossBoundaries(const StepShape& k, uint32_t start, float nextCycle, float samplesPerCycle,
                         uint32_t n, uint32_t frames, Crossing* crossings, uint32_t& count) {
    float next = nextCycle;
    while (n < frames && count < kMaxCrossings) {
        Crossing& crossing = crossings[count];
        crossing.offset = n;
        if (!StepperAt(k, start + n, next, crossing.stepper)) break;
        next += samplesPerCycle;
        const double room = std::ceil(static_cast<double>(next)) - static_cast<double>(start);
        if (!(room > n)) break;
        ++count;
        n = room >= frames ? frames : static_cast<uint32_t>(room);
    }
    return n;
}

}  // namespace

bool WavetableVoice::MakePhaseSteps() {
    // Below 1 sample a cycle the voice is past the audible top; at 16384 and more a sample moves
    // the phase by less than 2 units, which reads one step without averaging.
    if (!(samplesPerCycle >= 1.0f) || !(samplesPerCycle < 16384.0f)) return false;
    const uint32_t bits = std::bit_cast<uint32_t>(samplesPerCycle);
    const int32_t exponent = static_cast<int32_t>((bits >> 23) & 0xFF) - 127;
    PhaseSteps k;
    k.samplesPerCycle = samplesPerCycle;
    // samplesPerCycle = divisor / 2^(23 - exponent), divisor the 24-bit significand.
    k.divisor = static_cast<int32_t>((bits & 0x7FFFFF) | 0x800000);
    k.shift = 15 + 23 - exponent;
    const int64_t advance = int64_t{1} << k.shift;
    k.stepWhole = static_cast<int32_t>(advance / k.divisor);
    k.stepRest = static_cast<int32_t>(advance % k.divisor);
    if (k.stepWhole < 2) return false;
    k.narrowMagic = SpanMagic(k.stepWhole);
    k.wideMagic = SpanMagic(k.stepWhole + 1);
    phaseSteps = k;
    return true;
}

// Inside a cycle the read position is t = p - cycleStart, and its phase trunc(t / samplesPerCycle
// * 32768) is floor(32768 t / samplesPerCycle) exactly (t is exact; the quotient lies either on a
// whole number or at least 2^-24 clear of one, far beyond double rounding). With samplesPerCycle
// = S / 2^a and cycleStart a multiple of 2^-a, the phase is floor(N / S) for a numerator N that
// grows by 32768 * 2^a per sample: whole-number steps with a remainder, no division per sample.
uint32_t WavetableVoice::RenderSteadySpan(uint32_t* __restrict left, uint32_t* __restrict right,
                                          uint32_t frames) {
    const uint32_t start = samplePosition;
    const double next = static_cast<double>(nextCycle);
    // The boundary falls on the first position p with p >= nextCycle, that is ceil(nextCycle).
    if (!(next > static_cast<double>(start))) return 0;
    const double room = std::min(std::ceil(next), static_cast<double>(UINT32_MAX) + 1.0) -
                        static_cast<double>(start);
    uint32_t n = room >= frames ? frames : static_cast<uint32_t>(room);

    constexpr uint32_t kPositionLimit = 1u << 29;  // p - cycleStart stays exact below this
    if (uint64_t{start} + frames >= kPositionLimit) return 0;
    if (phaseSteps.samplesPerCycle != samplesPerCycle && !MakePhaseSteps()) return 0;
    const StepShape k{phaseSteps.divisor, phaseSteps.shift, phaseSteps.stepWhole,
                      phaseSteps.stepRest};
    SpanRead read{wave,
                  {},
                  SpanDivider(k.stepWhole, phaseSteps.narrowMagic),
                  SpanDivider(k.stepWhole + 1, phaseSteps.wideMagic),
                  k.stepWhole + 1 <= kPhaseUnitsPerStep,
                  nullptr,
                  0};
    if (!StepperAt(k, start, cycleStart, read.stepper)) return 0;
    Crossing crossings[kMaxCrossings];
    if ((centsDirty | expressionDirty | panDirty | stopRequested) == 0 && pendingNote == -1)
        n = CrossBoundaries(k, start, nextCycle, samplesPerCycle, n, frames, crossings,
                            read.crossingCount);
    read.crossings = crossings;

    const OutputGains gains{amplitude >> 16, expression, leftGain, rightGain};
    EnvelopeRun run(envStage, envLevel, Steps());
    bool finished = false;
    const RenderPath path = ActiveRenderPath();
    const PassesFunction passes =
        envelope != nullptr ? PassesFor<true>(path) : PassesFor<false>(path);
    uint32_t i = passes(read, run, gains, n, left, right, finished);
    if (envelope != nullptr) {
        envStage = run.stage;
        envLevel = run.level;
    }
    // The boundaries before sample i each started the next cycle.
    uint32_t passed = 0;
    for (; passed < read.crossingCount && crossings[passed].offset < i; ++passed) {
        cycleStart = nextCycle;
        nextCycle += samplesPerCycle;
    }
    if (finished && passed < read.crossingCount && crossings[passed].offset == i) {
        // The envelope ended on a boundary sample: the voice stops there, silent.
        idle = 1;
        stopRequested = 1;
        samplePosition = start + i;
        return i + 1;
    }
    if (finished) {
        // The envelope ended on this sample: silent, and the voice waits for its boundary.
        transitionPending = 1;
        stopRequested = 1;
        ++i;
    }
    samplePosition = start + i;
    return i;
}

bool WavetableVoice::RenderRun(uint32_t* left, uint32_t* right, uint32_t frames) {
    uint32_t i = 0;
    while (i < frames) {
        if (idle != 0 && transitionPending == 0) return false;
        if (startDelay > 0) {
            // A delayed start only counts down: silent samples that change nothing else.
            const uint32_t wait = std::min(static_cast<uint32_t>(startDelay), frames - i);
            startDelay -= static_cast<int32_t>(wait);
            i += wait;
            continue;
        }
        // Waveform voices between boundaries take the span; noise (which runs at double rate at
        // 22050 Hz), voices above the audible top and every step with more to do go one by one.
        if (kind != kNoise && Steady() && samplePosition != 0 &&
            !(frequency > kHighestWaveFrequency)) {
            const uint32_t done = RenderSteadySpan(left + i, right + i, frames - i);
            if (done != 0) {
                i += done;
                continue;
            }
        }
        const StereoSample s = RenderSample();
        left[i] += static_cast<uint32_t>(s.left);
        right[i] += static_cast<uint32_t>(s.right);
        ++i;
    }
    return idle == 0 || transitionPending != 0;
}

}  // namespace zeblo
