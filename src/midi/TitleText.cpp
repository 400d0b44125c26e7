#include "midi/TitleText.h"

#include <iconv.h>

#include <cstdint>
#include <vector>

namespace zeblo {

namespace {

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

}  // namespace

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

std::string TitleAsUtf8(const std::string& raw) {
    std::string text;
    if (IsValidUtf8(raw)) return raw;
    if (DecodeShiftJis(raw, text) && IsValidUtf8(text)) return text;
    return DecodeLatin1(raw);
}

}  // namespace zeblo
