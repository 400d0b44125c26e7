#include "audio/PlayerTransitionSound.h"

#include <SDL.h>

namespace zeblo {

PlayerTransitionSound::PlayerTransitionSound(std::vector<uint8_t> wav) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    audioStarted_ = true;
    SDL_RWops* source = SDL_RWFromConstMem(wav.data(), static_cast<int>(wav.size()));
    if (source == nullptr) return;
    SDL_AudioSpec spec{};
    Uint8* samples = nullptr;
    Uint32 bytes = 0;
    if (SDL_LoadWAV_RW(source, 1, &spec, &samples, &bytes) == nullptr) return;
    samples_ = samples;
    bytes_ = bytes;
    frameBytes_ = static_cast<uint32_t>(SDL_AUDIO_BITSIZE(spec.format) / 8 * spec.channels);
    spec.callback = nullptr;  // samples are queued
    spec_ = std::make_unique<SDL_AudioSpec>(spec);
}

PlayerTransitionSound::~PlayerTransitionSound() {
    CloseDevice();
    if (samples_ != nullptr) SDL_FreeWAV(samples_);
    if (audioStarted_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

uint32_t PlayerTransitionSound::Frames() const {
    return frameBytes_ > 0 ? bytes_ / frameBytes_ : 0;
}

void PlayerTransitionSound::CloseDevice() {
    if (deviceId_ != 0) SDL_CloseAudioDevice(deviceId_);
    deviceId_ = 0;
}

bool PlayerTransitionSound::Play() {
    if (samples_ == nullptr) return false;
    // A device of its own, opened per jingle, so that nothing stays open between switches.
    CloseDevice();
    SDL_AudioSpec wanted = *spec_;
    deviceId_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (deviceId_ == 0) return false;
    if (SDL_QueueAudio(deviceId_, samples_, bytes_) != 0) {
        CloseDevice();
        return false;
    }
    SDL_PauseAudioDevice(deviceId_, 0);
    return true;
}

}  // namespace zeblo
