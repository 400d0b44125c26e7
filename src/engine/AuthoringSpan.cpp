#include "engine/AuthoringSpan.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "engine/RenderMix.h"

namespace zeblo {

namespace {

int32_t Scale(uint16_t sample, double gain) {
    return static_cast<int32_t>(std::lround(static_cast<int16_t>(sample) * gain));
}

uint32_t FadeFrame(uint32_t frame, double gain) {
    return PackFrame(Scale(static_cast<uint16_t>(frame & 0xFFFF), gain),
                     Scale(static_cast<uint16_t>(frame >> 16), gain));
}

}  // namespace

double FadeGain(uint64_t remaining, uint64_t length) {
    if (length == 0 || remaining > length) return 1.0;
    const double x = static_cast<double>(remaining - 1) / static_cast<double>(length);
    return 0.5 - 0.5 * std::cos(std::numbers::pi * x);
}

SpanRender::SpanRender(Renderer& renderer, const AuthoringSpan& span)
    : renderer(renderer),
      span(span),
      tailLeft(span.tailFrames),
      framesLeft(span.maxFrames == 0 ? std::numeric_limits<uint64_t>::max() : span.maxFrames) {
    if (span.fadeFrames > 0) delay.resize(span.fadeFrames);
}

uint32_t SpanRender::Produce(uint32_t* out, uint32_t frames) {
    frames = static_cast<uint32_t>(std::min<uint64_t>(frames, framesLeft));
    uint32_t done = 0;
    if (!songEnded) {
        done = renderer.Render(out, frames, false);
        songEnded = done < frames;
    }
    if (songEnded && done < frames && tailLeft > 0) {
        const uint32_t tail = renderer.Render(
            out + done, static_cast<uint32_t>(std::min<uint64_t>(frames - done, tailLeft)), false);
        tailLeft = tail == 0 ? 0 : tailLeft - tail;
        done += tail;
    }
    framesLeft -= done;
    produced = done < frames || framesLeft == 0;
    return done;
}

uint32_t SpanRender::Render(uint32_t* out, uint32_t frames) {
    if (delay.empty()) return produced ? 0 : Produce(out, frames);
    return RenderFaded(out, frames);
}

uint32_t SpanRender::RenderFaded(uint32_t* out, uint32_t frames) {
    uint32_t done = 0;
    // Each frame produced pushes out the oldest once the delay is full, so the output never
    // outruns the room left in `out`.
    while (!produced && done < frames) {
        scratch.resize(frames - done);
        const uint32_t got = Produce(scratch.data(), frames - done);
        for (uint32_t i = 0; i < got; ++i) {
            if (held == delay.size()) {
                out[done++] = delay[head];
                delay[head] = scratch[i];
                head = (head + 1) % delay.size();
            } else {
                delay[(head + held++) % delay.size()] = scratch[i];
            }
        }
    }
    if (!produced) return done;
    while (done < frames && held > 0) {
        out[done++] = FadeFrame(delay[head], FadeGain(held, span.fadeFrames));
        head = (head + 1) % delay.size();
        --held;
    }
    return done;
}

}  // namespace zeblo
