// A SoundModule that writes down every call it receives, one line each, for tests to compare:
//   "open ffffffff"  "close"  "reset"  "prepare"  "unprepare"
//   "short 643c90 p0"        the packed message in hex, then the port
//   "long f07e7f0901f7 p1"   the header's valid bytes, then the port
// A handle other than the one Open gave is marked " !handle", a header size other than
// sizeof(MessageHeader) " !size", a long message's flags other than 0 " !flags".
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "modules/SoundModule.h"

namespace zeblo::test {

class RecordingModule final : public SoundModule {
public:
    virtual ~RecordingModule() = default;

    uint32_t Open(SoundModuleHandle* handle, uint32_t device, uintptr_t, uintptr_t,
                  uint32_t) override {
        const SoundModuleHandle given = *handle;
        *handle = kOpenModuleHandle;
        return Record(Hex("open ", device, 6), given == 0 ? kOpenModuleHandle : given);
    }
    uint32_t Close(SoundModuleHandle handle) override { return Record("close", handle); }
    uint32_t Reset(SoundModuleHandle handle) override { return Record("reset", handle); }
    uint32_t PrepareHeader(SoundModuleHandle handle, MessageHeader*, uint32_t size) override {
        return Record("prepare", handle, size);
    }
    uint32_t UnprepareHeader(SoundModuleHandle handle, MessageHeader*, uint32_t size) override {
        return Record("unprepare", handle, size);
    }
    uint32_t ShortMsg(SoundModuleHandle handle, uint32_t message, uint32_t port) override {
        return Record(Hex("short ", message, 6) + " p" + std::to_string(port), handle);
    }
    uint32_t LongMsg(SoundModuleHandle handle, MessageHeader* header, uint32_t size,
                     uint32_t port) override {
        std::string line = "long ";
        for (uint32_t i = 0; i < header->bufferLength; ++i) line = Hex(line, header->data[i], 2);
        line += " p" + std::to_string(port) + (header->flags != 0 ? " !flags" : "");
        return Record(line, handle, size);
    }

    std::vector<std::string> calls;
    // Appended to each line when set, e.g. the sequencer's tick at that moment.
    std::function<std::string()> stamp;

private:
    static std::string Hex(const std::string& prefix, uint32_t value, int digits) {
        char text[16];
        std::snprintf(text, sizeof text, "%0*x", digits, value);
        return prefix + text;
    }
    uint32_t Record(std::string line, SoundModuleHandle handle = kOpenModuleHandle,
                    uint32_t size = kMessageHeaderSize) {
        if (handle != kOpenModuleHandle) line += " !handle";
        if (size != kMessageHeaderSize) line += " !size";
        calls.push_back(stamp ? line + " @" + stamp() : line);
        return 0;
    }
};

}  // namespace zeblo::test
