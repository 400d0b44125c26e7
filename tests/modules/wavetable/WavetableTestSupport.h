// Shared set-up for the wavetable tests: a module with its own settings, parameters, shared
// state and generator, and helpers to send messages and run voices.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "modules/ModuleSharedState.h"
#include "modules/SoundModule.h"
#include "modules/wavetable/Mt19937.h"
#include "modules/wavetable/WavetableModule.h"
#include "settings/EngineParameters.h"
#include "settings/SettingsRecord.h"

namespace zeblo::test {

struct WavetableRig {
    explicit WavetableRig(int32_t sampleRate = 44100, int32_t autoDetune = 0) {
        settings.autoDetune = autoDetune;
        params.sampleRate = sampleRate;
        module = std::make_unique<WavetableModule>(settings, params, shared, random);
    }

    void Send(uint32_t status, uint32_t data1, uint32_t data2 = 0, uint32_t port = 0) {
        module->ShortMsg(kOpenModuleHandle, PackShortMsg(status, data1, data2), port);
    }
    void NoteOn(int ch, int key, int velocity = 100, uint32_t port = 0) {
        Send(0x90 | ch, key, velocity, port);
    }
    void NoteOff(int ch, int key, uint32_t port = 0) { Send(0x80 | ch, key, 0, port); }
    void Control(int ch, int controller, int value, uint32_t port = 0) {
        Send(0xB0 | ch, controller, value, port);
    }
    void Program(int ch, int program, uint32_t port = 0) { Send(0xC0 | ch, program, 0, port); }

    void SysEx(std::vector<uint8_t> bytes, uint32_t port = 0) {
        MessageHeader header;
        header.data = bytes.data();
        header.bufferLength = static_cast<uint32_t>(bytes.size());
        module->PrepareHeader(kOpenModuleHandle, &header, kMessageHeaderSize);
        module->LongMsg(kOpenModuleHandle, &header, kMessageHeaderSize, port);
    }

    // Renders frames the way the render loop does; returns the summed frames.
    std::vector<StereoSample> Render(int frames) {
        std::vector<StereoSample> out;
        out.reserve(frames);
        for (int i = 0; i < frames; ++i) out.push_back(module->MixVoices());
        return out;
    }

    int CountBoundSlots() const {
        int n = 0;
        for (int i = 0; i < kWavetableVoiceCount; ++i) n += module->Slot(i).channel != -1;
        return n;
    }

    SettingsRecord settings = DefaultSettings();
    EngineParameters params;
    ModuleSharedState shared;
    Mt19937 random;
    std::unique_ptr<WavetableModule> module;
};

// Positive-going zero crossings per second of one channel of a stretch of frames.
inline double MeasuredFrequency(const std::vector<StereoSample>& frames, std::size_t begin,
                                std::size_t end, int32_t sampleRate) {
    std::vector<std::size_t> crossings;
    for (std::size_t i = begin + 1; i < end; ++i)
        if (frames[i - 1].left < 0 && frames[i].left >= 0) crossings.push_back(i);
    if (crossings.size() < 2) return 0.0;
    return static_cast<double>(crossings.size() - 1) * sampleRate /
           static_cast<double>(crossings.back() - crossings.front());
}

}  // namespace zeblo::test
