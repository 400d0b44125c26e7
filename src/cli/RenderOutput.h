// What each song of `zeblo-cli render` is written as: the encoding chosen by --format or the
// output name, the file's name, and the report of one song as text or JSON.
//
// Threads: any; nothing is shared.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "encode/SndfileSink.h"

namespace zeblo {

// --format decides; without it a known extension of --output does (.wav, .flac, .ogg, .oga,
// .opus, .mp3, any case), else WAV. False with a usage message when --format contradicts the
// output name's extension. `warnings` gets a line for a --quality that changes nothing.
bool ChooseEncoding(const CliSettings& settings, AudioEncoding& encoding, std::string& error,
                    std::vector<std::string>& warnings);

// The song's output beside it: song.WAV as authoring names it, song.flac, song.ogg...
std::string RenderOutputPath(const std::string& song, const AudioEncoding& encoding);

// What rendering one song came to.
struct SongRender {
    std::string song;
    std::string output;  // "-" for standard output; empty when none was chosen
    bool written = false;
    bool skipped = false;  // --skip-existing found the output there
    bool interrupted = false;
    uint64_t frames = 0;   // rendered, at the render rate
    double elapsed = 0.0;  // seconds of wall time
    std::string message;   // the song's messages, "; " between them; empty when written
};

// {"song":…,"output":…,"seconds":…,"speed":…,"status":"written"|"skipped"|"failed"|"interrupted",
// "message":…}; seconds and speed are null unless written, output null when none was chosen.
std::string SongRenderJson(const SongRender& result, int32_t sampleRate);

}  // namespace zeblo
