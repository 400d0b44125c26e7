#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "midi/Sequencer.h"
#include "support/Deadline.h"
#include "support/RecordingModule.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using test::CallKind;
using test::ModuleCall;
using test::RecordingModule;
using test::SmfBuilder;

class SequencerTest : public ::testing::Test {
protected:
    SequencerTest() { sequencer.SetModule(&module); }

    void Load(const SmfBuilder& smf) { ASSERT_TRUE(sequencer.LoadImage(smf.Build())); }

    std::pair<uint64_t, uint64_t> Measure() {
        uint64_t samples = 0, ticks = 0;
        bool measured = false;
        test::FinishesWithin(std::chrono::seconds(60),
                             [&] { measured = sequencer.Measure(&samples, &ticks); });
        EXPECT_TRUE(measured);
        return {samples, ticks};
    }

    // Tempo and step after the first step of a song that starts with a tempo event.
    void StartWithTempo(uint32_t microseconds, uint16_t division) {
        SmfBuilder smf(0, division);
        smf.AddTrack().Tempo(0, microseconds).EndOfTrack(100000);
        Load(smf);
        ASSERT_TRUE(sequencer.Start());
        sequencer.Advance(true);
    }

    EngineParameters parameters;
    RecordingModule module;
    Sequencer sequencer{parameters};
};

// The text's loop: the first k whose truncated k * rate * 60 / D reaches 100.
std::pair<int64_t, int64_t> StepByLoop(int64_t bpm, int64_t division, int64_t rate) {
    const int64_t d = bpm * division;
    for (int64_t k = 1;; ++k) {
        const int64_t s = k * rate * 60 / d;
        if (s >= 100) return {k, s};
    }
}

TEST_F(SequencerTest, ComputeStepGivesTheDocumentedSteps) {
    struct Case {
        int32_t rate;
        uint32_t microseconds;  // 0: no tempo event, 180 beats per minute
        uint16_t division;
        int32_t offset;
        int32_t ticks;
        uint32_t samples;
    };
    const Case cases[] = {{44100, 500000, 480, 0, 3, 137}, {44100, 0, 480, 0, 4, 122},
                          {44100, 500000, 96, 0, 1, 229},  {48000, 500000, 480, 0, 2, 100},
                          {22050, 500000, 480, 0, 5, 114}, {44100, 500000, 480, 200, 6, 103}};
    for (const Case& c : cases) {
        parameters.sampleRate = c.rate;
        SmfBuilder smf(0, c.division);
        if (c.microseconds != 0)
            smf.AddTrack().Tempo(0, c.microseconds).EndOfTrack(1000);
        else
            smf.AddTrack().EndOfTrack(1000);
        Load(smf);
        ASSERT_TRUE(sequencer.Start());
        sequencer.Advance(true);
        sequencer.SetTempoOffset(c.offset);
        EXPECT_TRUE(sequencer.ComputeStep());
        EXPECT_TRUE(sequencer.Playing());
        EXPECT_EQ(sequencer.TicksPerStep(), c.ticks) << c.rate << " " << c.division;
        EXPECT_EQ(sequencer.SamplesPerStep(), c.samples) << c.rate << " " << c.division;
    }
}

TEST_F(SequencerTest, ComputeStepAgreesWithTheStepByStepSearchEverywhere) {
    const uint32_t tempos[] = {16777215, 1000000, 500000, 333333, 60000, 1000, 2000, 915, 250};
    for (int32_t rate : {22050, 44100, 48000}) {
        parameters.sampleRate = rate;
        for (uint16_t division : {1, 24, 96, 480, 960, 59176, 65535}) {
            for (uint32_t m : tempos) {
                StartWithTempo(m, division);
                for (int32_t offset : {0, 200, 400}) {
                    sequencer.SetTempoOffset(offset);
                    ASSERT_TRUE(sequencer.ComputeStep());
                    const auto [k, s] = StepByLoop(sequencer.TempoBpm() + offset, division, rate);
                    EXPECT_EQ(sequencer.TicksPerStep(), k) << rate << " " << division << " " << m;
                    EXPECT_EQ(sequencer.SamplesPerStep(), s) << rate << " " << division << " " << m;
                }
            }
        }
    }
}

TEST_F(SequencerTest, TempoEventsSetWholeBeatsPerMinuteIn16Bits) {
    const std::pair<uint32_t, uint16_t> cases[] = {
        {500000, 120}, {428571, 140}, {333333, 180}, {1000000, 60}, {250, 43392}};
    for (const auto& [microseconds, bpm] : cases) {
        StartWithTempo(microseconds, 480);
        EXPECT_EQ(sequencer.TempoBpm(), bpm) << microseconds;
    }
}

TEST_F(SequencerTest, ATempoOfZeroIsIgnored) {
    StartWithTempo(0, 480);
    EXPECT_EQ(sequencer.TempoBpm(), 180);
    EXPECT_EQ(sequencer.TicksPerStep(), 4);
    EXPECT_EQ(sequencer.SamplesPerStep(), 122u);
    EXPECT_EQ(sequencer.TickPosition(), 4u);
}

TEST_F(SequencerTest, FirstStepRunsAtOnceThenEvery137Calls) {
    SmfBuilder smf(0, 480);
    smf.AddTrack().Tempo(0, 500000).EndOfTrack(100000);
    Load(smf);
    ASSERT_TRUE(sequencer.Start());
    std::vector<int> stepCalls;
    std::vector<uint64_t> ticks;
    uint64_t last = 0;
    for (int call = 1; call <= 1000; ++call) {
        sequencer.Advance(false);
        if (sequencer.TickPosition() != last) {
            stepCalls.push_back(call);
            ticks.push_back(sequencer.TickPosition() - last);
            last = sequencer.TickPosition();
        }
    }
    ASSERT_GE(stepCalls.size(), 3u);
    EXPECT_EQ(stepCalls[0], 1);
    EXPECT_EQ(stepCalls[1], 138);
    for (size_t i = 1; i < stepCalls.size(); ++i) {
        EXPECT_EQ(stepCalls[i], 138 + 137 * static_cast<int>(i - 1));
        EXPECT_EQ(ticks[i], 3u);
    }
    EXPECT_EQ(ticks[0], 3u);  // ticks 1 to 3: the tempo event shortens the step it occurs in
}

TEST_F(SequencerTest, AdvanceWaitsWhilePausedUnlessForced) {
    SmfBuilder smf(0, 480);
    smf.AddTrack().EndOfTrack(100000);
    Load(smf);
    ASSERT_TRUE(sequencer.Start());
    sequencer.Silence();
    ASSERT_TRUE(sequencer.Paused());
    sequencer.Advance(false);
    EXPECT_EQ(sequencer.TickPosition(), 0u);
    sequencer.Advance(true);
    EXPECT_EQ(sequencer.TickPosition(), 4u);
}

TEST_F(SequencerTest, MeasureGivesTheDocumentedLength) {
    const test::SmfBuilder song = test::MeasureExampleSong();
    const std::tuple<int32_t, uint64_t, uint64_t> cases[] = {
        {44100, 87939, 1926}, {48000, 96200, 1924}, {22050, 43997, 1930}};
    for (const auto& [rate, samples, ticks] : cases) {
        parameters.sampleRate = rate;
        Load(song);
        EXPECT_EQ(Measure(), std::make_pair(samples, ticks)) << rate;
        EXPECT_FALSE(sequencer.Playing());
        EXPECT_FALSE(sequencer.Loop());
    }
}

TEST_F(SequencerTest, MeasureWithoutASongGivesZero) {
    uint64_t samples = 5, ticks = 5;
    EXPECT_FALSE(sequencer.Measure(&samples, &ticks));
    EXPECT_EQ(samples, 0u);
    EXPECT_EQ(ticks, 0u);
    EXPECT_FALSE(sequencer.Measure(nullptr, nullptr));
    ASSERT_TRUE(sequencer.LoadImage(SmfBuilder().Build()));  // zero tracks
    EXPECT_FALSE(sequencer.Measure(&samples, &ticks));
    EXPECT_EQ(samples, 0u);
    EXPECT_FALSE(sequencer.Start());
    EXPECT_FALSE(sequencer.Stop());
}

TEST_F(SequencerTest, ATrackWithoutEndOfTrackEndsAtItsLastByte) {
    SmfBuilder smf(0, 480);
    smf.AddTrack().NoteOn(0, 0, 60, 100).NoteOff(10, 0, 60);
    Load(smf);
    // The note-off is handled in tick 11, step 3 (ticks 9 to 12); step 4 finds the song over.
    EXPECT_EQ(Measure(), std::make_pair(uint64_t{4 * 122}, uint64_t{16}));
}

TEST_F(SequencerTest, EventsOfOneTickGoInTrackOrder) {
    SmfBuilder smf(1, 480);
    smf.AddTrack().EndOfTrack(10);
    smf.AddTrack().NoteOn(0, 0, 60, 100).EndOfTrack(10);
    smf.AddTrack().ProgramChange(0, 0, 5).EndOfTrack(10);
    Load(smf);
    ASSERT_TRUE(sequencer.Start());
    module.Clear();
    sequencer.Advance(false);
    EXPECT_EQ(module.ShortMessages(),
              (std::vector<uint32_t>{PackShortMsg(0x90, 60, 100), PackShortMsg(0xC0, 5)}));
}

TEST_F(SequencerTest, ChannelMessagesArePackedUnfilteredWithTheTrackPort) {
    SmfBuilder smf(1, 480);
    for (int i = 0; i < 18; ++i) smf.AddTrack().EndOfTrack(0);
    smf.TrackAt(17) = test::TrackBuilder();
    smf.TrackAt(17).PitchBend(0, 15, 0x3FFF).ChannelPressure(0, 3, 0x7F).Event(0, {0xF3, 1, 2});
    smf.TrackAt(17).Port(0, 0).NoteOn(0, 1, 2, 3).Port(0, 7).NoteOn(0, 1, 2, 3).EndOfTrack(0);
    Load(smf);
    ASSERT_TRUE(sequencer.Start());
    module.Clear();
    sequencer.Advance(false);
    const auto calls = module.Of(CallKind::kShortMsg);
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].message, 0x7F7FEFu);
    EXPECT_EQ(calls[1].message, 0x7FD3u);
    EXPECT_EQ(calls[2].message, 0x0201F3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(calls[i].port, 1u);
    EXPECT_EQ(calls[3].port, 0u);
    EXPECT_EQ(calls[4].port, 7u);
    for (const ModuleCall& c : calls) EXPECT_EQ(c.handle, kOpenModuleHandle);
}

TEST_F(SequencerTest, RunningStatusAcrossAMetaEventReadsAMetaEvent) {
    SmfBuilder smf(0, 480);
    // FF 01 00, then 51 03 07 A1 20 under running status 0xFF: a tempo of 500000.
    smf.AddTrack()
        .NoteOn(0, 0, 60, 100)
        .Event(0, {0xFF, 0x01, 0x00})
        .Event(0, {0x51, 3, 7, 0xA1, 0x20});
    smf.TrackAt(0).EndOfTrack(100);
    Load(smf);
    ASSERT_TRUE(sequencer.Start());
    sequencer.Advance(false);
    EXPECT_EQ(sequencer.TempoBpm(), 120);
    EXPECT_EQ(module.ShortMessages().size(), 1u);
}

TEST_F(SequencerTest, SystemExclusiveGoesThroughTheHeaderWithTheTrackPort) {
    const std::vector<uint8_t> gsReset{0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
    SmfBuilder smf(1, 480);
    for (int i = 0; i < 18; ++i) smf.AddTrack();
    smf.TrackAt(0).SysEx(0, gsReset).EndOfTrack(0);
    for (int i = 1; i < 17; ++i) smf.TrackAt(i).EndOfTrack(0);
    smf.TrackAt(17).SysEx(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7}).EndOfTrack(0);
    Load(smf);
    ASSERT_TRUE(sequencer.Start());
    module.Clear();
    sequencer.Advance(false);
    ASSERT_EQ(module.calls.size(), 4u);
    EXPECT_EQ(module.calls[0].kind, CallKind::kPrepareHeader);
    EXPECT_EQ(module.calls[0].size, sizeof(MessageHeader));
    EXPECT_EQ(module.calls[1].kind, CallKind::kLongMsg);
    EXPECT_EQ(module.calls[1].size, sizeof(MessageHeader));
    std::vector<uint8_t> expected{0xF0};
    expected.insert(expected.end(), gsReset.begin(), gsReset.end());
    EXPECT_EQ(module.calls[1].sysEx, expected);
    EXPECT_EQ(module.calls[1].port, 0u);
    EXPECT_EQ(module.calls[1].flags, 0u);
    EXPECT_EQ(module.calls[3].sysEx, (std::vector<uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(module.calls[3].port, 1u);
}

TEST_F(SequencerTest, SystemExclusiveLongerThanTheBufferIsSkippedWhole) {
    std::vector<uint8_t> fits(1023, 0x11), tooLong(1024, 0x22);
    fits.back() = 0xF7;
    tooLong.back() = 0xF7;
    SmfBuilder smf(0, 480);
    smf.AddTrack().SysEx(0, fits).SysEx(0, tooLong).NoteOn(0, 0, 60, 1).EndOfTrack(10);
    Load(smf);
    ASSERT_TRUE(sequencer.Start());
    module.Clear();
    sequencer.Advance(false);
    const auto longs = module.Of(CallKind::kLongMsg);
    ASSERT_EQ(longs.size(), 1u);
    EXPECT_EQ(longs[0].sysEx.size(), 1024u);
    EXPECT_EQ(module.Count(CallKind::kPrepareHeader), 1u);
    EXPECT_EQ(module.ShortMessages(), std::vector<uint32_t>{PackShortMsg(0x90, 60, 1)});
}

TEST_F(SequencerTest, SilenceMutesAll32ChannelsThenShutsTheModule) {
    SmfBuilder smf(0, 480);
    smf.AddTrack().EndOfTrack(1000);
    Load(smf);
    ASSERT_TRUE(sequencer.Start());
    ASSERT_EQ(module.calls.size(), 1u);  // nothing was open yet: Open only
    EXPECT_EQ(module.calls[0].kind, CallKind::kOpen);
    EXPECT_EQ(module.calls[0].device, 0xFFFFFFFFu);
    EXPECT_EQ(module.calls[0].handle, 0u);
    EXPECT_EQ(sequencer.Handle(), kOpenModuleHandle);
    module.Clear();

    ASSERT_TRUE(sequencer.Stop());
    ASSERT_EQ(module.calls.size(), 35u);
    for (uint32_t c = 0; c < 32; ++c) {
        EXPECT_EQ(module.calls[c].kind, CallKind::kShortMsg);
        EXPECT_EQ(module.calls[c].message, 0xB0 + (c % 16) + 0x700);
        EXPECT_EQ(module.calls[c].port, c / 16);
        EXPECT_EQ(module.calls[c].handle, kOpenModuleHandle);
    }
    EXPECT_EQ(module.calls[32].kind, CallKind::kUnprepareHeader);
    EXPECT_EQ(module.calls[32].size, sizeof(MessageHeader));
    EXPECT_EQ(module.calls[33].kind, CallKind::kReset);
    EXPECT_EQ(module.calls[33].handle, kOpenModuleHandle);
    EXPECT_EQ(module.calls[34].kind, CallKind::kClose);
    EXPECT_EQ(sequencer.Handle(), 0u);
    EXPECT_TRUE(sequencer.Paused());
    EXPECT_FALSE(sequencer.Playing());

    module.Clear();
    sequencer.Silence();  // closed already: nothing to send
    EXPECT_TRUE(module.calls.empty());
}

TEST_F(SequencerTest, TheEndOfASongWithoutLoopStops) {
    SmfBuilder smf(0, 480);
    smf.AddTrack().EndOfTrack(0);
    Load(smf);
    sequencer.SetLoop(false);
    ASSERT_TRUE(sequencer.Start());
    sequencer.Advance(true);
    EXPECT_TRUE(sequencer.Playing());
    sequencer.Advance(true);
    EXPECT_FALSE(sequencer.Playing());
    EXPECT_EQ(module.Count(CallKind::kClose), 1u);
}

TEST_F(SequencerTest, LoopRestartKeepsTheModuleOpenAndTheTempoOffset) {
    SmfBuilder smf(0, 480);
    smf.AddTrack().Tempo(0, 500000).NoteOn(0, 0, 60, 100).EndOfTrack(30);
    Load(smf);
    ASSERT_TRUE(sequencer.Loop());  // the default
    sequencer.SetTempoOffset(200);
    ASSERT_TRUE(sequencer.Start());
    // 180 + 200 beats per minute: 7 ticks a step; then 120 + 200: 6 ticks.
    EXPECT_EQ(sequencer.TicksPerStep(), 7);
    int restartStep = 0;
    for (int step = 1; step <= 20 && restartStep == 0; ++step) {
        module.Clear();
        sequencer.Advance(true);
        if (module.Count(CallKind::kReset) > 0) restartStep = step;
    }
    // Ticks 1-6 .. 31-36 hold the end of the track (handled in tick 31); step 7 finds it over.
    EXPECT_EQ(restartStep, 7);
    ASSERT_EQ(module.calls.size(), 1u);
    EXPECT_EQ(module.calls[0].handle, kOpenModuleHandle);
    EXPECT_EQ(sequencer.Handle(), kOpenModuleHandle);
    EXPECT_EQ(sequencer.TickPosition(), 0u);
    EXPECT_EQ(sequencer.TempoBpm(), 180);
    EXPECT_EQ(sequencer.TempoOffset(), 200);
    EXPECT_EQ(sequencer.TicksPerStep(), 7);
    EXPECT_TRUE(sequencer.Playing());
    EXPECT_FALSE(sequencer.Paused());

    module.Clear();
    sequencer.Advance(true);  // the song again from tick 0
    EXPECT_EQ(module.ShortMessages(), std::vector<uint32_t>{PackShortMsg(0x90, 60, 100)});
    EXPECT_EQ(sequencer.TempoBpm(), 120);
    EXPECT_EQ(sequencer.TicksPerStep(), 6);
    EXPECT_EQ(sequencer.SamplesPerStep(), 103u);
}

TEST_F(SequencerTest, TitleIsTheFirstNonEmptyTextOfTrackZero) {
    struct Case {
        std::string name;
        SmfBuilder smf;
        std::string title;
    };
    std::vector<Case> cases;
    {
        SmfBuilder smf;
        smf.AddTrack().EndOfTrack(10);
        smf.AddTrack().TrackName(0, "Track one").EndOfTrack(0);
        cases.push_back({"name in track 1", smf, ""});
    }
    {
        SmfBuilder smf;
        smf.AddTrack().TrackName(0, "").TrackName(5, "Second").TrackName(0, "Third").EndOfTrack(0);
        cases.push_back({"empty then non-empty", smf, "Second"});
    }
    {
        SmfBuilder smf;
        smf.AddTrack().Text(0, 0x02, "Notice").TrackName(0, "Name").EndOfTrack(0);
        cases.push_back({"notice text first", smf, "Notice"});
    }
    {
        SmfBuilder smf;
        smf.AddTrack().Text(0, 0x01, "Plain text").Text(0, 0x04, "Instrument").EndOfTrack(0);
        cases.push_back({"other texts", smf, ""});
    }
    {
        SmfBuilder smf;
        smf.AddTrack().TrackName(0, std::string("ab\0cd", 5)).EndOfTrack(0);
        cases.push_back({"embedded NUL", smf, "ab"});
    }
    {
        SmfBuilder smf;
        smf.AddTrack().TrackName(0, std::string("\0cd", 3)).TrackName(0, "Later").EndOfTrack(0);
        cases.push_back({"leading NUL is empty", smf, "Later"});
    }
    {
        std::string longName(300, 'x');
        for (size_t i = 0; i < longName.size(); ++i) longName[i] = static_cast<char>('a' + i % 26);
        SmfBuilder smf;
        smf.AddTrack().TrackName(0, longName).NoteOn(0, 0, 1, 2).EndOfTrack(0);
        cases.push_back({"254 characters at most", smf, longName.substr(0, 254)});
    }
    {
        SmfBuilder smf;
        smf.AddTrack().TrackName(0, "\x83\x5a\x83\x8b \xe6\x97\xa5").EndOfTrack(0);
        cases.push_back({"raw bytes", smf, "\x83\x5a\x83\x8b \xe6\x97\xa5"});
    }
    for (Case& c : cases) {
        Load(c.smf);
        Measure();
        EXPECT_EQ(std::string(sequencer.SongTitle()), c.title) << c.name;
        EXPECT_EQ(sequencer.SongTitleSet(), !c.title.empty()) << c.name;
    }
    // The events after a cut title are still read.
    Load(cases[6].smf);
    module.Clear();
    Measure();
    EXPECT_EQ(module.ShortMessages().front(), PackShortMsg(0x90, 1, 2));
}

TEST_F(SequencerTest, MeasureForgetsThePreviousTitle) {
    SmfBuilder titled;
    titled.AddTrack().TrackName(0, "Old").EndOfTrack(0);
    SmfBuilder untitled;
    untitled.AddTrack().EndOfTrack(0);
    Load(titled);
    Measure();
    ASSERT_STREQ(sequencer.SongTitle(), "Old");
    Load(untitled);
    Measure();
    EXPECT_STREQ(sequencer.SongTitle(), "");
    EXPECT_FALSE(sequencer.SongTitleSet());
}

TEST_F(SequencerTest, SeekDeliversTheSkippedEventsAtOnce) {
    SmfBuilder smf(1, 480);
    smf.AddTrack().Tempo(0, 500000).EndOfTrack(5000);
    smf.AddTrack().ProgramChange(0, 0, 9).NoteOn(100, 0, 60, 100).ControlChange(100, 0, 7, 90);
    smf.TrackAt(1).NoteOn(800, 0, 62, 100).EndOfTrack(0);
    Load(smf);
    ASSERT_TRUE(sequencer.Start());
    sequencer.Advance(true);
    module.Clear();

    sequencer.Seek(500);
    ASSERT_GE(module.calls.size(), 1u);
    EXPECT_EQ(module.calls[0].kind, CallKind::kReset);
    EXPECT_EQ(module.calls[0].handle, kOpenModuleHandle);
    EXPECT_EQ(module.ShortMessages(),
              (std::vector<uint32_t>{PackShortMsg(0xC0, 9), PackShortMsg(0x90, 60, 100),
                                     PackShortMsg(0xB0, 7, 90)}));
    // One tick, then 3 a step from the tempo event on: the first boundary at or after 500.
    EXPECT_EQ(sequencer.TickPosition(), 501u);
    EXPECT_EQ(sequencer.TempoBpm(), 120);
    EXPECT_EQ(sequencer.TicksPerStep(), 3);
    EXPECT_EQ(sequencer.SamplesPerStep(), 137u);
    EXPECT_TRUE(sequencer.Playing());
    EXPECT_FALSE(sequencer.Paused());

    // The note at tick 1000 comes in the step that covers tick 1001.
    module.Clear();
    for (int i = 0; i < 166; ++i) sequencer.Advance(true);
    EXPECT_TRUE(module.calls.empty());
    sequencer.Advance(true);
    EXPECT_EQ(module.ShortMessages(), std::vector<uint32_t>{PackShortMsg(0x90, 62, 100)});
    EXPECT_EQ(sequencer.TickPosition(), 1002u);
}

TEST_F(SequencerTest, SeekStopsExactlyAtTheTargetWithoutTempoEvents) {
    SmfBuilder smf(0, 480);
    smf.AddTrack().NoteOn(10, 0, 60, 100).NoteOn(1, 0, 61, 100).EndOfTrack(100);
    Load(smf);
    ASSERT_TRUE(sequencer.Start());
    module.Clear();
    sequencer.Seek(11);
    EXPECT_EQ(sequencer.TickPosition(), 11u);
    EXPECT_EQ(module.ShortMessages(), std::vector<uint32_t>{PackShortMsg(0x90, 60, 100)});
    EXPECT_EQ(sequencer.TicksPerStep(), 4);
}

TEST_F(SequencerTest, SeekToTickZeroResetsAndPlaysFromTheStart) {
    SmfBuilder smf(0, 480);
    smf.AddTrack().ProgramChange(0, 0, 3).NoteOn(0, 0, 60, 100).EndOfTrack(100);
    Load(smf);
    ASSERT_TRUE(sequencer.Start());
    for (int i = 0; i < 500; ++i) sequencer.Advance(false);
    module.Clear();
    sequencer.Seek(0);
    ASSERT_EQ(module.calls.size(), 1u);
    EXPECT_EQ(module.calls[0].kind, CallKind::kReset);
    EXPECT_EQ(sequencer.TickPosition(), 0u);
    sequencer.Advance(false);  // the first step runs at once
    EXPECT_EQ(module.ShortMessages(),
              (std::vector<uint32_t>{PackShortMsg(0xC0, 3), PackShortMsg(0x90, 60, 100)}));
}

TEST_F(SequencerTest, WithoutSongOrModuleAdvanceAndStepDoNothing) {
    sequencer.Advance(true);
    sequencer.Advance(false);
    sequencer.Step();
    sequencer.Seek(100);
    EXPECT_TRUE(module.calls.empty());

    SmfBuilder smf(0, 480);
    smf.AddTrack().NoteOn(0, 0, 60, 100).EndOfTrack(100);
    Load(smf);
    sequencer.SetModule(nullptr);
    sequencer.Advance(true);
    sequencer.Step();
    EXPECT_EQ(sequencer.TickPosition(), 0u);
    EXPECT_FALSE(sequencer.OpenModule());
    // Measuring needs no module: the events simply reach no one.
    uint64_t samples = 0, ticks = 0;
    EXPECT_TRUE(sequencer.Measure(&samples, &ticks));
    EXPECT_EQ(ticks, 108u);
    EXPECT_TRUE(module.calls.empty());
}

TEST_F(SequencerTest, LoadFileReadsAFileAndSilencesThePreviousSong) {
    test::TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const std::string path = dir.File("example.mid");
    ASSERT_TRUE(test::MeasureExampleSong().WriteFile(path));
    ASSERT_TRUE(sequencer.LoadFile(path.c_str()));
    EXPECT_EQ(Measure(), std::make_pair(uint64_t{87939}, uint64_t{1926}));

    ASSERT_TRUE(sequencer.Start());
    module.Clear();
    ASSERT_TRUE(sequencer.LoadFile(path.c_str()));
    EXPECT_EQ(module.Count(CallKind::kShortMsg), 32u);
    EXPECT_EQ(module.Count(CallKind::kClose), 1u);
    EXPECT_FALSE(sequencer.Paused());

    const std::string riff = dir.File("riff.mid");
    ASSERT_TRUE(SmfBuilder(test::MeasureExampleSong()).HeaderId("RIFF").WriteFile(riff));
    for (const std::string& bad : {riff, dir.File("missing.mid"), dir.Path().string()}) {
        EXPECT_FALSE(sequencer.LoadFile(bad.c_str())) << bad;
        EXPECT_FALSE(sequencer.HasSong()) << bad;
        EXPECT_FALSE(sequencer.Start()) << bad;
    }
}

// Damaged songs load or fail cleanly and measure to an end.
TEST_F(SequencerTest, DamagedSongsLoadOrFailCleanly) {
    std::vector<std::vector<uint8_t>> images;
    {
        SmfBuilder smf;
        smf.AddTrack().NoteOn(0, 0, 60, 100).Raw({0x00, 0x90, 0x3C});  // cut channel event
        smf.AddTrack().Raw({0x00, 0xFF, 0x03, 0x40, 'a'});             // cut meta body
        smf.AddTrack().Raw({0x00, 0xF0, 0x10, 0x41});                  // cut system exclusive
        smf.AddTrack().NoteOn(0, 0, 60, 1).Raw({0x8F, 0xFF});          // cut delta time
        images.push_back(smf.Build());
    }
    {
        SmfBuilder smf;
        smf.AddTrack().NoteOn(0, 0, 60, 100).EndOfTrack(10).DeclaredLength(1 << 30);
        images.push_back(smf.Build());
    }
    {
        SmfBuilder smf;
        smf.AddTrack().NoteOn(0, 0, 60, 100).Raw(std::vector<uint8_t>(5 << 20, 0x80));
        images.push_back(smf.Build());
    }
    {
        std::mt19937 random(11);
        std::vector<uint8_t> garbage(5 << 20);
        for (uint8_t& b : garbage) b = static_cast<uint8_t>(random());
        SmfBuilder smf;
        smf.AddTrack().Raw(garbage);
        smf.AddTrack().Raw(std::vector<uint8_t>(garbage.begin(), garbage.begin() + 1000));
        images.push_back(smf.Build());
        std::vector<uint8_t> headerOnly = SmfBuilder().DeclaredTrackCount(9).Build();
        headerOnly.insert(headerOnly.end(), garbage.begin(), garbage.end());
        images.push_back(headerOnly);
    }
    for (size_t i = 0; i < images.size(); ++i) {
        if (!sequencer.LoadImage(images[i])) {
            EXPECT_FALSE(sequencer.HasSong()) << i;
            continue;
        }
        uint64_t samples = 0, ticks = 0;
        EXPECT_TRUE(sequencer.Measure(&samples, &ticks)) << i;
        EXPECT_GT(samples, 0u) << i;
        for (const Track& t : sequencer.Tracks()) {
            EXPECT_EQ(t.ended, 1u) << i;
            EXPECT_LE(t.readPosition, t.length) << i;
        }
    }
    // The cut events of the first song were not delivered; the complete ones were.
    ASSERT_TRUE(sequencer.LoadImage(images[0]));
    module.Clear();
    Measure();
    EXPECT_EQ(module.Count(CallKind::kLongMsg), 0u);
    const auto shorts = module.ShortMessages();
    EXPECT_EQ(std::count(shorts.begin(), shorts.end(), PackShortMsg(0x90, 60, 100)), 1);
    EXPECT_EQ(std::count(shorts.begin(), shorts.end(), PackShortMsg(0x90, 60, 1)), 1);
}

}  // namespace
}  // namespace zeblo
