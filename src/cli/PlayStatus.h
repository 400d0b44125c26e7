// The terminal player's one-line status and its Ctrl-C handling.
//
// Threads: FormatPlayStatus and TitleForTerminal run on the player's loop thread. The interrupt
// flag is set from a signal handler and read by the loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zeblo {

struct PlayStatus {
    std::string title;  // raw bytes from the file
    uint64_t positionFrames = 0;
    uint64_t lengthFrames = 0;
    int32_t sampleRate = 44100;
    uint32_t filledSlots = 0;
    uint32_t ringSize = 0;
    uint32_t underruns = 0;
};

// Raw title bytes for a UTF-8 terminal: as they are when valid UTF-8, else decoded from
// Shift-JIS (CP932), else from Latin-1; control characters become spaces.
std::string TitleForTerminal(const std::string& raw);

// "TITLE  m:ss / m:ss  buffer f/n  underruns u", the title shortened so the line fits `width`
// columns (counting one column per character).
std::string FormatPlayStatus(const PlayStatus& status, std::size_t width);

// Ctrl-C and termination requests set a flag instead of ending the process, so playback stops
// cleanly. Install once; the flag stays set until cleared.
void InstallInterruptHandler();
bool InterruptRequested();
void ClearInterrupt();

}  // namespace zeblo
