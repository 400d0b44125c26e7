// The flags and counters of playback control, shared between the owning thread, the render
// thread, the device's notification path and the display timer.
//
// Threads: each field has one writing side, named beside it; every other thread only reads.
// One instance per player; tests build their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace zeblo {

struct PlaybackState {
    std::atomic<bool> playing{false};    // owner: real-time playback is running
    std::atomic<bool> paused{false};     // owner: the output is paused
    std::atomic<bool> loading{false};    // owner: a play start is preparing a file
    std::atomic<bool> authoring{false};  // owner: WAV authoring runs
    std::atomic<int32_t> speedMode{0};   // owner: fast-forward level 0, 1 or 2
    std::atomic<int32_t> threadStop{0};  // owner: asks the render (or authoring) thread to finish

    std::atomic<uint64_t> totalSamples{0};  // owner: the song's length from Measure
    std::atomic<uint64_t> totalTicks{0};
    std::atomic<int32_t> displayOffset{0};  // owner: signed samples added to the device position

    std::atomic<uint32_t> silenceFrames{0};         // owner: frames of silence played for underruns
    std::atomic<bool> underrunShown{false};         // owner / display: the underrun mark is on
    std::atomic<int32_t> underrunDisplayFrames{0};  // owner / display: frames the mark stays on
    std::atomic<uint32_t> displayFrame{0};          // display timer: frame matching the sound

    std::string currentPath;  // owner only: the file last opened or handed over
};

}  // namespace zeblo
