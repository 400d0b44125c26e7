// The mixer's arithmetic: from the summed voices or chip samples to one stored frame.
//
// Threads: whichever thread runs the render loop; pure functions.
#pragma once

#include <cstdint>

#include "engine/RenderConstants.h"

namespace zeblo {

inline int32_t ClipSample(int32_t x) {
    if (x > kSampleLimit) return kSampleLimit;
    if (x < -kSampleLimit) return -kSampleLimit;
    return x;
}

// Left sample in the low half, right in the high half.
inline uint32_t PackFrame(int32_t left, int32_t right) {
    return (static_cast<uint32_t>(left) & 0xFFFF) | (static_cast<uint32_t>(right) << 16);
}

// (sum / 3) * masterVolume >> 7: the division truncates toward zero, the shift is arithmetic and
// the product wraps in 32 bits.
inline int32_t ScaleVoiceSum(int32_t sum, int32_t masterVolume) {
    const uint32_t product =
        static_cast<uint32_t>(sum / kVoiceSumDivisor) * static_cast<uint32_t>(masterVolume);
    return static_cast<int32_t>(product) >> kMasterVolumeShift;
}

// The mono fold-down: both channels become the average, rounded toward minus infinity.
inline int32_t MonoFold(int32_t left, int32_t right) {
    return static_cast<int32_t>(static_cast<uint32_t>(left) + static_cast<uint32_t>(right)) >> 1;
}

}  // namespace zeblo
