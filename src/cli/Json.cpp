#include "cli/Json.h"

#include <cmath>
#include <cstdio>

namespace zeblo {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence at the start of `text`, 0 when there is none:
// no overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text[0]);
        std::size_t taken = 1;
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\r') {
            json += "\\r";
        } else if (c == '\t') {
            json += "\\t";
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            json += escaped;
        } else if (c < 0x80) {
            json += static_cast<char>(c);
        } else if ((taken = Utf8Length(text)) != 0) {
            json.append(text.substr(0, taken));
        } else {
            taken = 1;
            json += kReplacement;
        }
        text.remove_prefix(taken);
    }
    return json + "\"";
}

JsonObject& JsonObject::Key(std::string_view key) {
    if (text.size() > 1) text += ',';
    text += JsonString(key);
    text += ':';
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value) {
    Key(key).text += JsonString(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, uint64_t number) {
    Key(key).text += std::to_string(number);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, double number, int decimals) {
    // JSON has no infinities: a speed measured over no time is null.
    if (!std::isfinite(number)) return AddNull(key);
    char written[64];
    std::snprintf(written, sizeof written, "%.*f", decimals, number);
    Key(key).text += written;
    return *this;
}

JsonObject& JsonObject::AddNull(std::string_view key) {
    Key(key).text += "null";
    return *this;
}

}  // namespace zeblo
