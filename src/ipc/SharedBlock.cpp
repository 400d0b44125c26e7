#include "ipc/SharedBlock.h"

#include <algorithm>
#include <cstring>

namespace zeblo {

bool FitsSharedPath(std::string_view path) {
    return path.size() < kSharedPathLimit && path.find('\0') == std::string_view::npos;
}

SharedBlock::SharedBlock() : bytes_(kSharedBlockSize, 0) {}

void SharedBlock::WriteIdentification(uint32_t id) {
    std::fill_n(bytes_.begin(), kSharedSignatureSize, uint8_t{0});
    std::memcpy(bytes_.data(), kSharedSignature, sizeof kSharedSignature);
    for (int i = 0; i < 4; ++i)
        bytes_[kSharedIdentOffset + i] = static_cast<uint8_t>(id >> (8 * i));
}

bool SharedBlock::HasSignature() const {
    return std::memcmp(bytes_.data(), kSharedSignature, sizeof kSharedSignature) == 0;
}

uint32_t SharedBlock::Identification() const {
    uint32_t id = 0;
    for (int i = 0; i < 4; ++i) id |= uint32_t{bytes_[kSharedIdentOffset + i]} << (8 * i);
    return id;
}

bool SharedBlock::WritePath(std::string_view path) {
    if (!FitsSharedPath(path)) return false;
    std::memcpy(bytes_.data() + kSharedPathOffset, path.data(), path.size());
    bytes_[kSharedPathOffset + path.size()] = 0;
    return true;
}

std::string SharedBlock::ReadPath() const {
    const char* text = reinterpret_cast<const char*>(bytes_.data() + kSharedPathOffset);
    const std::size_t length = strnlen(text, kSharedPathLimit - 1);
    return std::string(text, length);
}

}  // namespace zeblo
