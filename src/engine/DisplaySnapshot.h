// The ring of per-display-frame records (modules/DisplaySnapshot.h), written by the render loop
// and drawn by the view, each with the song clock of its moment.
//
// Threads: the render thread writes records (SnapshotRing::Fill side); the user-interface thread
// reads the record of the frame being heard. Clear() runs on the user-interface thread while no
// render thread exists (view creation, play start). The clocks are atomics: any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "modules/DisplaySnapshot.h"

namespace zeblo {

// Words 0-383 zero except pan 64, word 384 zero; the dots are left as they are.
void ClearSnapshot(DisplaySnapshot& s);

// Where the song stood when a record was written: ticks since its start, the tempo in beats per
// minute with the fast-forward added, and its ticks per quarter note (0: not written yet).
struct SongClock {
    uint64_t tick = 0;
    int32_t tempoBpm = 0;
    int32_t division = 0;
    bool operator==(const SongClock&) const = default;
};

class SnapshotRing {
public:
    // N = floor(floor(blockBytes / sampleRate) / 4) * blockCount * redrawRate + 1000.
    static std::size_t SizeFor(int32_t blockBytes, int32_t sampleRate, int32_t blockCount,
                               int32_t redrawRate);

    explicit SnapshotRing(std::size_t size)
        : records_(size), clocks_(std::make_unique<SharedClock[]>(size)) {
        Clear();
    }

    std::size_t Size() const { return records_.size(); }
    DisplaySnapshot& operator[](std::size_t i) { return records_[i]; }
    const DisplaySnapshot& operator[](std::size_t i) const { return records_[i]; }
    // The song clock written with record i; Clear() zeroes every one.
    SongClock Clock(std::size_t i) const;
    void SetClock(std::size_t i, const SongClock& clock);
    void Clear();

private:
    // Read while the render thread writes: each word whole, the three not necessarily together.
    struct SharedClock {
        std::atomic<uint64_t> tick{0};
        std::atomic<int32_t> tempoBpm{0};
        std::atomic<int32_t> division{0};
    };

    std::vector<DisplaySnapshot> records_;
    std::unique_ptr<SharedClock[]> clocks_;
};

}  // namespace zeblo
