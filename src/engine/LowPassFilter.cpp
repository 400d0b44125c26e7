#include "engine/LowPassFilter.h"

#include <cmath>

#include "engine/RenderConstants.h"

namespace zeblo {

LowPassCoefficients ComputeLowPassCoefficients(int32_t cutoffHz, int32_t sampleRate) {
    LowPassCoefficients k;
    if (sampleRate <= 0) return k;
    k.c = 1.0 / std::tan(static_cast<double>(cutoffHz) * kLowPassPi / sampleRate);
    k.a0 = 1.0 / ((k.c + kLowPassSqrt2) * k.c + 1.0);
    k.a1 = 2.0 * k.a0;
    k.b1 = 2.0 * (1.0 - k.c * k.c) * k.a0;
    k.b2 = (1.0 - kLowPassSqrt2 * k.c + k.c * k.c) * k.a0;
    return k;
}

}  // namespace zeblo
