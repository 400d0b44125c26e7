// What part of a song an authoring run writes and how the written sound ends: the song played
// several times in a row, a start reached by seeking, a length limit, a ring-out after the song's
// end and a fade to silence over the last frames written. The defaults write the song once, whole.
//
// Threads: a SpanRender belongs to the thread that runs the render loop (the authoring thread, or
// a command-line render job); it uses the renderer as Authoring does.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/Renderer.h"

namespace zeblo {

struct AuthoringSpan {
    uint32_t plays = 1;       // the song this many times, each restart as the window's loop does
    uint64_t startTick = 0;   // 0: from the beginning; else reached by the sequencer's seek
    uint64_t maxFrames = 0;   // 0: no limit
    uint64_t tailFrames = 0;  // rendered after the last play's end
    uint64_t fadeFrames = 0;  // the last frames written fade out to silence

    bool Plain() const {
        return plays == 1 && startTick == 0 && maxFrames == 0 && tailFrames == 0 && fadeFrames == 0;
    }
};

// The gain of a frame `remaining` frames before the end of a fade `length` frames long: a raised
// cosine from 1 down to exactly 0 at the last frame (remaining 1), flat at both ends, so the fade
// starts and ends without a kink.
double FadeGain(uint64_t remaining, uint64_t length);

// The renderer's frames cut, lengthened and faded as the span asks. The sequencer must be set up
// for the span (plays, hold at end) before the first call.
class SpanRender {
public:
    SpanRender(Renderer& renderer, const AuthoringSpan& span);

    // Up to `frames` frames; fewer only when the span has ended.
    uint32_t Render(uint32_t* out, uint32_t frames);

private:
    // The renderer's frames, then the ring-out, cut at maxFrames.
    uint32_t Produce(uint32_t* out, uint32_t frames);
    // The delayed frames, the last fadeFrames of them faded once the end is known.
    uint32_t RenderFaded(uint32_t* out, uint32_t frames);

    Renderer& renderer;
    AuthoringSpan span;
    bool songEnded = false;
    bool produced = false;  // nothing more comes from Produce
    uint64_t tailLeft;
    uint64_t framesLeft;
    // The last fadeFrames frames produced, oldest at `head`, waiting for the end to be known.
    std::vector<uint32_t> delay;
    std::size_t head = 0;
    std::size_t held = 0;
    std::vector<uint32_t> scratch;
};

}  // namespace zeblo
