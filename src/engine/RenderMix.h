// The output stage's arithmetic: from the module's samples to one stored frame.
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

// The mono fold-down: both channels become the average, rounded toward minus infinity.
inline int32_t MonoFold(int32_t left, int32_t right) {
    return static_cast<int32_t>(static_cast<uint32_t>(left) + static_cast<uint32_t>(right)) >> 1;
}

}  // namespace zeblo
