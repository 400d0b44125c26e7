// Loads arbitrary bytes as a song, measures it, seeks into it and plays a few steps, with a module
// that touches every byte it is handed, so the sanitizers see any read outside a buffer.
#include <cstddef>
#include <cstdint>
#include <span>

#include "midi/Sequencer.h"
#include "modules/SoundModule.h"

namespace {

using namespace zeblo;

class CheckingModule final : public StandardSoundModule {
public:
    virtual ~CheckingModule() = default;
    uint32_t Reset(SoundModuleHandle) override { return 0; }
    uint32_t ShortMsg(SoundModuleHandle, uint32_t message, uint32_t) override {
        sum += message;
        return 0;
    }
    uint32_t LongMsg(SoundModuleHandle, MessageHeader* header, uint32_t size, uint32_t) override {
        if (size != sizeof(MessageHeader) || header->bufferLength == 0 ||
            header->bufferLength > kSysExBufferBytes || header->data[0] != 0xF0) {
            __builtin_trap();
        }
        for (uint32_t i = 0; i < header->bufferLength; ++i) sum += header->data[i];
        return 0;
    }
    volatile uint32_t sum = 0;
};

// Playing is stepped literally: keep the number of track visits of the few steps played bounded.
constexpr uint64_t kPlayBudget = 20'000'000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EngineParameters parameters;
    parameters.sampleRate = 22050 + static_cast<int32_t>(size % 3) * 11025;
    CheckingModule module;
    Sequencer sequencer(parameters);
    sequencer.SetModule(&module);
    if (!sequencer.LoadImage(std::span<const uint8_t>(data, size))) {
        if (sequencer.HasSong()) __builtin_trap();
        return 0;
    }
    uint64_t samples = 0, ticks = 0;
    const bool measured = sequencer.Measure(&samples, &ticks);
    if (measured != sequencer.HasSong() || sequencer.Playing()) __builtin_trap();
    if (!measured) return 0;

    sequencer.SetLoop(true);
    sequencer.Start();
    sequencer.Seek(ticks / 2);
    uint64_t visits = 0;
    for (int i = 0; i < 4000 && sequencer.Playing(); ++i) {
        visits += static_cast<uint64_t>(sequencer.TicksPerStep()) * sequencer.Tracks().size();
        if (visits > kPlayBudget) break;
        sequencer.Advance(false);
    }
    sequencer.Stop();
    return 0;
}
