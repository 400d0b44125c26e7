#include "modules/wavetable/DrumHits.h"

namespace zeblo {

namespace {

constexpr DrumHit kBassDrum{3, 38, 540, true, -0.004f, 0.0f, 1.8f, false};
constexpr DrumHit kSnare{4, 140, 1600, false, 0.0f, 0.8f, 0.5f, true};
constexpr DrumHit kLowTom{3, 50, 1200, false, 0.0f, -0.6f, 0.9f, false};
constexpr DrumHit kMidTom{3, 58, 1200, false, 0.0f, -0.6f, 0.9f, false};
constexpr DrumHit kHighTom{3, 66, 1200, false, 0.0f, -0.6f, 0.9f, false};
constexpr DrumHit kTimpani{3, kDrumKeyAsPitch, 1200, false, 0.0f, -0.5f, 1.2f, false};
constexpr DrumHit kClosedHiHat{4, 150, 700, false, 0.0f, 0.0f, 0.46f, false};
constexpr DrumHit kOpenHiHat{4, 167, 2500, true, -0.01f, 0.0f, 0.46f, false};
constexpr DrumHit kCrash{4, 170, 15000, false, 0.0f, 0.0f, 0.65f, false};
constexpr DrumHit kRide{4, 120, 1200, false, 0.0f, 0.0f, 0.6f, false};
constexpr DrumHit kOther{4, 150, 500, false, 0.0f, 0.0f, 0.3f, false};

// The orchestra kits: program 50 splits the keyboard into bass drum and snare; program 48 plays
// timpani on keys 41..53.
constexpr int32_t kSplitKitProgram = 50;
constexpr int32_t kSplitKitSnareKey = 60;
constexpr int32_t kTimpaniProgram = 48;
constexpr int32_t kTimpaniLowKey = 41;
constexpr int32_t kTimpaniHighKey = 53;

}  // namespace

const DrumHit& FindDrumHit(int32_t program, int32_t key) {
    if (program == kSplitKitProgram) return key < kSplitKitSnareKey ? kBassDrum : kSnare;
    if (program == kTimpaniProgram && key >= kTimpaniLowKey && key <= kTimpaniHighKey)
        return kTimpani;
    switch (key) {
        case 35:
        case 36:
            return kBassDrum;
        case 38:
        case 40:
            return kSnare;
        case 41:
        case 43:
            return kLowTom;
        case 45:
        case 47:
            return kMidTom;
        case 48:
        case 50:
            return kHighTom;
        case 42:
        case 44:
        case 54:
            return kClosedHiHat;
        case 46:
            return kOpenHiHat;
        case 49:
            return kCrash;
        case 51:
            return kRide;
        default:
            return kOther;
    }
}

}  // namespace zeblo
