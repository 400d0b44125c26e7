// A small JSON writer for the reports scripts read: one object per line, keys in the order
// they are added.
//
// Threads: a JsonObject belongs to one thread; JsonString may run anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zeblo {

// `text` as a JSON string, quotes included. Quote, backslash and control characters are
// escaped; a byte sequence that is not UTF-8 (a file name may hold any bytes) becomes U+FFFD,
// so the result is always valid JSON.
std::string JsonString(std::string_view text);

class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view text);
    JsonObject& Add(std::string_view key, const char* text) {
        return Add(key, std::string_view(text));
    }
    JsonObject& Add(std::string_view key, uint64_t number);
    // A fixed number of decimals, as the summary line prints it.
    JsonObject& Add(std::string_view key, double number, int decimals);
    JsonObject& AddNull(std::string_view key);
    // The object on one line, without a line end.
    std::string Text() const { return text + "}"; }

private:
    JsonObject& Key(std::string_view key);
    std::string text = "{";
};

}  // namespace zeblo
