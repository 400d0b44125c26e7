#include "ui/DemoScene.h"

#include <algorithm>
#include <cmath>

namespace zeblo {

namespace {

constexpr int kFramesPerBeat = 5;  // 120 beats per minute at 10 frames per second
constexpr double kPi = 3.14159265358979323846;

struct Part {
    int channel, program, bank, volume, pan, voices;
    int everyBeats;  // a note every n half-beats
    int decay;       // envelope fall per frame
    int octave;      // 0 = bass
};

constexpr Part kParts[] = {
    {0, 0, 0, 100, 52, 3, 2, 9, 2},   {1, 33, 0, 112, 64, 1, 1, 14, 0},
    {2, 48, 0, 92, 84, 4, 8, 2, 2},   {3, 61, 8, 96, 40, 2, 4, 11, 2},
    {4, 80, 0, 104, 72, 1, 1, 8, 3},  {5, 25, 0, 88, 30, 2, 2, 12, 1},
    {6, 16, 0, 80, 98, 3, 8, 1, 2},   {7, 73, 0, 86, 58, 1, 2, 10, 3},
    {9, 0, 0, 127, 64, 4, 1, 24, 0},  {16, 52, 0, 84, 46, 4, 8, 2, 2},
    {17, 46, 0, 90, 88, 2, 1, 16, 2}, {20, 11, 0, 78, 76, 1, 2, 18, 3},
    {25, 0, 0, 120, 64, 3, 2, 26, 0},
};

// Roots of C, A minor, F and G, one chord per two beats.
constexpr double kRoots[4] = {65.41, 55.00, 43.65, 49.00};
constexpr double kChordSteps[4] = {1.0, 1.2599, 1.4983, 2.0};

// A 16 x 16 picture as 64 bytes: groups of five columns, the last group one column.
void DrawDots(uint8_t* dots, int32_t frame) {
    static const char* kPicture[16] = {
        "................", ".######..######.", ".######..######.", "....##...##.....",
        "...##....#####..", "..##.....##.....", ".######..######.", ".######..######.",
        "................", ".#####...##.....", ".##..##..##.....", ".#####...##.....",
        ".##..##..##.....", ".#####...######.", "................", "................"};
    for (int b = 0; b < 64; ++b) {
        const int g = b / 16, r = b % 16;
        uint8_t v = 0;
        for (int j = 0; j < (g < 3 ? 5 : 1); ++j) {
            const int col = (5 * g + j + frame / 2) % 16;
            if (kPicture[r][col] == '#') v |= static_cast<uint8_t>(1 << (4 - j));
        }
        dots[b] = v;
    }
}

}  // namespace

DemoWaveforms::DemoWaveforms() {
    for (int i = 0; i < 32; ++i) {
        const double ph = 2 * kPi * i / 32;
        shapes_[0][i] = static_cast<int8_t>(std::lround(120 * std::sin(ph)));
        shapes_[1][i] = static_cast<int8_t>(i < 16 ? 112 : -112);
        shapes_[2][i] = static_cast<int8_t>(-120 + 240 * i / 31);
        shapes_[3][i] = static_cast<int8_t>(i < 16 ? -120 + 15 * i : 360 - 15 * i - 0);
        shapes_[4][i] = static_cast<int8_t>(i < 8 ? 110 : -60);
        shapes_[5][i] = static_cast<int8_t>(std::lround(70 * std::sin(ph) + 50 * std::sin(3 * ph)));
        shapes_[6][i] =
            static_cast<int8_t>(std::lround(120 * std::sin(ph) * std::fabs(std::sin(ph))));
        shapes_[7][i] = static_cast<int8_t>(std::lround(60 * std::sin(ph) + 60 * std::sin(2 * ph)));
    }
}

const int8_t* DemoWaveforms::Samples(uint32_t wave) const {
    if (!(wave & kWaveFromRecord)) return nullptr;
    return shapes_[(wave & 0xFF) % shapes_.size()].data();
}

void FillDemoSnapshot(DisplaySnapshot& s, int32_t frame, int32_t engine) {
    ClearSnapshot(s);
    const int halfBeat = kFramesPerBeat / 2 + 1;
    const int chord = (frame / (2 * kFramesPerBeat)) % 4;
    for (const Part& part : kParts) {
        const int c = part.channel;
        s.volume[c] = part.volume;
        s.pan[c] = part.pan;
        s.program[c] = part.program;
        s.bank[c] = part.bank;
        s.expression[c] = 100 + static_cast<int>(27 * std::sin(frame * 0.07 + c));
        const int period = part.everyBeats * halfBeat;
        const int since = (frame + c) % period;
        const int env = std::max(0, 127 - since * part.decay);
        if (env == 0) continue;
        s.envelopeLevel[c] = env;
        s.outputLevel[c] = std::min(127, env * s.expression[c] / 127 * part.volume / 110);
        s.voiceCount[c] = std::min(part.voices + (since == 0 ? 2 : 0), 9);
        const double f =
            kRoots[chord] * kChordSteps[(frame / period + c) % 4] * std::pow(2.0, part.octave);
        s.frequency[c] = static_cast<int32_t>(f);
        s.hold[c] = (c == 0 && (frame / 20) % 2 == 0) ? 127 : 0;
        if (c == 4) s.pitchBend[c] = static_cast<int32_t>(2400 * std::sin(frame * 0.45));
        if (c == 17) s.pitchBend[c] = -4096;
        if (engine == 1)
            s.wave[c] = static_cast<uint32_t>(((part.program / 8) % 15 + 1) << 4);
        else
            s.wave[c] = kWaveFromRecord | static_cast<uint32_t>(part.program % 8);
    }
    if ((frame / 40) % 2 == 1) {
        s.dotsValid = 1;
        DrawDots(s.dots, frame);
    }
}

}  // namespace zeblo
