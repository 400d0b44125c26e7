#include "cli/PlayStatus.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <vector>

#include "midi/TitleText.h"

namespace zeblo {
namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
    interrupted.store(true, std::memory_order_relaxed);
}

std::string Clock(uint64_t frames, int32_t rate) {
    const uint64_t seconds = rate > 0 ? frames / static_cast<uint64_t>(rate) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text;
}

}  // namespace

std::string TitleForTerminal(const std::string& raw) {
    std::string text = TitleAsUtf8(raw);
    for (char& c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) c = ' ';
    }
    return text;
}

std::string FormatPlayStatus(const PlayStatus& status, std::size_t width) {
    char tail[128];
    std::snprintf(tail, sizeof tail, "  %s / %s  buffer %u/%u  underruns %u",
                  Clock(status.positionFrames, status.sampleRate).c_str(),
                  Clock(status.lengthFrames, status.sampleRate).c_str(), status.filledSlots,
                  status.ringSize, status.underruns);
    const std::string title = TitleForTerminal(status.title);
    const std::size_t tailLength = std::string(tail).size();
    const std::size_t room = width > tailLength ? width - tailLength : 0;

    // Whole characters only, so a cut never splits a sequence.
    std::string shown;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < title.size() && characters < room;) {
        const std::size_t n = std::max<std::size_t>(Utf8SequenceLength(title, i), 1);
        shown.append(title, i, n);
        i += n;
        ++characters;
    }
    return shown + tail;
}

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);  // a closed terminal stops a run as Ctrl-C does
}

bool InterruptRequested() {
    return interrupted.load(std::memory_order_relaxed);
}

void ClearInterrupt() {
    interrupted.store(false, std::memory_order_relaxed);
}

}  // namespace zeblo
