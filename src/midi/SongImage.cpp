#include "midi/SongImage.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "midi/MidiConstants.h"

namespace zeblo {

namespace {

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t BigEndian16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace

bool ReadVarLenComplete(Track& track, uint32_t& value) {
    value = 0;
    while (track.readPosition < track.length) {
        const uint8_t b = track.data[track.readPosition++];
        value = (value << 7) | (b & 0x7F);
        if (b < 0x80) return true;
    }
    return false;
}

uint32_t ReadVarLen(Track& track) {
    uint32_t value = 0;
    ReadVarLenComplete(track, value);
    return value;
}

bool SongImage::LoadImage(std::span<const uint8_t> image) {
    Clear();
    // A file shorter than its header chunk is not a MIDI file.
    if (image.size() < kHeaderChunkBytes) return false;
    const uint8_t* bytes = image.data();
    SongHeader loaded;
    std::memcpy(loaded.chunkId, bytes, 4);
    if (std::memcmp(loaded.chunkId, "MThd", 4) != 0) return false;
    loaded.headerLength = BigEndian32(bytes + 4);
    loaded.format = BigEndian16(bytes + 8);
    loaded.trackCount = BigEndian16(bytes + 10);
    loaded.division = BigEndian16(bytes + 12);
    // Every step length divides by the division: a file without one cannot be timed.
    if (loaded.division == 0) return false;

    std::vector<Track> loadedTracks;
    try {
        loadedTracks.resize(loaded.trackCount);
        // 64 bits: a declared length near 4 GiB must not wrap the position back into the file.
        uint64_t position = kHeaderChunkBytes;
        for (uint32_t i = 0; i < loaded.trackCount; ++i) {
            Track& track = loadedTracks[i];
            track.index = i;
            track.port = DefaultTrackPort(i);
            if (position + kChunkHeaderBytes > image.size()) return false;
            const uint8_t* chunk = bytes + position;
            if (std::memcmp(chunk, "MTrk", 4) != 0) return false;
            std::memcpy(track.chunkId, chunk, 4);
            const uint32_t declared = BigEndian32(chunk + 4);
            const uint64_t available = image.size() - (position + kChunkHeaderBytes);
            track.length = static_cast<uint32_t>(std::min<uint64_t>(declared, available));
            track.data.assign(chunk + kChunkHeaderBytes, chunk + kChunkHeaderBytes + track.length);
            position += kChunkHeaderBytes + uint64_t{declared};
        }
    } catch (const std::bad_alloc&) {
        return false;
    }

    header = loaded;
    tracks = std::move(loadedTracks);
    RewindTracks();
    return true;
}

void SongImage::Clear() {
    tracks.clear();
    tracks.shrink_to_fit();
    header = SongHeader{};
}

void SongImage::RewindTracks() {
    for (Track& track : tracks) {
        track.readPosition = 0;
        track.ended = ReadVarLenComplete(track, track.deltaRemaining) ? 0 : 1;
    }
}

}  // namespace zeblo
