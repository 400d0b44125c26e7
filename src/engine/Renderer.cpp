#include "engine/Renderer.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/RenderMix.h"

namespace zeblo {

Renderer::Renderer(EngineContext& context, DisplayRecords records)
    : context(context),
      ring(records == DisplayRecords::kNone
               ? 0
               : SnapshotRing::SizeFor(context.parameters.blockBytes, context.parameters.sampleRate,
                                       context.parameters.blockCount,
                                       context.parameters.redrawRate)) {
    StartSnapshotClock();
}

void Renderer::ClearFilterHistory() {
    filter[0] = {};
    filter[1] = {};
}

void Renderer::StartSnapshotClock() {
    const int32_t rate = context.parameters.redrawRate;
    snapshotInterval =
        rate > 0 ? static_cast<uint32_t>(std::max(context.parameters.sampleRate, 0) / rate) : 0;
    snapshotCounter = 0;
    snapshotNext = snapshotInterval;
}

uint32_t Renderer::Render(uint32_t* out, uint32_t frames, bool withSnapshots) {
    // Per call: every Advance of this call and the frames after it run under the lock.
    std::lock_guard guard(context.sequencer.Lock());
    const EngineParameters& parameters = context.parameters;
    RenderingModule& module = context.SelectedModule();
    const bool filters = module.TakesOutputFilters();
    const bool mono = filters && parameters.monauralOutput.load(std::memory_order_relaxed);
    const bool lowPass = filters && parameters.lowPassEnabled.load(std::memory_order_relaxed);
    // Computed at every call, whether or not the filter is on.
    const LowPassCoefficients coefficients = ComputeLowPassCoefficients(
        parameters.lowPassCutoff.load(std::memory_order_relaxed), parameters.sampleRate);
    if (withSnapshots && (snapshotInterval == 0 || ring.Size() == 0)) withSnapshots = false;

    Sequencer& sequencer = context.sequencer;
    // A song held at its end stops the call as a stop does; later calls render its ring-out.
    const bool endedBefore = sequencer.Ended();
    uint32_t done = 0;
    while (done < frames && sequencer.Playing() && sequencer.Ended() == endedBefore) {
        const uint32_t run = NextRun(frames - done, withSnapshots, endedBefore);
        module.RenderRun(runLeft, runRight, run);
        uint32_t* frame = out + done;
        if (!mono && !lowPass) {
            PackRun(frame, run);
        } else {
            FilterRun(frame, run, mono, lowPass, coefficients);
        }
        if (withSnapshots) SnapshotFrames(run, module);
        done += run;
    }
    return done;
}

void Renderer::PackRun(uint32_t* frame, uint32_t run) const {
    // Branch-free so that the compiler packs several frames per instruction.
    for (uint32_t i = 0; i < run; ++i) {
        const int32_t left = std::clamp(runLeft[i], -kSampleLimit, kSampleLimit);
        const int32_t right = std::clamp(runRight[i], -kSampleLimit, kSampleLimit);
        frame[i] = PackFrame(left, right);
    }
}

void Renderer::FilterRun(uint32_t* frame, uint32_t run, bool mono, bool lowPass,
                         const LowPassCoefficients& coefficients) {
    for (uint32_t i = 0; i < run; ++i) {
        int32_t left = runLeft[i];
        int32_t right = runRight[i];
        if (mono) left = right = MonoFold(left, right);
        if (lowPass) {
            left = LowPassFilter(filter[0], coefficients, left);
            right = LowPassFilter(filter[1], coefficients, right);
        }
        frame[i] = PackFrame(ClipSample(left), ClipSample(right));
    }
}

uint32_t Renderer::NextRun(uint32_t limit, bool withSnapshots, bool endedBefore) {
    Sequencer& sequencer = context.sequencer;
    sequencer.Advance(false);
    // A step that ended the song still yields its frame; the next frame is not rendered.
    uint32_t run = 1;
    if (sequencer.Playing() && sequencer.Ended() == endedBefore)
        run += sequencer.QuietFrames(limit - 1);
    run = std::min(run, kMixRunFrames);
    if (withSnapshots) {
        // The frame whose old counter passes snapshotNext fills a record: a run ends there.
        const uint64_t untilFill =
            snapshotCounter > snapshotNext ? 1 : uint64_t{snapshotNext} - snapshotCounter + 2;
        run = static_cast<uint32_t>(std::min<uint64_t>(run, untilFill));
    }
    sequencer.CountQuietFrames(run - 1);
    return run;
}

void Renderer::SnapshotFrames(uint32_t frames, const RenderingModule& module) {
    // NextRun ended the run at the first frame that may fill a record.
    snapshotCounter += frames - 1;
    const uint32_t old = snapshotCounter++;
    if (old <= snapshotNext) return;
    snapshotNext += snapshotInterval;
    const std::size_t index = (snapshotNext / snapshotInterval) % ring.Size();
    DisplaySnapshot& s = ring[index];
    module.FillSnapshot(s);
    const Sequencer& sequencer = context.sequencer;
    ring.SetClock(index, {sequencer.TickPosition(), sequencer.TempoBpm() + sequencer.TempoOffset(),
                          sequencer.Header().division});
    // GS display dots stay on the display for a while after they arrive.
    if (context.shared.displayDataArrived.exchange(0, std::memory_order_relaxed) != 0)
        displayHoldSamples = kDisplayHoldSeconds * context.parameters.sampleRate;
    const bool hold = displayHoldSamples > 0;
    s.dotsValid = hold ? 1 : 0;
    if (hold) std::memcpy(s.dots, context.shared.displayDots.data(), sizeof s.dots);
    if (hold) displayHoldSamples -= static_cast<int32_t>(snapshotInterval);
}

}  // namespace zeblo
