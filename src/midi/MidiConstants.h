// Fixed numbers of the song loader and the sequencer, with their units.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zeblo {

// A step is never shorter than this many output sample frames.
inline constexpr uint32_t kMinSamplesPerStep = 100;

// Stored into sampleCounter by every rewind, so that the next Advance steps at once.
inline constexpr uint32_t kRewoundSampleCounter = 0x7FFFFFFF;

// Bytes of the system-exclusive buffer, 0xF0 and the closing 0xF7 included.
inline constexpr std::size_t kSysExBufferBytes = 1024;

// The title buffer and the longest title text it keeps (the rest is the terminating NUL).
inline constexpr std::size_t kSongTitleBytes = 256;
inline constexpr std::size_t kSongTitleMaxChars = 254;

// Device number passed to the module's Open: every bit set.
inline constexpr uint32_t kAnyDevice = 0xFFFFFFFF;

// Channels the sequencer silences: two ports of 16.
inline constexpr int kSequencerChannels = 32;

// Byte sizes of the header chunk as copied (id, length, format, track count, division) and of a
// chunk header (id, length).
inline constexpr std::size_t kHeaderChunkBytes = 14;
inline constexpr std::size_t kChunkHeaderBytes = 8;

}  // namespace zeblo
