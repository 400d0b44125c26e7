#include "midi/EventReader.h"

namespace zeblo {

namespace {

// Takes count bytes at the read position; false, with the track exhausted, if they are not all
// there.
bool TakeBytes(Track& track, uint32_t count, const uint8_t*& bytes) {
    if (count > track.length - track.readPosition) {
        track.readPosition = track.length;
        return false;
    }
    bytes = track.data.data() + track.readPosition;
    track.readPosition += count;
    return true;
}

bool TakeByte(Track& track, uint8_t& byte) {
    const uint8_t* p = nullptr;
    if (!TakeBytes(track, 1, p)) return false;
    byte = *p;
    return true;
}

bool ReadSysEx(Track& track, MidiEvent& event) {
    uint32_t count = 0;
    if (!ReadVarLenComplete(track, count)) return false;
    event.kind = EventKind::kSysEx;
    event.body = track.data.data() + track.readPosition;
    // The message ends at the first 0xF7 or after count bytes, whichever comes first.
    uint32_t taken = 0;
    while (taken < count) {
        uint8_t b = 0;
        if (!TakeByte(track, b)) return false;
        ++taken;
        if (b == 0xF7) break;
    }
    event.bodyLength = taken;
    return true;
}

uint32_t MetaBodyLength(uint8_t type, uint32_t count) {
    switch (type) {
        case kMetaSequenceNumber:
            return 2;
        case kMetaMidiPort:
        case kMetaEndOfTrack:  // one byte more although the count is 0
            return 1;
        case kMetaSetTempo:
            return 3;
        default:
            return count;
    }
}

bool ReadMeta(Track& track, MidiEvent& event) {
    uint32_t count = 0;
    if (!TakeByte(track, event.metaType) || !ReadVarLenComplete(track, count)) return false;
    event.kind = EventKind::kMeta;
    event.bodyLength = MetaBodyLength(event.metaType, count);
    return TakeBytes(track, event.bodyLength, event.body);
}

bool ReadChannel(Track& track, MidiEvent& event) {
    event.kind = EventKind::kChannel;
    if (!TakeByte(track, event.data1)) return false;
    const uint8_t type = event.status & 0xF0;
    if (type == 0xC0 || type == 0xD0) return true;
    return TakeByte(track, event.data2);
}

}  // namespace

bool ReadEvent(Track& track, MidiEvent& event) {
    event = MidiEvent{};
    uint8_t s = 0;
    if (!TakeByte(track, s)) return false;
    if (s < 0x80) {
        // A data byte under running status: read it again as the first data byte.
        s = track.runningStatus;
        --track.readPosition;
    }
    track.runningStatus = s;
    event.status = s;
    if (s == 0xF0) return ReadSysEx(track, event);
    if (s == 0xFF) return ReadMeta(track, event);
    return ReadChannel(track, event);
}

}  // namespace zeblo
