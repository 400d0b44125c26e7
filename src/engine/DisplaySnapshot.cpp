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

SongClock SnapshotRing::Clock(std::size_t i) const {
    const SharedClock& c = clocks_[i];
    return {c.tick.load(std::memory_order_relaxed), c.tempoBpm.load(std::memory_order_relaxed),
            c.division.load(std::memory_order_relaxed)};
}

void SnapshotRing::SetClock(std::size_t i, const SongClock& clock) {
    SharedClock& c = clocks_[i];
    c.tick.store(clock.tick, std::memory_order_relaxed);
    c.tempoBpm.store(clock.tempoBpm, std::memory_order_relaxed);
    c.division.store(clock.division, std::memory_order_relaxed);
}

void SnapshotRing::Clear() {
    for (auto& r : records_) ClearSnapshot(r);
    for (std::size_t i = 0; i < records_.size(); ++i) SetClock(i, {});
}

}  // namespace zeblo
