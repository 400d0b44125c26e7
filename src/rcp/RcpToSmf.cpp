#include "rcp/RcpToSmf.h"

#include <algorithm>
#include <array>
#include <bit>
#include <fstream>

#include "rcp/RcpSong.h"
#include "rcp/RcpTrackPlayer.h"
#include "rcp/SmfTrack.h"

namespace zeblo::rcp {

namespace {

constexpr uint8_t kMetaSequenceName = 0x03;
constexpr uint8_t kMetaTimeSignature = 0x58;
constexpr uint8_t kMetaKeySignature = 0x59;
constexpr uint8_t kMetaTempo = 0x51;
constexpr uint8_t kClocksPerClick = 24;
constexpr uint8_t kThirtySecondsPerQuarter = 8;
constexpr uint8_t kLargestDenominator = 64;

std::span<const uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

SmfTrack Conductor(const RcpSong& song) {
    SmfTrack track;
    if (!song.title.empty()) track.AddMeta(0, kMetaSequenceName, Bytes(song.title));
    const uint8_t denominator = song.beatDenominator;
    if (song.beatNumerator != 0 && std::has_single_bit(denominator) &&
        denominator <= kLargestDenominator) {
        const auto power = static_cast<uint8_t>(std::countr_zero(denominator));
        track.AddMeta(0, kMetaTimeSignature,
                      std::array<uint8_t, 4>{song.beatNumerator, power, kClocksPerClick,
                                             kThirtySecondsPerQuarter});
    }
    track.AddMeta(0, kMetaKeySignature, SmfKeySignature(song.keySignature));
    if (song.tempo != 0) track.AddMeta(0, kMetaTempo, SmfTempo(song.tempo));
    return track;
}

}  // namespace

bool RcpToSmf::Convert(std::span<const uint8_t> file) {
    smf.clear();
    skippedCommands = 0;
    tracks = 0;
    RcpSong song;
    if (!song.Read(file, error)) return false;
    std::vector<SmfTrack> out;
    out.push_back(Conductor(song));
    ConversionBudget budget;
    uint64_t end = 0;
    for (const RcpTrackInfo& info : song.tracks) {
        // Muted tracks and tracks on no device are not heard.
        if (info.muted || info.channel > 0x1F) continue;
        SmfTrack track;
        if (!info.name.empty()) track.AddMeta(0, kMetaSequenceName, Bytes(info.name));
        RcpTrackPlayer player(song, info, track, out.front(), budget);
        if (!player.Play(error)) return false;
        end = std::max(end, player.EndTick());
        skippedCommands += player.Skipped();
        out.push_back(std::move(track));
    }
    smf = EncodeStandardMidiFile(song.ticksPerQuarter, end, out);
    tracks = out.size();
    return true;
}

bool RcpToSmf::ConvertFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot be read";
        return false;
    }
    std::vector<uint8_t> file(kMaxRcpFileBytes + 1);
    in.read(reinterpret_cast<char*>(file.data()), static_cast<std::streamsize>(file.size()));
    file.resize(static_cast<std::size_t>(in.gcount()));
    if (file.size() > kMaxRcpFileBytes) {
        error = "is too large to be an RCP song";
        return false;
    }
    return Convert(file);
}

}  // namespace zeblo::rcp
