// FNV-1a hashes of sound bytes, as the golden table takes them.
#pragma once

#include <cstdint>
#include <string>

namespace zeblo::test {

inline uint64_t Fnv1a(const std::string& bytes, std::size_t from = 0,
                      std::size_t to = std::string::npos) {
    uint64_t h = 14695981039346656037ull;
    for (std::size_t i = from; i < std::min(to, bytes.size()); ++i) {
        h ^= static_cast<uint8_t>(bytes[i]);
        h *= 1099511628211ull;
    }
    return h;
}

// A device stream between its first and its last sounding frame: the silence around it depends
// on when the device started and stopped, the sound itself does not.
inline uint64_t SoundingHash(const std::string& raw) {
    std::size_t first = 0, last = raw.size() / 4;
    const auto silent = [&raw](std::size_t frame) {
        return raw.compare(frame * 4, 4, std::string(4, '\0')) == 0;
    };
    while (first < last && silent(first)) ++first;
    while (last > first && silent(last - 1)) --last;
    return Fnv1a(raw, first * 4, last * 4);
}

}  // namespace zeblo::test
