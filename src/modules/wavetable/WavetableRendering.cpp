// What the render loop asks of the wavetable module: its runs and its display records.
#include <algorithm>

#include "modules/DisplaySnapshot.h"
#include "modules/RenderPath.h"
#include "modules/wavetable/WavetableModule.h"

namespace zeblo {

namespace {

// The waveform the display draws for channel c: the uploaded row of its program in the program's
// own waveform mode, otherwise the built-in record of the program in the active set.
uint32_t WaveWord(const ChannelState& channel, bool userWaveforms, int32_t instrumentSet) {
    const int32_t program = channel.program & (kProgramCount - 1);
    if (userWaveforms) return kWaveFromUploaded | static_cast<uint32_t>(program);
    // Outside 0..7 (an edited preferences file) the module plays the first set.
    const int32_t set =
        instrumentSet >= 0 && instrumentSet < kInstrumentSetCount ? instrumentSet : 0;
    return kWaveFromRecord | static_cast<uint32_t>(kInstrumentSetTable[set][program]);
}

// The voice sums scaled in place; the compiler vectorises the division by 3 where it can.
[[gnu::always_inline]] inline void ScaleSums(int32_t* left, int32_t* right, uint32_t frames,
                                             int32_t masterVolume) {
    for (uint32_t i = 0; i < frames; ++i) {
        left[i] = ScaleVoiceSum(left[i], masterVolume);
        right[i] = ScaleVoiceSum(right[i], masterVolume);
    }
}

void ScaleSumsBaseline(int32_t* left, int32_t* right, uint32_t frames, int32_t masterVolume) {
    ScaleSums(left, right, frames, masterVolume);
}

#if defined(__x86_64__) || defined(__i386__)
// AVX2 has the signed 32-bit products that the division by 3 takes lane by lane.
__attribute__((target("avx2"))) void ScaleSumsAvx2(int32_t* left, int32_t* right, uint32_t frames,
                                                   int32_t masterVolume) {
    ScaleSums(left, right, frames, masterVolume);
}
#endif

int32_t WholeHertz(float frequency) {
    return static_cast<int32_t>(std::clamp(frequency, -2.0e9f, 2.0e9f));
}

}  // namespace

void WavetableModule::RenderRun(int32_t* left, int32_t* right, uint32_t frames) {
    uint32_t* sumLeft = reinterpret_cast<uint32_t*>(left);
    uint32_t* sumRight = reinterpret_cast<uint32_t*>(right);
    std::fill_n(sumLeft, frames, 0u);
    std::fill_n(sumRight, frames, 0u);
    MixVoicesRun(sumLeft, sumRight, frames);
    // Only the module's messages change it, and they arrive before the run.
    const int32_t masterVolume = shared.masterVolume.load(std::memory_order_relaxed);
#if defined(__x86_64__) || defined(__i386__)
    if (ActiveRenderPath() == RenderPath::Avx2) {
        ScaleSumsAvx2(left, right, frames, masterVolume);
        return;
    }
#endif
    ScaleSumsBaseline(left, right, frames, masterVolume);
}

void WavetableModule::FillSnapshot(DisplaySnapshot& s) const {
    const bool userWaveforms = shared.userWaveformMode.load(std::memory_order_relaxed) != 0;
    const int32_t set = params.activeInstrumentSet.load(std::memory_order_relaxed);
    for (int c = 0; c < kSnapshotChannels; ++c) {
        const ChannelState& channel = channels[c];
        s.volume[c] = channel.volume;
        s.expression[c] = channel.expression;
        s.envelopeLevel[c] = 0;
        s.outputLevel[c] = 0;
        s.pan[c] = channel.pan;
        s.pitchBend[c] = channel.rawBend;
        s.program[c] = channel.program;
        s.bank[c] = channel.bank;
        s.frequency[c] = 0;
        s.hold[c] = channel.sustain;
        s.wave[c] = WaveWord(channel, userWaveforms, set);
        s.voiceCount[c] = 0;
    }
    // In slot order: a later voice of a channel overwrites an earlier one.
    for (const VoiceSlot& slot : voices) {
        if (!slot.Sounding()) continue;
        const int c = (slot.port != 0 ? 16 : 0) + (slot.channel & 15);
        const WavetableVoice& voice = slot.voice;
        const int64_t envelope = EnvelopeDisplayLevel(voice);
        const int64_t meter =
            (int64_t{voice.expression} * (voice.amplitude >> 16) * envelope) >> 14;
        s.envelopeLevel[c] = static_cast<int32_t>(envelope);
        s.outputLevel[c] = static_cast<int32_t>(std::min<int64_t>(meter, 127));
        s.frequency[c] = WholeHertz(voice.frequency);
        ++s.voiceCount[c];
    }
}

}  // namespace zeblo
