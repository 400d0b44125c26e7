// A table of songs, each measured two ways: by Measure, which counts the steps in which nothing
// falls due instead of running them, and by running every step. Both must give the same calls at
// the same ticks, the same length and title; a frozen hash of that outcome catches any change in
// what the module hears. Seek is held to the same standard.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <string>
#include <tuple>

#include "midi/Sequencer.h"
#include "support/Fnv1a.h"
#include "support/RecordingModule.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using tools::SmfBuilder;
using Calls = std::vector<std::string>;

struct Outcome {
    uint64_t samples = 0, ticks = 0;
    std::string title;
    Calls calls;  // each stamped with the tick it came in
    bool operator==(const Outcome&) const = default;
};

struct Rig {
    explicit Rig(int32_t rate) {
        parameters.sampleRate = rate;
        sequencer.SetModule(&module);
        module.stamp = [this] { return std::to_string(sequencer.TickPosition()); };
    }
    EngineParameters parameters;
    test::RecordingModule module;
    Sequencer sequencer{parameters};
};

// Runs steps until the song is over, or fails when it does not end within a budget: the test
// songs end within it, and a track cursor left wrong can make it billions.
uint64_t PlayThrough(Sequencer& sequencer) {
    uint64_t samples = 0;
    for (int steps = 0; sequencer.Playing(); ++steps) {
        if (steps == 2'000'000) {
            ADD_FAILURE() << "the song did not end within 2000000 steps";
            break;
        }
        samples += sequencer.SamplesPerStep();
        sequencer.Advance(true);
    }
    return samples;
}

// The song measured by Measure, or spelled out with the public operations: every step run.
Outcome Measured(Rig& rig, const std::vector<uint8_t>& image, bool skipping) {
    Outcome run;
    rig.module.calls.clear();
    if (!rig.sequencer.LoadImage(image)) return run;
    if (skipping) {
        // A skip that overshoots can run for ever: that fails here instead of hanging the suite.
        auto done = std::async(std::launch::async,
                               [&] { rig.sequencer.Measure(&run.samples, &run.ticks); });
        if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            std::fprintf(stderr, "Measure did not end within a minute\n");
            std::abort();
        }
    } else {
        rig.sequencer.SetLoop(false);
        rig.sequencer.Start();
        run.samples = PlayThrough(rig.sequencer);
        run.ticks = rig.sequencer.TickPosition();
    }
    return {run.samples, run.ticks, rig.sequencer.SongTitle(), rig.module.calls};
}

struct Song {
    std::string name;
    std::vector<uint8_t> image;
    std::string title;
};

SmfBuilder Tracks(int count, uint16_t format = 1, uint16_t division = 480) {
    SmfBuilder smf(format, division);
    for (int i = 0; i < count; ++i) smf.AddTrack();
    return smf;
}

std::vector<Song> Songs() {
    SmfBuilder sparse = Tracks(4);
    sparse.TrackAt(0).TrackName(0, "Sparse").Tempo(0, 600000).Tempo(7000, 250);
    sparse.TrackAt(0).Tempo(90000, 16777215).Tempo(3000, 0).Tempo(1, 428571).EndOfTrack(120000);
    sparse.TrackAt(1).NoteOn(100000, 0, 60, 100).NoteOff(17, 0, 60).EndOfTrack(3);
    sparse.TrackAt(3).ProgramChange(5, 3, 3).SysEx(40000, {0x41, 0x10, 0x42, 0x12, 0xF7});
    for (int i = 0; i < 16; ++i)
        sparse.AddTrack().NoteOn(1234 * i, i, 40 + i, 90).EndOfTrack(77 * i);
    SmfBuilder running = Tracks(1, 0, 7);  // no end of track
    running.TrackAt(0).NoteOn(0, 0, 60, 100).Event(3, {62, 100}).Event(0, {0xFF, 0x01, 0x00});
    running.TrackAt(0).Event(50, {0x51, 3, 0, 0x10, 0}).NoteOn(1000, 1, 1, 1);
    SmfBuilder huge = Tracks(2, 1, 65535);
    huge.TrackAt(0).Tempo(0, 250).NoteOn(300000, 0, 60, 100).EndOfTrack(70000);
    huge.TrackAt(1).EndOfTrack(0).Raw({0x00, 0x90, 1, 2, 0x83, 0x00, 0xFF, 0x2F, 0x00, 0x05});
    SmfBuilder damaged = Tracks(5);
    damaged.TrackAt(0).NoteOn(0, 0, 60, 100).Raw({0x00, 0x90, 0x3C});  // cut channel event
    damaged.TrackAt(1).NoteOn(20000, 0, 61, 100).Raw({0x8F, 0xFF});    // cut delta time
    damaged.TrackAt(2).Raw({0x00, 0xFF, 0x03, 0x40, 'a'});             // cut meta body
    damaged.TrackAt(3).Raw({0x00, 0xF0, 0x10, 0x41});                  // cut system exclusive
    damaged.TrackAt(4).NoteOn(1, 0, 62, 100).EndOfTrack(5).DeclaredLength(99999);
    // Same-tick events go in track order; channel messages unfiltered, with the track's port:
    // track 17 is the first on port 1, until a port event.
    SmfBuilder ports = Tracks(18);
    ports.TrackAt(1).NoteOn(0, 0, 60, 100).EndOfTrack(10);
    ports.TrackAt(2).ProgramChange(0, 0, 5).EndOfTrack(10);
    ports.TrackAt(17).PitchBend(0, 15, 0x3FFF).ChannelPressure(0, 3, 0x7F).Event(0, {0xF3, 1, 2});
    ports.TrackAt(17).Port(0, 0).NoteOn(0, 1, 2, 3).Port(0, 7).NoteOn(0, 1, 2, 3).EndOfTrack(0);
    // 1023 bytes after the 0xF0 fill the buffer; one more and the message is skipped whole.
    std::vector<uint8_t> fits(1023, 0x11), tooLong(1024, 0x22);
    fits.back() = tooLong.back() = 0xF7;
    SmfBuilder sysEx = Tracks(18);
    sysEx.TrackAt(0).SysEx(0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
    sysEx.TrackAt(0).SysEx(0, fits).SysEx(0, tooLong).NoteOn(0, 0, 60, 1).EndOfTrack(10);
    sysEx.TrackAt(17).SysEx(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7}).EndOfTrack(0);
    std::vector<Song> songs = {
        {"measure example", test::MeasureExampleSong().Build(), ""},
        {"dense", test::DenseSong({.seconds = 20, .melodicTracks = 12}).Build(), "Dense test song"},
        {"dense, division 96",
         test::DenseSong({.seconds = 10, .melodicTracks = 4, .division = 96, .seed = 3}).Build(),
         "Dense test song"},
        {"sparse, extreme tempos", sparse.Build(), "Sparse"},
        {"running status, division 7", running.Build(), ""},
        {"huge steps, bytes after end of track", huge.Build(), ""},
        {"damaged", damaged.Build(), ""},
        {"ports", ports.Build(), ""},
        {"system exclusive", sysEx.Build(), ""},
    };
    // The title is the first non-empty name or notice of track 0, cut at 254 bytes or a NUL;
    // what follows it is read as usual.
    std::string longName(300, 'x');
    for (size_t i = 0; i < longName.size(); ++i) longName[i] = static_cast<char>('a' + i % 26);
    const std::tuple<std::vector<std::pair<uint8_t, std::string>>, std::string> titles[] = {
        {{{3, ""}, {3, "Second"}, {3, "Third"}}, "Second"},
        {{{2, "Notice"}, {3, "Name"}}, "Notice"},
        {{{1, "Plain"}, {4, "Instrument"}}, ""},
        {{{3, std::string("ab\0cd", 5)}}, "ab"},
        {{{3, std::string("\0c", 2)}, {3, "Later"}}, "Later"},
        {{{3, "\x83\x5a\x83\x8b \xe6\x97\xa5"}}, "\x83\x5a\x83\x8b \xe6\x97\xa5"},
        {{{3, longName}}, longName.substr(0, 254)},
    };
    for (const auto& [texts, title] : titles) {
        SmfBuilder smf = Tracks(2);
        for (const auto& [type, text] : texts) smf.TrackAt(0).Text(0, type, text);
        smf.TrackAt(0).NoteOn(0, 0, 1, 2);
        smf.TrackAt(1).TrackName(0, "Track one").EndOfTrack(0);
        songs.push_back({"title " + title.substr(0, 8), smf.Build(), title});
    }
    std::mt19937 random(5);
    for (int i = 0; i < 12; ++i) {
        // Mostly data bytes, so that delta times stay short enough to run every step.
        std::vector<uint8_t> garbage(1000 + random() % 3000);
        for (uint8_t& b : garbage)
            b = static_cast<uint8_t>(random() % 24 == 0 ? random() : random() % 0x80);
        SmfBuilder smf = Tracks(2, 1, static_cast<uint16_t>(1 + random() % 960));
        smf.TrackAt(0).Raw(garbage);
        smf.TrackAt(1).Raw(std::vector<uint8_t>(garbage.begin() + 100, garbage.begin() + 900));
        songs.push_back({"garbage " + std::to_string(i), smf.Build(), ""});
    }
    return songs;
}

// The channel and system-exclusive messages of a run, without the closing silence.
Calls Events(const Calls& calls) {
    const bool closed = calls.size() >= 35 && calls.back().starts_with("close");
    Calls events;
    for (auto c = calls.begin(); c != calls.end() - (closed ? 35 : 0); ++c)
        if (c->starts_with("short") || c->starts_with("long")) events.push_back(*c);
    return events;
}

// Seek delivers every event up to its end at once, at the ticks running every step would, and
// leaves the tracks so that playback goes on exactly as if it had run every step.
void SeekThenPlay(const std::vector<uint8_t>& image, uint64_t target, const Outcome& whole) {
    const Calls expected = Events(whole.calls);
    Rig rig(44100);
    ASSERT_TRUE(rig.sequencer.LoadImage(image));
    rig.sequencer.SetLoop(false);
    rig.sequencer.Start();
    rig.module.calls.clear();
    rig.sequencer.Seek(target);
    const uint64_t end = rig.sequencer.TickPosition();
    ASSERT_FALSE(rig.module.calls.empty());
    EXPECT_TRUE(rig.module.calls.front().starts_with("reset"));
    const std::size_t seekEvents = Events(rig.module.calls).size();
    PlayThrough(rig.sequencer);
    EXPECT_TRUE(Events(rig.module.calls) == expected) << target;
    std::size_t before = 0;
    while (before < expected.size() &&
           std::stoull(expected[before].substr(expected[before].rfind('@') + 1)) <= end)
        ++before;
    EXPECT_EQ(seekEvents, before) << target;
    // The scan also stops where the song ends; these targets lie well before that.
    if (target <= whole.ticks / 3) EXPECT_GE(end, target);
}

// The calls of a whole play stamped with their frame, and the frames and ticks in all, as the
// render loop takes it: each run begins with one Advance and counts the quiet frames after it at
// once, up to runFrames in all (1: every frame's Advance).
std::string RenderLoop(const std::vector<uint8_t>& image, uint32_t runFrames) {
    Rig rig(44100);
    uint64_t frame = 0;
    rig.module.stamp = [&] { return std::to_string(frame); };
    if (!rig.sequencer.LoadImage(image)) return "not loaded";
    rig.sequencer.SetLoop(false);
    rig.sequencer.Start();
    while (rig.sequencer.Playing()) {
        rig.sequencer.Advance(false);
        uint32_t run = 1;
        if (rig.sequencer.Playing()) run += rig.sequencer.QuietFrames(runFrames - 1);
        rig.sequencer.CountQuietFrames(run - 1);
        frame += run;
    }
    std::string all = std::to_string(frame) + " " + std::to_string(rig.sequencer.TickPosition());
    for (const std::string& call : rig.module.calls) all += "\n" + call;
    return all;
}

TEST(SongTable, MeasureAndSeekEqualRunningEveryStepAndTheCallsAreFrozen) {
    Rig shared44100(44100), shared22050(22050);  // measuring song after song
    uint64_t hash = test::Fnv1a({});             // of every step-by-step run at 44100 Hz
    for (const Song& song : Songs()) {
        SCOPED_TRACE(song.name);
        for (Rig* shared : {&shared44100, &shared22050}) {
            Rig fresh(shared->parameters.sampleRate);
            const Outcome fast = Measured(*shared, song.image, true);
            const Outcome literal = Measured(fresh, song.image, false);
            ASSERT_GT(literal.samples, 0u);
            EXPECT_TRUE(fast == literal) << fresh.parameters.sampleRate << ": " << fast.ticks
                                         << " ticks against " << literal.ticks;
            EXPECT_EQ(fast.title, song.title);
            if (shared == &shared22050) continue;
            std::string all = std::to_string(literal.samples) + " " + std::to_string(literal.ticks);
            for (const std::string& call : literal.calls) all += "\n" + call;
            hash = test::Fnv1a(all + "\n" + literal.title, hash);
            // Runs that go on through steps with nothing due leave every call on its frame.
            if (literal.samples < 4'000'000) {
                const std::string everyFrame = RenderLoop(song.image, 1);
                for (const uint32_t runFrames : {97u, 1024u})
                    EXPECT_TRUE(RenderLoop(song.image, runFrames) == everyFrame) << runFrames;
            }
            for (uint64_t target :
                 {uint64_t{1}, literal.ticks / 3, literal.ticks - 1, literal.ticks + 5000})
                SeekThenPlay(song.image, target, literal);
        }
    }
    EXPECT_EQ(hash, 0x41ab65fe8db0d74dull) << std::hex << "0x" << hash;
}

TEST(SongTable, HugeDeltaTimesCostOnlyTheirEvents) {
    // Every delta time is the largest four-byte number: billions of ticks in all.
    constexpr uint32_t kHuge = 0x0FFFFFFF;
    SmfBuilder smf = Tracks(3);
    for (int t = 0; t < 3; ++t) {
        for (int i = 0; i < 5 + t; ++i) smf.TrackAt(t).NoteOn(kHuge, t, 60, 100);
        smf.TrackAt(t).EndOfTrack(kHuge);
    }
    // 180 beats per minute, division 480: 4 ticks and 122 samples a step. The last end of track
    // is handled in tick 8 * kHuge + 1; the step after the one holding it finds the song over.
    const uint64_t steps = (uint64_t{kHuge} * 8 + 1 + 3) / 4 + 1;
    Rig rig(44100);
    const Outcome run = Measured(rig, smf.Build(), true);
    EXPECT_EQ(run.ticks, steps * 4);
    EXPECT_EQ(run.samples, steps * 122);
    EXPECT_EQ(Events(run.calls).size(), 5u + 6u + 7u);
    rig.module.calls.clear();
    ASSERT_TRUE(rig.sequencer.Start());
    rig.sequencer.Seek(uint64_t{kHuge} * 5 + 2);
    // Each track's notes at kHuge * 1 .. 5 are behind the target; seven more lie ahead.
    EXPECT_EQ(Events(rig.module.calls).size(), 15u);
    EXPECT_EQ(rig.sequencer.TickPosition(), uint64_t{kHuge} * 5 + 2);
}

}  // namespace
}  // namespace zeblo
