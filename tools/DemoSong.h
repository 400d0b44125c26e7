// "Circuit Morning": the demo song that ships with the player, composed for this project.
#pragma once

#include <cstdint>
#include <vector>

namespace zeblo::tools {

// The complete Standard MIDI File (format 1, division 480).
std::vector<uint8_t> MakeDemoSong();

}  // namespace zeblo::tools
