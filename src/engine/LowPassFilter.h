// The output low-pass: a second-order Butterworth filter by the bilinear transform, run on whole
// numbers (inputs, outputs and the history are integers).
//
// Threads: whichever thread runs the render loop; the functions keep no state of their own.
#pragma once

#include <cstdint>

namespace zeblo {

struct LowPassCoefficients {
    double c = 0.0;
    double a0 = 0.0;
    double a1 = 0.0;
    double b1 = 0.0;
    double b2 = 0.0;
};

// One channel's history: the two previous inputs and outputs.
struct LowPassState {
    int32_t x1 = 0;
    int32_t x2 = 0;
    int32_t y1 = 0;
    int32_t y2 = 0;
};

// For a cut-off of cutoffHz at sampleRate, in double precision.
LowPassCoefficients ComputeLowPassCoefficients(int32_t cutoffHz, int32_t sampleRate);

// One sample through the filter: y = trunc((x + x2) a0 + x1 a1 - y1 b1 - y2 b2).
inline int32_t LowPassFilter(LowPassState& s, const LowPassCoefficients& k, int32_t x) {
    double y = (static_cast<double>(x) + s.x2) * k.a0 + s.x1 * k.a1 - s.y1 * k.b1 - s.y2 * k.b2;
    // A cut-off at the very top of the range leaves a pole on the unit circle; the output then
    // saturates instead of leaving the integer range.
    if (!(y > -2147483648.0)) y = -2147483648.0;
    if (y > 2147483647.0) y = 2147483647.0;
    const int32_t out = static_cast<int32_t>(y);
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = out;
    return out;
}

}  // namespace zeblo
