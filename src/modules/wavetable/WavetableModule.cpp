#include "modules/wavetable/WavetableModule.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "modules/RenderPath.h"
#include "modules/wavetable/DrumHits.h"

namespace zeblo {

namespace {

constexpr int32_t kDrumChannel = 9;
constexpr int32_t kSweepProgram = 118;
constexpr float kSweepProgramRate = -0.6f;  // cents per sample
constexpr int32_t kSweepProgramLength = 1600;
constexpr int32_t kNoiseProgramA = 122;
constexpr int32_t kNoiseProgramB = 126;
constexpr double kNoiseNoteFactor = 1.6;
constexpr int32_t kBendRangeLimit = 25;         // semitones, exclusive
constexpr double kBendScale = 0.0001220703125;  // 1 / 8192
constexpr int32_t kCentredPan = 64;

template <std::size_t... I>
std::array<VoiceSlot, sizeof...(I)> MakeSlots(Mt19937& random, std::index_sequence<I...>) {
    return {{(static_cast<void>(I), VoiceSlot(random))...}};
}

// trunc(volume * k * velocity * gain), as a 16.16 amplitude.
int32_t NoteAmplitude(int32_t volume, int32_t velocity, float gain) {
    const double level = static_cast<double>(volume) * static_cast<double>(kLevelScale) *
                         static_cast<double>(velocity) * static_cast<double>(gain);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(level)) << 16);
}

float RateScaled(const WavetableVoice& voice, float perSample) {
    return voice.HalfRate() ? perSample * 2.0f : perSample;
}

void SetDecay(WavetableVoice& voice, float perSample) {
    voice.decayRate = RateScaled(voice, perSample);
    voice.amplitudeSlope = static_cast<int32_t>(static_cast<double>(voice.decayRate) * 65536.0);
}

}  // namespace

WavetableModule::WavetableModule(const EngineParameters& params, ModuleSharedState& shared,
                                 Mt19937& random)
    : params(params),
      shared(shared),
      random(random),
      voices(MakeSlots(random, std::make_index_sequence<kWavetableVoiceCount>{})) {
    Reset(0);
}

void WavetableModule::ResetRunState() {
    nextStartDelay = 0;
    random.Seed(kRandomSeed);
    for (auto& row : uploadedWaveBytes) row.fill(0);
    for (auto& row : uploadedWaves) row.fill(0);
    for (auto& row : expandedWaves) row.fill(0);
    for (ChannelState& channel : channels) channel.bank = 0;
    shared.displayDots.fill(0);
    Reset(0);
}

uint32_t WavetableModule::Reset(SoundModuleHandle) {
    shared.masterVolume = 127;
    shared.userWaveformMode = 0;
    shared.gmSystemOnSeen = 0;
    shared.gsResetSeen = 0;
    shared.displayDataArrived = 0;

    const bool autoDetune = params.autoDetune.load(std::memory_order_relaxed);
    for (int32_t c = 0; c < kChannelCount; ++c) {
        ChannelState& channel = channels[c];
        channel.bendCents = 0;
        channel.detuneCents = autoDetune ? (c / 4) % 4 + 3 * (c % 4) - 14 : 0;
        channel.bendRange = 2;
        channel.expression = 127;
        channel.volume = 100;
        channel.program = 0;
        channel.sustain = 0;
        channel.pan = kCentredPan;
        channel.rpnMsb = 127;
        channel.rpnLsb = 127;
        channel.rawBend = 0;
        SetDrum(c, c % 16 == kDrumChannel);
    }

    for (VoiceSlot& slot : voices) {
        WavetableVoice& voice = slot.voice;
        voice.ResetVoice();
        voice.sampleRate = params.sampleRate;
        voice.idle = 1;
        voice.transitionPending = 0;
        voice.expressionDirty = 0;
        voice.centsDirty = 0;
        voice.panDirty = 0;
        voice.startDelay = 0;
        voice.lengthCounter = 0;
        voice.decayRate = 0.0f;
        voice.amplitudeSlope = 0;
        voice.sweep = 0.0f;
        voice.newCents = 0.0f;
        voice.cents = 0.0f;
        slot.channel = -1;
        slot.keyHeld = 0;
    }
    activeVoices = 0;
    return 0;
}

bool WavetableModule::IsDrumChannel(int c) const {
    return channels[c].isDrum.load(std::memory_order_relaxed) != 0;
}

void WavetableModule::SetDrum(int32_t c, bool on) {
    channels[c].isDrum.store(on ? 1 : 0, std::memory_order_relaxed);
}

int32_t WavetableModule::InstrumentSet() const {
    // An edited preferences file may hold any number: outside 0..7 the first set plays.
    const int32_t set = params.activeInstrumentSet.load(std::memory_order_relaxed);
    return set >= 0 && set < kInstrumentSetCount ? set : 0;
}

const int8_t* WavetableModule::ChannelWaveformBytes(int c) const {
    const int32_t program = channels[c].program & (kProgramCount - 1);
    if (shared.userWaveformMode.load(std::memory_order_relaxed) != 0)
        return uploadedWaveBytes[program].data();
    return kWaveformRecords[kInstrumentSetTable[InstrumentSet()][program]].samples;
}

int32_t WavetableModule::EnvelopeDisplayLevel(const WavetableVoice& voice) {
    return (voice.envelope != nullptr ? voice.envLevel : kEnvelopeFullLevel) >> 23;
}

uint32_t WavetableModule::ShortMsg(SoundModuleHandle, uint32_t message, uint32_t port) {
    const int32_t folded = port >= 1 ? 1 : 0;
    const int32_t status = static_cast<int32_t>(message & 0xFF);
    const int32_t type = status & 0xF0;
    const int32_t ch = status & 0x0F;
    const int32_t data1 = static_cast<int32_t>((message >> 8) & 0xFF);
    const int32_t data2 = static_cast<int32_t>((message >> 16) & 0xFF);
    const int32_t c = folded * 16 + ch;

    switch (type) {
        case 0x80:
            NoteOff(c, ch, folded, data1);
            break;
        case 0x90:
            if (data2 == 0)
                NoteOff(c, ch, folded, data1);
            else
                NoteOn(c, ch, folded, data1, data2);
            break;
        case 0xB0:
            ControlChange(c, ch, folded, data1, data2);
            break;
        case 0xC0:
            channels[c].program = data1;
            break;
        case 0xE0:
            PitchBend(c, ch, folded, data1, data2);
            break;
        default:
            break;
    }
    return 0;
}

void WavetableModule::NoteOff(int32_t c, int32_t ch, int32_t port, int32_t key) {
    if (IsDrumChannel(c)) return;  // drum hits end by their own length
    for (VoiceSlot& slot : voices) {
        if (slot.channel != ch || slot.port != port || slot.key != key) continue;
        WavetableVoice& voice = slot.voice;
        if (voice.envelope == nullptr) {
            voice.transitionPending = 1;
            voice.stopRequested = 1;
        } else {
            voice.envStage = kRelease;
            if (voice.envelope->release == 0) {
                voice.envStage = kFinished;
            } else {
                const uint32_t divisor =
                    voice.sustainPedal != 0 ? kPedalReleaseSamples : voice.envelope->release;
                const uint32_t step = static_cast<uint32_t>(voice.envLevel) / divisor;
                // A level below the divisor would give a step of 0 and never finish.
                voice.releaseStep = static_cast<int32_t>(std::max<uint32_t>(step, 1));
            }
        }
        slot.keyHeld = 0;
        slot.channel = -1;
        activeVoices |= uint64_t{1} << (&slot - voices.data());
    }
}

int WavetableModule::FindFreeSlot() {
    const auto isFree = [](const VoiceSlot& slot) {
        return slot.channel == -1 && slot.voice.idle != 0 && slot.voice.transitionPending == 0;
    };
    for (int i = kWavetableVoiceCount - 1; i >= 0; --i)
        if (isFree(voices[i])) return i;
    for (VoiceSlot& slot : voices)
        if (slot.voice.idle != 0 && slot.voice.transitionPending == 0) slot.channel = -1;
    for (int i = kWavetableVoiceCount - 1; i >= 0; --i)
        if (isFree(voices[i])) return i;
    return -1;
}

void WavetableModule::NoteOn(int32_t c, int32_t ch, int32_t port, int32_t key, int32_t velocity) {
    if (shared.channelMute[c].load(std::memory_order_relaxed) != 0) return;
    const int index = FindFreeSlot();
    if (index < 0) return;
    VoiceSlot& slot = voices[index];

    if (shared.userWaveformMode.load(std::memory_order_relaxed) != 0) {
        slot.voice.startDelay = ch * kStartDelayStep;
    } else {
        slot.voice.startDelay = nextStartDelay;
        nextStartDelay += kStartDelayStep;
        if (nextStartDelay > kStartDelayLimit) nextStartDelay = 0;
    }

    activeVoices |= uint64_t{1} << index;
    if (!IsDrumChannel(c))
        SetUpMelodicNote(slot, c, ch, port, key, velocity);
    else
        SetUpDrumNote(slot, c, ch, port, key, velocity);
}

void WavetableModule::SetUpMelodicNote(VoiceSlot& slot, int32_t c, int32_t ch, int32_t port,
                                       int32_t key, int32_t velocity) {
    const ChannelState& channel = channels[c];
    WavetableVoice& voice = slot.voice;
    slot.channel = ch;
    slot.port = port;
    slot.key = key;
    slot.keyHeld = 1;

    voice.amplitude = NoteAmplitude(channel.volume, velocity, 1.0f);
    voice.SetExpression(channel.expression);
    voice.decayRate = 0.0f;
    voice.amplitudeSlope = 0;
    voice.lengthCounter = 0;
    voice.sweep = 0.0f;

    // Tables are indexed by the low seven bits; the special programs compare the raw number.
    const int32_t program = channel.program;
    const int32_t tableProgram = program & (kProgramCount - 1);
    if (shared.userWaveformMode.load(std::memory_order_relaxed) == 0) {
        voice.envelope = &kEnvelopeShapes[tableProgram];
        const int32_t w = kInstrumentSetTable[InstrumentSet()][tableProgram];
        const WaveformRecord& record = kWaveformRecords[w];
        auto& row = expandedWaves[w & (kWaveformRecordCount - 1)];
        for (int i = 0; i < kWaveSteps; ++i)
            row[i] = record.samples[i] * record.amplitudeMultiplier;
        voice.kind = kBuiltInWave;
        voice.wave = row.data();
        voice.octaveShift = record.octaveShift;
    } else {
        voice.envelope = nullptr;
        voice.kind = kUploadedWave;
        voice.octaveShift = 0;
        voice.wave = uploadedWaves[tableProgram].data();
    }

    voice.cents = static_cast<float>(channel.detuneCents + channel.bendCents);
    voice.newCents = voice.cents;
    voice.centsDirty = 1;
    voice.newPan = channel.pan;
    voice.panDirty = 1;
    voice.sustainPedal = channel.sustain;

    int32_t note = key;
    if (program == kSweepProgram) {
        voice.SetPitchSweep(kSweepProgramRate);
        voice.SetLength(kSweepProgramLength);
    } else if (program == kNoiseProgramA || program == kNoiseProgramB) {
        voice.kind = kNoise;
        note = static_cast<int32_t>(key * kNoiseNoteFactor) & 0xFF;
    }
    voice.StartNote(note);
}

void WavetableModule::SetUpDrumNote(VoiceSlot& slot, int32_t c, int32_t ch, int32_t port,
                                    int32_t key, int32_t velocity) {
    const ChannelState& channel = channels[c];
    WavetableVoice& voice = slot.voice;

    voice.SetExpression(channel.expression);
    voice.kind = kNoise;
    voice.cents = 0.0f;
    voice.newCents = 0.0f;
    voice.centsDirty = 1;
    voice.octaveShift = 0;
    voice.newPan = kCentredPan;
    voice.panDirty = 1;
    SetDecay(voice, kDrumDefaultDecay);
    voice.sweep = 0.0f;
    voice.SetLength(kDrumDefaultLength);
    voice.envelope = nullptr;
    slot.channel = ch;
    slot.port = port;
    slot.key = key;

    // Every drum set is read as set 0, the only one there is.
    const DrumHit& hit = FindDrumHit(channel.program, key);
    voice.kind = hit.kind;
    voice.SetLength(hit.length);
    if (hit.givesDecay) SetDecay(voice, hit.decayRate);
    if (hit.sweep != 0.0f) {
        voice.sweep = RateScaled(voice, hit.sweep);
        voice.newCents = voice.cents + voice.sweep;
        voice.centsDirty = 1;
    }
    if (hit.kind == kDrumSquareWave) voice.wave = kDrumSquare.data();
    const int32_t pitchNote = hit.pitchNote == kDrumKeyAsPitch ? key : hit.pitchNote;

    voice.amplitude = NoteAmplitude(channel.volume, velocity, hit.gain);
    voice.SetExpression(channel.expression);
    voice.StartNote(pitchNote);

    if (hit.secondVoice) SetUpSnareBody(c, ch, port, key, velocity);
}

void WavetableModule::SetUpSnareBody(int32_t c, int32_t ch, int32_t port, int32_t key,
                                     int32_t velocity) {
    const int index = FindFreeSlot();
    if (index < 0) return;
    const ChannelState& channel = channels[c];
    VoiceSlot& slot = voices[index];
    WavetableVoice& voice = slot.voice;
    activeVoices |= uint64_t{1} << index;

    voice.cents = 0.0f;
    voice.newPan = kCentredPan;
    voice.panDirty = 1;
    voice.decayRate = 0.0f;
    voice.amplitudeSlope = 0;
    slot.channel = ch;
    slot.port = port;
    slot.key = key;
    voice.SetLength(kSnareBodyLength);
    voice.kind = kDrumSquareWave;
    voice.wave = kDrumSquare.data();
    voice.sweep = RateScaled(voice, kSnareBodySweep);
    voice.newCents = voice.cents + voice.sweep;
    voice.centsDirty = 1;
    voice.octaveShift = 0;
    voice.envelope = nullptr;
    voice.amplitude = NoteAmplitude(channel.volume, velocity, kSnareBodyGain);
    voice.SetExpression(channel.expression);
    if (voice.idle != 0 && voice.transitionPending == 0) {
        voice.pendingNote = kSnareBodyNote;
        voice.transitionPending = 1;
        voice.stopRequested = 0;
    }
}

void WavetableModule::ControlChange(int32_t c, int32_t ch, int32_t port, int32_t controller,
                                    int32_t value) {
    ChannelState& channel = channels[c];
    switch (controller) {
        case 0:
            channel.bank = value;
            break;
        case 6:
            if (channel.rpnMsb == 0 && channel.rpnLsb == 0 && value < kBendRangeLimit)
                channel.bendRange = value;
            break;
        case 7:
            channel.volume = value;
            break;
        case 10:
            channel.pan = value;
            ForEachVoiceOf(ch, port, [value](WavetableVoice& voice) {
                voice.newPan = value;
                voice.panDirty = 1;
            });
            break;
        case 11:
            channel.expression = value;
            ForEachVoiceOf(ch, port,
                           [value](WavetableVoice& voice) { voice.SetExpression(value); });
            break;
        case 64:
            channel.sustain = value;
            ForEachVoiceOf(ch, port,
                           [value](WavetableVoice& voice) { voice.SetSustainPedal(value != 0); });
            break;
        case 100:
            channel.rpnLsb = value;
            break;
        case 101:
            channel.rpnMsb = value;
            break;
        case 121: {
            channel.expression = 127;
            channel.bendCents = 0;
            const float cents = static_cast<float>(channel.detuneCents + channel.bendCents);
            ForEachVoiceOf(ch, port, [cents](WavetableVoice& voice) {
                voice.SetExpression(127);
                voice.newCents = cents;
                voice.centsDirty = 1;
            });
            break;
        }
        default:
            break;
    }
}

void WavetableModule::PitchBend(int32_t c, int32_t ch, int32_t port, int32_t lsb, int32_t msb) {
    ChannelState& channel = channels[c];
    if (IsDrumChannel(c)) return;
    channel.rawBend = (msb - 64) * 128 + lsb;
    channel.bendCents = static_cast<int32_t>(static_cast<double>(channel.bendRange) * 100.0 *
                                             static_cast<double>(channel.rawBend) * kBendScale);
    const float cents = static_cast<float>(channel.detuneCents + channel.bendCents);
    ForEachVoiceOf(ch, port, [cents](WavetableVoice& voice) {
        voice.newCents = cents;
        voice.centsDirty = 1;
    });
}

uint32_t WavetableModule::LongMsg(SoundModuleHandle handle, MessageHeader* header, uint32_t,
                                  uint32_t port) {
    if (header == nullptr || header->data == nullptr) return 0;
    const uint8_t* d = header->data;
    const uint32_t length = header->bufferLength;
    // A pattern matches only where every byte it inspects lies inside the message.
    const auto is = [d, length](std::initializer_list<uint8_t> bytes) {
        if (length < bytes.size()) return false;
        return std::equal(bytes.begin(), bytes.end(), d);
    };
    const int32_t folded = port >= 1 ? 1 : 0;

    if (is({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40}) && length >= 9 && d[6] >= 0x10 && d[6] <= 0x1F &&
        d[7] == 0x15) {
        const int32_t part = d[6] & 0x0F;
        const int32_t ch = part == 0 ? kDrumChannel : (part < 10 ? part - 1 : part);
        SetDrum(folded * 16 + ch, d[8] != 0);
    } else if (is({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00})) {
        shared.gsResetSeen = 1;
    } else if (is({0xF0, 0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x7F})) {
        Reset(handle);
    } else if (is({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x04}) && length >= 11 &&
               d[10] == 0xF7) {
        shared.masterVolume = d[8];
    } else if (is({0xF0, 0x41, 0x10, 0x45, 0x12, 0x10}) && length >= 8 && d[6] >= 1 && d[6] <= 15) {
        // Only pages 1 to 5 have room; higher pages and short messages are ignored.
        const int32_t page = d[6];
        constexpr uint32_t kDotsMessageLength = 72;
        constexpr int32_t kPagesKept = kDisplayDotsBytes / 128;
        if (page <= kPagesKept && length >= kDotsMessageLength) {
            const int32_t half = (page * 2 - 2) + (d[7] == 0x40 ? 1 : 0);
            std::memcpy(shared.displayDots.data() + half * 64, d + 8, 64);
            shared.displayDataArrived = 1;
        }
    } else if (is({0xF0, 0x7E, 0x7F, 0x09, 0x01})) {
        shared.gmSystemOnSeen = 1;
    } else if (is({0xF0, 0x7F, 0x7F, 0x04, 0x01}) && length >= 7) {
        shared.masterVolume = d[6];
    } else if (is({0xF0, 0x77, 0x10, 0x42, 0x12, 0xF0, 0x00, 0x00}) && length >= 9) {
        shared.userWaveformMode = static_cast<int8_t>(d[8]);
    } else if (is({0xF0, 0x77, 0x10, 0x42, 0x12, 0xF1}) && length >= 8 && d[7] == 0x00) {
        const uint32_t w = d[6];
        if (w < kWaveformRecordCount && length >= 8 + kWaveSteps) {
            for (int i = 0; i < kWaveSteps; ++i) {
                const int8_t s = static_cast<int8_t>(d[8 + i]);
                uploadedWaveBytes[w][i] = s;
                uploadedWaves[w][i] = -256 * s;
            }
        }
    }
    return 0;
}

void WavetableModule::MixVoicesRun(uint32_t* left, uint32_t* right, uint32_t frames) {
    if (ActiveRenderPath() == RenderPath::Plain) {
        MixVoicesPlain(left, right, frames);
        return;
    }
    uint64_t active = activeVoices;
    uint64_t noise = 0;
    for (uint64_t rest = active; rest != 0; rest &= rest - 1) {
        const int index = std::countr_zero(rest);
        if (voices[index].voice.kind == kNoise) noise |= uint64_t{1} << index;
    }
    // One noise voice alone draws in the same order however it is rendered.
    if (std::popcount(noise) < 2) noise = 0;
    for (uint64_t rest = active & ~noise; rest != 0; rest &= rest - 1) {
        const int index = std::countr_zero(rest);
        if (!voices[index].voice.RenderRun(left, right, frames)) active &= ~(uint64_t{1} << index);
    }
    if (noise != 0) {
        const int highest = 63 - std::countl_zero(noise);
        for (uint32_t i = 0; i < frames; ++i) {
            for (int index = highest; index >= 0; --index) {
                const uint64_t bit = uint64_t{1} << index;
                if ((noise & bit) == 0) continue;
                WavetableVoice& voice = voices[index].voice;
                const StereoSample s = voice.RenderSample();
                left[i] += static_cast<uint32_t>(s.left);
                right[i] += static_cast<uint32_t>(s.right);
                if (voice.idle != 0 && voice.transitionPending == 0) {
                    noise &= ~bit;
                    active &= ~bit;
                }
            }
        }
    }
    activeVoices = active;
}

void WavetableModule::MixVoicesPlain(uint32_t* left, uint32_t* right, uint32_t frames) {
    for (uint32_t i = 0; i < frames; ++i) {
        for (int index = kWavetableVoiceCount - 1; index >= 0; --index) {
            const StereoSample s = voices[index].voice.RenderPlainSample();
            left[i] += static_cast<uint32_t>(s.left);
            right[i] += static_cast<uint32_t>(s.right);
        }
    }
    uint64_t active = 0;
    for (int index = 0; index < kWavetableVoiceCount; ++index) {
        const WavetableVoice& voice = voices[index].voice;
        if (voice.idle == 0 || voice.transitionPending != 0) active |= uint64_t{1} << index;
    }
    activeVoices = active;
}

}  // namespace zeblo
