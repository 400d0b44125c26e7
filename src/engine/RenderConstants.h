// Fixed numbers of the render loop, WAV authoring and the output file, with their units.
#pragma once

#include <cstdint>

namespace zeblo {

// The low-pass filter's own constants: its pi and its Butterworth damping (square root of 2),
// kept at the precision the filter has always used, so renders stay bit-identical.
inline constexpr double kLowPassPi = 3.14159;
inline constexpr double kLowPassSqrt2 = 1.41421356;

// Every output sample lies in -kSampleLimit ... kSampleLimit (-32768 never occurs).
inline constexpr int32_t kSampleLimit = 32767;

// After GS display data arrives the dots stay on the display this many seconds of output.
inline constexpr int32_t kDisplayHoldSeconds = 3;

// The render loop mixes runs of at most this many frames at once (a scratch buffer per channel).
inline constexpr uint32_t kMixRunFrames = 1024;

// Authoring renders and writes this many frames per chunk, and looks at the stop flag between.
inline constexpr uint32_t kAuthoringChunkFrames = 20000;

// One output frame: two 16-bit samples, in bytes.
inline constexpr uint32_t kFrameBytes = 4;

// The WAV header: RIFF, the 16-byte format chunk and the data chunk's header, in bytes.
inline constexpr uint32_t kWavHeaderBytes = 44;
// The RIFF size field counts everything after its own 8 bytes: the data and 36 header bytes.
inline constexpr uint32_t kWavRiffOverhead = kWavHeaderBytes - 8;
// The most data a WAV file can hold with both 32-bit size fields exact, in whole frames.
inline constexpr uint64_t kWavMaxDataBytes =
    (uint64_t{0xFFFFFFFF} - kWavRiffOverhead) / kFrameBytes * kFrameBytes;

// The writer's buffer, in bytes: written out whenever it is full.
inline constexpr uint32_t kWavBufferBytes = 64 * 1024;

// Authoring replaces this many characters at the end of the song's path with "WAV".
inline constexpr std::size_t kOutputSuffixChars = 3;

}  // namespace zeblo
