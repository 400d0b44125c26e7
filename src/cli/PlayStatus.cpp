#include "cli/PlayStatus.h"

#include <iconv.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <vector>

namespace zeblo {
namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
    interrupted.store(true, std::memory_order_relaxed);
}

// Length of the UTF-8 sequence at `i`, or 0 when it is not a valid one.
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    uint32_t minimum = 0;
    uint32_t value = 0;
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, value = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return length;
}

bool IsValidUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = Utf8SequenceLength(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

bool DecodeShiftJis(const std::string& raw, std::string& out) {
    iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> input(raw.begin(), raw.end());
    std::vector<char> output(raw.size() * 3 + 4);
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* outPointer = output.data();
    std::size_t outLeft = output.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &outPointer, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0) return false;
    out.assign(output.data(), outPointer);
    return true;
}

std::string DecodeLatin1(const std::string& raw) {
    std::string out;
    for (const char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
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
    std::string text;
    if (IsValidUtf8(raw)) {
        text = raw;
    } else if (!DecodeShiftJis(raw, text)) {
        text = DecodeLatin1(raw);
    }
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
