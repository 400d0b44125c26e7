// The read of one sample whose interval covers at most one step edge of a waveform whose values
// lie within 2^15: the two steps' weighted sum, divided by the interval's width through a double
// reciprocal (see ReadOneEdge in the voice's runs for why that truncates alike). Eight samples at
// a time on processors with AVX2.
//
// Threads: pure functions of their arguments; any thread.
#pragma once

#include <algorithm>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZEBLO_X86 1
#endif

#include "modules/wavetable/WavetableConstants.h"

namespace zeblo::wavetable_detail {

// Lifts a quotient computed by a reciprocal over its rounding error.
inline constexpr double kQuotientBias = 0x1p-20;

#if ZEBLO_X86
#define ZEBLO_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

// wave[index & 31] lane by lane, the 32 steps held in four registers: each is permuted by the
// index's low three bits, and its bits 3 and 4 pick among them.
ZEBLO_AVX2_INLINE __m256i LookUp(const __m256i* rows, __m256i index) {
    const __m256 bit3 = _mm256_castsi256_ps(_mm256_slli_epi32(index, 28));
    const __m256 bit4 = _mm256_castsi256_ps(_mm256_slli_epi32(index, 27));
    __m256 row[4];
    for (int r = 0; r < 4; ++r)
        row[r] = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(rows[r], index));
    const __m256 low = _mm256_blendv_ps(row[0], row[1], bit3);
    const __m256 high = _mm256_blendv_ps(row[2], row[3], bit3);
    return _mm256_castps_si256(_mm256_blendv_ps(low, high, bit4));
}

// Four quotients as OneEdgeReads::Value takes them: the magnitude times the reciprocal of its
// width, lifted by kQuotientBias and truncated.
ZEBLO_AVX2_INLINE __m128i Quotients(__m128i magnitude, __m128i isNarrow, __m256d narrow,
                                    __m256d wide) {
    const __m256d reciprocal =
        _mm256_blendv_pd(wide, narrow, _mm256_castsi256_pd(_mm256_cvtepi32_epi64(isNarrow)));
    const __m256d x = _mm256_mul_pd(_mm256_cvtepi32_pd(magnitude), reciprocal);
    return _mm256_cvttpd_epi32(_mm256_add_pd(x, _mm256_set1_pd(kQuotientBias)));
}
#endif

struct OneEdgeReads {
    const int32_t* wave;
    int32_t stepWhole;
    double narrowReciprocal;
    double wideReciprocal;

    // The value of the sample whose read runs from phase p to next.
    int32_t Value(int32_t p, int32_t next) const {
        const int32_t first = p >> 10;
        const int32_t edge = (first + 1) << 10;
        const int32_t sum = wave[first & (kWaveSteps - 1)] * (std::min(edge, next) - p) +
                            wave[(first + 1) & (kWaveSteps - 1)] * std::max(next - edge, 0);
        const int32_t magnitude = sum < 0 ? -sum : sum;
        const double reciprocal = next - p == stepWhole ? narrowReciprocal : wideReciprocal;
        const int32_t q =
            static_cast<int32_t>(static_cast<double>(magnitude) * reciprocal + kQuotientBias);
        return sum < 0 ? -q : q;
    }

#if ZEBLO_X86
    // Value for the samples in whole groups of eight, the same operations lane by lane; returns
    // how many it did. Called once per pass, from code built for any processor.
    __attribute__((target("avx2"))) uint32_t EightAtATime(const int32_t* phases, uint32_t count,
                                                          int32_t* __restrict v) const {
        __m256i rows[4];
        for (int r = 0; r < 4; ++r)
            rows[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(wave + 8 * r));
        if (!FitsSixteenBits(rows)) return Groups<false>(rows, phases, count, v);
        // Each step packed with the next: one look-up fetches both, and a multiply-add of 16-bit
        // halves weighs them (the weights are at most 1024).
        const __m256i rotate = _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 0);
        __m256i pairs[4];
        for (int r = 0; r < 4; ++r) {
            const __m256i next =
                _mm256_blend_epi32(_mm256_permutevar8x32_epi32(rows[r], rotate),
                                   _mm256_permutevar8x32_epi32(rows[(r + 1) & 3], rotate), 0x80);
            pairs[r] = _mm256_or_si256(_mm256_and_si256(rows[r], _mm256_set1_epi32(0xFFFF)),
                                       _mm256_slli_epi32(next, 16));
        }
        return Groups<true>(pairs, phases, count, v);
    }

private:
    ZEBLO_AVX2_INLINE static bool FitsSixteenBits(const __m256i* rows) {
        const __m256i low = _mm256_min_epi32(_mm256_min_epi32(rows[0], rows[1]),
                                             _mm256_min_epi32(rows[2], rows[3]));
        const __m256i high = _mm256_max_epi32(_mm256_max_epi32(rows[0], rows[1]),
                                              _mm256_max_epi32(rows[2], rows[3]));
        const __m256i outside =
            _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(-32768), low),
                            _mm256_cmpgt_epi32(high, _mm256_set1_epi32(32767)));
        return _mm256_testz_si256(outside, outside) != 0;
    }

    // kPaired: rows hold each step with the next in its high half.
    template <bool kPaired>
    ZEBLO_AVX2_INLINE uint32_t Groups(const __m256i* rows, const int32_t* phases, uint32_t count,
                                      int32_t* __restrict v) const {
        const __m256i one = _mm256_set1_epi32(1);
        const __m256i narrowWidth = _mm256_set1_epi32(stepWhole);
        const __m256d narrow = _mm256_set1_pd(narrowReciprocal);
        const __m256d wide = _mm256_set1_pd(wideReciprocal);
        uint32_t j = 0;
        for (; j + 8 <= count; j += 8) {
            const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(phases + j));
            const __m256i next =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(phases + j + 1));
            const __m256i first = _mm256_srai_epi32(p, 10);
            const __m256i edge = _mm256_slli_epi32(_mm256_add_epi32(first, one), 10);
            const __m256i before = _mm256_sub_epi32(_mm256_min_epi32(edge, next), p);
            const __m256i after =
                _mm256_max_epi32(_mm256_sub_epi32(next, edge), _mm256_setzero_si256());
            __m256i sum;
            if constexpr (kPaired) {
                sum = _mm256_madd_epi16(LookUp(rows, first),
                                        _mm256_or_si256(before, _mm256_slli_epi32(after, 16)));
            } else {
                sum = _mm256_add_epi32(
                    _mm256_mullo_epi32(LookUp(rows, first), before),
                    _mm256_mullo_epi32(LookUp(rows, _mm256_add_epi32(first, one)), after));
            }
            const __m256i magnitude = _mm256_abs_epi32(sum);
            const __m256i isNarrow = _mm256_cmpeq_epi32(_mm256_sub_epi32(next, p), narrowWidth);
            const __m128i low = Quotients(_mm256_castsi256_si128(magnitude),
                                          _mm256_castsi256_si128(isNarrow), narrow, wide);
            const __m128i high = Quotients(_mm256_extracti128_si256(magnitude, 1),
                                           _mm256_extracti128_si256(isNarrow, 1), narrow, wide);
            const __m256i q = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
            // The sign of the sum, and 0 for a zero sum, whose quotient is 0 too.
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + j), _mm256_sign_epi32(q, sum));
        }
        return j;
    }
#endif
};

}  // namespace zeblo::wavetable_detail
