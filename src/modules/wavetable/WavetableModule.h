// The chiptune sound module: 45 wavetable voices driven by channel messages and a few
// system-exclusive messages, with a built-in table of square-wave and noise drum hits.
//
// Threads: Reset, ShortMsg and LongMsg run on the thread that runs the render loop, or on the
// user-interface thread while it holds the sequencer's lock or before the render thread starts
// (the module takes no lock). RenderRun, MixVoicesRun, MixVoices and the const accessors are for
// the render loop, on its thread. IsDrumChannel may be called from any thread. ResetRunState is
// called between runs, with no render loop running.
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>

#include "modules/ModuleSharedState.h"
#include "modules/SoundModule.h"
#include "modules/wavetable/Mt19937.h"
#include "modules/wavetable/WavetableConstants.h"
#include "modules/wavetable/WavetableTables.h"
#include "modules/wavetable/WavetableVoice.h"
#include "settings/EngineParameters.h"

namespace zeblo {

struct VoiceSlot {
    explicit VoiceSlot(Mt19937& random) : voice(random) {}

    // A voice that sounds or is about to, and belongs to a channel: what the display counts.
    bool Sounding() const {
        return (voice.idle == 0 || voice.transitionPending != 0) && channel != -1;
    }

    int32_t channel = -1;  // 0..15, -1 = no channel
    int32_t port = 0;
    int32_t key = 0;
    int32_t keyHeld = 0;
    WavetableVoice voice;
};

struct ChannelState {
    int32_t bendCents = 0;
    int32_t detuneCents = 0;
    int32_t bendRange = 2;
    int32_t expression = 127;
    int32_t volume = 100;
    int32_t program = 0;
    int32_t bank = 0;
    int32_t sustain = 0;
    int32_t pan = 64;
    int32_t rpnMsb = 127;
    int32_t rpnLsb = 127;
    int32_t rawBend = 0;
    std::atomic<int32_t> isDrum{0};  // the view reads it from its own thread
};

// (sum / 3) * masterVolume >> 7: the division truncates toward zero, the shift is arithmetic and
// the product wraps in 32 bits.
inline int32_t ScaleVoiceSum(int32_t sum, int32_t masterVolume) {
    const uint32_t product =
        static_cast<uint32_t>(sum / kVoiceSumDivisor) * static_cast<uint32_t>(masterVolume);
    return static_cast<int32_t>(product) >> kMasterVolumeShift;
}

class WavetableModule final : public RenderingModule {
public:
    WavetableModule(const EngineParameters& params, ModuleSharedState& shared, Mt19937& random);
    virtual ~WavetableModule() = default;

    uint32_t Reset(SoundModuleHandle handle) override;
    // Ports of 2 or more are treated as port 1.
    uint32_t ShortMsg(SoundModuleHandle handle, uint32_t message, uint32_t port) override;
    uint32_t LongMsg(SoundModuleHandle handle, MessageHeader* header, uint32_t size,
                     uint32_t port) override;

    // Returns the module to its state at construction, so that a new song renders as in a fresh
    // process: the start-delay rotation, the generator's seed, the uploaded waveforms, the banks
    // and the display dots, then Reset. For the command-line player between songs.
    void ResetRunState();

    // Slots in order 0..44. The render loop sums them from 44 down to 0.
    const VoiceSlot& Slot(int index) const { return voices[index]; }
    // `frames` frames of all voices added into left[] and right[] (wrapping in 32 bits), summed
    // from slot 44 down to 0, for a run in which no message reaches the module.
    // Each voice renders its whole run at once; noise voices, which draw from the shared
    // generator at their cycle boundaries, keep their frame-by-frame order among themselves.
    // On the plain render path every voice steps frame by frame in slot order, the long way.
    void MixVoicesRun(uint32_t* left, uint32_t* right, uint32_t frames);

    // The voice sums of a run, scaled by the master volume.
    void RenderRun(int32_t* left, int32_t* right, uint32_t frames) override;
    bool TakesOutputFilters() const override { return true; }
    // Channels of both ports; a channel's last sounding voice in slot order gives its levels.
    void FillSnapshot(DisplaySnapshot& s) const override;

    // c = port * 16 + channel, 0..31.
    const ChannelState& Channel(int c) const { return channels[c]; }
    bool IsDrumChannel(int c) const;
    // The 32 signed sample bytes the display draws for channel c: the built-in record of the
    // channel's program in the active set, or its uploaded row in the program's own mode.
    const int8_t* ChannelWaveformBytes(int c) const;

    int32_t NextStartDelay() const { return nextStartDelay; }

    // Envelope display level 0..127 of a voice (full level without an envelope).
    static int32_t EnvelopeDisplayLevel(const WavetableVoice& voice);

    // The 32 signed sample bytes last uploaded into `row` (zeros if none), nullptr outside
    // 0..127: what the display draws for an uploaded waveform no channel plays any more.
    const int8_t* UploadedWaveBytes(int row) const {
        return row >= 0 && row < kWaveformRecordCount ? uploadedWaveBytes[row].data() : nullptr;
    }

private:
    using WaveTable = std::array<std::array<int32_t, kWaveSteps>, kWaveformRecordCount>;

    void NoteOff(int32_t c, int32_t ch, int32_t port, int32_t key);
    void NoteOn(int32_t c, int32_t ch, int32_t port, int32_t key, int32_t velocity);
    void SetUpMelodicNote(VoiceSlot& slot, int32_t c, int32_t ch, int32_t port, int32_t key,
                          int32_t velocity);
    void SetUpDrumNote(VoiceSlot& slot, int32_t c, int32_t ch, int32_t port, int32_t key,
                       int32_t velocity);
    void SetUpSnareBody(int32_t c, int32_t ch, int32_t port, int32_t key, int32_t velocity);
    void ControlChange(int32_t c, int32_t ch, int32_t port, int32_t controller, int32_t value);
    void PitchBend(int32_t c, int32_t ch, int32_t port, int32_t lsb, int32_t msb);
    // Highest free slot, or -1; frees ended notes whose keys are still held if need be.
    int FindFreeSlot();
    void MixVoicesPlain(uint32_t* left, uint32_t* right, uint32_t frames);
    int32_t InstrumentSet() const;
    void SetDrum(int32_t c, bool on);

    template <typename Action>
    void ForEachVoiceOf(int32_t ch, int32_t port, Action action) {
        for (VoiceSlot& slot : voices)
            if (slot.channel == ch && slot.port == port) action(slot.voice);
    }

    const EngineParameters& params;
    ModuleSharedState& shared;
    Mt19937& random;

    std::array<VoiceSlot, kWavetableVoiceCount> voices;
    std::array<ChannelState, kChannelCount> channels{};
    int32_t nextStartDelay = 0;
    // Bit i set: slot i's voice may sound or have a transition pending. Set wherever the module
    // starts or stops a voice, cleared once the voice is idle again.
    uint64_t activeVoices = 0;
    std::array<std::array<int8_t, kWaveSteps>, kWaveformRecordCount> uploadedWaveBytes{};
    WaveTable uploadedWaves{};
    WaveTable expandedWaves{};
};

}  // namespace zeblo
