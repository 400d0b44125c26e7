// A deliberately plain sample generator that visits every slot the way the chip is described,
// with no skipping at all. The optimised generator must match it sample for sample.
#pragma once

#include "modules/opll/OpllChip.h"

namespace zeblo::testing {

int16_t ReferenceCalcSample(OpllChip& chip, OpllNoise& noise);

}  // namespace zeblo::testing
