// The test-side names of the one SMF writer in tools/, for test files not yet moved onto it.
#pragma once

#include "../../tools/SmfWriter.h"

namespace zeblo::test {
using tools::SmfBuilder;
using tools::TrackBuilder;
}  // namespace zeblo::test
