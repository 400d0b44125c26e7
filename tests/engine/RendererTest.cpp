#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "SmfWriter.h"
#include "engine/RenderMix.h"
#include "engine/RenderTestSupport.h"
#include "modules/RenderPath.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using test::RenderRig;

std::vector<uint8_t> ShortDenseSong(uint32_t seconds) {
    return test::DenseSong({.seconds = seconds, .melodicTracks = 12}).Build();
}

// Restores the render path a test changes.
struct PathGuard {
    ~PathGuard() { SetRenderPath(saved); }
    RenderPath saved = ActiveRenderPath();
};

TEST(OutputStage, MonoFoldClipAndPack) {
    EXPECT_EQ(MonoFold(1000, -1001), -1);
    EXPECT_EQ(MonoFold(-3, -4), -4);  // arithmetic shift
    EXPECT_EQ(ClipSample(32768), 32767);
    EXPECT_EQ(ClipSample(-1000000), -32767);
    EXPECT_EQ(ClipSample(-32767), -32767);
    EXPECT_EQ(PackFrame(-1, 2), 0x0002FFFFu);
    EXPECT_EQ(PackFrame(32767, -32767), 0x80017FFFu);
}

TEST(Render, SongEndingAfterTheFifthFrameReturnsFiveAndLeavesTheRest) {
    tools::SmfBuilder smf(0, 480);
    smf.AddTrack().EndOfTrack(0);  // its second step ends the song
    for (int32_t engine : {kEngineWavetable, kEngineOpll}) {
        RenderRig rig(engine);
        ASSERT_TRUE(rig.Start(smf.Build()));
        const uint32_t before = rig.context->sequencer.SamplesPerStep() - 5;
        std::vector<uint32_t> lead(before);
        ASSERT_EQ(rig.renderer->Render(lead.data(), before, false), before);
        std::vector<uint32_t> buffer(100, 0xDEADBEEF);
        EXPECT_EQ(rig.renderer->Render(buffer.data(), 100, false), 5u) << engine;
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xDEADBEEF), 95);
        EXPECT_EQ(rig.renderer->Render(buffer.data(), 100, true), 0u);
    }
}

// Every path (plain, and each fast one this processor runs) and every call size give the same
// frames, in both engines, with and without the output filters.
TEST(Render, PathsAndCallSizesAgree) {
    PathGuard guard;
    struct Variant {
        int32_t engine;
        int32_t rate;
        bool mono;
        int32_t cutoff;  // 0: no low-pass
    };
    const std::vector<uint8_t> song = ShortDenseSong(6);
    for (const Variant v :
         {Variant{kEngineWavetable, 44100, false, 0}, Variant{kEngineWavetable, 22050, true, 3000},
          Variant{kEngineWavetable, 48000, false, 10050},
          Variant{kEngineOpll, 22050, true, 3000}}) {
        std::vector<uint32_t> expected;
        for (RenderPath path : {RenderPath::Plain, RenderPath::Sse, RenderPath::Avx2}) {
            if (!SetRenderPath(path)) continue;
            for (uint32_t chunk : {20000u, 777u, 1u}) {
                if (path == RenderPath::Plain && chunk != 777) continue;
                RenderRig rig(v.engine, v.rate);
                rig.parameters.monauralOutput = v.mono;
                rig.parameters.lowPassEnabled = v.cutoff != 0;
                rig.parameters.lowPassCutoff = v.cutoff;
                ASSERT_TRUE(rig.Start(song));
                const std::vector<uint32_t> got = rig.RenderAll(chunk, chunk == 777);
                if (expected.empty()) {
                    expected = got;
                    ASSERT_GT(expected.size(), 5u * static_cast<uint32_t>(v.rate));
                    EXPECT_LT(std::count(got.begin(), got.end(), 0u), got.size() / 2);
                }
                ASSERT_TRUE(got == expected)
                    << v.engine << " " << v.rate << " " << RenderPathName(path) << " " << chunk;
            }
        }
    }
}

// The FM mix is mono and takes no output filter; both settings are read at every call.
TEST(Render, OutputSettingsAndEngineFlagAreReadAtEveryCall) {
    RenderRig rig(kEngineOpll);
    ASSERT_TRUE(rig.Start(ShortDenseSong(4)));
    rig.parameters.lowPassEnabled = true;
    rig.parameters.lowPassCutoff = 200;
    std::vector<uint32_t> buffer(20000);
    rig.renderer->Render(buffer.data(), 20000, false);
    for (uint32_t f : buffer) ASSERT_EQ(f & 0xFFFF, f >> 16);
    EXPECT_NE(std::count(buffer.begin(), buffer.end(), 0u), 20000);
    const LowPassState& history = rig.renderer->FilterHistory(0);
    EXPECT_EQ(history.x1 | history.y1, 0);

    // The wavetable module never heard the song: silence, but through the filter.
    rig.context->engineFlag = kEngineWavetable;
    rig.context->wavetable.ShortMsg(kOpenModuleHandle, PackShortMsg(0x90, 60, 100), 0);
    rig.renderer->Render(buffer.data(), 2000, false);
    EXPECT_TRUE(history.x1 != 0 || history.y1 != 0);
    rig.renderer->ClearFilterHistory();
    for (int channel : {0, 1}) {
        const LowPassState& s = rig.renderer->FilterHistory(channel);
        EXPECT_EQ(s.x1 | s.x2 | s.y1 | s.y2, 0);
    }
    rig.parameters.monauralOutput = true;
    rig.context->wavetable.ShortMsg(kOpenModuleHandle, PackShortMsg(0xB0, 10, 0), 0);  // hard left
    rig.renderer->Render(buffer.data(), 2000, false);
    for (uint32_t f : buffer) ASSERT_EQ(f & 0xFFFF, f >> 16);
}

TEST(Render, NotPlayingWritesNothingAndRenderingHoldsTheSequencerLock) {
    RenderRig idle;
    uint32_t frame = 7;
    EXPECT_EQ(idle.renderer->Render(&frame, 1, true), 0u);
    EXPECT_EQ(frame, 7u);

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
