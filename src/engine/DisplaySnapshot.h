// The ring of per-display-frame records (modules/DisplaySnapshot.h), written by the render loop
// and drawn by the view.
//
// Threads: the render thread writes records (SnapshotRing::Fill side); the user-interface thread
// reads the record of the frame being heard. Clear() runs on the user-interface thread while no
// render thread exists (view creation, play start).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "modules/DisplaySnapshot.h"

namespace zeblo {

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
