#include "engine/EngineContext.h"

namespace zeblo {

EngineContext::EngineContext(const EngineParameters& parameters)
    : parameters(parameters),
      wavetable(parameters, shared, random),
      opll(parameters, shared, opllNoise),
      sequencer(parameters) {}

RenderingModule& EngineContext::SelectedModule() {
    if (engineFlag.load(std::memory_order_relaxed) == kEngineOpll) return opll;
    return wavetable;
}

}  // namespace zeblo
