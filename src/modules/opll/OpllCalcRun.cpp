// Runs of samples: a busy chip's channels go in passes over up to kBusyRunChunk samples, envelope
// and phase first, then the operator outputs of all channels side by side; the samples are the
// ones OpllCalcSample gives one at a time.
#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "modules/RenderPath.h"
#include "modules/opll/OpllSampleSteps.h"

namespace zeblo {

using namespace opll_detail;

namespace {

constexpr uint32_t kBusyRunChunk = 128;  // samples; nine channels of scratch fit a small cache

// MelodicSlotTurn with the patch's AM and PM bits already applied to this sample's LFO values;
// the patch carries no flags.
inline void RunSlotTurn(OpllSlot& s, const OpllTables& t, int32_t tremolo, uint32_t vibrato) {
    if (s.updateFlags == 0 && s.holding) {
        s.envOutput = Clamp255(s.envBase + tremolo);
    } else {
        if (s.updateFlags) UpdateSlot(s, s.updateFlags, t);
        const int32_t e = EnvelopeValue(s, t);
        s.envBase = e * 2 + 1 + s.level;
        s.holding = s.envState == kOpllSustainHold;
        s.envOutput = Clamp255(s.envBase + tremolo);
    }
    s.phase = (s.phase + ((vibrato * s.phaseStep) >> 8)) & 0x3FFFF;
    s.phaseIndex = s.phase >> 9;
}

// The run's LFO values per sample, row 0 for a patch without AM (or PM), row 1 with it.
struct LfoRows {
    int32_t tremolo[2][kBusyRunChunk + 8];
    uint32_t vibrato[2][kBusyRunChunk + 8];
};

// An LFO's table values for count samples, the phase moving by step before each; returns the
// last sample's phase. A value holds for 256 phase units, so each is looked up once and filled
// over the samples it covers.
template <typename T>
[[gnu::always_inline]] inline uint32_t LfoRow(uint32_t phase, uint32_t step, const int32_t* table,
                                              T* row, uint32_t count) {
    uint32_t i = 0;
    while (i < count) {
        phase = (phase + step) & 0xFFFF;
        const T value = static_cast<T>(table[phase >> 8]);
        uint32_t same = count - i;
        if (step != 0) {
            // Below the next multiple of 256 (at most 2^16, so the phases need no wrap there).
            const uint32_t room = ((phase >> 8) + 1) * 256 - phase;
            same = std::min(same, (room + step - 1) / step);
        }
        // Eight at a time: the rows have room for the last eight's overrun.
        T block[8];
        for (T& b : block) b = value;
        for (uint32_t k = 0; k < same; k += 8) std::memcpy(row + i + k, block, sizeof block);
        i += same;
        phase = (phase + (same - 1) * step) & 0xFFFF;
    }
    return phase;
}

inline LfoLookup LfoAt(const LfoRows& rows, uint32_t i) {
    return {{rows.tremolo[0][i], rows.tremolo[1][i]}, {rows.vibrato[0][i], rows.vibrato[1][i]}};
}

// Scratch for one channel's passes.
struct ChannelScratch {
    int32_t modEnvelope[kBusyRunChunk];
    int32_t carEnvelope[kBusyRunChunk];
    uint32_t modIndex[kBusyRunChunk];
    uint32_t carIndex[kBusyRunChunk];
};

// The envelope half of a slot's turns for up to count samples, into envelope[]. With
// stopWhenFinished, stops before the first sample that starts finished; returns the samples done.
[[gnu::always_inline]] inline uint32_t EnvelopeRun(OpllSlot& s, const OpllTables& t,
                                                   const int32_t* tremolo, int32_t* envelope,
                                                   uint32_t count, bool stopWhenFinished) {
    uint32_t i = 0;
    for (; i < count; ++i) {
        if (s.updateFlags == 0 && s.holding) break;
        if (stopWhenFinished && s.envState == kOpllFinished) return i;
        if (s.updateFlags == 0 && s.envStep != 0) {
            // A falling envelope moves straight until it reaches its next limit: those samples in
            // one go, the one that reaches it below.
            uint32_t limit = 0;
            if (s.envState == kOpllDecay) limit = t.sustainLevel[s.patch->sl];
            if (s.envState == kOpllSustain || s.envState == kOpllRelease) limit = 128u << 15;
            if (s.envPhase < limit) {
                const uint32_t span = (limit - 1 - s.envPhase) / s.envStep;
                const uint32_t m = span < count - i ? span : count - i;
                const uint32_t phase = s.envPhase;
                const uint32_t step = s.envStep;
                const int32_t offset = 1 + s.level;
                int32_t* out = envelope + i;
                const int32_t* tremoloAt = tremolo + i;
                for (uint32_t j = 0; j < m; ++j) {
                    const int32_t e = static_cast<int32_t>((phase + (j + 1) * step) >> 15);
                    out[j] = Clamp255(e * 2 + offset + tremoloAt[j]);
                }
                if (m > 0) {
                    s.envPhase = phase + m * step;
                    s.envBase = static_cast<int32_t>(s.envPhase >> 15) * 2 + offset;
                    s.holding = false;
                    i += m;
                    if (i == count) break;
                }
            }
        }
        if (s.updateFlags) UpdateSlot(s, s.updateFlags, t);
        const int32_t e = EnvelopeValue(s, t);
        s.envBase = e * 2 + 1 + s.level;
        s.holding = s.envState == kOpllSustainHold;
        envelope[i] = Clamp255(s.envBase + tremolo[i]);
    }
    // Held: neither the state nor the level moves until a register write.
    const int32_t base = s.envBase;
    for (; i < count; ++i) envelope[i] = Clamp255(base + tremolo[i]);
    return count;
}

#if defined(__x86_64__) || defined(__i386__)
// The running sums of steps[] from phase on, eight at a time (count a multiple of eight), as
// wave indices; returns the last sum. Within each half the lanes add their neighbours one, then
// two apart; the upper half then adds the lower half's total, and every lane the sum before.
__attribute__((target("avx2"))) uint32_t PhaseSumsAvx2(const uint32_t* steps, uint32_t phase,
                                                       uint32_t* index, uint32_t count) {
    __m256i before = _mm256_set1_epi32(static_cast<int32_t>(phase));
    const __m256i last = _mm256_set1_epi32(7);
    const __m256i phaseMask = _mm256_set1_epi32(0x3FFFF);
    for (uint32_t i = 0; i < count; i += 8) {
        __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(steps + i));
        x = _mm256_add_epi32(x, _mm256_slli_si256(x, 4));
        x = _mm256_add_epi32(x, _mm256_slli_si256(x, 8));
        const __m256i halfTotals = _mm256_shuffle_epi32(x, 0xFF);
        x = _mm256_add_epi32(x, _mm256_permute2x128_si256(halfTotals, halfTotals, 0x08));
        x = _mm256_add_epi32(x, before);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(index + i),
                            _mm256_srli_epi32(_mm256_and_si256(x, phaseMask), 9));
        before = _mm256_permutevar8x32_epi32(x, last);
    }
    return static_cast<uint32_t>(_mm256_cvtsi256_si32(before));
}
#endif

[[gnu::always_inline]] inline void PhaseRun(OpllSlot& s, bool vibratoOn, const uint32_t* vibrato,
                                            uint32_t* index, uint32_t count) {
    uint32_t phase = s.phase;
    const uint32_t step = s.phaseStep;
    if (!vibratoOn) {
        // Each sample moves the whole step (the phase wraps at a power of two, so may the sums).
        for (uint32_t i = 0; i < count; ++i) index[i] = ((phase + (i + 1) * step) & 0x3FFFF) >> 9;
        s.phase = (phase + count * step) & 0x3FFFF;
        s.phaseIndex = s.phase >> 9;
        return;
    }
    // The steps first, side by side; then a running sum, which wraps at 2^32 and so agrees with
    // the phase's wrap at 2^18, leaving a single add on the chain from sample to sample.
    uint32_t steps[kBusyRunChunk];
    for (uint32_t i = 0; i < count; ++i) steps[i] = (vibrato[i] * step) >> 8;
    uint32_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (ActiveRenderPath() == RenderPath::Avx2) {
        i = count & ~7u;
        phase = PhaseSumsAvx2(steps, phase, index, i);
    }
#endif
    for (; i < count; ++i) {
        phase += steps[i];
        index[i] = (phase & 0x3FFFF) >> 9;
    }
    s.phase = phase & 0x3FFFF;
    s.phaseIndex = s.phase >> 9;
}

// A channel whose slots are both past idle and owe nothing but envelope-rate updates: its phase
// steps and wave shapes stay for the whole run, so envelopes and phases go in passes first.
struct PassChannel {
    OpllSlot* mod;
    OpllSlot* car;
    uint32_t samples;  // it stops where the carrier starts a sample finished
};

[[gnu::always_inline]] inline uint32_t PrepareChannel(OpllSlot& mod, OpllSlot& car,
                                                      const OpllTables& t, const LfoRows& rows,
                                                      ChannelScratch& w, uint32_t count) {
    const OpllPatch& mp = *mod.patch;
    const OpllPatch& cp = *car.patch;
    const uint32_t n = EnvelopeRun(car, t, rows.tremolo[cp.am], w.carEnvelope, count, true);
    if (n == 0) return 0;
    EnvelopeRun(mod, t, rows.tremolo[mp.am], w.modEnvelope, n, false);
    PhaseRun(mod, mp.pm != 0, rows.vibrato[mp.pm], w.modIndex, n);
    PhaseRun(car, cp.pm != 0, rows.vibrato[cp.pm], w.carIndex, n);
    mod.envOutput = w.modEnvelope[n - 1];
    car.envOutput = w.carEnvelope[n - 1];
    return n;
}

// OperatorOutput with an unsigned index, which needs no widening (a is below 255 here).
[[gnu::always_inline]] inline int32_t ChainOutput(int32_t shape, int32_t a, const int32_t* db2lin) {
    const int32_t negative = shape >> 31;
    const int32_t v = db2lin[static_cast<uint32_t>(a) + (static_cast<uint32_t>(shape) & 0x3FF)];
    return (v ^ negative) - negative;
}

// Chains run side by side in OutputPasses: enough to overlap their latencies, few enough that
// their state stays in registers.
constexpr int kChainWays = 4;

// The operator outputs of kWays prepared channels for samples [begin, end), all of them per
// sample: each channel's feedback makes a chain of dependent loads through the run, and side by
// side they overlap.
template <int kWays>
[[gnu::always_inline]] inline void ChainPass(PassChannel* channels, const ChannelScratch* w,
                                             const int32_t* db2lin, int32_t* melodic,
                                             uint32_t begin, uint32_t end) {
    const int32_t* modShape[kWays];
    const int32_t* carShape[kWays];
    uint32_t shift[kWays];
    int32_t feedbackMask[kWays];
    int32_t output[kWays];
    int32_t previous[kWays];
    for (int k = 0; k < kWays; ++k) {
        const PassChannel& c = channels[k];
        modShape[k] = c.mod->waveShape;
        carShape[k] = c.car->waveShape;
        // Without feedback the shifted sum is masked away: the index is the phase's alone.
        shift[k] = 7 - c.mod->patch->fb;
        feedbackMask[k] = c.mod->patch->fb != 0 ? -1 : 0;
        output[k] = c.mod->output;
        previous[k] = c.mod->previousOutput;
    }
    for (uint32_t i = begin; i < end; ++i) {
        int32_t sum = 0;
        for (int k = 0; k < kWays; ++k) {
            const int32_t a = w[k].modEnvelope[i];
            int32_t next = 0;
            if (a != 255) {
                const int32_t feedback =
                    (((previous[k] + output[k]) & ~1) >> shift[k]) & feedbackMask[k];
                const uint32_t index = (static_cast<uint32_t>(feedback) + w[k].modIndex[i]) & 0x1FF;
                next = ChainOutput(modShape[k][index], a, db2lin);
            }
            previous[k] = output[k];
            output[k] = next;
            const int32_t e = w[k].carEnvelope[i];
            if (e != 255) {
                const uint32_t index =
                    (w[k].carIndex[i] + static_cast<uint32_t>(next) * 4u) & 0x1FF;
                sum += ChainOutput(carShape[k][index], e, db2lin);
            }
        }
        melodic[i] += sum;
    }
    for (int k = 0; k < kWays; ++k) {
        channels[k].mod->output = output[k];
        channels[k].mod->previousOutput = previous[k];
    }
}

// kWays channels together as far as all of them go, then each on alone to its own end.
template <int kWays>
void ChainGroup(PassChannel* channels, const ChannelScratch* scratch, const int32_t* db2lin,
                int32_t* melodic) {
    uint32_t shortest = channels[0].samples;
    for (int k = 1; k < kWays; ++k) shortest = std::min(shortest, channels[k].samples);
    ChainPass<kWays>(channels, scratch, db2lin, melodic, 0, shortest);
    for (int k = 0; k < kWays; ++k) {
        if (channels[k].samples > shortest)
            ChainPass<1>(channels + k, scratch + k, db2lin, melodic, shortest, channels[k].samples);
    }
}

// Channel k's envelopes and phases are in scratch[k].
void OutputPasses(PassChannel* channels, const ChannelScratch* scratch, int count,
                  const OpllTables& t, int32_t* melodic) {
    const int32_t* db2lin = t.db2linWide.data();
    int k = 0;
    for (; k + kChainWays <= count; k += kChainWays)
        ChainGroup<kChainWays>(channels + k, scratch + k, db2lin, melodic);
    static_assert(kChainWays == 4);
    switch (count - k) {
        case 3:
            ChainGroup<3>(channels + k, scratch + k, db2lin, melodic);
            break;
        case 2:
            ChainGroup<2>(channels + k, scratch + k, db2lin, melodic);
            break;
        case 1:
            ChainGroup<1>(channels + k, scratch + k, db2lin, melodic);
            break;
        default:
            break;
    }
}

// One melodic channel from sample 0 until it is skipped or the run ends; returns where it
// stopped. The patch's bits are read once: only register writes change them.
uint32_t ChannelRun(OpllSlot& modSlot, OpllSlot& carSlot, const OpllTables& t, const LfoRows& rows,
                    int32_t* melodic, uint32_t count) {
    OpllSlot mod = modSlot;
    OpllSlot car = carSlot;
    const uint32_t modAm = mod.patch->am, modPm = mod.patch->pm;
    const uint32_t carAm = car.patch->am, carPm = car.patch->pm;
    const int32_t* db2lin = t.db2linWide.data();
    uint32_t i = 0;
    for (; i < count; ++i) {
        if (car.envState == kOpllFinished) break;
        if (car.envState == kOpllIdle && mod.envState == kOpllIdle &&
            (mod.updateFlags | car.updateFlags) == 0)
            break;
        RunSlotTurn(mod, t, rows.tremolo[modAm][i], rows.vibrato[modPm][i]);
        ModulatorOutput(mod, db2lin);
        RunSlotTurn(car, t, rows.tremolo[carAm][i], rows.vibrato[carPm][i]);
        melodic[i] += CarrierOutput(car, mod.output, db2lin);
    }
    modSlot = mod;
    carSlot = car;
    return i;
}

// The melodic channels' samples of a busy run into melodic[], with the chip's quiet flags for
// the next.
[[gnu::always_inline]] inline void MelodicRun(OpllChip& chip, const LfoRows& rows,
                                              ChannelScratch* scratch, int32_t* melodic,
                                              uint32_t count) {
    const OpllTables& t = *chip.tables;
    if (chip.melodicQuiet) {
        if (chip.quietAdvancesTomPhase) {
            for (uint32_t i = 0; i < count; ++i)
                AdvancePhase(chip.slots[kOpllSlotTomTom], LfoAt(rows, i));
        }
    } else {
        bool quiet = true;
        bool tomPhase = false;
        PassChannel passing[kOpllChannels];
        int passingCount = 0;
        const int channels = chip.rhythmMode ? 6 : 9;
        for (int c = 0; c < channels; ++c) {
            OpllSlot& mod = chip.slots[2 * c];
            OpllSlot& car = chip.slots[2 * c + 1];
            if (mod.envState != kOpllIdle && car.envState != kOpllIdle &&
                ((mod.updateFlags | car.updateFlags) & ~kOpllUpdateEnvelopeRate) == 0) {
                // Never idle again before a write: only a finished carrier stops it.
                ChannelScratch& w = scratch[passingCount];
                const uint32_t n = PrepareChannel(mod, car, t, rows, w, count);
                if (n == count) quiet = false;
                if (n > 0) passing[passingCount++] = {&mod, &car, n};
                continue;
            }
            uint32_t i = ChannelRun(mod, car, t, rows, melodic, count);
            if (i == count) {
                quiet = false;
            } else if (car.envState != kOpllFinished && c == 8) {
                tomPhase = true;
                for (; i < count; ++i) AdvancePhase(mod, LfoAt(rows, i));
            }
        }
        OutputPasses(passing, scratch, passingCount, t, melodic);
        chip.melodicQuiet = quiet;
        chip.quietAdvancesTomPhase = tomPhase;
    }
}

// count busy samples channel by channel, as count ChipSample calls would give them. Channels
// share nothing but the LFO within a sample, and a channel that a sample skips stays skipped
// until a register write, so the chip-wide quiet of the per-sample path is the same as every
// channel skipping itself; the lazy counting that may follow is the same as moving the phases
// one sample at a time. Pair 0 carries no flags (a sample has run since the last write).
[[gnu::always_inline]] inline void BusyRunBody(OpllChip& chip, const uint8_t* noiseShares,
                                               uint32_t stride, int16_t* out, uint32_t count) {
    const OpllTables& t = *chip.tables;
    LfoRows rows;
    ChannelScratch scratch[kOpllChannels];
    int32_t melodic[kBusyRunChunk];
    chip.tremoloPhase =
        LfoRow(chip.tremoloPhase, chip.tremoloStep, t.tremolo.data(), rows.tremolo[1], count);
    chip.vibratoPhase =
        LfoRow(chip.vibratoPhase, chip.vibratoStep, t.vibrato.data(), rows.vibrato[1], count);
    for (uint32_t i = 0; i < count; ++i) {
        rows.tremolo[0][i] = 0;
        rows.vibrato[0][i] = 256;
        melodic[i] = 0;
    }
    chip.tremoloValue = rows.tremolo[1][count - 1];
    chip.vibratoValue = static_cast<int32_t>(rows.vibrato[1][count - 1]);

    MelodicRun(chip, rows, scratch, melodic, count);

    // The bass drum is a melodic pair in all but its mix: a run of its own, like theirs.
    int32_t bassDrum[kBusyRunChunk];
    uint32_t bassDrumSamples = 0;
    if (chip.rhythmMode) {
        for (uint32_t i = 0; i < count; ++i) bassDrum[i] = 0;
        OpllSlot& mod = chip.slots[kOpllSlotBassDrumModulator];
        OpllSlot& car = chip.slots[kOpllSlotBassDrumCarrier];
        if (mod.envState != kOpllIdle && car.envState != kOpllIdle &&
            ((mod.updateFlags | car.updateFlags) & ~kOpllUpdateEnvelopeRate) == 0) {
            bassDrumSamples = PrepareChannel(mod, car, t, rows, scratch[0], count);
            PassChannel channel = {&mod, &car, bassDrumSamples};
            if (bassDrumSamples > 0) OutputPasses(&channel, scratch, 1, t, bassDrum);
        } else {
            bassDrumSamples = ChannelRun(mod, car, t, rows, bassDrum, count);
        }
    }

    for (uint32_t i = 0; i < count; ++i) {
        int32_t r = 0;
        if (chip.rhythmMode) {
            chip.noise = noiseShares[i * stride];
            r = RhythmSection<true>(chip, t, LfoAt(rows, i), bassDrum[i], i < bassDrumSamples);
        }
        int32_t x = ((chip.rhythmGain * (r * 2)) >> 6) + (melodic[i] >> 1);
        x = (x * chip.outputGain) >> 2;
        if (x > 32767) x = 32767;
        if (x < -32768) x = -32768;
        out[i] = static_cast<int16_t>(x);
    }
    chip.noise = noiseShares[(count - 1) * stride];
    OpllSlot& tom = chip.slots[kOpllSlotTomTom];
    chip.quietLazy =
        chip.melodicQuiet &&
        (chip.rhythmMode ? chip.rhythmQuiet : !chip.quietAdvancesTomPhase || !tom.patch->pm);
}

// BusyRun built for any processor, and for AVX2, whose 32-bit vector products let the envelope,
// phase and LFO passes go eight samples at a time.
void BusyRunBaseline(OpllChip& chip, const uint8_t* noiseShares, uint32_t stride, int16_t* out,
                     uint32_t count) {
    BusyRunBody(chip, noiseShares, stride, out, count);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void BusyRunAvx2(OpllChip& chip, const uint8_t* noiseShares,
                                                 uint32_t stride, int16_t* out, uint32_t count) {
    BusyRunBody(chip, noiseShares, stride, out, count);
}
#endif

void BusyRun(OpllChip& chip, const uint8_t* noiseShares, uint32_t stride, int16_t* out,
             uint32_t count) {
#if defined(__x86_64__) || defined(__i386__)
    if (ActiveRenderPath() == RenderPath::Avx2)
        return BusyRunAvx2(chip, noiseShares, stride, out, count);
#endif
    BusyRunBaseline(chip, noiseShares, stride, out, count);
}

}  // namespace

void OpllCalcRun(OpllChip& chip, const uint8_t* noiseShares, uint32_t stride, int16_t* out,
                 uint32_t count) {
    if (count == 0) return;
    if (chip.quietLazy) {
        // Nothing but phase movement until the next register write.
        chip.quietSamples += count;
        chip.noise = noiseShares[(count - 1) * stride];
        for (uint32_t i = 0; i < count; ++i) out[i] = 0;
        return;
    }
    // The first sample may still see pair 0's flags, and a quiet chip has too little to do.
    chip.noise = noiseShares[0];
    out[0] = ChipSample(chip);
    uint32_t i = 1;
    while (i < count) {
        if (chip.quietLazy) {
            chip.noise = noiseShares[(count - 1) * stride];
            chip.quietSamples += count - i;
            for (; i < count; ++i) out[i] = 0;
        } else if (Quiet(chip)) {
            chip.noise = noiseShares[i * stride];
            out[i] = ChipSample(chip);
            ++i;
        } else {
            const uint32_t n = count - i < kBusyRunChunk ? count - i : kBusyRunChunk;
            BusyRun(chip, noiseShares + i * stride, stride, out + i, n);
            i += n;
        }
    }
}

}  // namespace zeblo
