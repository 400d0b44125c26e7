#include "midi/RmidFile.h"

#include <cstdio>
#include <cstring>

namespace zeblo {

namespace {

constexpr std::size_t kRiffFormHeaderBytes = 12;  // "RIFF", size, "RMID"
constexpr std::size_t kRiffChunkHeaderBytes = 8;  // id, size
// A MIDI file is far smaller; a larger "song" is refused rather than read into memory.
constexpr std::size_t kMaxSongBytes = 256u << 20;

uint32_t LittleEndian32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool TagAt(std::span<const uint8_t> bytes, std::size_t at, const char* tag) {
    return bytes.size() >= at + 4 && std::memcmp(bytes.data() + at, tag, 4) == 0;
}

}  // namespace

bool IsRmidImage(std::span<const uint8_t> bytes) {
    return TagAt(bytes, 0, "RIFF") && TagAt(bytes, 8, "RMID");
}

bool UnwrapRmid(std::span<const uint8_t> bytes, std::vector<uint8_t>& smf, std::string& reason) {
    smf.clear();
    if (!IsRmidImage(bytes)) {
        reason = "not an RMID file";
        return false;
    }
    // Writers often get the form's size wrong; the file's own end is what counts.
    std::size_t at = kRiffFormHeaderBytes;
    while (at + kRiffChunkHeaderBytes <= bytes.size()) {
        const uint32_t size = LittleEndian32(bytes.data() + at + 4);
        const std::size_t body = at + kRiffChunkHeaderBytes;
        if (TagAt(bytes, at, "data")) {
            if (size > bytes.size() - body) {
                reason = "the RMID data chunk is truncated: " + std::to_string(size) +
                         " bytes announced, " + std::to_string(bytes.size() - body) + " present";
                return false;
            }
            if (!TagAt(bytes, body, "MThd")) {
                reason = "the RMID data chunk holds no MIDI file";
                return false;
            }
            smf.assign(bytes.begin() + static_cast<std::ptrdiff_t>(body),
                       bytes.begin() + static_cast<std::ptrdiff_t>(body + size));
            return true;
        }
        // Chunks are padded to an even size.
        at = body + size + (size & 1);
        if (at < body) break;
    }
    reason = "the RMID wrapper has no data chunk";
    return false;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::size_t limit) {
    bytes.clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    uint8_t block[64 * 1024];
    bool ok = true;
    while (ok) {
        const std::size_t got = std::fread(block, 1, sizeof block, file);
        ok = bytes.size() + got <= limit;
        if (ok) bytes.insert(bytes.end(), block, block + got);
        if (got < sizeof block) {
            ok = ok && std::ferror(file) == 0;
            break;
        }
    }
    std::fclose(file);
    return ok;
}

bool LoadSongFile(Sequencer& sequencer, const std::string& path) {
    uint8_t head[kRiffFormHeaderBytes] = {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    if (!IsRmidImage(std::span<const uint8_t>(head, got))) return sequencer.LoadFile(path.c_str());
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> smf;
    std::string reason;
    return ReadWholeFile(path, bytes, kMaxSongBytes) && UnwrapRmid(bytes, smf, reason) &&
           sequencer.LoadImage(smf);
}

}  // namespace zeblo
