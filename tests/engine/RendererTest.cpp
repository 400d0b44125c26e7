#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "engine/RenderTestSupport.h"
#include "engine/Renderer.h"
#include "support/SmfBuilder.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using test::RenderRig;

std::vector<uint8_t> ShortDenseSong(uint32_t seconds = 12) {
    test::DenseSongOptions options;
    options.seconds = seconds;
    options.melodicTracks = 12;
    return test::DenseSong(options).Build();
}

std::vector<uint8_t> DemoSong() {
    const char* root = std::getenv("ZEBLO_SOURCE_DIR");
    std::ifstream file(std::string(root != nullptr ? root : ".") + "/resources/demo.mid",
                       std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A song of one empty track: its second step finds every track ended and stops the song.
std::vector<uint8_t> EmptySong() {
    test::SmfBuilder smf(0, 480);
    smf.AddTrack().EndOfTrack(0);
    return smf.Build();
}

// ---- The mixer's arithmetic -------------------------------------------------------------------

TEST(RenderMix, VoiceSumDividedByThreeThenMasterVolume) {
    EXPECT_EQ(ScaleVoiceSum(0, 127), 0);
    // One voice of raw sample 32000 panned centre gives 16000 on each side.
    EXPECT_EQ(ScaleVoiceSum(16000, 127), 5291);
    EXPECT_EQ(ScaleVoiceSum(-16000, 127), -5292);  // (-5333 * 127) >> 7, arithmetic
    EXPECT_EQ(ScaleVoiceSum(16000, 64), 2666);
    EXPECT_EQ(ScaleVoiceSum(-2, 127), 0);  // -2 / 3 truncates toward zero
}

TEST(RenderMix, MonoFoldShiftsArithmetically) {
    EXPECT_EQ(MonoFold(1000, -1001), -1);
    EXPECT_EQ(MonoFold(3, 4), 3);
    EXPECT_EQ(MonoFold(-3, -4), -4);
}

TEST(RenderMix, ClippingBothWaysAndPacking) {
    EXPECT_EQ(ClipSample(32768), 32767);
    EXPECT_EQ(ClipSample(1000000), 32767);
    EXPECT_EQ(ClipSample(-32768), -32767);
    EXPECT_EQ(ClipSample(-1000000), -32767);
    EXPECT_EQ(ClipSample(-32767), -32767);
    EXPECT_EQ(PackFrame(-1, 2), 0x0002FFFFu);
    EXPECT_EQ(PackFrame(32767, -32767), 0x80017FFFu);
}

// ---- The low-pass filter ------------------------------------------------------------------------

TEST(LowPassFilter, CoefficientsForTenKilohertzAt44100) {
    const LowPassCoefficients k = ComputeLowPassCoefficients(10050, 44100);
    EXPECT_NEAR(k.c, 1.14954, 1e-5);
    EXPECT_NEAR(k.a0, 0.253348, 1e-6);
    EXPECT_DOUBLE_EQ(k.a1, 2 * k.a0);
    EXPECT_NEAR(k.b1, -0.162876, 1e-6);
    EXPECT_NEAR(k.b2, 0.176266, 1e-6);
}

TEST(LowPassFilter, StepResponseOnWholeNumbers) {
    const LowPassCoefficients k = ComputeLowPassCoefficients(10050, 44100);
    LowPassState s;
    const int32_t expected[] = {253, 801, 1099, 1051, 990, 989, 999, 1001, 1000, 999, 999, 1000};
    for (int32_t y : expected) EXPECT_EQ(LowPassFilter(s, k, 1000), y);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(LowPassFilter(s, k, 1000), 1000);
}

// ---- The loop -------------------------------------------------------------------------------

TEST(Render, SilentSongGivesZeroFramesOfSilence) {
    test::SmfBuilder smf(0, 480);
    smf.AddTrack().ControlChange(0, 0, 7, 100).ProgramChange(10, 0, 5).EndOfTrack(48000);
    for (int32_t engine : {kEngineWavetable, kEngineOpll}) {
        RenderRig rig(engine);
        ASSERT_TRUE(rig.Start(smf.Build()));
        rig.record.lowPassEnabled = 1;
        const std::vector<uint32_t> out = rig.RenderAll(20000);
        EXPECT_GT(out.size(), 100000u);
        EXPECT_EQ(std::count(out.begin(), out.end(), 0u), static_cast<long>(out.size()));
    }
}

TEST(Render, SongEndingAfterTheFifthFrameReturnsFiveAndLeavesTheRest) {
    for (int32_t engine : {kEngineWavetable, kEngineOpll}) {
        RenderRig rig(engine);
        ASSERT_TRUE(rig.Start(EmptySong()));
        // The ending step comes with frame samplesPerStep - 1 after the start.
        const uint32_t before = rig.context->sequencer.SamplesPerStep() - 5;
        std::vector<uint32_t> lead(before);
        ASSERT_EQ(rig.renderer->Render(lead.data(), before, false), before);
        std::vector<uint32_t> buffer(100, 0xDEADBEEF);
        EXPECT_EQ(rig.renderer->Render(buffer.data(), 100, false), 5u) << engine;
        for (int i = 5; i < 100; ++i) ASSERT_EQ(buffer[i], 0xDEADBEEFu) << i;
        EXPECT_EQ(rig.renderer->Render(buffer.data(), 100, false), 0u);
    }
}

TEST(Render, NotPlayingWritesNothing) {
    RenderRig rig;
    uint32_t frame = 7;
    EXPECT_EQ(rig.renderer->Render(&frame, 1, true), 0u);
    EXPECT_EQ(frame, 7u);
}

// The loop mixes runs of frames between sequencer steps; every result must equal the plain
// frame-by-frame steps, whatever the call sizes.
struct Variant {
    int32_t engine;
    int32_t rate;
    bool mono;
    int32_t lowPassCutoff;  // 0: off
};

class RenderMatchesPlainSteps : public testing::TestWithParam<Variant> {};

TEST_P(RenderMatchesPlainSteps, ForEveryCallSize) {
    const Variant v = GetParam();
    const std::vector<uint8_t> song = ShortDenseSong();
    const auto configure = [&v](RenderRig& rig) {
        rig.record.monauralOutput = v.mono ? 1 : 0;
        rig.record.lowPassEnabled = v.lowPassCutoff != 0 ? 1 : 0;
        rig.record.lowPassCutoff = v.lowPassCutoff;
    };
    RenderRig plain(v.engine, v.rate);
    configure(plain);
    ASSERT_TRUE(plain.Start(song));
    const std::vector<uint32_t> expected = test::PlainRender(*plain.context);
    ASSERT_GT(expected.size(), 10u * static_cast<uint32_t>(v.rate));
    EXPECT_NE(std::count(expected.begin(), expected.end(), 0u), static_cast<long>(expected.size()));

    for (uint32_t chunk : {20000u, 4096u, 777u, 1u}) {
        RenderRig rig(v.engine, v.rate);
        configure(rig);
        ASSERT_TRUE(rig.Start(song));
        const std::vector<uint32_t> got = rig.RenderAll(chunk, chunk == 4096);
        ASSERT_EQ(got.size(), expected.size()) << chunk;
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], expected[i]) << "frame " << i << ", calls of " << chunk;
    }
}

INSTANTIATE_TEST_SUITE_P(BothEngines, RenderMatchesPlainSteps,
                         testing::Values(Variant{kEngineWavetable, 44100, false, 0},
                                         Variant{kEngineWavetable, 22050, true, 3000},
                                         Variant{kEngineWavetable, 48000, false, 10050},
                                         Variant{kEngineOpll, 44100, false, 0},
                                         Variant{kEngineOpll, 22050, true, 3000}));

TEST(Render, DemoSongMatchesPlainStepsInBothEngines) {
    const std::vector<uint8_t> song = DemoSong();
    ASSERT_FALSE(song.empty());
    for (int32_t engine : {kEngineWavetable, kEngineOpll}) {
        RenderRig plain(engine);
        ASSERT_TRUE(plain.Start(song));
        const std::vector<uint32_t> expected = test::PlainRender(*plain.context);
        RenderRig rig(engine);
        ASSERT_TRUE(rig.Start(song));
        EXPECT_TRUE(rig.RenderAll(20000) == expected) << engine;
    }
}

TEST(Render, FilterHistoryCarriesOverCallsUntilCleared) {
    RenderRig rig;
    rig.record.lowPassEnabled = 1;
    ASSERT_TRUE(rig.Start(ShortDenseSong(4)));
    std::vector<uint32_t> buffer(30000);
    rig.renderer->Render(buffer.data(), 30000, false);
    const LowPassState& left = rig.renderer->FilterHistory(0);
    EXPECT_TRUE(left.x1 != 0 || left.y1 != 0);
    rig.renderer->ClearFilterHistory();
    for (int channel : {0, 1}) {
        const LowPassState& s = rig.renderer->FilterHistory(channel);
        EXPECT_EQ(s.x1 | s.x2 | s.y1 | s.y2, 0);
    }
}

TEST(Render, EngineFlagIsReadAtEveryCall) {
    RenderRig rig(kEngineOpll);
    ASSERT_TRUE(rig.Start(ShortDenseSong(4)));
    std::vector<uint32_t> buffer(20000);
    rig.renderer->Render(buffer.data(), 20000, false);
    // FM frames carry the same sample on both sides; the wavetable voices are silent here, as
    // the wavetable module never heard the song.
    for (uint32_t f : buffer) ASSERT_EQ(f & 0xFFFF, f >> 16);
    EXPECT_NE(std::count(buffer.begin(), buffer.end(), 0u), 20000);
    rig.context->engineFlag = kEngineWavetable;
    rig.renderer->Render(buffer.data(), 20000, false);
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0u), 20000);
}

TEST(Render, HoldsTheSequencerLockWhileRendering) {
    RenderRig rig;
    ASSERT_TRUE(rig.Start(ShortDenseSong(4)));
    std::unique_lock held(rig.context->sequencer.Lock());
    std::atomic<bool> done{false};
    std::vector<uint32_t> buffer(1000);
    std::thread render([&] {
        rig.renderer->Render(buffer.data(), 1000, false);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done.load());
    held.unlock();
    render.join();
    EXPECT_TRUE(done.load());
}

}  // namespace
}  // namespace zeblo
