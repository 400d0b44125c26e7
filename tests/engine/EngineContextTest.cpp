#include <gtest/gtest.h>

#include "engine/EngineContext.h"

namespace zeblo {
namespace {

TEST(EngineContext, EngineFlagSelectsTheModuleAndStartsAtWavetable) {
    EngineParameters parameters;
    EngineContext context(parameters);
    EXPECT_EQ(&context.SelectedModule(), static_cast<RenderingModule*>(&context.wavetable));
    context.engineFlag = kEngineOpll;
    EXPECT_EQ(&context.SelectedModule(), static_cast<RenderingModule*>(&context.opll));
    EXPECT_EQ(context.opllNoise.value, 0xFFFFu);
}

}  // namespace
}  // namespace zeblo
