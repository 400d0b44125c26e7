// The flags and counters of playback control, shared between the user-interface thread, the
// render thread, the device's notification path and the display timer.
//
// Threads: each field has one writing side, named beside it; every other thread only reads.
// One instance per process (the application context owns it); tests build their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace zeblo {

struct PlaybackState {
    std::atomic<int32_t> playState{0};       // UI: real-time playback is running
    std::atomic<int32_t> pauseState{0};      // UI: the output is paused
    std::atomic<int32_t> loadingState{0};    // UI: a play start is preparing a file
    std::atomic<int32_t> authoringState{0};  // UI / authoring thread: WAV authoring runs
    std::atomic<int32_t> speedMode{0};       // UI: fast-forward level 0, 1 or 2
    std::atomic<int32_t> threadStop{0};      // UI: asks the render thread to finish

    std::atomic<uint64_t> totalSamples{0};  // UI: the song's length from Measure
    std::atomic<uint64_t> totalTicks{0};
    std::atomic<int32_t> displayOffset{0};  // UI: signed samples added to the device position

    std::atomic<uint32_t> silenceFrames{0};         // UI: frames of silence played for underruns
    std::atomic<int32_t> underrunShown{0};          // UI: the underrun mark is on
    std::atomic<int32_t> underrunDisplayFrames{0};  // UI / display: frames the mark stays on
    std::atomic<int32_t> seekBarOffset{0};          // UI: pixel correction after seeks
    std::atomic<uint32_t> displayFrame{0};          // display timer: frame matching the sound

    std::string currentPath;  // UI only: the file last dropped or handed over
};

}  // namespace zeblo
