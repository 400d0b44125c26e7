#include "settings/InstallLayout.h"

#include <filesystem>
#include <system_error>

namespace zeblo {

std::string InstalledDesktopEntry(std::string_view executablePath) {
    namespace fs = std::filesystem;
    const fs::path program(executablePath);
    if (!program.has_parent_path()) return {};
    // ZEBLO_BIN_TO_DATA is the data folder as seen from the program folder ("../share").
    const fs::path entry =
        (program.parent_path() / ZEBLO_BIN_TO_DATA / "applications" / kInstalledDesktopEntryName)
            .lexically_normal();
    std::error_code error;
    return fs::is_regular_file(entry, error) ? entry.string() : std::string();
}

}  // namespace zeblo
