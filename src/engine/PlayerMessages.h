// The fixed texts of playback control and of authoring from the window.
#pragma once

#include <cstdint>

namespace zeblo {

inline constexpr char kNoFileToPlayMessage[] =
    "File not loading.\nFor play to drop file into this window.";
inline constexpr char kUnknownFileMessage[] = "\r\nUnknown files. can't playing.";
inline constexpr char kAuthoringNowMessage[] = "Authoring now. please waiting for finish.";
inline constexpr char kNoFileToAuthorMessage[] =
    "File not loading.\r\n\r\nDrop files into this window.\r\nand try again.";
// %s: the output file's name.
inline constexpr char kAuthoringConfirmFormat[] = "Output for \"%s\".\nAre you sure?";
inline constexpr char kAuthoringFinishedMessage[] = "\r\nAuthoring Finished.";
inline constexpr char kCancelAuthoringQuestion[] = "cancel?";

// How long the panel shows the messages of playback and authoring.
inline constexpr int32_t kPlayerMessageMs = 60000;

}  // namespace zeblo
