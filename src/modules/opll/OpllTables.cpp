#include "modules/opll/OpllTables.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zeblo {
namespace {

constexpr double kPi = std::numbers::pi;

// Twice the chip's frequency multiple, so that ML 0 (one half) stays an integer.
constexpr uint32_t kMult2[16] = {1, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 20, 24, 24, 30, 30};

// Key-scale level base by the top four F-number bits.
constexpr int32_t kKeyScaleLevel[16] = {0,  18, 24, 27, 30, 32, 33, 35,
                                        36, 37, 38, 39, 39, 40, 41, 42};

// Converts a rate of the chip's own clock (clock / 72 per second) to the output rate.
uint32_t RateAdjust(double x, double clock, double rate) {
    return static_cast<uint32_t>(std::trunc(x * clock * (1.0 / 72.0) / rate + 0.5));
}

// Linear amplitude 0 < d <= 1 to dB units; 0 is silence.
int32_t AmplitudeToDb(double d) {
    if (d == 0.0) return 255;
    const double t = std::trunc(std::log10(d) * -1706.6666666666665);
    return static_cast<int32_t>(std::trunc(t * 0.0625));
}

void BuildVibrato(OpllTables& t) {
    for (int i = 0; i < 256; ++i) {
        t.vibrato[i] = static_cast<int32_t>(
            std::trunc(256.0 * std::pow(2.0, std::sin(2.0 * kPi * i / 256.0) * 13.75 / 1200.0)));
    }
}

void BuildTremolo(OpllTables& t) {
    for (int i = 0; i < 256; ++i) {
        t.tremolo[i] =
            static_cast<int32_t>(std::trunc((std::sin(2.0 * kPi * i / 256.0) + 1.0) * 12.8));
    }
}

void BuildDbToLinear(OpllTables& t) {
    for (int i = 0; i < 255; ++i) {
        t.db2lin[i] = static_cast<int32_t>(std::trunc(512.0 * std::pow(10.0, -0.009375 * i)));
    }
    t.db2lin[255] = 0;
}

void BuildAttackCurve(OpllTables& t) {
    t.attackCurve[0] = 128;
    for (int i = 1; i < 128; ++i) {
        t.attackCurve[i] =
            static_cast<int32_t>(std::trunc(127.0 - 128.0 * std::log(i) / std::log(128.0)));
    }
}

// Every program builds these, so repeats are copied rather than recomputed: below F-number 256,
// block b + 1 of an F-number is block b of its double, and ML 11, 13 and 15 repeat the ML before.
void BuildPhaseStep(OpllTables& t, double clock, double rate) {
    for (uint32_t fnum = 512; fnum-- > 0;) {
        for (uint32_t block = 0; block < 8; ++block) {
            for (uint32_t ml = 0; ml < 16; ++ml) {
                uint32_t& step = t.phaseStep[fnum][block][ml];
                if (fnum < 256 && block > 0) {
                    step = t.phaseStep[2 * fnum][block - 1][ml];
                } else if (ml > 0 && kMult2[ml] == kMult2[ml - 1]) {
                    step = t.phaseStep[fnum][block][ml - 1];
                } else {
                    step = RateAdjust(((kMult2[ml] * fnum) << block) >> 2, clock, rate);
                }
            }
        }
    }
}

void BuildLevel(OpllTables& t) {
    for (int f = 0; f < 16; ++f) {
        for (int block = 0; block < 8; ++block) {
            const int32_t keyScale = kKeyScaleLevel[f] - 6 * (7 - block);
            for (int tl = 0; tl < 64; ++tl) {
                for (int kl = 0; kl < 4; ++kl) {
                    int32_t value = 4 * tl;
                    if (kl != 0 && keyScale > 0) {
                        value -= static_cast<int32_t>(
                            std::trunc((keyScale >> (3 - kl)) * -5.333333333333333));
                    }
                    t.level[f][block][tl][kl] = value;
                }
            }
        }
    }
}

void BuildFullSine(OpllTables& t) {
    for (int i = 0; i < 128; ++i) {
        t.fullSine[i] = AmplitudeToDb(std::sin(2.0 * kPi * i / 512.0)) + 1;
    }
    for (int i = 0; i < 128; ++i) t.fullSine[255 - i] = t.fullSine[i];
    for (int i = 0; i < 256; ++i) t.fullSine[256 + i] = -t.fullSine[i];
}

void BuildHalfSine(OpllTables& t) {
    for (int i = 0; i < 256; ++i) t.halfSine[i] = t.fullSine[i];
    for (int i = 256; i < 512; ++i) t.halfSine[i] = t.fullSine[0];
}

void BuildSampleLoopForms(OpllTables& t) {
    for (int i = 0; i < 1024; ++i) t.db2linWide[i] = t.db2lin[std::min(i, 255)];
    auto shape = [](int32_t s) {
        return s >= 1 ? static_cast<int32_t>(s - 1)
                      : static_cast<int32_t>(static_cast<uint32_t>(1 - s) | 0x80000000u);
    };
    for (int i = 0; i < 512; ++i) {
        t.fullSineShape[i] = shape(t.fullSine[i]);
        t.halfSineShape[i] = shape(t.halfSine[i]);
    }
    t.waveShapes = {t.fullSineShape.data(), t.halfSineShape.data()};
}

void BuildAttackRate(OpllTables& t, double clock, double rate) {
    for (uint32_t ar = 0; ar < 16; ++ar) {
        for (uint32_t rks = 0; rks < 16; ++rks) {
            if (ar == 0) {
                t.attackRate[ar][rks] = 0;
            } else if (ar == 15) {
                t.attackRate[ar][rks] = 0x400000;
            } else {
                const uint32_t rm = std::min<uint32_t>(15, ar + (rks >> 2));
                const uint32_t rl = rks & 3;
                t.attackRate[ar][rks] = RateAdjust((3 * (rl + 4)) << (rm + 1), clock, rate);
            }
        }
    }
}

void BuildDecayRate(OpllTables& t, double clock, double rate) {
    for (uint32_t r = 0; r < 16; ++r) {
        for (uint32_t rks = 0; rks < 16; ++rks) {
            if (r == 0) {
                t.decayRate[r][rks] = 0;
            } else {
                const uint32_t rm = std::min<uint32_t>(15, r + (rks >> 2));
                const uint32_t rl = rks & 3;
                t.decayRate[r][rks] = RateAdjust((rl + 4) << (rm - 1), clock, rate);
            }
        }
    }
}

void BuildRateScale(OpllTables& t) {
    for (uint32_t fnum8 = 0; fnum8 < 2; ++fnum8) {
        for (uint32_t block = 0; block < 8; ++block) {
            t.rateScale[fnum8][block][0] = block >> 1;
            t.rateScale[fnum8][block][1] = block * 2 + fnum8;
        }
    }
}

void BuildSustainLevel(OpllTables& t) {
    for (uint32_t sl = 0; sl < 15; ++sl) t.sustainLevel[sl] = sl * 0x40000;
    t.sustainLevel[15] = 0x400000;
}

}  // namespace

void OpllInitTables(OpllTables& tables, uint32_t clock, int32_t rate) {
    const double clockHz = clock;
    const double rateHz = rate;
    tables.clock = clock;
    tables.rate = rate;
    BuildVibrato(tables);
    BuildTremolo(tables);
    BuildDbToLinear(tables);
    BuildAttackCurve(tables);
    BuildPhaseStep(tables, clockHz, rateHz);
    BuildLevel(tables);
    BuildFullSine(tables);
    BuildHalfSine(tables);
    BuildAttackRate(tables, clockHz, rateHz);
    BuildDecayRate(tables, clockHz, rateHz);
    BuildRateScale(tables);
    BuildSustainLevel(tables);
    tables.waveTables = {tables.fullSine.data(), tables.halfSine.data()};
    BuildSampleLoopForms(tables);

    tables.defaultPatches[0] = OpllPatchPair{};
    for (int i = 0; i < kOpllBuiltInTones; ++i) {
        tables.defaultPatches[i + 1] = OpllPatchPair{};
        OpllDecodeTone(BuiltInTones[i], tables.defaultPatches[i + 1]);
    }
}

void OpllDecodeTone(const uint8_t* tone, OpllPatchPair& pair) {
    OpllPatch& m = pair.modulator;
    OpllPatch& c = pair.carrier;
    m.am = (tone[0] >> 7) & 1;
    m.pm = (tone[0] >> 6) & 1;
    m.eg = (tone[0] >> 5) & 1;
    m.kr = (tone[0] >> 4) & 1;
    m.ml = tone[0] & 15;
    c.am = (tone[1] >> 7) & 1;
    c.pm = (tone[1] >> 6) & 1;
    c.eg = (tone[1] >> 5) & 1;
    c.kr = (tone[1] >> 4) & 1;
    c.ml = tone[1] & 15;
    m.kl = (tone[2] >> 6) & 3;
    m.tl = tone[2] & 63;
    c.kl = (tone[3] >> 6) & 3;
    c.wf = (tone[3] >> 4) & 1;
    m.wf = (tone[3] >> 3) & 1;
    m.fb = tone[3] & 7;
    m.ar = tone[4] >> 4;
    m.dr = tone[4] & 15;
    c.ar = tone[5] >> 4;
    c.dr = tone[5] & 15;
    m.sl = tone[6] >> 4;
    m.rr = tone[6] & 15;
    c.sl = tone[7] >> 4;
    c.rr = tone[7] & 15;
}

}  // namespace zeblo
