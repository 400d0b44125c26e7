// The render loop: the one place where sound is made. It lets the sequencer deliver what is due,
// has the module the engine flag selects render the run of frames up to the next message, puts
// the run through the output stage (mono fold-down, low-pass, clipping), and while playing in
// real time has the module fill a display snapshot at the display's rate.
//
// Threads: Render runs on the render thread of real-time playback or on the authoring thread,
// never on both at once. It takes the sequencer's lock once per call and holds it for every
// Advance of the call and the frames that follow them: a seek or speed change on the
// user-interface thread waits for at most one call (the producer's chunk, or one authoring chunk).
// ClearFilterHistory runs on the thread that is about to call Render. StartSnapshotClock and
// Snapshots().Clear() run on the owning thread while no render runs (view creation, play start).
// The user-interface thread reads Snapshots() records without a lock.
#pragma once

#include <cstdint>

#include "engine/DisplaySnapshot.h"
#include "engine/EngineContext.h"
#include "engine/FrameSource.h"
#include "engine/LowPassFilter.h"
#include "engine/RenderConstants.h"

namespace zeblo {

// Whether a renderer keeps the ring of display records: a command-line render never draws them,
// and clearing the ring (about 2 MB) was the largest part of its start-up.
enum class DisplayRecords { kKept, kNone };

class Renderer final : public FrameSource {
public:
    // The snapshot ring is sized from the context's parameters (SnapshotRing::SizeFor) and
    // cleared, or left empty; the snapshot clock starts as at a play start.
    explicit Renderer(EngineContext& context, DisplayRecords records = DisplayRecords::kKept);
    virtual ~Renderer() = default;

    // Writes up to `frames` frames (left sample in the low half) and returns how many; fewer only
    // when the song ended during the call, 0 when it was not playing. A song held at its end
    // (Sequencer::SetHoldAtEnd) keeps sounding in later calls, which render the module alone. With
    // withSnapshots, the display records are written into Snapshots().
    uint32_t Render(uint32_t* out, uint32_t frames, bool withSnapshots) override;

    // Both channels' filter history to 0 (each render or authoring run starts with this).
    void ClearFilterHistory() override;

    // Play start: snapshotInterval = sampleRate / redrawRate, snapshotCounter = 0,
    // snapshotNext = snapshotInterval.
    void StartSnapshotClock();

    SnapshotRing& Snapshots() { return ring; }
    const SnapshotRing& Snapshots() const { return ring; }
    uint32_t SnapshotInterval() const { return snapshotInterval; }
    uint32_t SnapshotCounter() const { return snapshotCounter; }
    uint32_t SnapshotNext() const { return snapshotNext; }
    int32_t DisplayHoldSamples() const { return displayHoldSamples; }
    const LowPassState& FilterHistory(int channel) const { return filter[channel]; }

    EngineContext& Context() { return context; }

private:
    // Frames, from the next one, that the sequencer only counts; the first of them is
    // preceded by a real Advance. Bounded by `limit` and by the next snapshot; one frame when
    // that Advance ended the song.
    uint32_t NextRun(uint32_t limit, bool withSnapshots, bool endedBefore);
    // Counts `frames` frames on the snapshot clock, the last of which may fill a record from the
    // module this call renders with.
    void SnapshotFrames(uint32_t frames, const RenderingModule& module);
    // The run's mix, clipped and packed into frames; FilterRun folds and filters it first.
    void PackRun(uint32_t* frame, uint32_t run) const;
    void FilterRun(uint32_t* frame, uint32_t run, bool mono, bool lowPass,
                   const LowPassCoefficients& coefficients);

    EngineContext& context;
    SnapshotRing ring;
    LowPassState filter[2];
    uint32_t snapshotInterval = 0;
    uint32_t snapshotCounter = 0;
    uint32_t snapshotNext = 0;
    int32_t displayHoldSamples = 0;
    // The module's samples of one run.
    int32_t runLeft[kMixRunFrames];
    int32_t runRight[kMixRunFrames];
};

}  // namespace zeblo
