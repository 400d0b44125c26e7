#include "engine/EngineContext.h"

namespace zeblo {

EngineContext::EngineContext(const SettingsRecord& record, const EngineParameters& parameters)
    : record(record),
      parameters(parameters),
      opllTables(std::make_unique<OpllTables>()),
      wavetable(record, parameters, shared, random),
      opll(parameters, shared, opllNoise, *opllTables),
      sequencer(parameters) {}

SoundModule& EngineContext::SelectedModule() {
    if (engineFlag.load(std::memory_order_relaxed) == kEngineOpll) return opll;
    return wavetable;
}

}  // namespace zeblo
