// Measure and Seek count the steps in which nothing falls due instead of running them; the
// outcome must be exactly that of running every step.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "midi/Sequencer.h"
#include "support/Deadline.h"
#include "support/RecordingModule.h"
#include "support/SmfBuilder.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using test::CallKind;
using test::ModuleCall;
using test::RecordingModule;
using test::SmfBuilder;

struct StampedCall {
    ModuleCall call;
    uint64_t tick;
    bool operator==(const StampedCall& o) const {
        return call.kind == o.call.kind && call.handle == o.call.handle &&
               call.message == o.call.message && call.port == o.call.port &&
               call.sysEx == o.call.sysEx && tick == o.tick;
    }
};

struct RunResult {
    uint64_t samples = 0;
    uint64_t ticks = 0;
    std::vector<StampedCall> calls;
    std::string title;
};

class Recorder {
public:
    explicit Recorder(int32_t rate) {
        parameters.sampleRate = rate;
        sequencer.SetModule(&module);
        module.onCall = [this](const ModuleCall& c) {
            calls.push_back({c, sequencer.TickPosition()});
        };
    }
    EngineParameters parameters;
    RecordingModule module;
    Sequencer sequencer{parameters};
    std::vector<StampedCall> calls;
};

RunResult MeasureBySkipping(const std::vector<uint8_t>& image, int32_t rate) {
    Recorder r(rate);
    RunResult run;
    if (!r.sequencer.LoadImage(image)) return run;
    test::FinishesWithin(std::chrono::seconds(60),
                         [&] { r.sequencer.Measure(&run.samples, &run.ticks); });
    run.calls = r.calls;
    run.title = r.sequencer.SongTitle();
    return run;
}

// The test songs end within this many steps; a track cursor left wrong can make it billions.
constexpr int kStepBudget = 2'000'000;

// Runs steps until the song is over, or fails when it does not end within the budget.
void PlayThrough(Sequencer& sequencer, uint64_t* samples = nullptr) {
    for (int steps = 0; sequencer.Playing(); ++steps) {
        if (steps == kStepBudget) {
            ADD_FAILURE() << "the song did not end within " << kStepBudget << " steps";
            return;
        }
        if (samples != nullptr) *samples += sequencer.SamplesPerStep();
        sequencer.Advance(true);
    }
}

// Measure spelled out with the public operations: every step run, one by one.
RunResult MeasureStepByStep(const std::vector<uint8_t>& image, int32_t rate) {
    Recorder r(rate);
    RunResult run;
    if (!r.sequencer.LoadImage(image)) return run;
    r.sequencer.SetLoop(false);
    r.sequencer.Start();
    PlayThrough(r.sequencer, &run.samples);
    run.ticks = r.sequencer.TickPosition();
    run.calls = r.calls;
    run.title = r.sequencer.SongTitle();
    return run;
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> TestSongs() {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> songs;
    songs.emplace_back("measure example", test::MeasureExampleSong().Build());
    songs.emplace_back("dense", test::DenseSong({.seconds = 20, .melodicTracks = 12}).Build());
    songs.emplace_back(
        "dense, division 96",
        test::DenseSong({.seconds = 10, .melodicTracks = 4, .division = 96, .seed = 3}).Build());
    {
        SmfBuilder smf(1, 480);
        smf.AddTrack()
            .TrackName(0, "Sparse")
            .Tempo(0, 600000)
            .Tempo(7000, 250)
            .Tempo(90000, 16777215);
        smf.TrackAt(0).Tempo(3000, 0).Tempo(1, 428571).EndOfTrack(120000);
        smf.AddTrack().NoteOn(100000, 0, 60, 100).NoteOff(17, 0, 60).EndOfTrack(3);
        smf.AddTrack();  // empty
        smf.AddTrack().ProgramChange(5, 3, 3).SysEx(40000, {0x41, 0x10, 0x42, 0x12, 0xF7});
        for (int i = 0; i < 16; ++i)
            smf.AddTrack().NoteOn(1234 * i, i, 40 + i, 90).EndOfTrack(77 * i);
        songs.emplace_back("sparse, 20 tracks, extreme tempos", smf.Build());
    }
    {
        SmfBuilder smf(0, 7);
        smf.AddTrack().NoteOn(0, 0, 60, 100).Event(3, {62, 100}).Event(0, {0xFF, 0x01, 0x00});
        smf.TrackAt(0).Event(50, {0x51, 3, 0, 0x10, 0}).NoteOn(1000, 1, 1, 1);  // no end of track
        songs.emplace_back("running status, division 7", smf.Build());
    }
    {
        SmfBuilder smf(1, 65535);
        smf.AddTrack().Tempo(0, 250).NoteOn(300000, 0, 60, 100).EndOfTrack(70000);
        smf.AddTrack().EndOfTrack(0).Raw({0x00, 0x90, 1, 2, 0x83, 0x00, 0xFF, 0x2F, 0x00, 0x05});
        songs.emplace_back("huge steps, bytes after end of track", smf.Build());
    }
    {
        SmfBuilder smf;
        smf.AddTrack().NoteOn(0, 0, 60, 100).Raw({0x00, 0x90, 0x3C});
        smf.AddTrack().NoteOn(20000, 0, 61, 100).Raw({0x8F, 0xFF});
        smf.AddTrack().NoteOn(1, 0, 62, 100).EndOfTrack(5).DeclaredLength(99999);
        songs.emplace_back("damaged", smf.Build());
    }
    std::mt19937 random(5);
    for (int i = 0; i < 12; ++i) {
        // Mostly data bytes, so that delta times stay short enough to run every step.
        std::vector<uint8_t> garbage(1000 + random() % 3000);
        for (uint8_t& b : garbage) {
            b = static_cast<uint8_t>(random() % 24 == 0 ? random() : random() % 0x80);
        }
        SmfBuilder smf(1, static_cast<uint16_t>(1 + random() % 960));
        smf.AddTrack().Raw(garbage);
        smf.AddTrack().Raw(std::vector<uint8_t>(garbage.begin() + 100, garbage.begin() + 900));
        songs.emplace_back("garbage " + std::to_string(i), smf.Build());
    }
    return songs;
}

TEST(SkipAhead, MeasureEqualsRunningEveryStepOnEveryTestSong) {
    for (const auto& [name, image] : TestSongs()) {
        for (int32_t rate : {44100, 22050}) {
            const RunResult fast = MeasureBySkipping(image, rate);
            const RunResult literal = MeasureStepByStep(image, rate);
            ASSERT_GT(literal.samples, 0u) << name;
            EXPECT_EQ(fast.samples, literal.samples) << name << " " << rate;
            EXPECT_EQ(fast.ticks, literal.ticks) << name << " " << rate;
            EXPECT_EQ(fast.title, literal.title) << name;
            EXPECT_TRUE(fast.calls == literal.calls)
                << name << " " << rate << ": " << fast.calls.size() << " calls against "
                << literal.calls.size();
        }
    }
}

// The channel and system-exclusive messages of a run, without the closing silence.
std::vector<StampedCall> Events(const std::vector<StampedCall>& calls) {
    size_t end = calls.size();
    if (end >= 35 && calls[end - 1].call.kind == CallKind::kClose) end -= 35;
    std::vector<StampedCall> events;
    for (size_t i = 0; i < end; ++i) {
        const CallKind kind = calls[i].call.kind;
        if (kind == CallKind::kShortMsg || kind == CallKind::kLongMsg) events.push_back(calls[i]);
    }
    return events;
}

// Seek delivers every event up to its end at once, at the ticks running every step would, and
// leaves the tracks so that playback goes on exactly as if it had run every step.
TEST(SkipAhead, SeekThenPlayDeliversWhatPlayingThroughDoes) {
    for (const auto& [name, image] : TestSongs()) {
        const RunResult whole = MeasureStepByStep(image, 44100);
        const std::vector<StampedCall> expected = Events(whole.calls);
        for (uint64_t target :
             {uint64_t{1}, whole.ticks / 3, whole.ticks - 1, whole.ticks + 5000}) {
            Recorder r(44100);
            ASSERT_TRUE(r.sequencer.LoadImage(image));
            r.sequencer.SetLoop(false);
            r.sequencer.Start();
            r.calls.clear();
            r.sequencer.Seek(target);
            const uint64_t end = r.sequencer.TickPosition();
            ASSERT_FALSE(r.calls.empty());
            EXPECT_EQ(r.calls.front().call.kind, CallKind::kReset);
            size_t seekEvents = Events(r.calls).size();
            PlayThrough(r.sequencer);
            const std::vector<StampedCall> delivered = Events(r.calls);
            EXPECT_TRUE(delivered == expected)
                << name << " to " << target << ": " << delivered.size() << " against "
                << expected.size();
            size_t before = 0;
            while (before < expected.size() && expected[before].tick <= end) ++before;
            EXPECT_EQ(seekEvents, before) << name << " to " << target;
            // The scan also stops where the song ends; these targets lie well before that.
            if (target <= whole.ticks / 3) {
                EXPECT_GE(end, target) << name;
            }
        }
    }
}

TEST(SkipAhead, HugeDeltaTimesCostOnlyTheirEvents) {
    // Every delta time is the largest four-byte number: billions of ticks in all.
    constexpr uint32_t kHuge = 0x0FFFFFFF;
    SmfBuilder smf(1, 480);
    uint64_t lastEvent = 0;
    for (int t = 0; t < 3; ++t) {
        test::TrackBuilder& track = smf.AddTrack();
        for (int i = 0; i < 5 + t; ++i) track.NoteOn(kHuge, t, 60, 100);
        track.EndOfTrack(kHuge);
        lastEvent = std::max<uint64_t>(lastEvent, uint64_t{kHuge} * (6 + t));
    }
    // 180 beats per minute, division 480: 4 ticks and 122 samples a step. The last end of track
    // is handled in tick lastEvent + 1; the step after the one holding it finds the song over.
    const uint64_t steps = (lastEvent + 1 + 3) / 4 + 1;
    EngineParameters parameters;
    RecordingModule module;
    Sequencer sequencer(parameters);
    sequencer.SetModule(&module);
    ASSERT_TRUE(sequencer.LoadImage(smf.Build()));
    uint64_t samples = 0, ticks = 0;
    test::FinishesWithin(std::chrono::seconds(60), [&] { sequencer.Measure(&samples, &ticks); });
    EXPECT_EQ(ticks, steps * 4);
    EXPECT_EQ(samples, steps * 122);
    EXPECT_EQ(module.ShortMessages().size(), 5u + 6u + 7u + 32u);

    module.Clear();
    ASSERT_TRUE(sequencer.Start());
    test::FinishesWithin(std::chrono::seconds(60),
                         [&] { sequencer.Seek(uint64_t{kHuge} * 5 + 2); });
    // Each track's notes at kHuge * 1 .. 5 are behind the target; seven more lie ahead.
    EXPECT_EQ(module.ShortMessages().size(), 15u);
    EXPECT_EQ(sequencer.TickPosition(), uint64_t{kHuge} * 5 + 2);
}

}  // namespace
}  // namespace zeblo
