// The render loop's display records: what each engine writes into a DisplaySnapshot.
#include <algorithm>
#include <cstring>

#include "engine/Renderer.h"

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

int32_t WholeHertz(float frequency) {
    return static_cast<int32_t>(std::clamp(frequency, -2.0e9f, 2.0e9f));
}

}  // namespace

void Renderer::FillWavetableSnapshot(DisplaySnapshot& s) {
    const WavetableModule& module = context.wavetable;
    const bool userWaveforms = context.shared.userWaveformMode.load(std::memory_order_relaxed) != 0;
    const int32_t set = context.parameters.activeInstrumentSet.load(std::memory_order_relaxed);
    for (int c = 0; c < kSnapshotChannels; ++c) {
        const ChannelState& channel = module.Channel(c);
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
    for (int i = 0; i < kWavetableVoiceCount; ++i) {
        const VoiceSlot& slot = module.Slot(i);
        if (!slot.Sounding()) continue;
        const int c = (slot.port != 0 ? 16 : 0) + (slot.channel & 15);
        const WavetableVoice& voice = slot.voice;
        const int64_t envelope = WavetableModule::EnvelopeDisplayLevel(voice);
        const int64_t meter =
            (int64_t{voice.expression} * (voice.amplitude >> 16) * envelope) >> 14;
        s.envelopeLevel[c] = static_cast<int32_t>(envelope);
        s.outputLevel[c] = static_cast<int32_t>(std::min<int64_t>(meter, 127));
        s.frequency[c] = WholeHertz(voice.frequency);
        ++s.voiceCount[c];
    }
}

void Renderer::FillOpllSnapshot(DisplaySnapshot& s) {
    const OpllModule& module = context.opll;
    // Channels 16..31 are left as they are: the module ignores ports. Bank is not written.
    for (int c = 0; c < kFmMidiChannels; ++c) {
        const FmChannelState& channel = module.Channel(c);
        s.volume[c] = channel.noteLevelBase;
        s.expression[c] = channel.displayValue;
        s.envelopeLevel[c] = 0;
        s.outputLevel[c] = 0;
        s.pan[c] = 64;
        s.pitchBend[c] = channel.pitchBend;
        s.program[c] = channel.program;
        s.frequency[c] = 0;
        s.hold[c] = channel.sustainPedal;
        s.wave[c] = 0;
        s.voiceCount[c] = 0;
    }
    for (const FmVoice& voice : module.Voices()) {
        if (voice.channel < 0 || voice.channel >= kFmMidiChannels) continue;
        const int c = voice.channel;
        s.envelopeLevel[c] = std::min(voice.level, 127);
        s.outputLevel[c] = voice.level;
        s.frequency[c] = voice.frequency;
        s.wave[c] = voice.instrument;
        ++s.voiceCount[c];
    }
}

void Renderer::FinishSnapshot(DisplaySnapshot& s, bool opll) {
    if (context.shared.displayDataArrived.exchange(0, std::memory_order_relaxed) != 0)
        displayHoldSamples = kDisplayHoldSeconds * context.parameters.sampleRate;
    const bool hold = displayHoldSamples > 0;
    s.dotsValid = hold ? 1 : 0;
    if (hold || opll) std::memcpy(s.dots, context.shared.displayDots.data(), sizeof s.dots);
    if (hold) displayHoldSamples -= static_cast<int32_t>(snapshotInterval);
}

}  // namespace zeblo
