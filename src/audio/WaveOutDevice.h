// The wave output device over SDL audio (audio subsystem only): 16-bit stereo at the output
// rate, its three buffers consumed strictly in order by SDL's audio callback. Each buffer
// played out is reported through the notification queue given at construction, and so is the
// device going away (SDL's device-removed event: a headset unplugged, a failing output).
//
// Threads: as OutputDevice: the owning thread calls the operations; SDL's audio thread runs the
// callback. DeviceNames runs on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/OutputDevice.h"

union SDL_Event;

namespace zeblo {

class WaveOutDevice final : public OutputDevice {
public:
    WaveOutDevice(UserPrompt& prompt, BufferDoneQueue& notifications);
    ~WaveOutDevice() override;

    // The list for the preferences: entry 0 the system's default device (device number -1),
    // then SDL's output devices by name (entry k is device number k - 1). An entry whose name
    // cannot be had is empty.
    std::vector<std::string> DeviceNames();

private:
    BackendOpenResult OpenBackend(const WaveFormat& format, int32_t deviceNumber,
                                  std::string& error) override;
    void CloseBackend() override;

    bool InitAudio(std::string& error);
    static void Callback(void* self, uint8_t* stream, int length);
    // SDL's event watch, on whichever thread SDL posts from: the open device being removed.
    static int WatchEvents(void* self, SDL_Event* event);

    uint32_t deviceId_ = 0;
    bool audioStarted_ = false;
};

}  // namespace zeblo
