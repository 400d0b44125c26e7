// The preferences file beside the executable: whole-record reads and writes.
//
// Threads: user-interface thread only (start-up, Preferences dialog, window destruction).
#pragma once

#include <cstddef>
#include <string>

namespace zeblo {

class PreferencesFile {
public:
    void SetPath(std::string path) { path_ = std::move(path); }
    const std::string& path() const { return path_; }

    // True only if exactly `length` bytes were read; a longer file is fine, its tail is ignored.
    bool Load(void* buffer, std::size_t length) const;
    // Truncates the file to exactly `length` bytes; true only if all of them reached the file.
    bool Save(const void* buffer, std::size_t length) const;

private:
    std::string path_;
};

}  // namespace zeblo
