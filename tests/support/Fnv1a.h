// A 64-bit FNV-1a hash: one number that stands for a whole deterministic output.
#pragma once

#include <cstdint>
#include <string_view>

namespace zeblo::test {

inline uint64_t Fnv1a(std::string_view bytes, uint64_t h = 14695981039346656037ull) {
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
}

}  // namespace zeblo::test
