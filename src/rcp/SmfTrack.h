// One track of the Standard MIDI File being built: events gathered out of order with their
// absolute ticks, sorted and encoded at the end. A converted song of several hundred thousand
// events stays small because event bytes live in one pool per track.
//
// Threads: owned by one conversion; no sharing.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zeblo::rcp {

struct SmfEvent {
    uint32_t tick = 0;
    uint32_t sequence = 0;  // insertion order, which decides between events of one tick
    uint32_t offset = 0;    // into the track's byte pool
    uint16_t size = 0;
};

class SmfTrack {
public:
    // Returns the index of the new event, for a note-off that a later note may pull earlier.
    std::size_t AddChannel(uint64_t tick, uint8_t status, uint8_t data1, uint8_t data2);
    void AddMeta(uint64_t tick, uint8_t type, std::span<const uint8_t> data);
    // The bytes between F0 and the closing F7, which is added here.
    void AddSysEx(uint64_t tick, std::span<const uint8_t> data);
    void MoveEvent(std::size_t index, uint64_t tick) { events[index].tick = tick; }
    uint64_t EventTick(std::size_t index) const { return events[index].tick; }

    std::size_t Size() const { return events.size(); }
    std::size_t Bytes() const { return pool.size(); }
    uint64_t LastTick() const;

    // The MTrk chunk, the end-of-track event placed at endTick or after the last event.
    void Encode(uint64_t endTick, std::vector<uint8_t>& out);

private:
    friend std::vector<uint8_t> EncodeStandardMidiFile(uint16_t, uint64_t, std::vector<SmfTrack>&);
    std::size_t Add(uint64_t tick, std::span<const uint8_t> bytes);

    std::vector<SmfEvent> events;
    std::vector<uint8_t> pool;
};

// Format 1: the header chunk and every track, each ended at songEnd or at the song's last event.
std::vector<uint8_t> EncodeStandardMidiFile(uint16_t division, uint64_t songEnd,
                                            std::vector<SmfTrack>& tracks);

}  // namespace zeblo::rcp
