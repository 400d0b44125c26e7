// A fresh engine with its renderer, a song started as authoring starts it, and the render loop's
// steps written out plainly, frame by frame, to compare the real loop with.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/EngineContext.h"
#include "engine/LowPassFilter.h"
#include "engine/RenderMix.h"
#include "engine/Renderer.h"
#include "settings/Settings.h"

namespace zeblo::test {

struct RenderRig {
    explicit RenderRig(int32_t engine = kEngineWavetable, int32_t rate = 44100) {
        record.outputFrequency = rate;
        ComputeEngineParameters(record, parameters);
        context = std::make_unique<EngineContext>(record, parameters);
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

    SettingsRecord record = DefaultSettings();
    EngineParameters parameters;
    std::unique_ptr<EngineContext> context;
    std::unique_ptr<Renderer> renderer;
};

// The loop's steps one frame at a time: Advance, every voice (or chip) in order, then master
// volume, mono, the filter and clipping.
inline std::vector<uint32_t> PlainRender(EngineContext& context) {
    std::vector<uint32_t> out;
    const SettingsRecord& record = context.record;
    const LowPassCoefficients k =
        ComputeLowPassCoefficients(record.lowPassCutoff, context.parameters.sampleRate);
    LowPassState left{};
    LowPassState right{};
    while (context.sequencer.Playing()) {
        context.sequencer.Advance(false);
        if (context.engineFlag == kEngineOpll) {
            const int32_t m = context.opll.MixedSample();
            out.push_back(PackFrame(m, m));
            continue;
        }
        const StereoSample s = context.wavetable.MixVoices();
        const int32_t volume = context.shared.masterVolume;
        int32_t l = ScaleVoiceSum(s.left, volume);
        int32_t r = ScaleVoiceSum(s.right, volume);
        if (record.monauralOutput) l = r = MonoFold(l, r);
        if (record.lowPassEnabled) {
            l = LowPassFilter(left, k, l);
            r = LowPassFilter(right, k, r);
        }
        out.push_back(PackFrame(ClipSample(l), ClipSample(r)));
    }
    return out;
}

}  // namespace zeblo::test
