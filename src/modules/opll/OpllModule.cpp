#include "modules/opll/OpllModule.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "modules/DisplaySnapshot.h"
#include "modules/RenderPath.h"
#include "modules/opll/OpllMidiTables.h"

namespace zeblo {
namespace {

constexpr double kVelocityScale = 0.007874016f;  // 1/127, single precision
// Hz to F-number at block 0: 2^19 * 72 / clock.
constexpr double kFnumPerHzA = 524288.0;
constexpr double kFnumPerHzB = 2.0114288268481047e-05;
constexpr double kBendScale = 0.0001220703125;  // 1/8192

// Rhythm chip set-up: fixed pitches of channels 6-8 and the user tone of every chip.
constexpr uint8_t kRhythmPitchWrites[][2] = {
    {0x0E, 0x20}, {0x16, 0x20}, {0x17, 0x50}, {0x18, 0xC0},
    {0x26, 0x05}, {0x27, 0x05}, {0x28, 0x01},
};
constexpr uint8_t kUserTone[8] = {0x21, 0x22, 0x07, 0x14, 0xE0, 0xFD, 0x65, 0x07};

constexpr int kMelodicVoiceCount = kFmUsableVoices;

struct DrumHit {
    FmDrum drum;
    uint32_t keyBit;
    double levelFactor;
};

// False for notes the rhythm chip does not play.
bool DrumForNote(int32_t program, int32_t note, DrumHit& hit) {
    if (program == 50) {
        hit = note >= 60 ? DrumHit{kFmSnareDrum, 0x08, 1.0} : DrumHit{kFmBassDrum, 0x10, 0.9};
        return true;
    }
    switch (note) {
        case 35:
        case 36:
            hit = {kFmBassDrum, 0x10, 0.9};
            return true;
        case 38:
        case 40:
            hit = {kFmSnareDrum, 0x08, 1.0};
            return true;
        case 41:
        case 43:
        case 45:
        case 47:
        case 48:
        case 50:
            hit = {kFmTomTom, 0x04, 0.7};
            return true;
        case 42:
        case 44:
        case 46:
        case 54:
            hit = {kFmHiHat, 0x01, 0.9};
            return true;
        case 49:
            hit = {kFmTopCymbal, 0x02, 1.0};
            return true;
        case 51:
            hit = {kFmHiHat, 0x01, 0.8};
            return true;
        default:
            return false;
    }
}

// A malformed program above 127 plays as its low seven bits; 127 borrows program 126.
uint8_t InstrumentForProgram(int32_t program) {
    int32_t index = program & 127;
    if (index == 127) index = 126;
    return ProgramToInstrument[index];
}

bool Matches(const MessageHeader& h, const uint8_t* pattern, uint32_t length) {
    if (h.bufferLength < length) return false;
    for (uint32_t i = 0; i < length; ++i) {
        if (h.data[i] != pattern[i]) return false;
    }
    return true;
}

// count successive noise shares (the register's value >> 11 after each step); returns the
// register's value after the last. Once the value is within 16 bits, the next eleven shares are
// bits the register already holds, and eleven steps shift it by eleven with the eleven new bits
// each the exclusive or of two of its present ones.
uint32_t NoiseShares(uint32_t value, uint8_t* shares, uint32_t count) {
    uint32_t i = 0;
    if (count > 0) {
        value = OpllNextNoise(value);
        shares[i++] = static_cast<uint8_t>(value >> 11);
    }
    for (; i + 11 <= count; i += 11) {
        for (uint32_t j = 0; j < 11; ++j)
            shares[i + j] = static_cast<uint8_t>((value >> (10 - j)) & 0x1F);
        value = ((value << 11) & 0xFFFF) | (((value >> 2) ^ (value >> 5)) & 0x7FF);
    }
    for (; i < count; ++i) {
        value = OpllNextNoise(value);
        shares[i] = static_cast<uint8_t>(value >> 11);
    }
    return value;
}

}  // namespace

double NoteFrequency(int32_t note) {
    const int32_t octave = note / 12;
    const float base =
        (octave >= 0 && octave < 20) ? NoteOctaveBase[octave] : kNoteDefaultFrequency;
    const int32_t semitone = note % 12;
    if (semitone >= 1) return static_cast<double>(base) * NoteSemitoneRatio[semitone - 1];
    return base;
}

double BentNoteFrequency(int32_t note, int32_t cents) {
    if (cents == 0) return NoteFrequency(note);
    float f1;
    double f2;
    float r;
    if (cents > 0) {
        const int32_t q = cents / 100;
        r = static_cast<float>(cents - 100 * q);
        f1 = static_cast<float>(NoteFrequency(note + q));
        f2 = NoteFrequency(note + q + 1);
    } else {
        const int32_t q = -cents / 100;
        r = static_cast<float>(-cents - 100 * q);
        f1 = static_cast<float>(NoteFrequency(note - q));
        f2 = NoteFrequency(note - q - 1);
    }
    return f1 + (f2 - f1) * r * 0.01;
}

FmPitch FrequencyToPitch(double frequency) {
    int64_t x = static_cast<int64_t>(std::trunc(frequency * kFnumPerHzA * kFnumPerHzB));
    uint32_t block = 0;
    while (x > 511) {
        x /= 2;
        ++block;
    }
    if (block > 7) return FmPitch{511, 7};
    return FmPitch{static_cast<uint32_t>(x), block};
}

int32_t LevelAttenuation(int32_t level) {
    for (int32_t i = 0; i < 15; ++i) {
        if (level > LevelThresholds[i]) return i;
    }
    return 15;
}

// trunc(s4 * -0.4f) in double is -(2 * s4 / 5) for every 16-bit s4: the float constant's excess
// over 0.4 moves the product by less than 0.0002, never across an integer.
int32_t MixOpllSample(int16_t s0, int16_t s1, int16_t s2, int16_t s3, int16_t s4) {
    const int32_t melodic = (s0 + s1 + s2 + s3) / 2;
    const int32_t rhythm = -(2 * s4 / 5);
    int32_t m = melodic - rhythm;
    if (m > 32767) m = 32767;
    if (m < -32767) m = -32767;
    return m;
}

OpllModule::OpllModule(const EngineParameters& params, ModuleSharedState& shared, OpllNoise& noise,
                       ChipFactory createChip)
    : params(params),
      shared(shared),
      noise(noise),
      createChip(createChip),
      tables(std::make_unique<OpllTables>()) {
    Reset(0);
}

OpllModule::~OpllModule() = default;

void OpllModule::DestroyChips() {
    for (std::unique_ptr<OpllChip>& chip : chips) chip.reset();
    chipsReady = false;
}

// Chips that already exist are re-created in place, so that a reset on the render thread does
// not allocate; only the first reset (or one after a failure) creates them.
bool OpllModule::RebuildChips() {
    const int32_t rate = params.sampleRate;
    if (rate < kOpllMinRateHz || rate > kOpllMaxRateHz) {
        DestroyChips();
        return false;
    }
    if (tables->clock != kOpllClockHz || tables->rate != rate) {
        OpllInitTables(*tables, kOpllClockHz, rate);
    }
    for (std::unique_ptr<OpllChip>& chip : chips) {
        if (chip != nullptr) {
            OpllRecreate(*chip, *tables);
        } else {
            chip = createChip(*tables);
            if (chip == nullptr) {
                DestroyChips();
                return false;
            }
        }
        OpllReset(chip.get());
        OpllLoadDefaultPatches(*chip);
    }
    return true;
}

void OpllModule::Write(int chip, uint32_t address, uint32_t value) {
    if (chips[chip] != nullptr) OpllWriteRegister(*chips[chip], address, value);
}

uint32_t OpllModule::Reset(SoundModuleHandle) {
    nextVoice = 0;
    rhythmKeys = 0x20;
    for (int i = 0; i < kFmVoiceRecords; ++i) {
        voices[i].channel = -1;
        voices[i].voiceNumber = i;
        voices[i].level = 0;
        voices[i].frequency = 0;
    }
    channels.fill(FmChannelState{});
    channels[9].rhythmPart = 1;

    chipsReady = RebuildChips();
    drumAttenuations.fill(0);
    for (const auto& w : kRhythmPitchWrites) Write(kOpllRhythmChip, w[0], w[1]);
    for (int chip = 0; chip < kOpllChipCount; ++chip) {
        for (uint32_t a = 0; a < 8; ++a) Write(chip, a, kUserTone[a]);
    }
    return 0;
}

int32_t OpllModule::MixedSample() {
    if (!chipsReady) return 0;
    const bool plain = ActiveRenderPath() == RenderPath::Plain;
    int16_t s[kOpllChipCount];
    for (int i = 0; i < kOpllChipCount; ++i)
        s[i] = plain ? OpllCalcSamplePlain(*chips[i], noise) : OpllCalcSample(*chips[i], noise);
    return MixOpllSample(s[0], s[1], s[2], s[3], s[4]);
}

void OpllModule::MixedRun(int32_t* out, uint32_t count) {
    if (!chipsReady) {
        for (uint32_t i = 0; i < count; ++i) out[i] = 0;
        return;
    }
    if (ActiveRenderPath() == RenderPath::Plain) {
        for (uint32_t i = 0; i < count; ++i) out[i] = MixedSample();
        return;
    }
    while (count > 0) {
        const uint32_t n = count < kRunChunk ? count : kRunChunk;
        // Chips 0-4 of one frame take successive values of the shared register.
        noise.value = NoiseShares(noise.value, runNoise, n * kOpllChipCount);
        for (int c = 0; c < kOpllChipCount; ++c)
            OpllCalcRun(*chips[c], runNoise + c, kOpllChipCount, runSamples[c], n);
        for (uint32_t i = 0; i < n; ++i) {
            out[i] = MixOpllSample(runSamples[0][i], runSamples[1][i], runSamples[2][i],
                                   runSamples[3][i], runSamples[4][i]);
        }
        out += n;
        count -= n;
    }
}

void OpllModule::RenderRun(int32_t* left, int32_t* right, uint32_t frames) {
    MixedRun(left, frames);
    std::copy_n(left, frames, right);
}

void OpllModule::FillSnapshot(DisplaySnapshot& s) const {
    // Bank is not written.
    for (int c = 0; c < kFmMidiChannels; ++c) {
        const FmChannelState& channel = channels[c];
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
    for (const FmVoice& voice : voices) {
        if (voice.channel < 0 || voice.channel >= kFmMidiChannels) continue;
        const int c = voice.channel;
        s.envelopeLevel[c] = std::min(voice.level, 127);
        s.outputLevel[c] = voice.level;
        s.frequency[c] = voice.frequency;
        s.wave[c] = voice.instrument;
        ++s.voiceCount[c];
    }
    std::memcpy(s.dots, shared.displayDots.data(), sizeof s.dots);
}

uint32_t OpllModule::ShortMsg(SoundModuleHandle, uint32_t message, uint32_t) {
    const uint32_t status = message & 0xFF;
    const int channel = static_cast<int>(status & 0x0F);
    const uint32_t data1 = (message >> 8) & 0xFF;
    const uint32_t data2 = (message >> 16) & 0xFF;
    switch (status & 0xF0) {
        case 0x80:
            NoteOff(channel, static_cast<int32_t>(data1));
            break;
        case 0x90:
            if (data2 == 0) {
                NoteOff(channel, static_cast<int32_t>(data1));
            } else if (shared.channelMute[channel].load(std::memory_order_relaxed) == 0) {
                if (channels[channel].rhythmPart) {
                    RhythmNoteOn(channel, static_cast<int32_t>(data1), static_cast<int32_t>(data2));
                } else {
                    MelodicNoteOn(channel, static_cast<int32_t>(data1),
                                  static_cast<int32_t>(data2));
                }
            }
            break;
        case 0xB0:
            ControlChange(channel, data1, data2);
            break;
        case 0xC0:
            channels[channel].program = static_cast<int32_t>(data1);
            break;
        case 0xE0:
            PitchBend(channel, data1, data2);
            break;
        default:
            break;
    }
    return 0;
}

// Drums are never released: they decay by themselves.
void OpllModule::NoteOff(int channel, int32_t note) {
    if (channels[channel].rhythmPart) return;
    const uint32_t sustainBit = channels[channel].sustainPedal != 0 ? 0x20 : 0;
    for (int i = kMelodicVoiceCount - 1; i >= 0; --i) {
        FmVoice& v = voices[i];
        if (v.channel != channel || v.note != note) continue;
        Write(i / kOpllChannels, 0x20 + i % kOpllChannels, sustainBit | (v.keyValue & ~0x10u));
        v.channel = -1;
    }
}

int OpllModule::AllocateVoice() {
    if (voices[nextVoice].channel == -1) {
        const int v = nextVoice;
        nextVoice = nextVoice == kMelodicVoiceCount - 1 ? 0 : nextVoice + 1;
        return v;
    }
    for (int i = kMelodicVoiceCount - 1; i >= 0; --i) {
        if (voices[i].channel == -1) {
            nextVoice = i + 1 == kMelodicVoiceCount ? 0 : i + 1;
            return i;
        }
    }
    return -1;
}

void OpllModule::MelodicNoteOn(int channel, int32_t note, int32_t velocity) {
    const int index = AllocateVoice();
    if (index < 0) return;
    FmVoice& v = voices[index];
    const FmChannelState& ch = channels[channel];
    v.channel = channel;
    v.note = note;

    const double f = BentNoteFrequency(note, ch.bendCents);
    const FmPitch pitch = FrequencyToPitch(f);
    v.instrument = InstrumentForProgram(ch.program);

    int32_t level = static_cast<int32_t>(std::trunc(ch.noteLevelBase * kVelocityScale * velocity));
    const float factor = InstrumentLevelFactor[v.instrument >> 4];
    if (factor != 1.0f)
        level = static_cast<int32_t>(std::trunc(level * static_cast<double>(factor)));
    v.level = level;
    v.frequency = static_cast<int32_t>(std::trunc(f));

    const int chip = index / kOpllChannels;
    const uint32_t c = static_cast<uint32_t>(index % kOpllChannels);
    Write(chip, 0x30 + c, v.instrument | static_cast<uint32_t>(LevelAttenuation(level)));
    Write(chip, 0x10 + c, pitch.fnum & 0xFF);
    v.keyValue = static_cast<uint8_t>(((pitch.fnum >> 8) + 2 * pitch.block) | 0x10);
    Write(chip, 0x20 + c, v.keyValue);
}

// Every drum note releases and re-keys its instrument on the rhythm chip.
void OpllModule::RhythmNoteOn(int channel, int32_t note, int32_t velocity) {
    DrumHit hit;
    if (!DrumForNote(channels[channel].program, note, hit)) return;
    const float rawLevel =
        static_cast<float>(channels[channel].noteLevelBase * kVelocityScale * velocity);
    const int32_t level = static_cast<int32_t>(std::trunc(rawLevel * hit.levelFactor));
    drumAttenuations[hit.drum] = LevelAttenuation(level);

    const uint32_t before = rhythmKeys;
    rhythmKeys = before | hit.keyBit;
    const auto att = [this](FmDrum d) { return static_cast<uint32_t>(drumAttenuations[d]); };
    Write(kOpllRhythmChip, 0x36, att(kFmBassDrum));
    Write(kOpllRhythmChip, 0x37, (att(kFmHiHat) << 4) | att(kFmSnareDrum));
    Write(kOpllRhythmChip, 0x38, (att(kFmTomTom) << 4) | att(kFmTopCymbal));
    Write(kOpllRhythmChip, 0x0E, before & ~hit.keyBit);
    Write(kOpllRhythmChip, 0x0E, rhythmKeys);
}

void OpllModule::ControlChange(int channel, uint32_t controller, uint32_t value) {
    FmChannelState& ch = channels[channel];
    const int32_t v = static_cast<int32_t>(value);
    switch (controller) {
        case 6:
            if (ch.rpnMsb == 0 && ch.rpnLsb == 0 && v <= 24) ch.bendRange = v;
            break;
        case 64:
            ch.sustainPedal = v;
            break;
        case 100:
            ch.rpnLsb = v;
            break;
        case 101:
            ch.rpnMsb = v;
            break;
        default:
            break;
    }
}

// Re-tunes the channel's sounding voices without re-keying them.
void OpllModule::PitchBend(int channel, uint32_t lsb, uint32_t msb) {
    FmChannelState& ch = channels[channel];
    if (ch.rhythmPart) return;
    const int32_t value = (static_cast<int32_t>(msb) - 64) * 128 + static_cast<int32_t>(lsb);
    ch.pitchBend = value;
    ch.bendCents = static_cast<int32_t>(std::trunc(ch.bendRange * 100.0 * value * kBendScale));
    for (int i = kMelodicVoiceCount - 1; i >= 0; --i) {
        FmVoice& v = voices[i];
        if (v.channel != channel) continue;
        const FmPitch pitch = FrequencyToPitch(BentNoteFrequency(v.note, ch.bendCents));
        const int chip = i / kOpllChannels;
        const uint32_t c = static_cast<uint32_t>(i % kOpllChannels);
        Write(chip, 0x10 + c, pitch.fnum & 0xFF);
        v.keyValue =
            static_cast<uint8_t>(((pitch.fnum >> 8) + 2 * pitch.block) | (v.keyValue & 0xF0));
        Write(chip, 0x20 + c, v.keyValue);
    }
}

uint32_t OpllModule::LongMsg(SoundModuleHandle, MessageHeader* header, uint32_t, uint32_t) {
    if (header == nullptr || header->data == nullptr) return 0;
    const MessageHeader& h = *header;
    const uint8_t* d = h.data;

    static constexpr uint8_t kGsPrefix[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40};
    static constexpr uint8_t kGsReset[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00};
    static constexpr uint8_t kDisplayPrefix[] = {0xF0, 0x41, 0x10, 0x45, 0x12, 0x10};
    static constexpr uint8_t kGmOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01};

    if (Matches(h, kGsPrefix, sizeof kGsPrefix) && h.bufferLength >= 9 && (d[6] & 0xF0) == 0x10 &&
        d[7] == 0x15) {
        const int part = d[6] & 0x0F;
        const int channel = part == 0 ? 9 : (part <= 9 ? part - 1 : part);
        channels[channel].rhythmPart = d[8] != 0 ? 1 : 0;
    } else if (Matches(h, kGsReset, sizeof kGsReset)) {
        shared.gsResetSeen.store(1);
    } else if (Matches(h, kDisplayPrefix, sizeof kDisplayPrefix) && h.bufferLength >= 72) {
        // Only pages 1-5 fit the dot buffer; later pages are ignored.
        const int page = d[6];
        if (page >= 1 && page <= 5) {
            const int offset = (2 * (page - 1) + (d[7] == 0x40 ? 1 : 0)) * 64;
            for (int i = 0; i < 64; ++i) shared.displayDots[offset + i] = d[8 + i];
            shared.displayDataArrived.store(1);
        }
    } else if (Matches(h, kGmOn, sizeof kGmOn)) {
        shared.gmSystemOnSeen.store(1);
    }
    return 0;
}

}  // namespace zeblo
