#include "engine/DisplaySnapshot.h"

#include <algorithm>

namespace zeblo {

void ClearSnapshot(DisplaySnapshot& s) {
    auto* words = reinterpret_cast<int32_t*>(&s);
    std::fill(words, words + 384, 0);
    std::fill(std::begin(s.pan), std::end(s.pan), 64);
    s.dotsValid = 0;
}

std::size_t SnapshotRing::SizeFor(int32_t blockBytes, int32_t sampleRate, int32_t blockCount,
                                  int32_t redrawRate) {
    const int64_t secondsPerBlock = sampleRate > 0 ? (blockBytes / sampleRate) / 4 : 0;
    return static_cast<std::size_t>(secondsPerBlock * blockCount * redrawRate + 1000);
}

void SnapshotRing::Clear() {
    for (auto& r : records_) ClearSnapshot(r);
}

}  // namespace zeblo
