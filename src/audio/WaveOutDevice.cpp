#include "audio/WaveOutDevice.h"

#include <SDL.h>

#include "engine/StreamingConstants.h"

namespace zeblo {
namespace {

constexpr char kDefaultDeviceName[] = "Default output device";

// Frames the SDL callback asks for at a time: about 12 ms at 44100 Hz. Closing the device waits
// for up to two of these periods.
constexpr uint16_t kDeviceCallbackFrames = 512;

}  // namespace

WaveOutDevice::WaveOutDevice(UserPrompt& prompt, BufferDoneQueue& notifications)
    : OutputDevice(prompt, notifications) {}

WaveOutDevice::~WaveOutDevice() {
    CloseDevice();
    if (audioStarted_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool WaveOutDevice::InitAudio(std::string& error) {
    if (audioStarted_) return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error = SDL_GetError();
        return false;
    }
    audioStarted_ = true;
    return true;
}

std::vector<std::string> WaveOutDevice::DeviceNames() {
    std::vector<std::string> names{kDefaultDeviceName};
    std::string error;
    if (!InitAudio(error)) return names;
    char* defaultName = nullptr;
    SDL_AudioSpec spec{};
    if (SDL_GetDefaultAudioInfo(&defaultName, &spec, 0) == 0 && defaultName != nullptr) {
        names[0] = defaultName;
    }
    SDL_free(defaultName);
    const int count = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < count; ++i) {
        const char* name = SDL_GetAudioDeviceName(i, 0);
        names.emplace_back(name != nullptr ? name : "");
    }
    return names;
}

BackendOpenResult WaveOutDevice::OpenBackend(const WaveFormat& format, int32_t deviceNumber,
                                             std::string& error) {
    if (!InitAudio(error)) return BackendOpenResult::Failed;

    const char* name = nullptr;
    if (deviceNumber != kDefaultOutputDevice) {
        const int count = SDL_GetNumAudioDevices(0);
        if (deviceNumber >= 0 && deviceNumber < count) {
            name = SDL_GetAudioDeviceName(deviceNumber, 0);
        }
        if (name == nullptr) {
            error = "There is no output device number " + std::to_string(deviceNumber) + ".";
            return BackendOpenResult::NoSuchDevice;
        }
    }

    SDL_AudioSpec wanted{};
    wanted.freq = static_cast<int>(format.samplesPerSecond);
    wanted.format = AUDIO_S16LSB;
    wanted.channels = static_cast<Uint8>(format.channels);
    wanted.samples = kDeviceCallbackFrames;
    wanted.callback = &WaveOutDevice::Callback;
    wanted.userdata = this;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants, so the bytes are ours.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(name, 0, &wanted, &obtained, 0);
    if (id == 0) {
        error = SDL_GetError();
        return BackendOpenResult::Failed;
    }
    deviceId_ = id;
    SDL_AddEventWatch(&WaveOutDevice::WatchEvents, this);
    SDL_PauseAudioDevice(id, 0);
    return BackendOpenResult::Opened;
}

void WaveOutDevice::CloseBackend() {
    if (deviceId_ == 0) return;
    SDL_DelEventWatch(&WaveOutDevice::WatchEvents, this);
    SDL_CloseAudioDevice(deviceId_);
    deviceId_ = 0;
    // Nobody reads SDL's event queue: what the watch has seen goes.
    SDL_FlushEvents(SDL_AUDIODEVICEADDED, SDL_AUDIODEVICEREMOVED);
}

int WaveOutDevice::WatchEvents(void* self, SDL_Event* event) {
    auto* device = static_cast<WaveOutDevice*>(self);
    if (event->type == SDL_AUDIODEVICEREMOVED && event->adevice.iscapture == 0 &&
        event->adevice.which == device->deviceId_) {
        device->ReportLost();
    }
    return 1;
}

void WaveOutDevice::Callback(void* self, uint8_t* stream, int length) {
    if (length <= 0) return;
    static_cast<WaveOutDevice*>(self)->ConsumeFrames(stream, static_cast<uint32_t>(length));
}

}  // namespace zeblo
