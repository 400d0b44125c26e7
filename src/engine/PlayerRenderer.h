// The render loop as the player drives it.
//
// Threads: as Renderer: Frames() renders on the render thread, StartSnapshotClock runs on the
// owning thread while no render runs.
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

}  // namespace zeblo
