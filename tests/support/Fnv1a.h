// 64-bit FNV-1a hashes: one number that stands for a whole deterministic output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zeblo::test {

inline uint64_t Fnv1a(std::string_view bytes, uint64_t h = 14695981039346656037ull) {
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
}

// A device stream between its first and its last sounding frame: the silence around it depends
// on when the device started and stopped, the sound itself does not.
inline uint64_t SoundingHash(std::string_view raw) {
    std::size_t first = 0, last = raw.size() / 4;
    const auto silent = [raw](std::size_t frame) {
        return raw.substr(frame * 4, 4) == std::string_view("\0\0\0\0", 4);
    };
    while (first < last && silent(first)) ++first;
    while (last > first && silent(last - 1)) --last;
    return Fnv1a(raw.substr(first * 4, (last - first) * 4));
}

}  // namespace zeblo::test
