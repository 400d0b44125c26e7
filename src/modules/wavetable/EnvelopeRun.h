// A voice's envelope over a run of samples: the stretches in which each step only adds the
// stage's step to the level are counted down, and the stage logic runs only where one ends. The
// levels are the ones StepEnvelopeLevel gives step by step.
//
// Threads: plain values; used by the thread that renders the voice.
#pragma once

#include <cstdint>

#include "modules/wavetable/WavetableVoice.h"

namespace zeblo::wavetable_detail {

inline constexpr int64_t kNoTransition = INT64_MAX;

// How many envelope steps, from now, only add the stage's step to the level (no stage change, no
// clamp); the step after them is the one that changes the stage.
inline int64_t StepsBeforeTransition(int32_t stage, int32_t level, const EnvelopeSteps& steps,
                                     int32_t& delta) {
    const int64_t l = level;
    switch (stage) {
        case kSustain:
            delta = -steps.sustainStep;
            if (steps.sustainStep < 0 || l < 0) return 0;
            return steps.sustainStep == 0 ? kNoTransition : l / steps.sustainStep;
        case kRelease:
            delta = -steps.releaseStep;
            if (steps.releaseStep < 0 || l <= 0) return 0;
            return steps.releaseStep == 0 ? kNoTransition : (l - 1) / steps.releaseStep;
        case kAttack:
            delta = steps.attackStep;
            if (steps.attackStep < 0 || l > kEnvelopeFullLevel) return 0;
            return steps.attackStep == 0 ? kNoTransition
                                         : (kEnvelopeFullLevel - l) / steps.attackStep;
        case kDecay:
            delta = -steps.decayStep;
            if (steps.decayStep <= 0 || l < steps.sustainLevel) return 0;
            return (l - steps.sustainLevel) / steps.decayStep;
        default:
            delta = 0;
            return 0;
    }
}

// The envelope of a run: ramps counted down, the stage logic only where a stage ends.
struct EnvelopeRun {
    EnvelopeRun(int32_t stage, int32_t level, const EnvelopeSteps& steps)
        : stage(stage), level(level), steps(steps) {
        ramp = StepsBeforeTransition(stage, level, steps, delta);
    }
    // One step; false when the envelope finished (its level is then 0).
    bool Step() {
        if (ramp > 0) {
            level += delta;
            --ramp;
            return true;
        }
        if (StepEnvelopeLevel(stage, level, steps)) return false;
        ramp = StepsBeforeTransition(stage, level, steps, delta);
        return true;
    }
    int32_t stage;
    int32_t level;
    EnvelopeSteps steps;
    int32_t delta = 0;
    int64_t ramp = 0;
};

}  // namespace zeblo::wavetable_detail
