// Reads the demo song back with a small independent reader and checks what the player and the
// later tests rely on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "DemoSong.h"

namespace zeblo::tools {
namespace {

struct Event {
    uint32_t tick;
    std::vector<uint8_t> bytes;  // status included, also for running-status events
};

struct Song {
    int format = -1, division = 0;
    std::vector<std::vector<Event>> tracks;
};

uint32_t BigEndian(const std::vector<uint8_t>& b, std::size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
    return v;
}

uint32_t VarLen(const std::vector<uint8_t>& b, std::size_t& at, std::size_t end) {
    uint32_t v = 0;
    for (int i = 0; i < 4 && at < end; ++i) {
        const uint8_t byte = b[at++];
        v = (v << 7) | (byte & 0x7F);
        if ((byte & 0x80) == 0) return v;
    }
    ADD_FAILURE() << "bad variable-length number at " << at;
    return v;
}

Song Read(const std::vector<uint8_t>& b) {
    Song song;
    if (b.size() < 14 || BigEndian(b, 0, 4) != 0x4D546864) return song;
    song.format = static_cast<int>(BigEndian(b, 8, 2));
    const uint32_t count = BigEndian(b, 10, 2);
    song.division = static_cast<int>(BigEndian(b, 12, 2));
    std::size_t at = 14;
    for (uint32_t t = 0; t < count; ++t) {
        EXPECT_EQ(BigEndian(b, at, 4), 0x4D54726Bu) << "track " << t;
        const std::size_t end = at + 8 + BigEndian(b, at + 4, 4);
        EXPECT_LE(end, b.size());
        at += 8;
        std::vector<Event> events;
        uint32_t tick = 0;
        uint8_t running = 0;
        while (at < end && !::testing::Test::HasFailure()) {
            tick += VarLen(b, at, end);
            uint8_t status = b.at(at);
            if (status < 0x80) {
                status = running;
            } else {
                ++at;
            }
            Event e{tick, {status}};
            if (status == 0xFF) {
                e.bytes.push_back(b.at(at++));
                const uint32_t length = VarLen(b, at, end);
                e.bytes.insert(e.bytes.end(), b.begin() + static_cast<long>(at),
                               b.begin() + static_cast<long>(at + length));
                at += length;
                running = 0;
            } else if (status == 0xF0) {
                const uint32_t length = VarLen(b, at, end);
                e.bytes.insert(e.bytes.end(), b.begin() + static_cast<long>(at),
                               b.begin() + static_cast<long>(at + length));
                at += length;
                running = 0;
            } else {
                EXPECT_GE(status, 0x80) << "running status without a status";
                const int type = status & 0xF0;
                const int data = type == 0xC0 || type == 0xD0 ? 1 : 2;
                for (int i = 0; i < data; ++i) e.bytes.push_back(b.at(at++));
                running = status;
            }
            events.push_back(e);
        }
        EXPECT_EQ(at, end);
        song.tracks.push_back(events);
    }
    return song;
}

bool IsMeta(const Event& e, uint8_t type) {
    return e.bytes[0] == 0xFF && e.bytes[1] == type;
}

class DemoSong : public ::testing::Test {
protected:
    std::vector<uint8_t> bytes = MakeDemoSong();
    Song song = Read(bytes);
};

TEST_F(DemoSong, IsAFormatOneFileWithATitledConductorTrack) {
    EXPECT_EQ(song.format, 1);
    EXPECT_EQ(song.division, 480);
    EXPECT_GE(song.tracks.size(), 8u);
    EXPECT_LE(song.tracks.size(), 12u);
    ASSERT_FALSE(song.tracks.empty());
    std::string title;
    for (const Event& e : song.tracks[0]) {
        if (IsMeta(e, 0x03) || IsMeta(e, 0x02)) {
            title.assign(e.bytes.begin() + 2, e.bytes.end());
            break;
        }
    }
    EXPECT_EQ(title, "Circuit Morning (ZEBLO demo)");
    for (const auto& track : song.tracks) {
        ASSERT_FALSE(track.empty());
        EXPECT_TRUE(IsMeta(track.back(), 0x2F)) << "every track ends with its end event";
    }
}

TEST_F(DemoSong, SendsBothResetsBeforeAnyNote) {
    const std::vector<uint8_t> gmOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    const std::vector<uint8_t> gsReset{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40,
                                       0x00, 0x7F, 0x00, 0x41, 0xF7};
    uint32_t gmTick = UINT32_MAX, gsTick = UINT32_MAX, firstNote = UINT32_MAX;
    for (const auto& track : song.tracks) {
        for (const Event& e : track) {
            if (e.bytes == gmOn) gmTick = std::min(gmTick, e.tick);
            if (e.bytes == gsReset) gsTick = std::min(gsTick, e.tick);
            if ((e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] > 0)
                firstNote = std::min(firstNote, e.tick);
        }
    }
    EXPECT_LT(gmTick, firstNote);
    EXPECT_LT(gsTick, firstNote);
}

TEST_F(DemoSong, PlaysSixProgramsDrumsAndBendsInRange) {
    std::set<int> programs;
    std::map<int, uint32_t> firstNote, volumeAt, panAt;
    int drumNotes = 0, bends = 0;
    for (const auto& track : song.tracks) {
        for (const Event& e : track) {
            const int type = e.bytes[0] & 0xF0, channel = e.bytes[0] & 0x0F;
            if (e.bytes[0] >= 0xF0) continue;
            if (type == 0xC0 && channel != 9) programs.insert(e.bytes[1]);
            if (type == 0xE0) ++bends;
            if (type == 0xB0 && e.bytes[1] == 7 && !volumeAt.count(channel))
                volumeAt[channel] = e.tick;
            if (type == 0xB0 && e.bytes[1] == 10 && !panAt.count(channel)) panAt[channel] = e.tick;
            if (type == 0x90 && e.bytes[2] > 0) {
                EXPECT_GE(e.bytes[1], 36);
                EXPECT_LE(e.bytes[1], 96);
                if (channel == 9) ++drumNotes;
                if (!firstNote.count(channel)) firstNote[channel] = e.tick;
            }
        }
    }
    EXPECT_GE(programs.size(), 6u);
    EXPECT_GT(drumNotes, 200);
    EXPECT_GT(bends, 20);
    for (const auto& [channel, tick] : firstNote) {
        ASSERT_TRUE(volumeAt.count(channel) && panAt.count(channel)) << "channel " << channel;
        EXPECT_LT(volumeAt[channel], tick);
        EXPECT_LT(panAt[channel], tick);
    }
}

TEST_F(DemoSong, LastsBetweenSixtyAndNinetySecondsWithTempoChanges) {
    std::map<uint32_t, uint32_t> tempos;  // tick -> microseconds per beat
    uint32_t lastTick = 0;
    for (const auto& track : song.tracks) {
        for (const Event& e : track) {
            if (IsMeta(e, 0x51))
                tempos[e.tick] = (e.bytes[2] << 16) | (e.bytes[3] << 8) | e.bytes[4];
            lastTick = std::max(lastTick, e.tick);
        }
    }
    EXPECT_GE(tempos.size(), 3u);
    double seconds = 0;
    uint32_t tick = 0, micros = 500000;
    for (const auto& [at, value] : tempos) {
        seconds += double(at - tick) * micros / 1e6 / song.division;
        tick = at;
        micros = value;
    }
    seconds += double(lastTick - tick) * micros / 1e6 / song.division;
    EXPECT_GE(seconds, 60.0);
    EXPECT_LE(seconds, 90.0);
}

TEST_F(DemoSong, TheCommittedFileIsTheGeneratorsOutput) {
    const char* source = std::getenv("ZEBLO_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::ifstream in(std::string(source) + "/resources/demo.mid", std::ios::binary);
    const std::vector<uint8_t> committed{std::istreambuf_iterator<char>(in), {}};
    EXPECT_TRUE(committed == bytes) << "run make_demo_song to refresh resources/demo.mid";
}

}  // namespace
}  // namespace zeblo::tools
