// Writes Standard MIDI Files for tests and benchmarks, in memory or to a file. Well-formed songs
// come from the event helpers; damaged ones from Raw, DeclaredLength and the header overrides.
//
//   SmfBuilder smf(1, 480);
//   smf.AddTrack().TrackName(0, "Title").Tempo(0, 500000).EndOfTrack(1920);
//   smf.AddTrack().ProgramChange(0, 0, 5).NoteOn(0, 0, 60, 100).NoteOff(480, 0, 60).EndOfTrack(0);
//   std::vector<uint8_t> bytes = smf.Build();
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeblo::test {

inline std::vector<uint8_t> EncodeVarLen(uint32_t value) {
    std::vector<uint8_t> out{static_cast<uint8_t>(value & 0x7F)};
    while ((value >>= 7) != 0) out.insert(out.begin(), static_cast<uint8_t>(0x80 | (value & 0x7F)));
    return out;
}

// One MTrk chunk. Every event helper takes the delta time before the event; channels are 0-15.
class TrackBuilder {
public:
    TrackBuilder& Delta(uint32_t delta) {
        Append(EncodeVarLen(delta));
        tick += delta;
        return *this;
    }
    // A delta time followed by the given bytes as they stand (running status, damaged events).
    TrackBuilder& Event(uint32_t delta, std::initializer_list<uint8_t> bytes) {
        Delta(delta);
        data.insert(data.end(), bytes);
        return *this;
    }
    TrackBuilder& Event(uint32_t delta, const std::vector<uint8_t>& bytes) {
        Delta(delta);
        Append(bytes);
        return *this;
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
    TrackBuilder& Meta(uint32_t delta, uint8_t type, const std::vector<uint8_t>& body) {
        Delta(delta);
        data.push_back(0xFF);
        data.push_back(type);
        Append(EncodeVarLen(static_cast<uint32_t>(body.size())));
        Append(body);
        return *this;
    }
    TrackBuilder& Text(uint32_t delta, uint8_t type, std::string_view text) {
        return Meta(delta, type, std::vector<uint8_t>(text.begin(), text.end()));
    }
    TrackBuilder& TrackName(uint32_t delta, std::string_view text) {
        return Text(delta, 0x03, text);
    }
    TrackBuilder& Tempo(uint32_t delta, uint32_t microsecondsPerQuarter) {
        return Meta(delta, 0x51,
                    {Byte(microsecondsPerQuarter >> 16), Byte(microsecondsPerQuarter >> 8),
                     Byte(microsecondsPerQuarter)});
    }
    TrackBuilder& Port(uint32_t delta, uint8_t port) { return Meta(delta, 0x21, {port}); }
    TrackBuilder& EndOfTrack(uint32_t delta) { return Event(delta, {0xFF, 0x2F, 0x00}); }
    // body: the bytes after 0xF0, normally ending with 0xF7; the count is body's size.
    TrackBuilder& SysEx(uint32_t delta, const std::vector<uint8_t>& body) {
        Delta(delta);
        data.push_back(0xF0);
        Append(EncodeVarLen(static_cast<uint32_t>(body.size())));
        Append(body);
        return *this;
    }
    TrackBuilder& Raw(const std::vector<uint8_t>& bytes) {
        Append(bytes);
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
        const uint32_t length = declaredLength.value_or(static_cast<uint32_t>(data.size()));
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(Byte(length >> shift));
        out.insert(out.end(), data.begin(), data.end());
    }

private:
    static uint8_t Byte(uint32_t v) { return static_cast<uint8_t>(v & 0xFF); }
    static uint8_t Status(uint8_t type, int ch) { return static_cast<uint8_t>(type | (ch & 0x0F)); }
    void Append(const std::vector<uint8_t>& bytes) {
        data.insert(data.end(), bytes.begin(), bytes.end());
    }

    std::vector<uint8_t> data;
    std::string chunkId = "MTrk";
    std::optional<uint32_t> declaredLength;
    uint32_t tick = 0;
};

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
        foreign.push_back({beforeTrack, std::string(id.substr(0, 4)), body});
        return *this;
    }

    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> out(headerId.begin(), headerId.end());
        const uint16_t count = declaredTrackCount.value_or(static_cast<uint16_t>(tracks.size()));
        for (uint32_t v : {0u, 0u, 0u, 6u}) out.push_back(static_cast<uint8_t>(v));
        for (uint16_t v : {format, count, division}) {
            out.push_back(static_cast<uint8_t>(v >> 8));
            out.push_back(static_cast<uint8_t>(v & 0xFF));
        }
        for (std::size_t i = 0; i <= tracks.size(); ++i) {
            for (const Foreign& f : foreign) {
                if (f.beforeTrack != i) continue;
                TrackBuilder chunk;
                chunk.ChunkId(f.id).Raw(f.body).AppendChunk(out);
            }
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
    struct Foreign {
        std::size_t beforeTrack;
        std::string id;
        std::vector<uint8_t> body;
    };

    uint16_t format;
    uint16_t division;
    std::deque<TrackBuilder> tracks;
    std::optional<uint16_t> declaredTrackCount;
    std::string headerId = "MThd";
    std::vector<Foreign> foreign;
};

}  // namespace zeblo::test
