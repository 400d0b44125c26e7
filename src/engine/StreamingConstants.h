// Tunable constants of real-time output, with their units.
#pragma once

#include <chrono>
#include <cstdint>

namespace zeblo {

// Device buffers fed from the slot ring; a slot stays filled while its copy is in one of them.
inline constexpr uint32_t kDeviceBufferCount = 3;

// Size of each device buffer before the first open; every open sets it to the block size.
inline constexpr uint32_t kInitialBufferBytes = 176400;

// The producer's pause after each block it publishes (taken twice), and how often the owner
// looks for the first three filled slots.
inline constexpr std::chrono::milliseconds kSlotPollInterval{1};

// Prebuffering: poll period and the number of polls before the device starts regardless (60 s).
inline constexpr std::chrono::milliseconds kPrebufferPollInterval{200};
inline constexpr int kPrebufferRounds = 300;

// The producer renders a block in chunks of this many frames and looks at the stop flag between
// them, so a stop never waits for a whole block.
inline constexpr uint32_t kRenderChunkFrames = 4096;

// Below this share of the slots beyond the device buffers, the render thread runs raised.
inline constexpr double kLowFillRatio = 0.4;

// How long the underrun mark stays on the display.
inline constexpr int32_t kUnderrunDisplaySeconds = 3;

// Nice-value step of the raised render thread (the highest ordinary thread priority is two
// steps above normal).
inline constexpr int kRaisedNiceSteps = 2;

}  // namespace zeblo
