#include "SmfWriter.h"

#include <algorithm>
#include <cmath>

namespace zeblo::tools {
namespace {

void PutVarLen(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t groups[5];
    int count = 0;
    do {
        groups[count++] = value & 0x7F;
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint8_t Clamp7(int value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 127));
}

}  // namespace

void SmfTrack::Add(uint32_t tick, Rank rank, std::vector<uint8_t> bytes) {
    events_.push_back({tick, rank, static_cast<uint32_t>(events_.size()), std::move(bytes)});
}

void SmfTrack::Meta(uint32_t tick, uint8_t type, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes{0xFF, type};
    PutVarLen(bytes, static_cast<uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    Add(tick, kSetting, std::move(bytes));
}

void SmfTrack::SysEx(uint32_t tick, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> bytes{0xF0};
    PutVarLen(bytes, static_cast<uint32_t>(body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
    Add(tick, kSetting, std::move(bytes));
}

void SmfTrack::Tempo(uint32_t tick, double beatsPerMinute) {
    const auto micros = static_cast<uint32_t>(std::lround(60000000.0 / beatsPerMinute));
    Meta(tick, 0x51,
         {static_cast<uint8_t>(micros >> 16), static_cast<uint8_t>(micros >> 8),
          static_cast<uint8_t>(micros)});
}

void SmfTrack::Program(uint32_t tick, int channel, int program) {
    Add(tick, kSetting, {static_cast<uint8_t>(0xC0 | channel), Clamp7(program)});
}

void SmfTrack::Control(uint32_t tick, int channel, int controller, int value) {
    Add(tick, kSetting, {static_cast<uint8_t>(0xB0 | channel), Clamp7(controller), Clamp7(value)});
}

void SmfTrack::Bend(uint32_t tick, int channel, int value) {
    value = std::clamp(value, 0, 16383);
    Add(tick, kSetting,
        {static_cast<uint8_t>(0xE0 | channel), static_cast<uint8_t>(value & 0x7F),
         static_cast<uint8_t>(value >> 7)});
}

void SmfTrack::Note(uint32_t tick, uint32_t length, int channel, int key, int velocity) {
    Add(tick, kStart, {static_cast<uint8_t>(0x90 | channel), Clamp7(key), Clamp7(velocity)});
    // A note-on of velocity 0 ends the note, so a run of notes shares one running status.
    Add(tick + length, kRelease, {static_cast<uint8_t>(0x90 | channel), Clamp7(key), 0});
}

std::vector<uint8_t> SmfTrack::Chunk(uint32_t endTick) const {
    std::vector<const Event*> order;
    for (const Event& e : events_) order.push_back(&e);
    std::sort(order.begin(), order.end(), [](const Event* a, const Event* b) {
        if (a->tick != b->tick) return a->tick < b->tick;
        if (a->rank != b->rank) return a->rank < b->rank;
        return a->sequence < b->sequence;
    });

    std::vector<uint8_t> body;
    uint32_t now = 0;
    uint8_t runningStatus = 0;
    for (const Event* e : order) {
        PutVarLen(body, e->tick - now);
        now = e->tick;
        const uint8_t status = e->bytes[0];
        const bool channelMessage = status < 0xF0;
        // Meta and system-exclusive events cancel running status.
        const bool skipStatus = channelMessage && status == runningStatus;
        body.insert(body.end(), e->bytes.begin() + (skipStatus ? 1 : 0), e->bytes.end());
        runningStatus = channelMessage ? status : 0;
    }
    PutVarLen(body, endTick > now ? endTick - now : 0);
    body.insert(body.end(), {0xFF, 0x2F, 0x00});

    std::vector<uint8_t> chunk{'M', 'T', 'r', 'k'};
    PutBigEndian(chunk, static_cast<uint32_t>(body.size()), 4);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

std::vector<uint8_t> SmfFile(const std::vector<std::vector<uint8_t>>& chunks, uint16_t division) {
    std::vector<uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    PutBigEndian(file, static_cast<uint32_t>(chunks.size()), 2);
    PutBigEndian(file, division, 2);
    for (const auto& chunk : chunks) file.insert(file.end(), chunk.begin(), chunk.end());
    return file;
}

}  // namespace zeblo::tools
