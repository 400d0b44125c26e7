// The preferences file: where it lives, and whole-record reads and atomic writes.
//
// Threads: user-interface thread only (start-up, Preferences dialog, window destruction).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace zeblo {

// What the location rule needs to know of the system.
struct PreferencesSearch {
    std::string configHome;  // $XDG_CONFIG_HOME, or ~/.config; empty when neither is known
    // Whether the program folder may take the file; `access` for a copy that is not installed.
    std::function<bool(const std::string& folder)> writable;
    static PreferencesSearch FromProcess(std::string_view executablePath);
};

struct PreferencesLocation {
    std::string path;
    bool createFolder = false;  // the folder is made at the first save
};

// Beside the executable when the file is there already or that folder is writable (a portable
// copy, a build tree); otherwise configHome/zeblo/. `besideExecutable` is the file's path in the
// program folder.
PreferencesLocation LocatePreferencesFile(const std::string& besideExecutable,
                                          const PreferencesSearch& search);

class PreferencesFile {
public:
    void SetPath(std::string path) { SetLocation({std::move(path), false}); }
    void SetLocation(PreferencesLocation location) { location_ = std::move(location); }
    const std::string& path() const { return location_.path; }

    // True only if exactly `length` bytes were read; a longer file is fine, its tail is ignored.
    bool Load(void* buffer, std::size_t length) const;
    // Replaces the file by exactly `length` bytes: written and synced to a temporary file beside
    // it, then renamed over it, so that the old file stays whole until the new one is complete.
    // True only if all of them reached the file.
    bool Save(const void* buffer, std::size_t length) const;

    // Runs between the synced temporary file and the rename; false abandons the save there, as a
    // crash would (the tests' way to interrupt a save).
    std::function<bool()> beforeReplace;

private:
    PreferencesLocation location_;
};

}  // namespace zeblo
