#include "modules/wavetable/Mt19937.h"

namespace zeblo {

namespace {
constexpr uint32_t kMatrixA = 0x9908B0DFu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;
constexpr uint32_t kTemperingMaskB = 0x9D2C5680u;
constexpr uint32_t kTemperingMaskC = 0xEFC60000u;

uint32_t Twist(uint32_t shifted, uint32_t upper, uint32_t lower) {
    const uint32_t y = (upper & kUpperMask) | (lower & kLowerMask);
    return shifted ^ (y >> 1) ^ ((y & 1u) != 0 ? kMatrixA : 0u);
}
}  // namespace

void Mt19937::Seed(uint32_t seed) {
    state[0] = seed;
    for (int i = 1; i < kStateSize; ++i) state[i] = 69069u * state[i - 1];
    index = kStateSize;
}

void Mt19937::Regenerate() {
    int k = 0;
    for (; k < kStateSize - kShift; ++k)
        state[k] = Twist(state[k + kShift], state[k], state[k + 1]);
    for (; k < kStateSize - 1; ++k)
        state[k] = Twist(state[k + kShift - kStateSize], state[k], state[k + 1]);
    state[kStateSize - 1] = Twist(state[kShift - 1], state[kStateSize - 1], state[0]);
    index = 0;
}

uint32_t Mt19937::Next() {
    if (index >= kStateSize) {
        if (index == kStateSize + 1) Seed(kDefaultSeed);
        Regenerate();
    }
    uint32_t y = state[index++];
    y ^= y >> 11;
    y ^= (y << 7) & kTemperingMaskB;
    y ^= (y << 15) & kTemperingMaskC;
    y ^= y >> 18;
    return y;
}

}  // namespace zeblo
