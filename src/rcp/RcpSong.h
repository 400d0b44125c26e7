// An RCP-family song file read into its header and the places of its tracks. Both families:
// 2.x songs (.RCP, .R36; four-byte commands) and 3.x songs (.G36; six-byte commands), told
// apart by the signature at the start of the file, never by the name.
//
// Threads: owned by one conversion; no sharing.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zeblo::rcp {

enum class RcpFamily : uint8_t { kVersion2, kVersion3 };

inline constexpr std::size_t kUserExclusiveCount = 8;
inline constexpr std::size_t kUserExclusiveBytes = 0x18;

struct RcpTrackInfo {
    std::size_t start = 0;   // file offset of the track header
    std::size_t length = 0;  // header and commands
    std::size_t firstCommand = 0;
    uint8_t channel = 0;  // 0x00..0x1F: port (bit 4) and channel; others: no device
    bool rhythm = false;  // notes are drum keys: never transposed
    int keyShift = 0;     // semitones
    int stepShift = 0;    // ticks added to every event
    bool muted = false;
    std::string name;  // raw bytes, trailing blanks dropped
};

class RcpSong {
public:
    // False with a reason for a file that is not an RCP-family song or whose header or track
    // table is damaged. The file's bytes are kept.
    bool Read(std::span<const uint8_t> file, std::string& error);

    std::size_t CommandBytes() const { return family == RcpFamily::kVersion2 ? 4 : 6; }
    std::size_t TrackHeaderBytes() const { return family == RcpFamily::kVersion2 ? 0x2C : 0x2E; }

    RcpFamily family = RcpFamily::kVersion2;
    std::vector<uint8_t> bytes;
    std::string title;  // raw bytes, trailing blanks dropped
    uint16_t ticksPerQuarter = 0;
    uint16_t tempo = 0;  // quarter notes per minute
    uint8_t beatNumerator = 0;
    uint8_t beatDenominator = 0;
    uint8_t keySignature = 0;
    int playBias = 0;  // semitones, for every track that is not a rhythm track
    std::array<std::array<uint8_t, kUserExclusiveBytes>, kUserExclusiveCount> userExclusives{};
    std::vector<RcpTrackInfo> tracks;

private:
    bool ReadTracks(std::size_t offset, std::size_t count, std::string& error);
};

}  // namespace zeblo::rcp
