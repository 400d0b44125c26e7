// A fresh engine with its renderer, and a song started as authoring starts it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/EngineContext.h"
#include "engine/Renderer.h"
#include "settings/Settings.h"

namespace zeblo::test {

struct RenderRig {
    explicit RenderRig(int32_t engine = kEngineWavetable, int32_t rate = 44100) {
        SettingsRecord record = DefaultSettings();
        record.outputFrequency = rate;
        ComputeEngineParameters(record, parameters);
        context = std::make_unique<EngineContext>(parameters);
        context->engineFlag = engine;
        renderer = std::make_unique<Renderer>(*context);
    }

    // The module the engine flag selects, reset and given to the sequencer; the song loaded
    // without looping, started and stepped once.
    bool Start(const std::vector<uint8_t>& song) {
        Sequencer& sequencer = context->sequencer;
        SoundModule& module = context->SelectedModule();
        module.Reset(0);
        sequencer.SetModule(&module);
        sequencer.SetLoop(false);
        if (!sequencer.LoadImage(song)) return false;
        sequencer.Start();
        sequencer.Advance(true);
        return true;
    }

    // Everything Render gives in calls of `chunk` frames, until a short call.
    std::vector<uint32_t> RenderAll(uint32_t chunk, bool withSnapshots = false) {
        std::vector<uint32_t> out;
        std::vector<uint32_t> buffer(chunk);
        for (;;) {
            const uint32_t got = renderer->Render(buffer.data(), chunk, withSnapshots);
            out.insert(out.end(), buffer.begin(), buffer.begin() + got);
            if (got < chunk) return out;
        }
    }

    EngineParameters parameters;
    std::unique_ptr<EngineContext> context;
    std::unique_ptr<Renderer> renderer;
};

}  // namespace zeblo::test
