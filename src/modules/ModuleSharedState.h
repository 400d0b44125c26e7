// Module-wide values that either sound module writes (system-exclusive handling, note-on checks)
// and the render loop and the display read.
//
// Threads: written on the render or authoring thread (module messages); channelMute is written by
// the user-interface thread (strip clicks). Read by the render loop and the display. Flags read
// across threads are atomics; displayDots is only touched on the rendering thread (the render loop
// copies it into the display snapshots).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace zeblo {

inline constexpr int kChannelCount = 32;       // two ports of 16
inline constexpr int kDisplayDotsBytes = 640;  // GS display pages 1 to 5, two halves of 64 bytes

struct ModuleSharedState {
    std::atomic<int32_t> masterVolume{127};
    std::atomic<int32_t> gsResetSeen{0};
    std::atomic<int32_t> gmSystemOnSeen{0};
    std::atomic<int32_t> userWaveformMode{0};
    std::atomic<int32_t> displayDataArrived{0};
    std::array<uint8_t, kDisplayDotsBytes> displayDots{};
    // Index port * 16 + channel.
    std::array<std::atomic<int32_t>, kChannelCount> channelMute{};
};

}  // namespace zeblo
