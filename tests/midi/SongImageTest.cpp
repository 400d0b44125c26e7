#include <gtest/gtest.h>

#include "midi/SongImage.h"
#include "support/SmfBuilder.h"

namespace zeblo {
namespace {

using test::SmfBuilder;

Track TrackOf(std::vector<uint8_t> bytes) {
    Track track;
    track.data = std::move(bytes);
    track.length = static_cast<uint32_t>(track.data.size());
    return track;
}

TEST(ReadVarLen, DecodesTheStandardExamplesAndAdvancesPastThem) {
    struct Case {
        std::vector<uint8_t> bytes;
        uint32_t value;
    };
    const Case cases[] = {{{0x00}, 0},
                          {{0x7F}, 127},
                          {{0x81, 0x00}, 128},
                          {{0xFF, 0x7F}, 16383},
                          {{0x81, 0x80, 0x80, 0x00}, 2097152},
                          {{0x8F, 0xFF, 0xFF, 0xFF, 0x7F}, 0xFFFFFFFF}};
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = c.bytes;
        bytes.push_back(0x55);  // the next byte must stay unread
        Track track = TrackOf(bytes);
        EXPECT_EQ(ReadVarLen(track), c.value);
        EXPECT_EQ(track.readPosition, c.bytes.size());
    }
}

TEST(ReadVarLen, HasNoLengthLimitAndKeepsTheLow32Bits) {
    // 1 << 35 loses every bit; 1 << 35 | 5 keeps the 5.
    Track track = TrackOf({0x81, 0x80, 0x80, 0x80, 0x80, 0x00, 0x81, 0x80, 0x80, 0x80, 0x80, 0x05});
    EXPECT_EQ(ReadVarLen(track), 0u);
    EXPECT_EQ(track.readPosition, 6u);
    EXPECT_EQ(ReadVarLen(track), 5u);
}

TEST(ReadVarLen, StopsAtTheEndOfTheTrackData) {
    Track cut = TrackOf({0x81, 0x80});
    uint32_t value = 99;
    EXPECT_FALSE(ReadVarLenComplete(cut, value));
    EXPECT_EQ(cut.readPosition, 2u);

    // An endless number: five megabytes of continuation bytes.
    Track endless = TrackOf(std::vector<uint8_t>(5 << 20, 0xFF));
    EXPECT_FALSE(ReadVarLenComplete(endless, value));
    EXPECT_EQ(endless.readPosition, endless.length);

    Track empty = TrackOf({});
    EXPECT_EQ(ReadVarLen(empty), 0u);
    EXPECT_EQ(empty.readPosition, 0u);
}

TEST(SongImageLoad, KeepsHeaderFieldsAndOneRewoundCopyPerTrack) {
    SmfBuilder smf(1, 96);
    smf.AddTrack().Tempo(200, 500000).EndOfTrack(0);
    smf.AddTrack().NoteOn(0x81, 0, 60, 100).EndOfTrack(10);
    const std::vector<uint8_t> bytes = smf.Build();

    SongImage song;
    ASSERT_TRUE(song.LoadImage(bytes));
    EXPECT_EQ(std::string(song.header.chunkId, 4), "MThd");
    EXPECT_EQ(song.header.headerLength, 6u);
    EXPECT_EQ(song.header.format, 1);
    EXPECT_EQ(song.header.trackCount, 2);
    EXPECT_EQ(song.header.division, 96);
    ASSERT_EQ(song.tracks.size(), 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        const Track& track = song.tracks[i];
        EXPECT_EQ(std::string(track.chunkId, 4), "MTrk");
        EXPECT_EQ(track.data, smf.TrackAt(i).Data());
        EXPECT_EQ(track.length, track.data.size());
        EXPECT_EQ(track.index, i);
        EXPECT_EQ(track.ended, 0u);
    }
    // The first delta time is read: 200 takes two bytes, 0x81 two.
    EXPECT_EQ(song.tracks[0].deltaRemaining, 200u);
    EXPECT_EQ(song.tracks[0].readPosition, 2u);
    EXPECT_EQ(song.tracks[1].deltaRemaining, 0x81u);
}

TEST(SongImageLoad, GivesPortsByTrackPosition) {
    EXPECT_EQ(DefaultTrackPort(0), 0u);
    EXPECT_EQ(DefaultTrackPort(16), 0u);
    EXPECT_EQ(DefaultTrackPort(17), 1u);
    EXPECT_EQ(DefaultTrackPort(32), 1u);
    EXPECT_EQ(DefaultTrackPort(33), 2u);

    for (int count : {1, 17, 18, 34}) {
        SmfBuilder smf(count == 1 ? 0 : 1);
        for (int i = 0; i < count; ++i) smf.AddTrack().EndOfTrack(0);
        SongImage song;
        ASSERT_TRUE(song.LoadImage(smf.Build())) << count;
        ASSERT_EQ(song.tracks.size(), static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            const uint32_t expected = i <= 16 ? 0 : (i <= 32 ? 1 : 2);
            EXPECT_EQ(song.tracks[i].port, expected) << "track " << i << " of " << count;
        }
    }
}

TEST(SongImageLoad, TakesTheDivisionAsTicksEvenInSmpteForm) {
    SmfBuilder smf(0, 0xE728);
    smf.AddTrack().EndOfTrack(0);
    SongImage song;
    ASSERT_TRUE(song.LoadImage(smf.Build()));
    EXPECT_EQ(song.header.division, 59176);
}

TEST(SongImageLoad, AcceptsZeroTracksAsNoSong) {
    SongImage song;
    ASSERT_TRUE(song.LoadImage(SmfBuilder().Build()));
    EXPECT_FALSE(song.HasSong());
    EXPECT_TRUE(song.tracks.empty());
}

TEST(SongImageLoad, IgnoresBytesAndChunksAfterTheLastDeclaredTrack) {
    SmfBuilder smf;
    smf.AddTrack().EndOfTrack(0);
    smf.AddTrack().EndOfTrack(0);
    smf.DeclaredTrackCount(1).ForeignChunk(2, "XYZW", {1, 2, 3});
    SongImage song;
    ASSERT_TRUE(song.LoadImage(smf.Build()));
    EXPECT_EQ(song.tracks.size(), 1u);
}

// Every way a file is refused; a refused load never leaves the previous song behind.
TEST(SongImageLoad, RefusesWhatIsNotALoadableFileAndLeavesNoSong) {
    SmfBuilder good;
    good.AddTrack().NoteOn(0, 0, 60, 100).EndOfTrack(100);
    good.AddTrack().EndOfTrack(0);
    good.AddTrack().EndOfTrack(0);

    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> bad;
    bad.push_back(Case{"riff wrapper", SmfBuilder(good).HeaderId("RIFF").Build()});
    bad.push_back(Case{"empty", std::vector<uint8_t>{}});
    std::vector<uint8_t> shortHeader = good.Build();
    shortHeader.resize(13);
    bad.push_back(Case{"shorter than the header", shortHeader});
    bad.push_back(
        Case{"chunk between tracks", SmfBuilder(good).ForeignChunk(2, "JUNK", {}).Build()});
    bad.push_back(
        Case{"chunk before the tracks", SmfBuilder(good).ForeignChunk(0, "XFIH", {0}).Build()});
    bad.push_back(Case{"division 0", SmfBuilder(good).Division(0).Build()});
    bad.push_back(Case{"missing track", SmfBuilder(good).DeclaredTrackCount(4).Build()});
    std::vector<uint8_t> cutHeader = SmfBuilder(good).DeclaredTrackCount(4).Build();
    cutHeader.insert(cutHeader.end(), {'M', 'T', 'r', 'k', 0, 0, 0});
    bad.push_back(Case{"track header cut", cutHeader});
    std::vector<uint8_t> longHeader = good.Build();
    longHeader[7] = 8;
    longHeader.insert(longHeader.begin() + 14, {0, 0});
    bad.push_back(Case{"header chunk longer than 6", longHeader});

    for (const auto& [name, bytes] : bad) {
        SongImage song;
        ASSERT_TRUE(song.LoadImage(good.Build()));
        EXPECT_FALSE(song.LoadImage(bytes)) << name;
        EXPECT_FALSE(song.HasSong()) << name;
        EXPECT_TRUE(song.tracks.empty()) << name;
    }
}

TEST(SongImageLoad, CutsATrackWhoseLengthRunsPastTheEndOfTheFile) {
    SmfBuilder smf;
    smf.AddTrack().NoteOn(0, 0, 60, 100).NoteOff(10, 0, 60).DeclaredLength(1000);
    SongImage song;
    ASSERT_TRUE(song.LoadImage(smf.Build()));
    EXPECT_EQ(song.tracks[0].length, smf.TrackAt(0).Data().size());
    EXPECT_EQ(song.tracks[0].data, smf.TrackAt(0).Data());

    // A length near 4 GiB must not wrap around to a small position.
    SmfBuilder huge;
    huge.AddTrack().EndOfTrack(0).DeclaredLength(0xFFFFFFF8);
    huge.AddTrack().EndOfTrack(0);
    EXPECT_FALSE(song.LoadImage(huge.Build()));
    huge.DeclaredTrackCount(1);
    EXPECT_TRUE(song.LoadImage(huge.Build()));
}

TEST(SongImageLoad, StartsATrackWithoutACompleteFirstDeltaEnded) {
    SmfBuilder smf;
    smf.AddTrack();                    // no bytes at all
    smf.AddTrack().Raw({0x81, 0x80});  // a cut delta time
    smf.AddTrack().Raw({0x05});        // a delta time and nothing after it
    SongImage song;
    ASSERT_TRUE(song.LoadImage(smf.Build()));
    EXPECT_EQ(song.tracks[0].ended, 1u);
    EXPECT_EQ(song.tracks[1].ended, 1u);
    EXPECT_EQ(song.tracks[2].ended, 0u);
    EXPECT_EQ(song.tracks[2].deltaRemaining, 5u);
}

}  // namespace
}  // namespace zeblo
