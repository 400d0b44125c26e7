// The sequencer's clock and its life cycle, against a module that writes down every call it
// hears. What a song's events become is the song table's business (SkipAheadTest.cpp).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "midi/Sequencer.h"
#include "support/RecordingModule.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using tools::SmfBuilder;
using Calls = std::vector<std::string>;

SmfBuilder OneTrack(uint32_t microseconds, uint16_t division = 480, uint32_t end = 100000) {
    SmfBuilder smf(0, division);
    smf.AddTrack().Tempo(0, microseconds).NoteOn(0, 0, 60, 100).EndOfTrack(end);
    return smf;
}

class SequencerTest : public ::testing::Test {
protected:
    SequencerTest() { sequencer.SetModule(&module); }

    // Loads and starts the song, runs `advances` frames, then forgets the calls so far.
    void Start(const SmfBuilder& smf, int advances = 0) {
        ASSERT_TRUE(sequencer.LoadImage(smf.Build()));
        ASSERT_TRUE(sequencer.Start());
        for (int i = 0; i < advances; ++i) sequencer.Advance(false);
        module.calls.clear();
    }

    EngineParameters parameters;
    test::RecordingModule module;
    Sequencer sequencer{parameters};
};

// The plain search for a step: the first k ticks whose k * rate * 60 / (bpm * division) samples,
// truncated, reach 100.
std::pair<int64_t, int64_t> StepBySearch(int64_t bpm, int64_t division, int64_t rate) {
    for (int64_t k = 1;; ++k) {
        if (k * rate * 60 / (bpm * division) >= 100) return {k, k * rate * 60 / (bpm * division)};
    }
}

TEST_F(SequencerTest, TempoAndStepFollowTheTempoEventDivisionRateAndOffset) {
    const struct {
        int32_t rate;
        uint32_t microseconds;  // 0 is ignored: 180 beats per minute stay
        uint16_t division;
        int32_t offset;
        uint16_t bpm;
        int32_t ticks;
        uint32_t samples;
    } rows[] = {
        {44100, 500000, 480, 0, 120, 3, 137},   {44100, 0, 480, 0, 180, 4, 122},
        {44100, 500000, 480, 200, 120, 6, 103}, {44100, 428571, 480, 0, 140, 3, 118},
        {44100, 250, 480, 0, 43392, 788, 100},  // 240000 in 16 bits
    };
    for (const auto& row : rows) {
        parameters.sampleRate = row.rate;
        Start(OneTrack(row.microseconds, row.division), 1);
        sequencer.SetTempoOffset(row.offset);
        EXPECT_TRUE(sequencer.ComputeStep());
        EXPECT_EQ(sequencer.TempoBpm(), row.bpm) << row.microseconds;
        EXPECT_EQ(sequencer.TicksPerStep(), row.ticks) << row.rate << " " << row.microseconds;
        EXPECT_EQ(sequencer.SamplesPerStep(), row.samples) << row.rate << " " << row.microseconds;
    }
    for (int32_t rate : {22050, 44100, 48000}) {
        parameters.sampleRate = rate;
        for (uint16_t division : {1, 24, 96, 480, 960, 59176, 65535}) {
            for (uint32_t m : {16777215, 1000000, 500000, 333333, 60000, 1000, 2000, 915, 250}) {
                Start(OneTrack(m, division), 1);
                for (int32_t offset : {0, 200, 400}) {
                    sequencer.SetTempoOffset(offset);
                    ASSERT_TRUE(sequencer.ComputeStep());
                    const auto [k, s] = StepBySearch(sequencer.TempoBpm() + offset, division, rate);
                    EXPECT_EQ(sequencer.TicksPerStep(), k) << rate << " " << division << " " << m;
                    EXPECT_EQ(sequencer.SamplesPerStep(), s) << rate << " " << division << " " << m;
                }
            }
        }
    }
}

TEST_F(SequencerTest, FirstStepRunsAtOnceThenOneEverySamplesPerStepFrames) {
    Start(OneTrack(500000));
    std::vector<int> stepCalls;
    for (int call = 1; call <= 1000; ++call) {
        const uint64_t before = sequencer.TickPosition();
        sequencer.Advance(false);
        if (sequencer.TickPosition() == before) continue;
        stepCalls.push_back(call);
        // The first step too holds three ticks: the tempo event shortens the step it occurs in.
        EXPECT_EQ(sequencer.TickPosition() - before, 3u) << call;
    }
    EXPECT_EQ(stepCalls, (std::vector<int>{1, 138, 275, 412, 549, 686, 823, 960}));
    Start(test::MeasureExampleSong());
    sequencer.Silence();
    ASSERT_TRUE(sequencer.Paused());
    sequencer.Advance(false);
    EXPECT_EQ(sequencer.TickPosition(), 0u);
    sequencer.Advance(true);  // forced: runs while paused
    EXPECT_EQ(sequencer.TickPosition(), 3u);
}

TEST_F(SequencerTest, TheEndOfTheSongLoopsKeepingTheModuleAndTheOffset) {
    sequencer.SetTempoOffset(200);
    Start(OneTrack(500000, 480, 30));
    // 180 + 200 beats per minute: 7 ticks a step; then 120 + 200: 6. Ticks 1-6 .. 31-36 hold
    // the end of the track (handled in tick 31); step 7 finds the song over.
    EXPECT_EQ(sequencer.TicksPerStep(), 7);
    for (int step = 1; step <= 6; ++step) sequencer.Advance(true);
    module.calls.clear();
    sequencer.Advance(true);
    EXPECT_EQ(module.calls, Calls{"reset"});
    EXPECT_EQ(sequencer.Handle(), kOpenModuleHandle);
    EXPECT_EQ(sequencer.TickPosition(), 0u);
    EXPECT_EQ(sequencer.TempoBpm(), 180);
    EXPECT_EQ(sequencer.TicksPerStep(), 7);
    EXPECT_TRUE(sequencer.Playing() && !sequencer.Paused());
    module.calls.clear();
    sequencer.Advance(true);  // the song again from tick 0, 120 + 200 beats per minute
    EXPECT_EQ(module.calls, Calls{"short 643c90 p0"});
    EXPECT_EQ(sequencer.TicksPerStep(), 6);
    EXPECT_EQ(sequencer.SamplesPerStep(), 103u);
}

TEST_F(SequencerTest, WithoutSongOrModuleNothingHappens) {
    uint64_t samples = 5, ticks = 5;
    ASSERT_TRUE(sequencer.LoadImage(SmfBuilder().Build()));  // zero tracks
    EXPECT_FALSE(sequencer.Measure(&samples, &ticks));
    EXPECT_EQ(samples + ticks, 0u);
    EXPECT_FALSE(sequencer.Start() || sequencer.Stop());
    sequencer.Advance(true);
    sequencer.Step();
    sequencer.Seek(100);
    ASSERT_TRUE(sequencer.LoadImage(OneTrack(500000).Build()));
    sequencer.SetModule(nullptr);
    sequencer.Advance(true);
    sequencer.Step();
    EXPECT_EQ(sequencer.TickPosition(), 0u);
    EXPECT_FALSE(sequencer.OpenModule());
    EXPECT_TRUE(sequencer.Measure(&samples, &ticks));  // the events reach no one
    EXPECT_TRUE(module.calls.empty());
}

TEST_F(SequencerTest, StopAndLoadFileSilenceEveryChannelAndShutTheModule) {
    test::TempDir dir;
    const std::string path = dir.File("example.mid");
    ASSERT_TRUE(test::MeasureExampleSong().WriteFile(path));
    Start(OneTrack(500000));
    ASSERT_TRUE(sequencer.Stop());
    const Calls stopped = module.calls;
    ASSERT_EQ(stopped.size(), 35u);  // every channel of both ports first
    EXPECT_EQ(Calls(stopped.begin() + 31, stopped.end()),
              (Calls{"short 0007bf p1", "unprepare", "reset", "close"}));
    EXPECT_EQ(sequencer.Handle(), 0u);
    EXPECT_TRUE(sequencer.Paused() && !sequencer.Playing());
    sequencer.Silence();  // closed already: nothing to send
    Start(OneTrack(500000));
    ASSERT_TRUE(sequencer.LoadFile(path.c_str()));
    EXPECT_EQ(module.calls, stopped);
    EXPECT_FALSE(sequencer.Paused());
    EXPECT_FALSE(sequencer.LoadFile(dir.Path().string().c_str()));  // a folder
    EXPECT_FALSE(sequencer.HasSong() || sequencer.Start());
}

// Megabytes of damage load, or fail, cleanly and measure to an end.
TEST_F(SequencerTest, DamagedSongsLoadOrFailCleanlyAndMeasureToAnEnd) {
    std::mt19937 random(11);
    std::vector<uint8_t> noise(5 << 20);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    SmfBuilder endless;  // one endless delta time, then a track of noise
    endless.AddTrack().NoteOn(0, 0, 60, 100).Raw(std::vector<uint8_t>(5 << 20, 0x80));
    endless.AddTrack().Raw(noise).DeclaredLength(1 << 30);
    std::vector<uint8_t> headerOnly = SmfBuilder().DeclaredTrackCount(9).Build();
    headerOnly.insert(headerOnly.end(), noise.begin(), noise.end());
    EXPECT_FALSE(sequencer.LoadImage(headerOnly) || sequencer.HasSong());
    ASSERT_TRUE(sequencer.LoadImage(endless.Build()));
    uint64_t samples = 0;
    EXPECT_TRUE(sequencer.Measure(&samples, nullptr));
    EXPECT_GT(samples, 0u);
    for (const Track& t : sequencer.Tracks()) EXPECT_TRUE(t.ended && t.readPosition <= t.length);
}

}  // namespace
}  // namespace zeblo
