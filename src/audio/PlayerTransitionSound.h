// The jingle of the sound-module switch: a short WAV image played once through SDL audio without
// waiting for it. Each play cuts a jingle still sounding and starts again from its beginning.
//
// Threads: user-interface thread; SDL plays the queued samples on its own audio thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct SDL_AudioSpec;

namespace zeblo {

class PlayerTransitionSound {
public:
    // `wav` is a whole RIFF/WAVE file. A file SDL cannot read leaves the jingle silent.
    explicit PlayerTransitionSound(std::vector<uint8_t> wav);
    ~PlayerTransitionSound();
    PlayerTransitionSound(const PlayerTransitionSound&) = delete;
    PlayerTransitionSound& operator=(const PlayerTransitionSound&) = delete;

    bool Loaded() const { return samples_ != nullptr; }
    // Frames of the decoded jingle.
    uint32_t Frames() const;
    // Starts the jingle on the default output device; false when it cannot sound.
    bool Play();

private:
    void CloseDevice();

    uint8_t* samples_ = nullptr;
    uint32_t bytes_ = 0;
    uint32_t frameBytes_ = 4;
    uint32_t deviceId_ = 0;
    bool audioStarted_ = false;
    std::unique_ptr<SDL_AudioSpec> spec_;  // the decoded format
};

}  // namespace zeblo
