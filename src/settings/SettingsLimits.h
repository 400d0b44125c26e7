// The values the Preferences dialog can produce for each field. A loaded file may hold anything
// (it can be edited by hand); values outside these sets fall back to the field's default.
#pragma once

#include <array>
#include <cstdint>

namespace zeblo {

inline constexpr char kPreferencesFileName[] = "ZEBLOPreferences.bin";

inline constexpr int32_t kMinOutputDevice = -1;  // -1 is the default device; the top is open
inline constexpr std::array<int32_t, 3> kOutputFrequencies{48000, 44100, 22050};  // Hz
inline constexpr std::array<int32_t, 2> kAutoDetuneValues{0, 1};
inline constexpr std::array<int32_t, 4> kRedrawRates{1, 10, 25, 50};  // frames per second
// Tenths of a second; 1 is not offered but understood.
inline constexpr std::array<int32_t, 7> kBlockLengths{60, 30, 20, 10, 5, 2, 1};
inline constexpr int32_t kDrumSetCount = 1;
inline constexpr int32_t kInstrumentSetCount = 8;
inline constexpr std::array<int32_t, 6> kBlockCounts{30, 25, 20, 15, 10, 5};
inline constexpr std::array<int32_t, 2> kSwitchValues{0, 1};  // the check boxes
inline constexpr int32_t kMinLowPassCutoff = 100;             // Hz; the top is half the rate

}  // namespace zeblo
