// The render loop and the authoring run as the player drives them.
//
// Threads: as Renderer: Frames() renders on the render thread, StartSnapshotClock runs on the
// owning thread while no render runs. The authoring run runs on the authoring thread.
#pragma once

#include "engine/Player.h"
#include "engine/Renderer.h"

namespace zeblo {

class PlayerRenderer final : public PlayerRenderLoop {
public:
    explicit PlayerRenderer(Renderer& renderer) : renderer_(renderer) {}
    virtual ~PlayerRenderer() = default;

    FrameSource& Frames() override { return renderer_; }
    void StartSnapshotClock() override { renderer_.StartSnapshotClock(); }

private:
    Renderer& renderer_;
};

// Authoring with the render loop: each run loads the converter afresh, so that its messages go
// to the run's own prompt, and reports its progress into bytesAuthored.
AuthoringRun MakeAuthoringRun(EngineContext& engine, Renderer& renderer);

}  // namespace zeblo
