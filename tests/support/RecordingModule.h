// A SoundModule that records every call it receives, in order, for tests to inspect.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "modules/SoundModule.h"

namespace zeblo::test {

enum class CallKind {
    kOpen,
    kClose,
    kReset,
    kPrepareHeader,
    kUnprepareHeader,
    kShortMsg,
    kLongMsg
};

struct ModuleCall {
    CallKind kind;
    SoundModuleHandle handle = 0;     // as passed (Open: the value found behind the out-pointer)
    uint32_t device = 0;              // Open
    uint32_t message = 0;             // ShortMsg
    uint32_t port = 0;                // ShortMsg, LongMsg
    uint32_t size = 0;                // header size of the three header operations
    std::vector<uint8_t> sysEx = {};  // LongMsg: bufferLength bytes at the header's data pointer
    uint32_t flags = 0;               // LongMsg: the header's flags
};

class RecordingModule final : public SoundModule {
public:
    virtual ~RecordingModule() = default;

    uint32_t Open(SoundModuleHandle* handle, uint32_t device, uintptr_t, uintptr_t,
                  uint32_t) override {
        Record({.kind = CallKind::kOpen, .handle = *handle, .device = device});
        *handle = kOpenModuleHandle;
        return openResult;
    }
    uint32_t Close(SoundModuleHandle handle) override {
        return Record({.kind = CallKind::kClose, .handle = handle});
    }
    uint32_t Reset(SoundModuleHandle handle) override {
        return Record({.kind = CallKind::kReset, .handle = handle});
    }
    uint32_t PrepareHeader(SoundModuleHandle handle, MessageHeader*, uint32_t size) override {
        return Record({.kind = CallKind::kPrepareHeader, .handle = handle, .size = size});
    }
    uint32_t UnprepareHeader(SoundModuleHandle handle, MessageHeader*, uint32_t size) override {
        return Record({.kind = CallKind::kUnprepareHeader, .handle = handle, .size = size});
    }
    uint32_t ShortMsg(SoundModuleHandle handle, uint32_t message, uint32_t port) override {
        return Record(
            {.kind = CallKind::kShortMsg, .handle = handle, .message = message, .port = port});
    }
    uint32_t LongMsg(SoundModuleHandle handle, MessageHeader* header, uint32_t size,
                     uint32_t port) override {
        ModuleCall call{.kind = CallKind::kLongMsg, .handle = handle, .port = port, .size = size};
        call.sysEx.assign(header->data, header->data + header->bufferLength);
        call.flags = header->flags;
        return Record(std::move(call));
    }

    std::vector<ModuleCall> Of(CallKind kind) const {
        std::vector<ModuleCall> out;
        for (const ModuleCall& c : calls)
            if (c.kind == kind) out.push_back(c);
        return out;
    }
    std::size_t Count(CallKind kind) const { return Of(kind).size(); }
    std::vector<uint32_t> ShortMessages() const {
        std::vector<uint32_t> out;
        for (const ModuleCall& c : calls)
            if (c.kind == CallKind::kShortMsg) out.push_back(c.message);
        return out;
    }
    void Clear() { calls.clear(); }

    std::vector<ModuleCall> calls;
    // Called after each call is recorded, e.g. to note the sequencer's tick at that moment.
    std::function<void(const ModuleCall&)> onCall;
    uint32_t openResult = 0;

private:
    uint32_t Record(ModuleCall call) {
        calls.push_back(std::move(call));
        if (onCall) onCall(calls.back());
        return 0;
    }
};

}  // namespace zeblo::test
