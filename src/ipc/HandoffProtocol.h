// What travels over the handoff socket. The first instance opens with the block's first 20 bytes
// (signature and identification). The later instance then sends frames: a path to store at
// offset 20, and messages by number. The first instance answers every frame with a 32-bit result
// once it has acted on it, which makes each message synchronous.
//
// Frame: kind (u32, little-endian), payload length (u32), payload. Kind kFramePath carries the
// path; a kind that is a message number carries nothing.
//
// Threads: pure functions; each reader belongs to one connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ipc/SharedBlock.h"

namespace zeblo {

inline constexpr uint32_t kFramePath = 1;
inline constexpr std::size_t kFrameHeaderSize = 8;
// The largest payload a reader accepts: the block's room behind offset 20.
inline constexpr std::size_t kFramePayloadLimit = kSharedBlockSize - kSharedPathOffset;

struct HandoffFrame {
    uint32_t kind = 0;
    std::string payload;
};

std::string EncodeFrame(uint32_t kind, std::string_view payload = {});
std::string EncodeResult(int32_t result);
int32_t DecodeResult(const char* bytes);  // 4 bytes

// Collects bytes as they arrive and cuts them into frames.
class FrameReader {
public:
    void Feed(const char* bytes, std::size_t count);
    // The next complete frame, if one has arrived.
    std::optional<HandoffFrame> Next();
    // A frame announced a payload beyond kFramePayloadLimit: the connection is not ours to serve.
    bool Broken() const { return broken_; }

private:
    std::string pending_;
    bool broken_ = false;
};

}  // namespace zeblo
