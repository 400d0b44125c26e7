// The byte grammar of one track event: running status, system exclusive, meta and channel
// messages. What an event does is the sequencer's business.
//
// Threads: called by the sequencer on whichever thread runs it.
#pragma once

#include <cstdint>

#include "midi/SongImage.h"

namespace zeblo {

enum class EventKind : uint8_t { kChannel, kSysEx, kMeta };

inline constexpr uint8_t kMetaSequenceNumber = 0x00;
inline constexpr uint8_t kMetaNoticeText = 0x02;
inline constexpr uint8_t kMetaSequenceName = 0x03;
inline constexpr uint8_t kMetaMidiPort = 0x21;
inline constexpr uint8_t kMetaEndOfTrack = 0x2F;
inline constexpr uint8_t kMetaSetTempo = 0x51;

struct MidiEvent {
    EventKind kind = EventKind::kChannel;
    uint8_t status = 0;  // after running status: 0xF0, 0xFF or a channel status
    uint8_t data1 = 0;   // channel messages
    uint8_t data2 = 0;   // channel messages with two data bytes, else 0
    uint8_t metaType = 0;
    // System exclusive: the bytes taken after 0xF0 (through the first 0xF7, or the count).
    // Meta: the bytes consumed after the count (fixed sizes for the types that have one).
    const uint8_t* body = nullptr;
    uint32_t bodyLength = 0;
};

// Reads the event at the track's read position and advances past it. An event whose bytes run
// past the end of the track's data ends the track there: the read position becomes the track's
// length and the result is false (nothing to deliver). The body points into the track's data.
bool ReadEvent(Track& track, MidiEvent& event);

}  // namespace zeblo
