// Which implementation the sound modules render with. Every path gives the same integers: the
// plain path steps each voice and chip one sample at a time, doing every division; the fast
// paths render runs, with their vector passes built for the baseline processor ("sse") or for
// AVX2. The fast paths are checked against the plain one; the plain one is also the fallback.
//
// Threads: the path is read by the render loop at every run. It is chosen at first use from
// ZEBLO_RENDER_PATH (plain, sse, avx2 or auto; anything else, or a path the processor lacks,
// reads as auto, the fastest it supports). SetRenderPath may be called from any thread; the
// modules take the new path from their next run on.
#pragma once

#include <optional>
#include <string_view>

namespace zeblo {

enum class RenderPath { Plain, Sse, Avx2 };

RenderPath ActiveRenderPath();

// False, with nothing changed, for a path this processor cannot run.
bool SetRenderPath(RenderPath path);

bool RenderPathSupported(RenderPath path);

// "plain", "sse", "avx2"; ParseRenderPath reads these back (and "auto" as the fastest supported).
std::string_view RenderPathName(RenderPath path);
std::optional<RenderPath> ParseRenderPath(std::string_view name);

}  // namespace zeblo
