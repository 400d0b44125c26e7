// The song image: a Standard MIDI File kept as its header and one raw byte copy per track.
// Events are not decoded at load time; the sequencer reads them one at a time when due.
//
// Threads: LoadImage and Clear run on the thread that owns the sequencer at that moment (the
// user-interface thread before playback, or the authoring thread), never while the render thread
// runs. The track cursors are then moved by whoever runs the sequencer (see Sequencer.h).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zeblo {

// The header chunk, multi-byte fields in native order.
struct SongHeader {
    char chunkId[4] = {};
    uint32_t headerLength = 0;  // kept, never used
    uint16_t format = 0;        // kept, never used
    uint16_t trackCount = 0;    // 0: no song is loaded
    uint16_t division = 0;      // ticks per quarter note; an SMPTE form is taken as a tick count
};

struct Track {
    char chunkId[4] = {};
    uint32_t length = 0;  // event bytes kept in data (cut at the end of the file)
    std::vector<uint8_t> data;
    uint8_t runningStatus = 0;  // every status is recorded, 0xF0 and 0xFF included
    uint32_t readPosition = 0;
    uint32_t deltaRemaining = 0;  // ticks until the next event is due
    uint32_t ended = 0;
    uint32_t index = 0;  // position in the file, from 0
    uint32_t port = 0;   // (index - 1) / 16 truncated toward zero, until a port meta event
};

// Default output port of the track at a file position: tracks 0 to 16 use port 0, 17 to 32
// port 1, and so on.
constexpr uint32_t DefaultTrackPort(uint32_t index) {
    return static_cast<uint32_t>((static_cast<int64_t>(index) - 1) / 16);
}

// Reads one variable-length number at the read position and advances past it. There is no limit
// on its length; bits above 32 are lost. Never reads past the track's data: a number cut by the
// end of the data leaves the read position at the end and yields what was read.
uint32_t ReadVarLen(Track& track);

// As ReadVarLen; false when the number was cut by the end of the track's data.
bool ReadVarLenComplete(Track& track, uint32_t& value);

class SongImage {
public:
    // Builds the image from a complete file image. On failure (not a MIDI file, a division of 0,
    // a chunk other than a track where a track is due, a track header past the end of the file,
    // no memory) nothing is left loaded and the result is false. A track whose declared length
    // runs past the end of the file is cut there. The tracks come back rewound.
    bool LoadImage(std::span<const uint8_t> image);

    void Clear();

    // Every track back to its start with its first delta time read. A track whose first delta
    // time is cut by the end of its data has no events: it starts ended. Running status stays.
    void RewindTracks();

    bool HasSong() const { return header.trackCount != 0; }

    SongHeader header;
    std::vector<Track> tracks;
};

}  // namespace zeblo
