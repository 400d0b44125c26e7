// A small Standard MIDI File writer for the generators in this folder: events are collected at
// absolute ticks in any order and written sorted, with running status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zeblo::tools {

class SmfTrack {
public:
    void Name(uint32_t tick, const std::string& text) { Meta(tick, 0x03, Bytes(text)); }
    void Meta(uint32_t tick, uint8_t type, const std::vector<uint8_t>& data);
    // `body` follows the 0xF0 and ends with 0xF7.
    void SysEx(uint32_t tick, const std::vector<uint8_t>& body);
    void Tempo(uint32_t tick, double beatsPerMinute);
    void Program(uint32_t tick, int channel, int program);
    void Control(uint32_t tick, int channel, int controller, int value);
    // 0 ... 16383, 8192 is the centre.
    void Bend(uint32_t tick, int channel, int value);
    void Note(uint32_t tick, uint32_t length, int channel, int key, int velocity);

    // The track chunk, "MTrk" and length included, ended at `endTick` or at the last event.
    std::vector<uint8_t> Chunk(uint32_t endTick) const;

private:
    // Lower ranks go first at the same tick: releases, then settings, then new notes.
    enum Rank { kRelease = 0, kSetting = 1, kStart = 2 };
    struct Event {
        uint32_t tick;
        Rank rank;
        uint32_t sequence;
        std::vector<uint8_t> bytes;
    };
    static std::vector<uint8_t> Bytes(const std::string& text) {
        return {text.begin(), text.end()};
    }
    void Add(uint32_t tick, Rank rank, std::vector<uint8_t> bytes);

    std::vector<Event> events_;
};

// Format 1 file with the given division.
std::vector<uint8_t> SmfFile(const std::vector<std::vector<uint8_t>>& chunks, uint16_t division);

}  // namespace zeblo::tools
