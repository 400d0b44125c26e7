#include "rcp/SmfTrack.h"

#include <algorithm>
#include <array>

namespace zeblo::rcp {

namespace {

void PutVarLen(uint64_t value, std::vector<uint8_t>& out) {
    std::array<uint8_t, 10> bytes{};
    std::size_t count = 0;
    do {
        bytes[count++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0 && count < bytes.size());
    while (count > 0) {
        --count;
        out.push_back(static_cast<uint8_t>(bytes[count] | (count > 0 ? 0x80 : 0)));
    }
}

void PutBigEndian(uint32_t value, int bytes, std::vector<uint8_t>& out) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

std::size_t SmfTrack::Add(uint64_t tick, std::span<const uint8_t> bytes) {
    SmfEvent event;
    event.tick = static_cast<uint32_t>(tick);
    event.sequence = static_cast<uint32_t>(events.size());
    event.offset = static_cast<uint32_t>(pool.size());
    event.size = static_cast<uint16_t>(bytes.size());
    pool.insert(pool.end(), bytes.begin(), bytes.end());
    events.push_back(event);
    return events.size() - 1;
}

std::size_t SmfTrack::AddChannel(uint64_t tick, uint8_t status, uint8_t data1, uint8_t data2) {
    const uint8_t kind = status & 0xF0;
    const std::array<uint8_t, 3> bytes = {status, static_cast<uint8_t>(data1 & 0x7F),
                                          static_cast<uint8_t>(data2 & 0x7F)};
    const bool oneData = kind == 0xC0 || kind == 0xD0;
    return Add(tick, std::span(bytes).first(oneData ? 2 : 3));
}

void SmfTrack::AddMeta(uint64_t tick, uint8_t type, std::span<const uint8_t> data) {
    std::vector<uint8_t> bytes = {0xFF, type};
    PutVarLen(data.size(), bytes);
    bytes.insert(bytes.end(), data.begin(), data.end());
    Add(tick, bytes);
}

void SmfTrack::AddSysEx(uint64_t tick, std::span<const uint8_t> data) {
    std::vector<uint8_t> bytes = {0xF0};
    PutVarLen(data.size() + 1, bytes);
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back(0xF7);
    Add(tick, bytes);
}

uint64_t SmfTrack::LastTick() const {
    uint64_t last = 0;
    for (const SmfEvent& event : events) last = std::max<uint64_t>(last, event.tick);
    return last;
}

void SmfTrack::Encode(uint64_t endTick, std::vector<uint8_t>& out) {
    std::sort(events.begin(), events.end(), [](const SmfEvent& a, const SmfEvent& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.sequence < b.sequence;
    });
    out.insert(out.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0});
    const std::size_t start = out.size();
    uint64_t now = 0;
    for (const SmfEvent& event : events) {
        PutVarLen(event.tick - now, out);
        now = event.tick;
        out.insert(out.end(), pool.begin() + event.offset,
                   pool.begin() + event.offset + event.size);
    }
    PutVarLen(std::max(endTick, now) - now, out);
    out.insert(out.end(), {0xFF, 0x2F, 0x00});
    const auto length = static_cast<uint32_t>(out.size() - start);
    for (int i = 0; i < 4; ++i) out[start - 4 + i] = static_cast<uint8_t>(length >> (24 - 8 * i));
}

std::vector<uint8_t> EncodeStandardMidiFile(uint16_t division, uint64_t songEnd,
                                            std::vector<SmfTrack>& tracks) {
    uint64_t end = songEnd;
    for (const SmfTrack& track : tracks) end = std::max(end, track.LastTick());
    // Sized once: a song near the event budget must not hold two copies while growing.
    std::size_t size = 14;
    for (const SmfTrack& track : tracks) size += 16 + track.pool.size() + 4 * track.events.size();
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    out.reserve(size);
    PutBigEndian(static_cast<uint32_t>(tracks.size()), 2, out);
    PutBigEndian(division, 2, out);
    for (SmfTrack& track : tracks) track.Encode(end, out);
    return out;
}

}  // namespace zeblo::rcp
