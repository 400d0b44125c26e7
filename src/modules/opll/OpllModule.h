// The FM sound module: General MIDI channel messages played on five emulated chips, four for
// melodic notes (35 voices) and one in rhythm mode for the drums.
//
// Threads: Reset, ShortMsg and LongMsg run on the thread that runs the render loop (render or
// authoring thread), or on the user-interface thread under the sequencer lock (seek, speed change)
// or before the render thread starts. MixedSample (or the render loop's own calls of
// OpllCalcSample on Chip(0..4)) must run under that same lock. The accessors for the display
// snapshot are read on the render thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "modules/ModuleSharedState.h"
#include "modules/SoundModule.h"
#include "modules/opll/OpllChip.h"
#include "modules/opll/OpllConstants.h"
#include "modules/opll/OpllTables.h"
#include "settings/EngineParameters.h"

namespace zeblo {

struct FmVoice {
    int32_t channel = -1;  // MIDI channel 0-15; -1 = free
    int32_t note = 0;
    int32_t voiceNumber = 0;  // the record's own index
    uint8_t instrument = 0;   // chip instrument number in bits 4-7
    uint8_t keyValue = 0;     // last value written to the voice's key register
    int32_t level = 0;        // note level, for the display
    int32_t frequency = 0;    // whole Hz, for the display
};

// Per MIDI channel; ports 0 and 1 share these.
struct FmChannelState {
    int32_t bendCents = 0;
    int32_t bendRange = 2;  // semitones
    int32_t displayValue = 127;
    int32_t noteLevelBase = 100;
    int32_t program = 1;
    int32_t sustainPedal = 0;  // last controller 64 value
    int32_t rpnMsb = 127;
    int32_t rpnLsb = 127;
    int32_t pitchBend = 0;  // -8192..8191
    int32_t rhythmPart = 0;
};

enum FmDrum { kFmBassDrum = 0, kFmSnareDrum, kFmTomTom, kFmTopCymbal, kFmHiHat, kFmDrumCount };

struct FmPitch {
    uint32_t fnum = 0;   // 0-511
    uint32_t block = 0;  // 0-7
};

double NoteFrequency(int32_t note);
// The note's frequency moved by a whole number of cents, interpolated linearly in Hz.
double BentNoteFrequency(int32_t note, int32_t cents);
// Halves until the F-number fits nine bits; past block 7 it is held at block 7, F-number 511.
FmPitch FrequencyToPitch(double frequency);
// 0 (loudest) to 15 (a level above none of the thresholds).
int32_t LevelAttenuation(int32_t level);
// Four melodic chip samples halved plus 0.4 of the rhythm chip's, clipped to -32767..32767.
int32_t MixOpllSample(int16_t s0, int16_t s1, int16_t s2, int16_t s3, int16_t s4);

class OpllModule final : public RenderingModule {
public:
    using ChipFactory = std::unique_ptr<OpllChip> (*)(const OpllTables&);

    // The module reads the output rate from params at every Reset and rebuilds its tables for it.
    OpllModule(const EngineParameters& params, ModuleSharedState& shared, OpllNoise& noise,
               ChipFactory createChip = OpllCreate);
    virtual ~OpllModule();
    OpllModule(const OpllModule&) = delete;
    OpllModule& operator=(const OpllModule&) = delete;

    uint32_t Reset(SoundModuleHandle handle) override;
    uint32_t ShortMsg(SoundModuleHandle handle, uint32_t message, uint32_t port) override;
    uint32_t LongMsg(SoundModuleHandle handle, MessageHeader* header, uint32_t size,
                     uint32_t port) override;

    // False when the last Reset could not create every chip (or had no usable rate): the module
    // is then silent until a Reset succeeds.
    bool ChipsReady() const { return chipsReady; }
    // Chips 0-3 melodic, 4 rhythm; null while not ready.
    OpllChip* Chip(int index) const { return chips[index].get(); }
    OpllNoise& Noise() const { return noise; }
    // One output sample: the five chips in order, then the mix. 0 while not ready.
    int32_t MixedSample();
    // count output samples, as count MixedSample calls would give; on the plain render path,
    // by plain samples one at a time.
    void MixedRun(int32_t* out, uint32_t count);

    // The mix on both sides: it is mono, and neither clipped again nor filtered.
    void RenderRun(int32_t* left, int32_t* right, uint32_t frames) override;
    bool TakesOutputFilters() const override { return false; }
    // Channels 0-15 and the display dots; 16-31 are left as they are (ports share channels).
    void FillSnapshot(DisplaySnapshot& s) const override;

    const std::array<FmVoice, kFmVoiceRecords>& Voices() const { return voices; }
    const FmChannelState& Channel(int midiChannel) const { return channels[midiChannel]; }
    int32_t NextVoice() const { return nextVoice; }
    uint32_t RhythmKeys() const { return rhythmKeys; }
    int32_t DrumAttenuation(FmDrum drum) const { return drumAttenuations[drum]; }

private:
    void DestroyChips();
    bool RebuildChips();
    void Write(int chip, uint32_t address, uint32_t value);
    void NoteOff(int channel, int32_t note);
    void MelodicNoteOn(int channel, int32_t note, int32_t velocity);
    void RhythmNoteOn(int channel, int32_t note, int32_t velocity);
    void ControlChange(int channel, uint32_t controller, uint32_t value);
    void PitchBend(int channel, uint32_t lsb, uint32_t msb);
    int AllocateVoice();

    const EngineParameters& params;
    ModuleSharedState& shared;
    OpllNoise& noise;
    ChipFactory createChip;

    std::unique_ptr<OpllTables> tables;  // large: kept on the heap
    std::array<std::unique_ptr<OpllChip>, kOpllChipCount> chips;
    bool chipsReady = false;
    // MixedRun's scratch: the noise shares of a chunk, frame-major, and each chip's samples.
    static constexpr uint32_t kRunChunk = 256;
    uint8_t runNoise[kRunChunk * kOpllChipCount] = {};
    int16_t runSamples[kOpllChipCount][kRunChunk] = {};
    std::array<FmVoice, kFmVoiceRecords> voices{};
    int32_t nextVoice = 0;
    uint32_t rhythmKeys = 0x20;
    std::array<FmChannelState, kFmMidiChannels> channels{};
    std::array<int32_t, kFmDrumCount> drumAttenuations{};
};

}  // namespace zeblo
