#include <gtest/gtest.h>

#include "engine/EngineContext.h"

namespace zeblo {
namespace {

TEST(EngineContext, EngineFlagSelectsTheModuleAndStartsAtWavetable) {
    SettingsRecord record = DefaultSettings();
    EngineParameters parameters;
    EngineContext context(record, parameters);
    EXPECT_EQ(&context.SelectedModule(), static_cast<SoundModule*>(&context.wavetable));
    context.engineFlag = kEngineOpll;
    EXPECT_EQ(&context.SelectedModule(), static_cast<SoundModule*>(&context.opll));
    EXPECT_EQ(context.opllNoise.value, 0xFFFFu);
}

}  // namespace
}  // namespace zeblo
