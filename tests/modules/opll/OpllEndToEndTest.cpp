// A short melody and a drum pattern played through the module's messages, rendered the way the
// render loop will (five chip samples per frame, then the mix).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "modules/opll/OpllModule.h"

namespace zeblo {
namespace {

constexpr int kRate = 44100;

class OpllEndToEnd : public ::testing::Test {
protected:
    EngineParameters params;
    ModuleSharedState shared;
    OpllNoise noise;
    std::unique_ptr<OpllTables> tables = std::make_unique<OpllTables>();
    OpllModule module{params, shared, noise, *tables};

    void Msg(uint32_t status, uint32_t d1, uint32_t d2 = 0) {
        module.ShortMsg(kOpenModuleHandle, PackShortMsg(status, d1, d2), 0);
    }
    void Render(std::vector<int32_t>& out, int frames) {
        for (int i = 0; i < frames; ++i) {
            int16_t s[kOpllChipCount];
            for (int c = 0; c < kOpllChipCount; ++c) s[c] = OpllCalcSample(*module.Chip(c), noise);
            out.push_back(MixOpllSample(s[0], s[1], s[2], s[3], s[4]));
        }
    }
};

// Fundamental by normalised autocorrelation: the first lag whose correlation comes within 5% of
// the best one (so harmonics do not win), refined between neighbouring lags.
double EstimatePitch(const std::vector<int32_t>& x, size_t start, size_t length) {
    auto corr = [&](int lag) {
        double num = 0, e0 = 0, e1 = 0;
        for (size_t i = start; i < start + length; ++i) {
            num += double(x[i]) * x[i + lag];
            e0 += double(x[i]) * x[i];
            e1 += double(x[i + lag]) * x[i + lag];
        }
        return e0 > 0 && e1 > 0 ? num / std::sqrt(e0 * e1) : 0.0;
    };
    std::vector<double> r(600, 0.0);
    double best = 0;
    for (int lag = 20; lag < 599; ++lag) best = std::max(best, r[lag] = corr(lag));
    for (int lag = 21; lag < 598; ++lag) {
        r[lag + 1] = corr(lag + 1);
        if (r[lag] >= 0.95 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
            const double d = r[lag - 1] - 2 * r[lag] + r[lag + 1];
            const double shift = d != 0 ? 0.5 * (r[lag - 1] - r[lag + 1]) / d : 0.0;
            return kRate / (lag + shift);
        }
    }
    return 0;
}

double Rms(const std::vector<int32_t>& x, size_t start, size_t length) {
    double sum = 0;
    for (size_t i = start; i < start + length; ++i) sum += double(x[i]) * x[i];
    return std::sqrt(sum / length);
}

TEST_F(OpllEndToEnd, MelodySoundsAtTheNotesPitches) {
    ASSERT_TRUE(module.ChipsReady());
    Msg(0xC0, 0);  // piano
    const int notes[] = {60, 64, 67, 72, 69};
    const double hz[] = {261.63, 329.63, 392.00, 523.25, 440.00};
    std::vector<int32_t> out;
    for (int i = 0; i < 5; ++i) {
        const size_t start = out.size();
        Msg(0x90, notes[i], 110);
        Render(out, kRate / 4);
        Msg(0x80, notes[i]);
        Render(out, kRate / 20);
        EXPECT_GT(Rms(out, start + 500, 4096), 300.0) << notes[i];
        EXPECT_NEAR(EstimatePitch(out, start + 1000, 4096), hz[i], hz[i] * 0.01) << notes[i];
    }
    // Melodic chips are halved in the mix: nothing near the clipping limit for one voice.
    for (int32_t s : out) ASSERT_LT(std::abs(s), 16000);
}

TEST_F(OpllEndToEnd, ChordSpreadsOverChipsAndStillTracksPitch) {
    Msg(0xC0, 0);
    for (int n = 0; n < 12; ++n) Msg(0x91, 57, 100);  // twelve voices of A3 over two chips
    std::vector<int32_t> out;
    Render(out, kRate / 4);
    EXPECT_EQ(module.Chip(1)->channels[2].keyStatus, 1u);
    EXPECT_NEAR(EstimatePitch(out, 2000, 4096), 220.0, 2.2);
}

TEST_F(OpllEndToEnd, DrumsSoundAndDecay) {
    struct Hit {
        int note;
        const char* name;
    };
    const Hit hits[] = {
        {36, "bass drum"}, {38, "snare drum"}, {42, "hi-hat"}, {45, "tom-tom"}, {49, "cymbal"}};
    std::vector<int32_t> out;
    for (const Hit& h : hits) {
        const size_t start = out.size();
        Msg(0x99, h.note, 127);
        Render(out, kRate / 2);
        const double onset = Rms(out, start, kRate / 50);
        const double tail = Rms(out, start + kRate * 4 / 10, kRate / 10);
        EXPECT_GT(onset, 200.0) << h.name;
        EXPECT_LT(tail, onset / 20) << h.name;
    }
    // The rhythm chip enters the mix at 0.4 of its level: a lone drum never reaches 14000.
    for (int32_t s : out) ASSERT_LT(std::abs(s), 14000);
    EXPECT_EQ(module.RhythmKeys(), 0x3Fu);
}

TEST_F(OpllEndToEnd, SilenceWhenNothingPlays) {
    std::vector<int32_t> out;
    Render(out, kRate / 10);
    for (int32_t s : out) ASSERT_EQ(s, 0);
}

}  // namespace
}  // namespace zeblo
