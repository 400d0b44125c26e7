// Reading a song: the file into its tracks, and a track into numbers and events.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <tuple>

#include "SmfWriter.h"
#include "midi/EventReader.h"

namespace zeblo {
namespace {

using tools::SmfBuilder;

Track TrackOf(std::vector<uint8_t> bytes) {
    Track track;
    track.data = std::move(bytes);
    track.length = static_cast<uint32_t>(track.data.size());
    return track;
}

TEST(ReadVarLen, ReadsAnyLengthKeepingTheLow32BitsAndNeverPastTheData) {
    const struct {
        std::vector<uint8_t> bytes;
        uint32_t value, position;
        bool complete;
    } rows[] = {
        {{0x00, 0x55}, 0, 1, true},
        {{0x81, 0x00, 0x55}, 128, 2, true},
        {{0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0x55}, 0xFFFFFFFF, 5, true},
        {{0x81, 0x80, 0x80, 0x80, 0x80, 0x05, 0x55}, 5, 6, true},  // 1 << 35 | 5
        {{0x81, 0x80}, 0, 2, false},
        {{}, 0, 0, false},
        {std::vector<uint8_t>(5 << 20, 0xFF), 0, 5 << 20, false},  // endless
    };
    for (const auto& row : rows) {
        Track track = TrackOf(row.bytes);
        uint32_t value = 99;
        EXPECT_EQ(ReadVarLenComplete(track, value), row.complete) << row.value;
        EXPECT_EQ(track.readPosition, row.position) << row.value;
        if (!row.complete) continue;
        EXPECT_EQ(value, row.value);
        Track again = TrackOf(row.bytes);
        EXPECT_EQ(ReadVarLen(again), row.value);
    }
}

std::string Hex(const uint8_t* bytes, uint32_t count) {
    std::string text;
    char two[3];
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        text += two;
    }
    return text;
}

// Every event read from the bytes, "90 3c 64" for a channel message, "ff51 07a120" for a meta
// event, "f0 41f7" for a system exclusive one, then "stop N": where the read position stood when
// ReadEvent found nothing more to deliver.
std::string Trace(std::vector<uint8_t> bytes) {
    Track track = TrackOf(std::move(bytes));
    std::string trace;
    for (MidiEvent e; ReadEvent(track, e);) {
        const std::string body = Hex(e.body, e.bodyLength);
        if (e.kind == EventKind::kChannel) {
            const uint8_t bytes[] = {e.status, e.data1, e.data2};
            trace += Hex(bytes, 1) + " " + Hex(bytes + 1, 1) + " " + Hex(bytes + 2, 1);
        } else {
            trace += e.kind == EventKind::kMeta ? "ff" + Hex(&e.metaType, 1) : "f0";
            if (!body.empty()) trace += " " + body;
        }
        trace += " | ";
    }
    return trace + "stop " + std::to_string(track.readPosition);
}

// "90 3c 64" as bytes.
std::vector<uint8_t> Bytes(std::string_view hex) {
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += hex[i] == ' ' ? 1 : 2)
        if (hex[i] != ' ')
            bytes.push_back(
                static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

TEST(EventReader, ReadsEachKindOfEventUnderRunningStatus) {
    const std::pair<const char*, const char*> rows[] = {
        // 0xF7 and the other system statuses are two-data-byte messages, passed on unchanged.
        {"91 3c 64 c2 05 d3 07 e4 01 02 f7 03 04 f1 09 09",
         "91 3c 64 | c2 05 00 | d3 07 00 | e4 01 02 | f7 03 04 | f1 09 09 | stop 16"},
        {"90 3c 64 3e 65 c0 07 08", "90 3c 64 | 90 3e 65 | c0 07 00 | c0 08 00 | stop 8"},
        {"40 41", "00 40 41 | stop 2"},  // a new track's running status is 0
        // After a meta event the data bytes are read as another one; after 0xF0 as sysex.
        {"90 3c 64 ff 01 00 51 03 07 a1 20", "90 3c 64 | ff01 | ff51 07a120 | stop 11"},
        {"f0 01 f7 02 41 f7", "f0 f7 | f0 41f7 | stop 6"},
        // System exclusive ends at its first 0xF7 or its count, whichever comes first.
        {"f0 0a 41 f7 c0 01 f0 02 41 42 f0 7f 41 f7 f0 00",
         "f0 41f7 | c0 01 00 | f0 4142 | f0 41f7 | f0 | stop 16"},
        // Meta events take their fixed sizes whatever the count says.
        {"ff 00 05 01 02 ff 21 04 01 ff 2f 00 01 ff 51 09 01 02 03 ff 03 04 01 02 03 04 ff 01 00",
         "ff00 0102 | ff21 01 | ff2f 01 | ff51 010203 | ff03 01020304 | ff01 | stop 29"},
    };
    for (const auto& [bytes, trace] : rows) EXPECT_EQ(Trace(Bytes(bytes)), trace) << bytes;
    // An event cut by the end of the track ends it there and is not delivered: a channel message
    // short of data, a meta event short of its type, count, fixed size or counted body (an end
    // of track without the byte read after it), a system exclusive one short of its count.
    for (const char* cut : {"90 3c", "c0", "ff", "ff 51 03 07 a1", "ff 2f 00", "ff 03 81",
                            "ff 03 10 61 62", "f0 05 41 42", "f0 ff ff ff ff", ""})
        EXPECT_EQ(Trace(Bytes(cut)), "stop " + std::to_string(Bytes(cut).size())) << cut;
}

// Which files load and with how many tracks; a refused load never leaves the previous song behind.
TEST(SongImageLoad, TakesTheDeclaredTracksAndRefusesWhatIsNotALoadableFile) {
    SmfBuilder good;
    good.AddTrack().NoteOn(0, 0, 60, 100).EndOfTrack(100);
    good.AddTrack().EndOfTrack(0);
    good.AddTrack().EndOfTrack(0);
    std::vector<uint8_t> shortHeader = good.Build();
    shortHeader.resize(13);
    std::vector<uint8_t> cutHeader = SmfBuilder(good).DeclaredTrackCount(4).Build();
    cutHeader.insert(cutHeader.end(), {'M', 'T', 'r', 'k', 0, 0, 0});
    std::vector<uint8_t> longHeader = good.Build();
    longHeader[7] = 8;
    longHeader.insert(longHeader.begin() + 14, {0, 0});
    SmfBuilder huge;  // a length near 4 GiB must not wrap around to a small position
    huge.AddTrack().EndOfTrack(0).DeclaredLength(0xFFFFFFF8);
    huge.AddTrack().EndOfTrack(0);
    const std::tuple<const char*, std::vector<uint8_t>, int> rows[] = {
        {"zero tracks: no song", SmfBuilder().Build(), 0},
        {"after the last declared track",
         SmfBuilder(good).DeclaredTrackCount(2).ForeignChunk(3, "XYZW", {1}).Build(), 2},
        {"huge length of the last track", SmfBuilder(huge).DeclaredTrackCount(1).Build(), 1},
        {"huge length", huge.Build(), -1},
        {"riff wrapper", SmfBuilder(good).HeaderId("RIFF").Build(), -1},
        {"empty", {}, -1},
        {"shorter than the header", shortHeader, -1},
        {"chunk between tracks", SmfBuilder(good).ForeignChunk(2, "JUNK", {}).Build(), -1},
        {"chunk before the tracks", SmfBuilder(good).ForeignChunk(0, "XFIH", {0}).Build(), -1},
        {"division 0", SmfBuilder(good).Division(0).Build(), -1},
        {"missing track", SmfBuilder(good).DeclaredTrackCount(4).Build(), -1},
        {"track header cut", cutHeader, -1},
        {"header chunk longer than 6", longHeader, -1},
    };
    for (const auto& [name, bytes, tracks] : rows) {
        SongImage song;
        ASSERT_TRUE(song.LoadImage(good.Build()));
        EXPECT_EQ(song.LoadImage(bytes), tracks >= 0) << name;
        EXPECT_EQ(song.tracks.size(), static_cast<std::size_t>(std::max(tracks, 0))) << name;
        EXPECT_EQ(song.HasSong(), tracks > 0) << name;
    }
}

}  // namespace
}  // namespace zeblo
