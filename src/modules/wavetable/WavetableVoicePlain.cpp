// The voice's plain render path: no steady short cut, no span, no read without a division.
#include <algorithm>

#include "modules/wavetable/WavetableVoice.h"

namespace zeblo {

StereoSample WavetableVoice::RenderPlainSample() {
    if (idle != 0 && transitionPending == 0) return {};
    if (!StepInFull()) return {};
    return SoundSample<true>(static_cast<double>(samplePosition));
}

// The box filter over the phases this sample covers, each phase divided out.
int32_t WavetableVoice::ReadWavePlain(double t) const {
    const double cycle = static_cast<double>(samplesPerCycle);
    const int64_t p0 = static_cast<int64_t>(t / cycle * kPhaseUnitsPerCycle);
    const int64_t p1 = static_cast<int64_t>((t + 1.0) / cycle * kPhaseUnitsPerCycle);
    const int64_t w = p1 - p0;
    if (w < 2) return wave[(p0 / kPhaseUnitsPerStep) & (kWaveSteps - 1)];
    int64_t sum = 0;
    for (int64_t p = p0; p < p1;) {
        const int64_t edge = (p / kPhaseUnitsPerStep + 1) * kPhaseUnitsPerStep;
        const int64_t width = std::min(edge, p1) - p;
        sum += int64_t{wave[(p / kPhaseUnitsPerStep) & (kWaveSteps - 1)]} * width;
        p += width;
    }
    // The sum wraps in 32 bits before the division.
    return static_cast<int32_t>(static_cast<uint32_t>(sum)) / static_cast<int32_t>(w);
}

}  // namespace zeblo
