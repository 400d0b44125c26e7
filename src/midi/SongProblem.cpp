#include "midi/SongProblem.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "midi/RmidFile.h"

namespace zeblo {

namespace {

// Beyond this the structure walk stops: a song is far smaller, and the answer is "truncated"
// or nothing either way.
constexpr std::size_t kReadLimit = 64u << 20;

uint32_t BigEndian(const std::vector<uint8_t>& bytes, std::size_t at, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | bytes[at + i];
    return value;
}

bool StartsWith(const std::vector<uint8_t>& bytes, std::size_t at, const char* tag) {
    const std::size_t length = std::strlen(tag);
    return bytes.size() >= at + length && std::memcmp(bytes.data() + at, tag, length) == 0;
}

std::string WhatItIs(const std::vector<uint8_t>& bytes) {
    if (StartsWith(bytes, 0, "RIFF") && StartsWith(bytes, 8, "WAVE")) return "a RIFF WAV file";
    const std::size_t head = std::min<std::size_t>(bytes.size(), 64);
    const bool text = std::all_of(bytes.begin(), bytes.begin() + head, [](uint8_t c) {
        return (c >= 0x20 && c < 0x7f) || c == '\n' || c == '\r' || c == '\t' || c >= 0x80;
    });
    if (text) return "text";
    char start[32];
    std::snprintf(start, sizeof start, "%02X %02X %02X %02X", bytes[0],
                  bytes.size() > 1 ? bytes[1] : 0, bytes.size() > 2 ? bytes[2] : 0,
                  bytes.size() > 3 ? bytes[3] : 0);
    return std::string("bytes ") + start;
}

}  // namespace

std::string DescribeSongProblem(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return "is a folder";
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::strerror(errno);
    std::vector<uint8_t> bytes;
    bytes.reserve(std::min<std::size_t>(static_cast<std::size_t>(info.st_size), kReadLimit));
    std::copy_n(std::istreambuf_iterator<char>(file),
                std::min<std::size_t>(static_cast<std::size_t>(info.st_size), kReadLimit),
                std::back_inserter(bytes));
    if (bytes.empty()) return "empty";
    if (IsRmidImage(bytes)) {
        std::vector<uint8_t> smf;
        std::string reason;
        if (!UnwrapRmid(bytes, smf, reason)) return reason;
        bytes.swap(smf);
    }
    if (!StartsWith(bytes, 0, "MThd")) return "not a MIDI file; it starts as " + WhatItIs(bytes);
    const std::string truncated = "truncated at byte " + std::to_string(bytes.size());
    if (bytes.size() < 14) return truncated;
    std::size_t at = 8 + BigEndian(bytes, 4, 4);
    if (at > bytes.size()) return truncated;
    if (BigEndian(bytes, 10, 2) == 0) return "no tracks";
    int tracks = 0;
    while (at < bytes.size()) {
        if (at + 8 > bytes.size() || at + 8 + BigEndian(bytes, at + 4, 4) > bytes.size())
            return truncated;
        tracks += StartsWith(bytes, at, "MTrk") ? 1 : 0;
        at += 8 + BigEndian(bytes, at + 4, 4);
    }
    return tracks == 0 ? "no tracks" : std::string();
}

}  // namespace zeblo
