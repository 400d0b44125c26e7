// The jingle of the sound-module switch: a short song composed for this project, and its render
// by the player's own engine into the WAV image the window plays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zeblo::tools {

// Output rate of the jingle, in Hz.
inline constexpr int32_t kJingleSampleRate = 22050;

// The song: a rising arpeggio into a held chord over a short drum fill (format 1).
std::vector<uint8_t> MakeJingleSong();

// Renders the song with the wavetable module at kJingleSampleRate through the authoring run,
// using `folder` for the song and the WAV; the WAV file's bytes, empty on failure.
std::vector<uint8_t> RenderJingle(const std::string& folder);

}  // namespace zeblo::tools
