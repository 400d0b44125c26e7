#include "settings/PreferencesFile.h"

#include <cstdio>

namespace zeblo {

bool PreferencesFile::Load(void* buffer, std::size_t length) const {
    std::FILE* file = std::fopen(path_.c_str(), "rb");
    if (file == nullptr) return false;
    const std::size_t read = std::fread(buffer, 1, length, file);
    std::fclose(file);
    return read == length;
}

bool PreferencesFile::Save(const void* buffer, std::size_t length) const {
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (file == nullptr) return false;
    const std::size_t written = std::fwrite(buffer, 1, length, file);
    // A full disk may only show when the buffered bytes are flushed at close.
    const bool closed = std::fclose(file) == 0;
    return written == length && closed;
}

}  // namespace zeblo
