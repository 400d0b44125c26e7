#include <gtest/gtest.h>

#include "midi/EventReader.h"

namespace zeblo {
namespace {

Track TrackOf(std::vector<uint8_t> bytes) {
    Track track;
    track.data = std::move(bytes);
    track.length = static_cast<uint32_t>(track.data.size());
    return track;
}

std::vector<uint8_t> Body(const MidiEvent& e) {
    return {e.body, e.body + e.bodyLength};
}

TEST(EventReader, ReadsChannelMessagesWithOneOrTwoDataBytes) {
    Track track = TrackOf({0x91, 60, 100, 0xC2, 5, 0xD3, 7, 0xE4, 1, 2, 0xF7, 3, 4, 0xF1, 9, 9});
    MidiEvent e;
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(e.kind, EventKind::kChannel);
    EXPECT_EQ(e.status, 0x91);
    EXPECT_EQ(e.data1, 60);
    EXPECT_EQ(e.data2, 100);
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(e.status, 0xC2);
    EXPECT_EQ(e.data1, 5);
    EXPECT_EQ(e.data2, 0);
    EXPECT_EQ(track.readPosition, 5u);
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(e.status, 0xD3);
    EXPECT_EQ(track.readPosition, 7u);
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(track.readPosition, 10u);
    // 0xF7 and the other system statuses are two-data-byte messages, passed on unchanged.
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(e.kind, EventKind::kChannel);
    EXPECT_EQ(e.status, 0xF7);
    EXPECT_EQ(e.data2, 4);
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(e.status, 0xF1);
    EXPECT_EQ(track.readPosition, track.length);
}

TEST(EventReader, RunningStatusRereadsTheDataByte) {
    Track track = TrackOf({0x90, 60, 100, 62, 101, 0xC0, 7, 8});
    MidiEvent e;
    ASSERT_TRUE(ReadEvent(track, e));
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(e.status, 0x90);
    EXPECT_EQ(e.data1, 62);
    EXPECT_EQ(e.data2, 101);
    ASSERT_TRUE(ReadEvent(track, e));
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(e.status, 0xC0);
    EXPECT_EQ(e.data1, 8);
    EXPECT_EQ(track.runningStatus, 0xC0);
}

TEST(EventReader, RunningStatusContinuesAcrossAMetaEventAsMeta) {
    // After FF 01 00 the data bytes 51 03 07 A1 20 are read under status 0xFF: a tempo event.
    Track track = TrackOf({0x90, 60, 100, 0xFF, 0x01, 0x00, 0x51, 0x03, 0x07, 0xA1, 0x20});
    MidiEvent e;
    ASSERT_TRUE(ReadEvent(track, e));
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(track.runningStatus, 0xFF);
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(e.kind, EventKind::kMeta);
    EXPECT_EQ(e.metaType, 0x51);
    EXPECT_EQ(Body(e), (std::vector<uint8_t>{0x07, 0xA1, 0x20}));
}

TEST(EventReader, RunningStatusAfterSystemExclusiveIsF0) {
    Track track = TrackOf({0xF0, 0x01, 0xF7, 0x02, 0x41, 0xF7});
    MidiEvent e;
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(track.runningStatus, 0xF0);
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(e.kind, EventKind::kSysEx);
    EXPECT_EQ(Body(e), (std::vector<uint8_t>{0x41, 0xF7}));
}

TEST(EventReader, RunningStatusOfANewTrackIsZero) {
    Track track = TrackOf({0x40, 0x41});
    MidiEvent e;
    ASSERT_TRUE(ReadEvent(track, e));
    EXPECT_EQ(e.kind, EventKind::kChannel);
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.data1, 0x40);
    EXPECT_EQ(e.data2, 0x41);
}

TEST(EventReader, SystemExclusiveEndsAtTheFirstF7OrTheCount) {
    // Count 10, but the message closes after two bytes; the next event follows at once.
    Track early = TrackOf({0xF0, 10, 0x41, 0xF7, 0xC0, 1});
    MidiEvent e;
    ASSERT_TRUE(ReadEvent(early, e));
    EXPECT_EQ(Body(e), (std::vector<uint8_t>{0x41, 0xF7}));
    EXPECT_EQ(early.readPosition, 4u);

    // Count 2 ends it before its 0xF7: the rest is read as what follows.
    Track counted = TrackOf({0xF0, 2, 0x41, 0x42, 0x43, 0xF7});
    ASSERT_TRUE(ReadEvent(counted, e));
    EXPECT_EQ(Body(e), (std::vector<uint8_t>{0x41, 0x42}));
    EXPECT_EQ(counted.readPosition, 4u);

    Track empty = TrackOf({0xF0, 0});
    ASSERT_TRUE(ReadEvent(empty, e));
    EXPECT_EQ(e.bodyLength, 0u);
}

TEST(EventReader, MetaEventsConsumeTheirFixedSizesWhateverTheCountSays) {
    struct Case {
        uint8_t type;
        uint8_t count;
        uint32_t consumed;
    };
    for (const Case& c :
         {Case{0x00, 0, 2}, Case{0x00, 5, 2}, Case{0x21, 4, 1}, Case{0x2F, 0, 1}, Case{0x51, 0, 3},
          Case{0x51, 9, 3}, Case{0x03, 4, 4}, Case{0x7F, 6, 6}, Case{0x01, 0, 0}}) {
        std::vector<uint8_t> bytes{0xFF, c.type, c.count, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        Track track = TrackOf(bytes);
        MidiEvent e;
        ASSERT_TRUE(ReadEvent(track, e)) << int(c.type);
        EXPECT_EQ(e.metaType, c.type);
        EXPECT_EQ(e.bodyLength, c.consumed) << int(c.type);
        EXPECT_EQ(track.readPosition, 3 + c.consumed) << int(c.type);
        if (c.consumed > 0) {
            EXPECT_EQ(e.body[0], 1);
        }
    }
}

// Whatever is cut by the end of the track ends it there and is not delivered.
TEST(EventReader, AnEventCutByTheEndOfTheTrackEndsIt) {
    const std::vector<std::vector<uint8_t>> cut = {
        {0x90, 60},                      // channel message without its second data byte
        {0xC0},                          // without its one data byte
        {0xFF},                          // meta without its type
        {0xFF, 0x51, 0x03, 0x07, 0xA1},  // tempo without its third byte
        {0xFF, 0x2F, 0x00},              // end of track without the byte read after it
        {0xFF, 0x03, 0x81},              // meta count cut
        {0xFF, 0x03, 0x10, 'a', 'b'},    // text shorter than its count
        {0xF0, 0x05, 0x41, 0x42},        // system exclusive shorter than its count, no 0xF7
        {0xF0, 0xFF, 0xFF, 0xFF, 0xFF},  // system exclusive count cut
        {},                              // nothing at all
    };
    for (const auto& bytes : cut) {
        Track track = TrackOf(bytes);
        MidiEvent e;
        EXPECT_FALSE(ReadEvent(track, e)) << bytes.size();
        EXPECT_EQ(track.readPosition, track.length);
    }
    // A count that exceeds the track is fine when the 0xF7 comes before the end.
    Track closed = TrackOf({0xF0, 0x7F, 0x41, 0xF7});
    MidiEvent e;
    EXPECT_TRUE(ReadEvent(closed, e));
}

}  // namespace
}  // namespace zeblo
