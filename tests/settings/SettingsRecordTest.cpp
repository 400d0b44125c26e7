#include <gtest/gtest.h>

#include <cstring>

#include "settings/SettingsRecord.h"

namespace zeblo {
namespace {

TEST(SettingsRecord, DefaultsAreTheShippedValuesWithAZeroTail) {
    SettingsRecord r = DefaultSettings();
    const auto* bytes = reinterpret_cast<const unsigned char*>(&r);
    EXPECT_EQ(std::memcmp(bytes, "ZEBLOPREF0223\0", 14), 0);
    for (int i = 14; i < 64; ++i) EXPECT_EQ(bytes[i], 0) << "magic tail byte " << i;
    EXPECT_EQ(r.outputDevice, -1);
    EXPECT_EQ(r.outputFrequency, 44100);
    EXPECT_EQ(r.autoDetune, 1);
    EXPECT_EQ(r.redrawRate, 10);
    EXPECT_EQ(r.blockLength, 20);
    EXPECT_EQ(r.blockCount, 10);
    EXPECT_EQ(r.lowPassEnabled, 0);
    EXPECT_EQ(r.lowPassCutoff, 10050);
    EXPECT_EQ(r.startCounter, 0);
}

}  // namespace
}  // namespace zeblo
