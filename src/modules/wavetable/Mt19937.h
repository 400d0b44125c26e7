// The MT19937 generator in its 1998 reference form: seeding by the 69069 linear recurrence,
// seed 4357 when drawn from unseeded. One instance per process feeds the noise voices.
//
// Threads: constructed with the application context; Seed runs where voices are constructed
// (start-up) or where a fresh run is prepared; Next runs on the thread that runs the render loop.
#pragma once

#include <array>
#include <cstdint>

namespace zeblo {

class Mt19937 {
public:
    Mt19937() = default;

    void Seed(uint32_t seed);
    uint32_t Next();

private:
    static constexpr int kStateSize = 624;
    static constexpr int kShift = 397;
    static constexpr uint32_t kDefaultSeed = 4357;

    void Regenerate();

    std::array<uint32_t, kStateSize> state{};
    int index = kStateSize + 1;  // one past a full state: not seeded yet
};

}  // namespace zeblo
