#include "modules/RenderPath.h"

#include <atomic>
#include <cstdlib>

namespace zeblo {
namespace {

RenderPath FastestSupported() {
    return RenderPathSupported(RenderPath::Avx2) ? RenderPath::Avx2 : RenderPath::Sse;
}

RenderPath PathFromEnvironment() {
    const char* name = std::getenv("ZEBLO_RENDER_PATH");
    const std::optional<RenderPath> path = ParseRenderPath(name != nullptr ? name : "auto");
    return path && RenderPathSupported(*path) ? *path : FastestSupported();
}

std::atomic<RenderPath>& Chosen() {
    static std::atomic<RenderPath> chosen{PathFromEnvironment()};
    return chosen;
}

}  // namespace

RenderPath ActiveRenderPath() {
    return Chosen().load(std::memory_order_relaxed);
}

bool SetRenderPath(RenderPath path) {
    if (!RenderPathSupported(path)) return false;
    Chosen().store(path, std::memory_order_relaxed);
    return true;
}

bool RenderPathSupported(RenderPath path) {
    if (path != RenderPath::Avx2) return true;
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

std::string_view RenderPathName(RenderPath path) {
    switch (path) {
        case RenderPath::Plain:
            return "plain";
        case RenderPath::Avx2:
            return "avx2";
        default:
            return "sse";
    }
}

std::optional<RenderPath> ParseRenderPath(std::string_view name) {
    if (name == "auto") return FastestSupported();
    for (RenderPath path : {RenderPath::Plain, RenderPath::Sse, RenderPath::Avx2})
        if (name == RenderPathName(path)) return path;
    return std::nullopt;
}

}  // namespace zeblo
