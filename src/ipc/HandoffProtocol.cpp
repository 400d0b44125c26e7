#include "ipc/HandoffProtocol.h"

namespace zeblo {
namespace {

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t GetU32(const char* bytes) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
    return v;
}

}  // namespace

std::string EncodeFrame(uint32_t kind, std::string_view payload) {
    std::string out;
    out.reserve(kFrameHeaderSize + payload.size());
    PutU32(out, kind);
    PutU32(out, static_cast<uint32_t>(payload.size()));
    out.append(payload);
    return out;
}

std::string EncodeResult(int32_t result) {
    std::string out;
    PutU32(out, static_cast<uint32_t>(result));
    return out;
}

int32_t DecodeResult(const char* bytes) {
    return static_cast<int32_t>(GetU32(bytes));
}

void FrameReader::Feed(const char* bytes, std::size_t count) {
    if (!broken_) pending_.append(bytes, count);
}

std::optional<HandoffFrame> FrameReader::Next() {
    if (broken_ || pending_.size() < kFrameHeaderSize) return std::nullopt;
    const uint32_t length = GetU32(pending_.data() + 4);
    if (length > kFramePayloadLimit) {
        broken_ = true;
        pending_.clear();
        return std::nullopt;
    }
    if (pending_.size() < kFrameHeaderSize + length) return std::nullopt;
    HandoffFrame frame;
    frame.kind = GetU32(pending_.data());
    frame.payload = pending_.substr(kFrameHeaderSize, length);
    pending_.erase(0, kFrameHeaderSize + length);
    return frame;
}

}  // namespace zeblo
