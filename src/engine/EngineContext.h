// The sound engine of one process: the objects that exist once per run, wired together.
//
// Threads: constructed and destroyed on the thread that owns the program (the user-interface
// thread, or the command-line main). The members carry their own threading rules; the engine
// flag is read by the render loop at every call and written only by the view's engine switch.
#pragma once

#include <atomic>
#include <cstdint>

#include "midi/Sequencer.h"
#include "modules/ModuleSharedState.h"
#include "modules/SoundModule.h"
#include "modules/opll/OpllModule.h"
#include "modules/wavetable/Mt19937.h"
#include "modules/wavetable/WavetableModule.h"
#include "settings/EngineParameters.h"

namespace zeblo {

inline constexpr int32_t kEngineWavetable = 0;
inline constexpr int32_t kEngineOpll = 1;

class EngineContext {
public:
    // The parameters outlive the context (they belong to the settings).
    explicit EngineContext(const EngineParameters& parameters);
    EngineContext(const EngineContext&) = delete;
    EngineContext& operator=(const EngineContext&) = delete;

    // The module the engine flag selects: the one the render loop plays through.
    RenderingModule& SelectedModule();

    const EngineParameters& parameters;
    ModuleSharedState shared;
    Mt19937 random;
    OpllNoise opllNoise;
    WavetableModule wavetable;
    OpllModule opll;
    Sequencer sequencer;
    std::atomic<int32_t> engineFlag{kEngineWavetable};
};

}  // namespace zeblo
