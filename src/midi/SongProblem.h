// Why a file is not a playable song, in words for a message: the loader only says no.
//
// Threads: any; reads the file itself and shares nothing.
#pragma once

#include <string>

namespace zeblo {

// "no such file", "is a folder", "empty", "not a MIDI file; it starts as text", "truncated at
// byte N", "no tracks"...; an RMID file's damaged wrapper, else the MIDI file inside it;
// empty when nothing is visibly wrong with the file's structure.
std::string DescribeSongProblem(const std::string& path);

}  // namespace zeblo
