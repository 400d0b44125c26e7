// Shared by the module tests: messages to a module, and a hash of what a module renders for a
// script of messages. Only the test thread uses these.
#pragma once

#include <cstdint>
#include <vector>

#include "modules/SoundModule.h"
#include "support/Fnv1a.h"

namespace zeblo::test {

inline void Send(SoundModule& module, uint32_t status, uint32_t data1, uint32_t data2 = 0,
                 uint32_t port = 0) {
    module.ShortMsg(kOpenModuleHandle, PackShortMsg(status, data1, data2), port);
}

// `body` is everything between 0xF0 and 0xF7.
inline void SysEx(SoundModule& module, std::vector<uint8_t> body, uint32_t port = 0) {
    body.insert(body.begin(), 0xF0);
    body.push_back(0xF7);
    MessageHeader header;
    header.data = body.data();
    header.bufferLength = static_cast<uint32_t>(body.size());
    module.PrepareHeader(kOpenModuleHandle, &header, kMessageHeaderSize);
    module.LongMsg(kOpenModuleHandle, &header, kMessageHeaderSize, port);
}

// A message of a script: frames to render before it, then the message (short if
// sysex is empty).
struct Step {
    uint32_t wait;
    uint32_t message;
    std::vector<uint8_t> sysex = {};
    uint32_t port = 0;
};

// Plays the script into the module, rendering the waits in runs as the render loop does, then
// `tail` more frames; the hash of every frame's two samples.
inline uint64_t ScriptHash(RenderingModule& module, const std::vector<Step>& script,
                           uint32_t tail) {
    uint64_t hash = Fnv1a({});
    std::vector<int32_t> left;
    std::vector<int32_t> right;
    const auto render = [&](uint32_t frames) {
        left.assign(frames, 0);
        right.assign(frames, 0);
        module.RenderRun(left.data(), right.data(), frames);
        for (uint32_t i = 0; i < frames; ++i) {
            const int32_t frame[2] = {left[i], right[i]};  // little-endian bytes, as stored
            hash = Fnv1a({reinterpret_cast<const char*>(frame), sizeof frame}, hash);
        }
    };
    for (const Step& step : script) {
        render(step.wait);
        if (step.sysex.empty()) {
            module.ShortMsg(kOpenModuleHandle, step.message, step.port);
        } else {
            SysEx(module, step.sysex, step.port);
        }
    }
    render(tail);
    return hash;
}

}  // namespace zeblo::test
