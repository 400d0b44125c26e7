// Per-display-frame records of all 32 channels, written by the render loop and drawn by the view.
//
// Threads: the render thread writes records (SnapshotRing::Fill side); the user-interface thread
// reads the record of the frame being heard. Clear() runs on the user-interface thread while no
// render thread exists (view creation, play start).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

// Words 0-383 zero except pan 64, word 384 zero; the dots are left as they are.
void ClearSnapshot(DisplaySnapshot& s);

class SnapshotRing {
public:
    // N = floor(floor(blockBytes / sampleRate) / 4) * blockCount * redrawRate + 1000.
    static std::size_t SizeFor(int32_t blockBytes, int32_t sampleRate, int32_t blockCount,
                               int32_t redrawRate);

    explicit SnapshotRing(std::size_t size) : records_(size) { Clear(); }

    std::size_t Size() const { return records_.size(); }
    DisplaySnapshot& operator[](std::size_t i) { return records_[i]; }
    const DisplaySnapshot& operator[](std::size_t i) const { return records_[i]; }
    void Clear();

private:
    std::vector<DisplaySnapshot> records_;
};

}  // namespace zeblo
