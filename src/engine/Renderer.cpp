#include "engine/Renderer.h"

#include <algorithm>
#include <mutex>

#include "engine/RenderMix.h"

namespace zeblo {

namespace {

// The record belongs to the settings, which the user-interface thread may write while we render:
// each field is read as one whole word. The record itself is never const.
int32_t ReadSetting(const int32_t& field) {
    return ReadShared(const_cast<int32_t&>(field));
}

}  // namespace

struct Renderer::MixSettings {
    bool mono = false;
    bool lowPass = false;
    LowPassCoefficients coefficients;
};

Renderer::Renderer(EngineContext& context)
    : context(context),
      ring(SnapshotRing::SizeFor(context.parameters.blockBytes, context.parameters.sampleRate,
                                 context.parameters.blockCount, context.parameters.redrawRate)) {
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
    const SettingsRecord& record = context.record;
    MixSettings mix;
    mix.mono = ReadSetting(record.monauralOutput) != 0;
    mix.lowPass = ReadSetting(record.lowPassEnabled) != 0;
    // Computed at every call, whether or not the filter is on.
    mix.coefficients = ComputeLowPassCoefficients(ReadSetting(record.lowPassCutoff),
                                                  context.parameters.sampleRate);
    if (withSnapshots && (snapshotInterval == 0 || ring.Size() == 0)) withSnapshots = false;
    if (context.engineFlag.load(std::memory_order_relaxed) == kEngineOpll)
        return RenderOpll(out, frames, withSnapshots);
    return RenderWavetable(out, frames, withSnapshots, mix);
}

uint32_t Renderer::NextRun(uint32_t limit, bool withSnapshots) {
    Sequencer& sequencer = context.sequencer;
    sequencer.Advance(false);
    // A step that ended the song still yields its frame; the next frame is not rendered.
    uint32_t run = 1;
    if (sequencer.Playing()) run += sequencer.QuietFrames(limit - 1);
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

uint32_t Renderer::RenderWavetable(uint32_t* out, uint32_t frames, bool withSnapshots,
                                   const MixSettings& mix) {
    Sequencer& sequencer = context.sequencer;
    WavetableModule& module = context.wavetable;
    uint32_t done = 0;
    while (done < frames && sequencer.Playing()) {
        const uint32_t run = NextRun(frames - done, withSnapshots);
        std::fill_n(mixLeft, run, 0u);
        std::fill_n(mixRight, run, 0u);
        module.MixVoicesRun(mixLeft, mixRight, run);
        // Only the module's messages change it, and they arrive at the run's first frame.
        const int32_t masterVolume = context.shared.masterVolume.load(std::memory_order_relaxed);
        uint32_t* frame = out + done;
        for (uint32_t i = 0; i < run; ++i) {
            int32_t left = ScaleVoiceSum(static_cast<int32_t>(mixLeft[i]), masterVolume);
            int32_t right = ScaleVoiceSum(static_cast<int32_t>(mixRight[i]), masterVolume);
            if (mix.mono) left = right = MonoFold(left, right);
            if (mix.lowPass) {
                left = LowPassFilter(filter[0], mix.coefficients, left);
                right = LowPassFilter(filter[1], mix.coefficients, right);
            }
            frame[i] = PackFrame(ClipSample(left), ClipSample(right));
        }
        if (withSnapshots) SnapshotFrames(run, false);
        done += run;
    }
    return done;
}

uint32_t Renderer::RenderOpll(uint32_t* out, uint32_t frames, bool withSnapshots) {
    Sequencer& sequencer = context.sequencer;
    OpllModule& module = context.opll;
    uint32_t done = 0;
    while (done < frames && sequencer.Playing()) {
        const uint32_t run = NextRun(frames - done, withSnapshots);
        uint32_t* frame = out + done;
        int32_t* mixed = reinterpret_cast<int32_t*>(mixLeft);
        module.MixedRun(mixed, run);
        for (uint32_t i = 0; i < run; ++i) frame[i] = PackFrame(mixed[i], mixed[i]);
        if (withSnapshots) SnapshotFrames(run, true);
        done += run;
    }
    return done;
}

void Renderer::SnapshotFrames(uint32_t frames, bool opll) {
    // NextRun ended the run at the first frame that may fill a record.
    snapshotCounter += frames - 1;
    const uint32_t old = snapshotCounter++;
    if (old <= snapshotNext) return;
    snapshotNext += snapshotInterval;
    DisplaySnapshot& s = ring[(snapshotNext / snapshotInterval) % ring.Size()];
    if (opll) {
        FillOpllSnapshot(s);
    } else {
        FillWavetableSnapshot(s);
    }
    FinishSnapshot(s, opll);
}

}  // namespace zeblo
