#include <gtest/gtest.h>

#include <cstring>

#include "SmfWriter.h"
#include "engine/RenderTestSupport.h"
#include "support/Fnv1a.h"

namespace zeblo {
namespace {

using test::RenderRig;

constexpr int32_t kUntouched = 0x5A5A5A5A;

// Channel 3 of port 0 set up and playing note 60; channel 0 of port 1 playing note 67; GS
// display dots sent after one second when `dots` is set.
std::vector<uint8_t> StripSong(int program, bool dots = false, bool userWaveforms = false) {
    tools::SmfBuilder smf(1, 480);
    smf.AddTrack().Tempo(0, 500000).EndOfTrack(480 * 40);
    tools::TrackBuilder& a = smf.AddTrack();
    if (userWaveforms) a.SysEx(0, {0x77, 0x10, 0x42, 0x12, 0xF0, 0x00, 0x00, 0x01, 0xF7});
    a.ProgramChange(0, 3, program)
        .ControlChange(0, 3, 7, 90)
        .ControlChange(0, 3, 10, 30)
        .ControlChange(0, 3, 11, 100)
        .ControlChange(0, 3, 64, 127)
        .PitchBend(0, 3, 8192 + 300)
        .NoteOn(0, 3, 60, 100);
    if (dots) {
        std::vector<uint8_t> body = {0x41, 0x10, 0x45, 0x12, 0x10, 0x01, 0x00};
        for (int i = 0; i < 64; ++i) body.push_back(static_cast<uint8_t>(i + 1));
        body.push_back(0x00);
        body.push_back(0xF7);
        a.SysEx(960, body);
    }
    a.EndOfTrack(480 * 40 - a.Tick());
    tools::TrackBuilder& b = smf.AddTrack();
    b.Port(0, 1).ProgramChange(0, 0, 5).NoteOn(0, 0, 67, 110).EndOfTrack(480 * 40);
    return smf.Build();
}

void MarkRing(SnapshotRing& ring) {
    for (std::size_t i = 0; i < ring.Size(); ++i) {
        auto* words = reinterpret_cast<int32_t*>(&ring[i]);
        std::fill(words, words + 385, kUntouched);
    }
}

bool Written(const DisplaySnapshot& s) {
    return s.dotsValid != kUntouched;
}

void RenderFrames(RenderRig& rig, uint32_t frames) {
    std::vector<uint32_t> buffer(frames);
    ASSERT_EQ(rig.renderer->Render(buffer.data(), frames, true), frames);
}

// Two-second blocks, ten of them, ten records a second: 2 * 10 * 10 + 1000 records.
TEST(Snapshots, FirstRecordIsTwoAtFrame4411ThenThreeAt8821) {
    for (int32_t engine : {kEngineWavetable, kEngineOpll}) {
        RenderRig rig(engine);
        EXPECT_EQ(rig.renderer->Snapshots().Size(), 1200u);
        EXPECT_EQ(rig.renderer->SnapshotInterval(), 4410u);
        ASSERT_TRUE(rig.Start(StripSong(0)));
        SnapshotRing& ring = rig.renderer->Snapshots();
        MarkRing(ring);
        RenderFrames(rig, 4411);  // frames 0 ... 4410
        EXPECT_FALSE(Written(ring[1]) || Written(ring[2]));
        RenderFrames(rig, 1);  // frame 4411
        EXPECT_TRUE(Written(ring[2]));
        EXPECT_EQ(rig.renderer->SnapshotNext(), 8820u);
        rig.context->sequencer.SetTempoOffset(200);  // fast forward: shown at once
        RenderFrames(rig, 4409);                     // up to frame 8820
        EXPECT_FALSE(Written(ring[3]));
        RenderFrames(rig, 1);  // frame 8821
        EXPECT_TRUE(Written(ring[3]));
        for (std::size_t i = 0; i < ring.Size(); ++i) ASSERT_EQ(Written(ring[i]), i == 2 || i == 3);
        // Ticks, tempo with the offset, ticks per quarter: the song where each record was taken.
        EXPECT_EQ(ring.Clock(2), (SongClock{99, 120, 480}));
        EXPECT_EQ(ring.Clock(3), (SongClock{195, 320, 480}));
        EXPECT_EQ(rig.renderer->SnapshotCounter(), 8822u);
    }
}

// A record frozen whole, for both modules, two instrument sets and uploaded waveforms: channel
// words, voices, frequencies and wave references. The wavetable module shows port 1's channel 0
// as strip 16; the FM module folds both ports onto sixteen strips and leaves the rest untouched.
TEST(Snapshots, EachModulesRecordIsFrozen) {
    const struct {
        int32_t engine, set;
        int program;
        bool uploaded;
        uint64_t hash;
    } rows[] = {
        {kEngineWavetable, 0, 0, false, 0xa7f1504838371d10},
        {kEngineWavetable, 3, 40, false, 0x0b48b994e07ce2dd},
        {kEngineWavetable, 0, 40, true, 0x6c33c23ada08d82a},
        {kEngineOpll, 0, 19, false, 0xd79e1abf4f6e2e4d},
    };
    for (const auto& row : rows) {
        RenderRig rig(row.engine);
        rig.parameters.autoDetune = false;
        rig.parameters.activeInstrumentSet = row.set;
        ASSERT_TRUE(rig.Start(StripSong(row.program, false, row.uploaded)));
        MarkRing(rig.renderer->Snapshots());
        RenderFrames(rig, 4412);
        const DisplaySnapshot& s = rig.renderer->Snapshots()[2];
        EXPECT_EQ(s.frequency[3], 262);  // note 60 (261.63 Hz) bent up by 7 cents
        const uint64_t hash = test::Fnv1a({reinterpret_cast<const char*>(&s), sizeof s});
        EXPECT_EQ(hash, row.hash) << row.engine << " " << row.program << std::hex << " 0x" << hash;
    }
}

TEST(Snapshots, DotsStayForThreeSecondsAfterTheyArrive) {
    for (int32_t engine : {kEngineWavetable, kEngineOpll}) {
        RenderRig rig(engine);
        ASSERT_TRUE(rig.Start(StripSong(0, true)));
        SnapshotRing& ring = rig.renderer->Snapshots();
        RenderFrames(rig, 44100 * 6);
        // The message arrives one beat in (at 120 beats per minute after the first step's 180).
        int first = -1;
        int valid = 0;
        for (int j = 2; j < 62; ++j) {
            if (ring[j].dotsValid == 1) {
                if (first < 0) first = j;
                ++valid;
                EXPECT_EQ(ring[j].dots[0], 1);
                EXPECT_EQ(ring[j].dots[63], 64);
            }
        }
        ASSERT_GT(first, 2);
        EXPECT_LT(first, 20);
        // 3 s at 44100 Hz, counted down by 4410 a record: 30 records.
        EXPECT_EQ(valid, 30) << engine;
        for (int j = first; j < first + 30; ++j) EXPECT_EQ(ring[j].dotsValid, 1) << j;
        EXPECT_EQ(ring[first + 30].dotsValid, 0);
        EXPECT_EQ(rig.renderer->DisplayHoldSamples(), 132300 - 30 * 4410);
        // Before the dots arrived, only the FM engine copies them (all zero then).
        const DisplaySnapshot& before = ring[first - 1];
        EXPECT_EQ(before.dotsValid, 0);
        const DisplaySnapshot& after = ring[first + 31];
        EXPECT_EQ(after.dots[0], engine == kEngineOpll ? 1 : 0);
    }
}

// Authoring renders without records: a cleared ring stays clear.
TEST(Snapshots, ClearingResetsTheChannelWordsAndTheDotFlagAndAuthoringWritesNone) {
    RenderRig rig;
    ASSERT_TRUE(rig.Start(StripSong(0, true)));
    RenderFrames(rig, 44100 * 2);
    SnapshotRing& ring = rig.renderer->Snapshots();
    ASSERT_EQ(ring[5].voiceCount[3], 1);
    ring.Clear();
    const uint32_t counted = rig.renderer->SnapshotCounter();
    std::vector<uint32_t> buffer(20000);
    rig.renderer->Render(buffer.data(), 20000, false);
    EXPECT_EQ(rig.renderer->SnapshotCounter(), counted);
    for (std::size_t j = 0; j < ring.Size(); ++j) {
        const auto* words = reinterpret_cast<const int32_t*>(&ring[j]);
        for (int w = 0; w < 385; ++w)
            ASSERT_EQ(words[w], w >= 128 && w < 160 ? 64 : 0) << j << " " << w;
        ASSERT_EQ(ring.Clock(j), SongClock{}) << j;
    }
    rig.renderer->StartSnapshotClock();
    EXPECT_EQ(rig.renderer->SnapshotCounter(), 0u);
    EXPECT_EQ(rig.renderer->SnapshotNext(), 4410u);
}

}  // namespace
}  // namespace zeblo
