// Converts an RCP, R36 or G36 song into a format-1 Standard MIDI File: a conductor track with
// the title, time and key signature and the tempo, then one track per sequencer track that has
// a device and is not muted.
//
// Threads: one object per conversion; objects are independent.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zeblo::rcp {

// Songs are a few kilobytes; anything this large is not one.
inline constexpr std::size_t kMaxRcpFileBytes = 8u << 20;

class RcpToSmf {
public:
    // False with a reason in error; smf is then empty.
    bool Convert(std::span<const uint8_t> file);
    bool ConvertFile(const std::string& path);

    std::vector<uint8_t> smf;
    std::string error;
    uint32_t skippedCommands = 0;  // commands left out of the MIDI file
    std::size_t tracks = 0;        // MIDI tracks written, the conductor included
};

}  // namespace zeblo::rcp
