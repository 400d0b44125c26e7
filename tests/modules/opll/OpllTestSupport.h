// Shared set-up for the FM chip and module tests.
#pragma once

#include <memory>
#include <vector>

#include "modules/opll/OpllChip.h"
#include "modules/opll/OpllConstants.h"
#include "modules/opll/OpllTables.h"

namespace zeblo::testing {

inline std::unique_ptr<OpllTables> MakeTables(int32_t rate = 44100) {
    auto tables = std::make_unique<OpllTables>();
    OpllInitTables(*tables, kOpllClockHz, rate);
    return tables;
}

struct ChipDeleter {
    void operator()(OpllChip* chip) const { OpllDestroy(chip); }
};
using ChipPtr = std::unique_ptr<OpllChip, ChipDeleter>;

// A chip as the module prepares it: created, reset, default patches loaded.
inline ChipPtr MakeChip(const OpllTables& tables) {
    ChipPtr chip(OpllCreate(tables));
    OpllReset(chip.get());
    OpllLoadDefaultPatches(*chip);
    return chip;
}

inline void WriteUserTone(OpllChip& chip, const uint8_t (&tone)[8]) {
    for (uint32_t a = 0; a < 8; ++a) OpllWriteRegister(chip, a, tone[a]);
}

inline std::vector<int16_t> RunSamples(OpllChip& chip, OpllNoise& noise, int samples) {
    std::vector<int16_t> out(samples);
    for (int i = 0; i < samples; ++i) out[i] = OpllCalcSample(chip, noise);
    return out;
}

}  // namespace zeblo::testing
