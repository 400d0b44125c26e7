// The interface between the sequencer and the sound modules.
//
// Threads: Open, Close, Reset, PrepareHeader, UnprepareHeader, ShortMsg and LongMsg run on the
// thread that runs the render loop (render or authoring thread), or on the user-interface thread
// while it holds the sequencer's lock (seek, speed change) or before the render thread starts.
// Modules take no lock of their own.
#pragma once

#include <cstdint>

namespace zeblo {

using SoundModuleHandle = uint32_t;

inline constexpr SoundModuleHandle kOpenModuleHandle = 777;

// A system-exclusive message for LongMsg. Field order as the 64-byte MIDI header, with a native
// width data pointer; callers pass sizeof(MessageHeader) as the header size.
struct MessageHeader {
    uint8_t* data = nullptr;     // the whole message, 0xF0 through 0xF7
    uint32_t bufferLength = 0;   // valid bytes at data
    uint32_t bytesRecorded = 0;  // unused
    uint32_t user = 0;           // unused
    uint32_t flags = 0;          // set to 0 before each message
    uint8_t reserved[44] = {};
};

inline constexpr uint32_t kMessageHeaderSize = sizeof(MessageHeader);

// Packed short message: bits 0-7 status, 8-15 first data byte, 16-23 second data byte.
constexpr uint32_t PackShortMsg(uint32_t status, uint32_t data1, uint32_t data2 = 0) {
    return (status & 0xFF) | ((data1 & 0xFF) << 8) | ((data2 & 0xFF) << 16);
}

// Every operation returns 0 (success). The destructor is protected and not virtual: modules
// are never deleted through this interface.
class SoundModule {
public:
    virtual uint32_t Open(SoundModuleHandle* handle, uint32_t device, uintptr_t callback,
                          uintptr_t instance, uint32_t flags) = 0;
    virtual uint32_t Close(SoundModuleHandle handle) = 0;
    virtual uint32_t Reset(SoundModuleHandle handle) = 0;
    virtual uint32_t PrepareHeader(SoundModuleHandle handle, MessageHeader* header,
                                   uint32_t size) = 0;
    virtual uint32_t UnprepareHeader(SoundModuleHandle handle, MessageHeader* header,
                                     uint32_t size) = 0;
    virtual uint32_t ShortMsg(SoundModuleHandle handle, uint32_t message, uint32_t port) = 0;
    virtual uint32_t LongMsg(SoundModuleHandle handle, MessageHeader* header, uint32_t size,
                             uint32_t port) = 0;

protected:
    SoundModule() = default;
    ~SoundModule() = default;
    SoundModule(const SoundModule&) = delete;
    SoundModule& operator=(const SoundModule&) = delete;
};

// The shared implementation of the four operations that every module treats alike.
class StandardSoundModule : public SoundModule {
public:
    uint32_t Open(SoundModuleHandle* handle, uint32_t, uintptr_t, uintptr_t, uint32_t) override {
        *handle = kOpenModuleHandle;
        return 0;
    }
    uint32_t Close(SoundModuleHandle) override { return 0; }
    uint32_t PrepareHeader(SoundModuleHandle, MessageHeader*, uint32_t) override { return 0; }
    uint32_t UnprepareHeader(SoundModuleHandle, MessageHeader*, uint32_t) override { return 0; }

protected:
    ~StandardSoundModule() = default;
};

struct DisplaySnapshot;

// A module the render loop plays through: it renders runs of frames and fills the display's
// channel words. The render loop calls these on its thread, under the sequencer's lock, between
// the messages of a run.
class RenderingModule : public StandardSoundModule {
public:
    // `frames` frames of the module's output into left[] and right[], for a run in which no
    // message reaches the module. Samples may still lie outside 16 bits: the render loop clips.
    virtual void RenderRun(int32_t* left, int32_t* right, uint32_t frames) = 0;
    // Whether the output's mono fold-down and low-pass filter act on this module's sound.
    virtual bool TakesOutputFilters() const = 0;
    // The 32 channels' words of a display record (and the dots, if the module always shows them).
    virtual void FillSnapshot(DisplaySnapshot& s) const = 0;

protected:
    ~RenderingModule() = default;
};

// A module that hears everything and makes no sound: used to measure songs.
class SilentModule final : public StandardSoundModule {
public:
    virtual ~SilentModule() = default;
    uint32_t Reset(SoundModuleHandle) override { return 0; }
    uint32_t ShortMsg(SoundModuleHandle, uint32_t, uint32_t) override { return 0; }
    uint32_t LongMsg(SoundModuleHandle, MessageHeader*, uint32_t, uint32_t) override { return 0; }
};

}  // namespace zeblo
