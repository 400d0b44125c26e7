// Standard MIDI Files written byte by byte, for the generators in this folder, the tests and the
// benchmarks. Two ways to fill a track:
//   - TrackBuilder: events in file order, each after its delta time, exactly as given; damaged
//     files come from Raw, DeclaredLength and SmfBuilder's header overrides.
//       SmfBuilder smf(1, 480);
//       smf.AddTrack().TrackName(0, "Title").Tempo(0, 500000).EndOfTrack(1920);
//       smf.AddTrack().NoteOn(0, 0, 60, 100).NoteOff(480, 0, 60).EndOfTrack(0);
//   - SmfTrack: events at absolute ticks in any order, written sorted with running status.
// Header only, so that any program may use it without linking the generators.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeblo::tools {

inline void AppendVarLen(std::vector<uint8_t>& out, uint32_t value) {
    int shift = 28;
    while (shift > 0 && (value >> shift) == 0) shift -= 7;
    for (; shift > 0; shift -= 7)
        out.push_back(static_cast<uint8_t>(0x80 | ((value >> shift) & 0x7F)));
    out.push_back(static_cast<uint8_t>(value & 0x7F));
}

inline void AppendBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A meta event (0xFF type length body) or a system exclusive one (0xF0 length body, the body
// normally ending with 0xF7), without the delta time.
inline std::vector<uint8_t> MetaBytes(uint8_t type, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> bytes{0xFF, type};
    AppendVarLen(bytes, static_cast<uint32_t>(body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}
inline std::vector<uint8_t> SysExBytes(const std::vector<uint8_t>& body) {
    std::vector<uint8_t> bytes{0xF0};
    AppendVarLen(bytes, static_cast<uint32_t>(body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}
inline std::vector<uint8_t> TempoBody(uint32_t microsecondsPerQuarter) {
    const uint32_t m = microsecondsPerQuarter;
    return {static_cast<uint8_t>(m >> 16), static_cast<uint8_t>(m >> 8), static_cast<uint8_t>(m)};
}

// One MTrk chunk. Every event helper takes the delta time before the event; channels are 0-15.
class TrackBuilder {
public:
    // A delta time followed by the given bytes as they stand (running status, damaged events).
    TrackBuilder& Event(uint32_t delta, const std::vector<uint8_t>& bytes) {
        AppendVarLen(data, delta);
        tick += delta;
        return Raw(bytes);
    }
    TrackBuilder& Event(uint32_t delta, std::initializer_list<uint8_t> bytes) {
        return Event(delta, std::vector<uint8_t>(bytes));
    }
    TrackBuilder& NoteOn(uint32_t delta, int ch, int note, int velocity) {
        return Event(delta, {Status(0x90, ch), Byte(note), Byte(velocity)});
    }
    TrackBuilder& NoteOff(uint32_t delta, int ch, int note, int velocity = 64) {
        return Event(delta, {Status(0x80, ch), Byte(note), Byte(velocity)});
    }
    TrackBuilder& ControlChange(uint32_t delta, int ch, int controller, int value) {
        return Event(delta, {Status(0xB0, ch), Byte(controller), Byte(value)});
    }
    TrackBuilder& ProgramChange(uint32_t delta, int ch, int program) {
        return Event(delta, {Status(0xC0, ch), Byte(program)});
    }
    TrackBuilder& ChannelPressure(uint32_t delta, int ch, int value) {
        return Event(delta, {Status(0xD0, ch), Byte(value)});
    }
    // value 0-16383, 8192 is the centre.
    TrackBuilder& PitchBend(uint32_t delta, int ch, int value) {
        return Event(delta, {Status(0xE0, ch), Byte(value & 0x7F), Byte((value >> 7) & 0x7F)});
    }
    TrackBuilder& Text(uint32_t delta, uint8_t type, std::string_view text) {
        return Event(delta, MetaBytes(type, std::vector<uint8_t>(text.begin(), text.end())));
    }
    TrackBuilder& TrackName(uint32_t delta, std::string_view text) {
        return Text(delta, 0x03, text);
    }
    TrackBuilder& Tempo(uint32_t delta, uint32_t microsecondsPerQuarter) {
        return Event(delta, MetaBytes(0x51, TempoBody(microsecondsPerQuarter)));
    }
    TrackBuilder& Port(uint32_t delta, uint8_t port) {
        return Event(delta, MetaBytes(0x21, {port}));
    }
    TrackBuilder& EndOfTrack(uint32_t delta) { return Event(delta, {0xFF, 0x2F, 0x00}); }
    TrackBuilder& SysEx(uint32_t delta, const std::vector<uint8_t>& body) {
        return Event(delta, SysExBytes(body));
    }
    TrackBuilder& Raw(const std::vector<uint8_t>& bytes) {
        data.insert(data.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // The chunk claims this many event bytes, whatever it holds.
    TrackBuilder& DeclaredLength(uint32_t length) {
        declaredLength = length;
        return *this;
    }
    TrackBuilder& ChunkId(std::string_view id) {
        chunkId = std::string(id.substr(0, 4));
        return *this;
    }

    uint32_t Tick() const { return tick; }
    const std::vector<uint8_t>& Data() const { return data; }

    void AppendChunk(std::vector<uint8_t>& out) const {
        out.insert(out.end(), chunkId.begin(), chunkId.end());
        AppendBigEndian(out, declaredLength.value_or(static_cast<uint32_t>(data.size())), 4);
        out.insert(out.end(), data.begin(), data.end());
    }

private:
    static uint8_t Byte(uint32_t v) { return static_cast<uint8_t>(v & 0xFF); }
    static uint8_t Status(uint8_t type, int ch) { return static_cast<uint8_t>(type | (ch & 0x0F)); }

    std::vector<uint8_t> data;
    std::string chunkId = "MTrk";
    std::optional<uint32_t> declaredLength;
    uint32_t tick = 0;
};

// The MThd chunk.
inline void AppendHeader(std::vector<uint8_t>& out, std::string_view id, uint16_t format,
                         uint16_t trackCount, uint16_t division) {
    out.insert(out.end(), id.begin(), id.end());
    AppendBigEndian(out, 6, 4);
    for (uint16_t v : {format, trackCount, division}) AppendBigEndian(out, v, 2);
}

class SmfBuilder {
public:
    explicit SmfBuilder(uint16_t format = 1, uint16_t division = 480)
        : format(format), division(division) {}

    // References stay valid as more tracks are added.
    TrackBuilder& AddTrack() { return tracks.emplace_back(); }
    TrackBuilder& TrackAt(std::size_t i) { return tracks[i]; }
    std::size_t TrackCount() const { return tracks.size(); }

    // Header overrides for damaged files.
    SmfBuilder& DeclaredTrackCount(uint16_t count) {
        declaredTrackCount = count;
        return *this;
    }
    SmfBuilder& HeaderId(std::string_view id) {
        headerId = std::string(id.substr(0, 4));
        return *this;
    }
    SmfBuilder& Division(uint16_t value) {
        division = value;
        return *this;
    }
    // A chunk of any id inserted before track index beforeTrack (TrackCount() for the end).
    SmfBuilder& ForeignChunk(std::size_t beforeTrack, std::string_view id,
                             const std::vector<uint8_t>& body) {
        foreign.emplace_back(beforeTrack, TrackBuilder().ChunkId(id).Raw(body));
        return *this;
    }

    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> out;
        AppendHeader(out, headerId, format,
                     declaredTrackCount.value_or(static_cast<uint16_t>(tracks.size())), division);
        for (std::size_t i = 0; i <= tracks.size(); ++i) {
            for (const auto& [before, chunk] : foreign)
                if (before == i) chunk.AppendChunk(out);
            if (i < tracks.size()) tracks[i].AppendChunk(out);
        }
        return out;
    }

    bool WriteFile(const std::string& path) const { return WriteBytes(path, Build()); }

    static bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) return false;
        const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        return std::fclose(file) == 0 && ok;
    }

private:
    uint16_t format;
    uint16_t division;
    std::deque<TrackBuilder> tracks;
    std::optional<uint16_t> declaredTrackCount;
    std::string headerId = "MThd";
    std::vector<std::pair<std::size_t, TrackBuilder>> foreign;
};

// A track whose events are collected at absolute ticks and written in order of time, with
// running status. At one tick, releases go first, then settings, then new notes.
class SmfTrack {
public:
    void Name(uint32_t tick, const std::string& text) {
        Meta(tick, 0x03, std::vector<uint8_t>(text.begin(), text.end()));
    }
    void Meta(uint32_t tick, uint8_t type, const std::vector<uint8_t>& body) {
        Add(tick, kSetting, MetaBytes(type, body));
    }
    // `body` follows the 0xF0 and ends with 0xF7.
    void SysEx(uint32_t tick, const std::vector<uint8_t>& body) {
        Add(tick, kSetting, SysExBytes(body));
    }
    void Tempo(uint32_t tick, double beatsPerMinute) {
        const auto micros = static_cast<uint32_t>(std::lround(60000000.0 / beatsPerMinute));
        Meta(tick, 0x51, TempoBody(micros));
    }
    void Program(uint32_t tick, int channel, int program) {
        Add(tick, kSetting, {Status(0xC0, channel), Clamp7(program)});
    }
    void Control(uint32_t tick, int channel, int controller, int value) {
        Add(tick, kSetting, {Status(0xB0, channel), Clamp7(controller), Clamp7(value)});
    }
    // 0 ... 16383, 8192 is the centre.
    void Bend(uint32_t tick, int channel, int value) {
        value = std::clamp(value, 0, 16383);
        Add(tick, kSetting,
            {Status(0xE0, channel), static_cast<uint8_t>(value & 0x7F),
             static_cast<uint8_t>(value >> 7)});
    }
    void Note(uint32_t tick, uint32_t length, int channel, int key, int velocity) {
        Add(tick, kStart, {Status(0x90, channel), Clamp7(key), Clamp7(velocity)});
        // A note-on of velocity 0 ends the note, so a run of notes shares one running status.
        Add(tick + length, kRelease, {Status(0x90, channel), Clamp7(key), 0});
    }

    // The track chunk, "MTrk" and length included, ended at `endTick` or at the last event.
    std::vector<uint8_t> Chunk(uint32_t endTick) const {
        std::vector<const Timed*> order;
        for (const Timed& e : events) order.push_back(&e);
        std::stable_sort(order.begin(), order.end(), [](const Timed* a, const Timed* b) {
            return a->tick != b->tick ? a->tick < b->tick : a->rank < b->rank;
        });
        TrackBuilder track;
        uint8_t runningStatus = 0;
        for (const Timed* e : order) {
            const uint8_t status = e->bytes[0];
            const bool channelMessage = status < 0xF0;
            // Meta and system-exclusive events cancel running status.
            const bool skip = channelMessage && status == runningStatus;
            track.Event(e->tick - track.Tick(),
                        {e->bytes.begin() + (skip ? 1 : 0), e->bytes.end()});
            runningStatus = channelMessage ? status : 0;
        }
        track.EndOfTrack(endTick > track.Tick() ? endTick - track.Tick() : 0);
        std::vector<uint8_t> chunk;
        track.AppendChunk(chunk);
        return chunk;
    }

private:
    enum Rank { kRelease = 0, kSetting = 1, kStart = 2 };
    struct Timed {
        uint32_t tick;
        Rank rank;
        std::vector<uint8_t> bytes;
    };
    static uint8_t Status(uint8_t type, int channel) {
        return static_cast<uint8_t>(type | channel);
    }
    static uint8_t Clamp7(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 127)); }
    void Add(uint32_t tick, Rank rank, std::vector<uint8_t> bytes) {
        events.push_back({tick, rank, std::move(bytes)});
    }

    std::vector<Timed> events;
};

// A format 1 file of the given track chunks.
inline std::vector<uint8_t> SmfFile(const std::vector<std::vector<uint8_t>>& chunks,
                                    uint16_t division) {
    std::vector<uint8_t> file;
    AppendHeader(file, "MThd", 1, static_cast<uint16_t>(chunks.size()), division);
    for (const auto& chunk : chunks) file.insert(file.end(), chunk.begin(), chunk.end());
    return file;
}

}  // namespace zeblo::tools
