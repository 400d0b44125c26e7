// One display frame's record of all 32 channels: what the view draws. The module that plays fills
// the channel words (RenderingModule::FillSnapshot), the render loop the dots.
//
// Threads: written on the rendering thread; see engine/DisplaySnapshot.h for the ring.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zeblo {

inline constexpr int kSnapshotChannels = 32;

// Word 320-351 (`wave`) of a wavetable snapshot names the waveform to draw: the source in the
// high bits, the row or record index in the low byte; 0 means none. The OPLL engine stores the
// instrument byte there instead (instrument number in bits 4-7), which never sets these bits.
inline constexpr uint32_t kWaveFromRecord = 0x10000;    // | WaveformRecord index
inline constexpr uint32_t kWaveFromUploaded = 0x20000;  // | uploadedWaveBytes row

struct DisplaySnapshot {
    int32_t volume[kSnapshotChannels];
    int32_t expression[kSnapshotChannels];
    int32_t envelopeLevel[kSnapshotChannels];
    int32_t outputLevel[kSnapshotChannels];
    int32_t pan[kSnapshotChannels];
    int32_t pitchBend[kSnapshotChannels];
    int32_t program[kSnapshotChannels];
    int32_t bank[kSnapshotChannels];
    int32_t frequency[kSnapshotChannels];
    int32_t hold[kSnapshotChannels];
    uint32_t wave[kSnapshotChannels];
    int32_t voiceCount[kSnapshotChannels];
    int32_t dotsValid;
    uint8_t dots[64];
};

static_assert(sizeof(DisplaySnapshot) == 401 * 4);
static_assert(offsetof(DisplaySnapshot, wave) == 320 * 4);
static_assert(offsetof(DisplaySnapshot, dotsValid) == 384 * 4);
static_assert(offsetof(DisplaySnapshot, dots) == 385 * 4);

}  // namespace zeblo
