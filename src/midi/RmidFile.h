// RMID files: a RIFF form of type "RMID" whose "data" chunk is a whole Standard MIDI File. The
// loader itself takes only "MThd" files, so RMID songs are unwrapped first, as RCP songs are
// converted first.
//
// Threads: any; each call reads its own file and shares nothing. LoadSongFile runs where the
// sequencer's LoadFile may.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "midi/Sequencer.h"

namespace zeblo {

// True when the bytes start as a RIFF form of type "RMID".
bool IsRmidImage(std::span<const uint8_t> bytes);

// The MIDI file inside an RMID image; false with the reason ("the RMID wrapper has no data
// chunk", ...) when the wrapper is damaged.
bool UnwrapRmid(std::span<const uint8_t> bytes, std::vector<uint8_t>& smf, std::string& reason);

// The whole file, or false. Stops at `limit` bytes and fails beyond.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::size_t limit);

// Loads a song file: an RMID file's inner MIDI file, anything else as the loader takes it.
bool LoadSongFile(Sequencer& sequencer, const std::string& path);

}  // namespace zeblo
