// Working values derived from the settings record at start-up.
#pragma once

#include <atomic>
#include <cstdint>

namespace zeblo {

// Fixed for the whole run except the two active sets, which the Preferences dialog refreshes
// (user-interface thread) while the render thread reads them at every note: hence atomics.
struct EngineParameters {
    int32_t sampleRate = 44100;
    int32_t blockBytes = 352800;
    int32_t redrawRate = 10;
    int32_t blockCount = 10;
    std::atomic<int32_t> activeDrumSet{0};
    std::atomic<int32_t> activeInstrumentSet{0};
};

}  // namespace zeblo
