#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "midi/EventReader.h"
#include "midi/SongImage.h"
#include "rcp/RcpToSmf.h"
#include "rcp/RcpWriter.h"

namespace zeblo {
namespace {

using rcp::RcpFamily;
using test::RcpCommand;
using test::RcpWriter;
using Lines = std::vector<std::string>;

constexpr RcpFamily kFamilies[] = {RcpFamily::kVersion2, RcpFamily::kVersion3};

std::string Hex(const uint8_t* bytes, uint32_t count) {
    std::string text;
    char byte[4];
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(byte, sizeof byte, " %02X", bytes[i]);
        text += byte;
    }
    return text;
}

// Every event of the converted file as "track@tick bytes", read back with the player's own
// loader; the end-of-track events and, unless asked for, the conductor's opening left out.
Lines Events(const std::vector<uint8_t>& smf, bool conductorOpening = false) {
    SongImage image;
    EXPECT_TRUE(image.LoadImage(smf));
    Lines lines;
    for (std::size_t index = 0; index < image.tracks.size(); ++index) {
        Track& track = image.tracks[index];
        track.readPosition = 0;
        uint64_t tick = 0;
        MidiEvent e;
        while (track.readPosition < track.data.size()) {
            tick += ReadVarLen(track);
            if (!ReadEvent(track, e)) break;
            if (e.kind == EventKind::kMeta && e.metaType == kMetaEndOfTrack) continue;
            if (index == 0 && tick == 0 && !conductorOpening) continue;
            std::string text = std::to_string(index) + "@" + std::to_string(tick);
            if (e.kind == EventKind::kChannel) {
                const bool one = (e.status & 0xE0) == 0xC0;
                const uint8_t bytes[] = {e.status, e.data1, e.data2};
                text += Hex(bytes, one ? 2 : 3);
            } else {
                const uint8_t head[] = {e.status, e.metaType};
                text += Hex(head, e.kind == EventKind::kMeta ? 2 : 1) + Hex(e.body, e.bodyLength);
            }
            lines.push_back(text);
        }
    }
    return lines;
}

rcp::RcpToSmf Convert(const RcpWriter& w, bool expectSuccess = true) {
    rcp::RcpToSmf converter;
    EXPECT_EQ(converter.Convert(w.Bytes()), expectSuccess) << converter.error;
    return converter;
}

RcpWriter OneTrack(RcpFamily family, std::vector<RcpCommand> commands) {
    RcpWriter w;
    w.family = family;
    w.tracks.push_back({.commands = std::move(commands), .channel = 2});
    return w;
}

TEST(RcpToSmf, HeaderAndTracksOfBothFamilies) {
    for (RcpFamily family : kFamilies) {
        RcpWriter w;
        w.family = family;
        w.title = "\x83\x65\x83\x58\x83\x67  ";  // Shift-JIS, kept as stored
        w.ticksPerQuarter = 0x1E0;
        w.tempo = 150;
        w.numerator = 3;
        w.denominator = 8;
        w.key = 0x12;  // two sharps, minor
        w.tracks = {{.commands = {{0x40, 48, 24, 100}}, .channel = 0x13, .name = "Bass"},
                    {.commands = {{0x40, 1, 1, 1}}, .channel = 0xFF},
                    {.commands = {{0x40, 1, 1, 1}}, .channel = 1, .muted = true},
                    {.commands = {{0x3C, 96, 0, 0}}, .channel = 9}};
        const rcp::RcpToSmf c = Convert(w);
        EXPECT_EQ(c.tracks, 3u);
        EXPECT_EQ((c.smf[12] << 8) | c.smf[13], 0x1E0);
        EXPECT_EQ(Events(c.smf, true),
                  (Lines{"0@0 FF 03 83 65 83 58 83 67", "0@0 FF 58 03 03 18 08", "0@0 FF 59 02 01",
                         "0@0 FF 51 06 1A 80", "1@0 FF 03 42 61 73 73", "1@0 FF 21 01",
                         "1@0 93 40 64", "1@24 83 40 00"}));
    }
}

struct CommandCase {
    const char* name;
    std::vector<RcpCommand> commands;
    Lines expected;
    uint32_t skipped = 0;
};

TEST(RcpToSmf, EachCommandKind) {
    for (RcpFamily family : kFamilies) {
        RcpWriter w = OneTrack(family, {});
        std::vector<RcpCommand> comment =
            w.Continuation({'H', 'i', ' ', 't', 'h', 'e', 'r', 'e'}, ' ');
        comment[0].code = 0xF6;
        std::vector<RcpCommand> exclusive = {{0x98, 2, 0x11, 0x22}};
        for (const RcpCommand& c : w.Continuation({0x41, 0x10, 0x83, 0x80, 0x81, 0x84, 0xF7}))
            exclusive.push_back(c);
        // clang-format off
        const CommandCase cases[] = {
            {"notes", {{0x3C, 10, 5, 100}, {0x40, 4, 30, 90}},
             {"1@0 92 3C 64", "1@5 82 3C 00", "1@10 92 40 5A", "1@40 82 40 00"}},
            {"rests keep their steps", {{0x3C, 10, 0, 100}, {0x3C, 10, 5, 0}, {0x3E, 1, 1, 1}},
             {"1@20 92 3E 01", "1@21 82 3E 00"}},
            {"a note struck again ends the first", {{0x3C, 2, 10, 100}, {0x3C, 4, 4, 80}},
             {"1@0 92 3C 64", "1@2 82 3C 00", "1@2 92 3C 50", "1@6 82 3C 00"}},
            {"channel messages", {{0xEC, 1, 5, 0}, {0xE2, 1, 7, 3}, {0xEB, 1, 7, 100},
                                  {0xEE, 1, 0x10, 0x40}, {0xEA, 1, 33, 0}, {0xED, 0, 60, 20}},
             {"1@0 C2 05", "1@1 B2 00 03", "1@1 C2 07", "1@2 B2 07 64", "1@3 E2 10 40", "1@4 D2 21",
              "1@5 A2 3C 14"}},
            {"key signature", {{0xF5, 0x1B, 0, 0}}, {"1@0 FF 59 FD 01"}},
            {"comment", comment, {"1@0 FF 01 48 69 20 74 68 65 72 65"}},
            {"user exclusives", {{0x91, 3, 0x7F, 0x05}, {0x90, 0, 0, 0}},
             {"1@0 F0 41 10 42 12 40 00 7F 05 3C F7", "1@3 F0 7E 02 09 01 F7"}},
            {"channel exclusive", exclusive, {"1@0 F0 41 10 11 22 4D F7"}},
            {"roland parameters (none before a device)",
             {{0xDE, 1, 0x30, 0x05}, {0xDF, 0, 0x10, 0x42}, {0xDD, 0, 0x40, 0x01}, {0xDE, 1, 0x30, 0x05}},
             {"1@1 F0 41 10 42 12 40 01 30 05 0A F7"}, 1},
            {"channel and port changes", {{0xE6, 0, 0x14, 0}, {0x3C, 1, 1, 1}, {0xE6, 0, 0, 0},
                                          {0x3C, 1, 1, 1}, {0xE6, 0, 3, 0}, {0x3C, 1, 1, 1}},
             {"1@0 FF 21 01", "1@0 93 3C 01", "1@1 83 3C 00", "1@2 FF 21 00", "1@2 92 3C 01",
              "1@3 82 3C 00"}},
            {"tempo change", {{0xEC, 6, 1, 0}, {0xE7, 0, 0x80, 0}}, {"0@6 FF 51 03 D0 90", "1@0 C2 01"}},
            {"unsupported commands are skipped",
             {{0xC0, 5, 1, 2}, {0xE5, 0, 0, 0}, {0xF8, 0, 0, 0}, {0x3C, 1, 1, 1}},
             {"1@5 92 3C 01", "1@6 82 3C 00"}, 3},
        };
        // clang-format on
        w.userExclusives[1] = {0x41, 0x10, 0x42, 0x12, 0x83, 0x40, 0x00, 0x80, 0x81, 0x84};
        w.userExclusives[0] = {0x7E, 0x82, 0x09, 0x01};
        for (const CommandCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (w.V2() ? " (2.x)" : " (3.x)"));
            w.tracks[0].commands = c.commands;
            const rcp::RcpToSmf converted = Convert(w);
            EXPECT_EQ(Events(converted.smf), c.expected);
            EXPECT_EQ(converted.skippedCommands, c.skipped);
        }
    }
}

// "track@tick:key" of every note-on, in file order.
std::string NoteOns(const std::vector<uint8_t>& smf) {
    std::string text;
    for (const std::string& line : Events(smf)) {
        unsigned status = 0, key = 0;
        const std::size_t at = line.find(' ');
        if (std::sscanf(line.c_str() + at, " %X %X", &status, &key) == 2 && (status & 0xF0) == 0x90)
            text += (text.empty() ? "" : " ") + line.substr(0, at) + ":" + std::to_string(key);
    }
    return text;
}

constexpr RcpCommand N(uint8_t key) {
    return {key, 1, 1, 1};
}
constexpr RcpCommand kRepeatStart = {0xF9, 1};
constexpr RcpCommand kMeasureEnd = {0xFD};
constexpr RcpCommand Repeat(uint32_t times) {
    return {0xF8, times};
}
constexpr RcpCommand SameMeasure(uint32_t command) {
    return {0xFC, 0, command};
}

TEST(RcpToSmf, RepeatsAndSameMeasureReferences) {
    const std::pair<std::vector<RcpCommand>, const char*> cases[] = {
        {{kRepeatStart, N(60), Repeat(3), N(61)}, "1@0:60 1@1:60 1@2:60 1@3:61"},
        {{kRepeatStart, N(60), kRepeatStart, N(61), Repeat(2), Repeat(2), N(62)},
         "1@0:60 1@1:61 1@2:61 1@3:60 1@4:61 1@5:61 1@6:62"},
        {{kRepeatStart, N(60), Repeat(0), N(61)}, "1@0:60 1@1:60 1@2:61"},  // endless: twice
        {{N(60), N(61), kMeasureEnd, SameMeasure(0), kMeasureEnd, N(62)},
         "1@0:60 1@1:61 1@2:60 1@3:61 1@4:62"},
        // A reference to a measure that is itself a reference comes back to the first.
        {{N(60), kMeasureEnd, SameMeasure(0), kMeasureEnd, SameMeasure(2), kMeasureEnd, N(61)},
         "1@0:60 1@1:60 1@2:60 1@3:61"},
    };
    for (RcpFamily family : kFamilies) {
        for (const auto& [commands, expected] : cases) {
            EXPECT_EQ(NoteOns(Convert(OneTrack(family, commands)).smf), expected);
        }
    }
}

TEST(RcpToSmf, PlayBiasAndKeyShiftSpareRhythmTracks) {
    for (RcpFamily family : kFamilies) {
        RcpWriter w;
        w.family = family;
        w.playBias = 2;
        w.tracks = {{.commands = {N(60), N(0x7F)}, .key = 0x0C},       // an octave up
                    {.commands = {N(60)}, .channel = 1, .key = 0x74},  // an octave down
                    {.commands = {N(60)}, .channel = 9, .key = 0x80},
                    {.commands = {N(60)}, .channel = 10, .rhythm = 0x80},
                    {.commands = {N(60)}, .channel = 3, .stepShift = 5}};
        const rcp::RcpToSmf c = Convert(w);
        EXPECT_EQ(NoteOns(c.smf), "1@0:74 2@0:50 3@0:60 4@0:60 5@5:62");
        EXPECT_EQ(c.skippedCommands, 1u);  // the note transposed past the top
    }
}

struct DamageCase {
    const char* name;
    std::vector<RcpCommand> commands;
    const char* error;
    long keep = -1;  // bytes of the file kept; 0: all but the last eight; -1: all
    uint16_t ticksPerQuarter = 48;
};

TEST(RcpToSmf, DamagedSongsFailWithAReason) {
    std::vector<RcpCommand> deep(17, kRepeatStart), endless(16, kRepeatStart);
    endless.push_back(N(60));
    for (int i = 0; i < 16; ++i) endless.push_back(Repeat(255));
    const char* outside = "a same-measure reference points outside its track or at itself";
    // clang-format off
    const DamageCase cases[] = {
        {"not a song", {N(60)}, "not an RCP, R36 or G36 song", 20},
        {"header cut short", {N(60)}, "the header is cut short", 0x100},
        {"track length past the end", {N(60)}, "a track's length runs past the end of the file", 0},
        {"no ticks per quarter", {N(60)}, "the header gives 0 ticks per quarter note", -1, 0},
        {"reference outside the track", {N(60), SameMeasure(1000)}, outside},
        {"reference at itself", {N(60), SameMeasure(1)}, outside},
        {"references in a circle", {SameMeasure(1), SameMeasure(0)},
         "same-measure references lead round in a circle"},
        {"repeats nested too deeply", deep, "repeats are nested too deeply"},
        {"repeats without end", endless, "the song plays on past any sane length"},
    };
    // clang-format on
    for (RcpFamily family : kFamilies) {
        std::vector<DamageCase> all(std::begin(cases), std::end(cases));
        all.push_back({"track header cut short",
                       {N(60)},
                       "a track header is cut short",
                       family == RcpFamily::kVersion2 ? 0x590 : 0xCA2});
        for (const DamageCase& c : all) {
            SCOPED_TRACE(c.name);
            RcpWriter w = OneTrack(family, c.commands);
            w.ticksPerQuarter = c.ticksPerQuarter;
            std::vector<uint8_t> bytes = w.Bytes();
            if (c.keep >= 0) bytes.resize(c.keep == 0 ? bytes.size() - 8 : c.keep);
            rcp::RcpToSmf converter;
            EXPECT_FALSE(converter.Convert(bytes));
            EXPECT_EQ(converter.error, c.error);
            EXPECT_TRUE(converter.smf.empty());
        }
    }
}

}  // namespace
}  // namespace zeblo
