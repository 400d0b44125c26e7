#include "rcp/RcpSong.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace zeblo::rcp {

namespace {

constexpr std::string_view kVersion2Signature = "RCM-PC98V2.0(C)COME ON MUSIC";
constexpr std::string_view kVersion3Signature = "COME ON MUSIC RECOMPOSER RCP3.0";

// Where the fields sit in each family's header.
struct HeaderLayout {
    std::size_t title, titleLength, trackCount, ticksLow, ticksHigh, tempo, beat, userExclusives,
        tracks;
    bool wideFields;  // track count, ticks and tempo as 16-bit little-endian words
};
constexpr HeaderLayout kVersion2Layout = {0x20,  0x40,  0x1E6, 0x1C0, 0x1E7,
                                          0x1C1, 0x1C2, 0x406, 0x586, false};
constexpr HeaderLayout kVersion3Layout = {0x20,  0x80,  0x208, 0x20A, 0x20B,
                                          0x20C, 0x20E, 0xB18, 0xC98, true};
constexpr std::size_t kUserExclusiveStride = 0x30;
constexpr std::size_t kUserExclusiveNameBytes = 0x18;
constexpr std::size_t kTrackNameBytes = 0x24;
constexpr std::size_t kMaxTracks = 36;
// A 2.x header that leaves the count at 0 comes from the first, 18-track releases.
constexpr std::size_t kOldestTrackCount = 18;

bool StartsWith(std::span<const uint8_t> file, std::string_view signature) {
    return file.size() >= signature.size() &&
           std::memcmp(file.data(), signature.data(), signature.size()) == 0;
}

std::string TrimmedText(std::span<const uint8_t> field) {
    std::size_t end = field.size();
    while (end > 0 && (field[end - 1] == ' ' || field[end - 1] == 0)) --end;
    return std::string(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(end));
}

// The two's complement of a 7-bit field.
int Signed7(uint8_t value) {
    return (value & 0x40) != 0 ? static_cast<int>(value) - 0x80 : value;
}

}  // namespace

bool RcpSong::Read(std::span<const uint8_t> file, std::string& error) {
    if (StartsWith(file, kVersion2Signature)) {
        family = RcpFamily::kVersion2;
    } else if (StartsWith(file, kVersion3Signature)) {
        family = RcpFamily::kVersion3;
    } else {
        error = "not an RCP, R36 or G36 song";
        return false;
    }
    const HeaderLayout& at = family == RcpFamily::kVersion2 ? kVersion2Layout : kVersion3Layout;
    if (file.size() < at.tracks) {
        error = "the header is cut short";
        return false;
    }
    bytes.assign(file.begin(), file.end());
    title = TrimmedText(file.subspan(at.title, at.titleLength));
    std::size_t trackCount = file[at.trackCount];
    if (at.wideFields) {
        trackCount |= static_cast<std::size_t>(file[at.trackCount + 1]) << 8;
        tempo = static_cast<uint16_t>(file[at.tempo] | file[at.tempo + 1] << 8);
    } else {
        tempo = file[at.tempo];
        if (trackCount == 0) trackCount = kOldestTrackCount;
    }
    ticksPerQuarter = static_cast<uint16_t>(file[at.ticksLow] | file[at.ticksHigh] << 8);
    beatNumerator = file[at.beat];
    beatDenominator = file[at.beat + 1];
    keySignature = file[at.beat + 2];
    playBias = static_cast<int8_t>(file[at.beat + 3]);
    for (std::size_t i = 0; i < kUserExclusiveCount; ++i) {
        const std::size_t data =
            at.userExclusives + i * kUserExclusiveStride + kUserExclusiveNameBytes;
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(data), kUserExclusiveBytes,
                    userExclusives[i].begin());
    }
    if (ticksPerQuarter == 0) {
        error = "the header gives 0 ticks per quarter note";
        return false;
    }
    if (trackCount > kMaxTracks) {
        error = "the header gives more than 36 tracks";
        return false;
    }
    return ReadTracks(at.tracks, trackCount, error);
}

bool RcpSong::ReadTracks(std::size_t offset, std::size_t count, std::string& error) {
    tracks.clear();
    const std::size_t headerBytes = TrackHeaderBytes();
    const std::size_t lengthBytes = family == RcpFamily::kVersion2 ? 2 : 4;
    for (std::size_t index = 0; index < count && offset < bytes.size(); ++index) {
        if (bytes.size() - offset < headerBytes) {
            error = "a track header is cut short";
            return false;
        }
        const uint8_t* header = bytes.data() + offset;
        std::size_t length = 0;
        for (std::size_t i = 0; i < lengthBytes; ++i) length |= std::size_t{header[i]} << (8 * i);
        if (length < headerBytes || length > bytes.size() - offset) {
            error = "a track's length runs past the end of the file";
            return false;
        }
        const uint8_t* fields = header + lengthBytes;  // id, rhythm, channel, key, shift, mute
        RcpTrackInfo track;
        track.start = offset;
        track.length = length;
        track.firstCommand = offset + headerBytes;
        track.rhythm = fields[1] == 0x80 || (fields[3] & 0x80) != 0;
        track.channel = fields[2];
        track.keyShift = (fields[3] & 0x80) != 0 ? 0 : Signed7(fields[3]);
        track.stepShift = static_cast<int8_t>(fields[4]);
        track.muted = fields[5] == 1;
        track.name = TrimmedText(std::span(fields + 6, kTrackNameBytes));
        tracks.push_back(std::move(track));
        offset += length;
    }
    return true;
}

}  // namespace zeblo::rcp
