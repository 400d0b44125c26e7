// What the producer renders from: the render loop, or any source of the same shape.
//
// Threads: both operations run on the render thread only.
#pragma once

#include <cstdint>

namespace zeblo {

class FrameSource {
public:
    // Writes up to `frames` stereo frames (left in the low half) and returns how many it wrote;
    // fewer than asked only when the song ended during the call, 0 when it was not playing.
    virtual uint32_t Render(uint32_t* out, uint32_t frames, bool withSnapshots) = 0;

    // Forgets the output filter's history; called once as each render thread starts.
    virtual void ClearFilterHistory() = 0;

protected:
    FrameSource() = default;
    ~FrameSource() = default;
    FrameSource(const FrameSource&) = delete;
    FrameSource& operator=(const FrameSource&) = delete;
};

}  // namespace zeblo
