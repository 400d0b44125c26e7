#include "settings/PreferencesFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "settings/InstallLayout.h"

namespace zeblo {
namespace fs = std::filesystem;
namespace {

constexpr char kProgramFolderName[] = "zeblo";
constexpr mode_t kNewFileMode = 0644;
// Configuration folders are created private to their user.
constexpr mode_t kNewFolderMode = 0700;

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const void* buffer, std::size_t length) {
    const auto* bytes = static_cast<const char*>(buffer);
    while (length > 0) {
        const ssize_t written = write(fd, bytes, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

bool MakeFolders(const std::string& folder) {
    std::error_code error;
    if (fs::is_directory(folder, error)) return true;
    const std::string parent = FolderOf(folder);
    if (parent != folder && !MakeFolders(parent)) return false;
    return mkdir(folder.c_str(), kNewFolderMode) == 0 || errno == EEXIST;
}

// The rename made the new name permanent only once the folder itself is on disk.
void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

PreferencesSearch PreferencesSearch::FromProcess(std::string_view executablePath) {
    PreferencesSearch search;
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    // A relative value is invalid and must be ignored.
    if (configHome != nullptr && configHome[0] == '/') {
        search.configHome = configHome;
    } else if (const std::string home = HomeFolder(); !home.empty()) {
        search.configHome = home + "/.config";
    }
    // An installed copy never writes into its program folder, not even when run by root: a file
    // there would be every user's file, and theirs to read but not to write.
    const bool installed = !InstalledDesktopEntry(executablePath).empty();
    search.writable = [installed](const std::string& folder) {
        return !installed && access(folder.c_str(), W_OK | X_OK) == 0;
    };
    return search;
}

PreferencesLocation LocatePreferencesFile(const std::string& besideExecutable,
                                          const PreferencesSearch& search) {
    std::error_code error;
    if (fs::exists(besideExecutable, error)) return {besideExecutable, false};
    if (search.writable && search.writable(FolderOf(besideExecutable)))
        return {besideExecutable, false};
    if (search.configHome.empty()) return {besideExecutable, false};
    const std::string name = fs::path(besideExecutable).filename().string();
    return {search.configHome + "/" + kProgramFolderName + "/" + name, true};
}

bool PreferencesFile::Load(void* buffer, std::size_t length) const {
    std::FILE* file = std::fopen(location_.path.c_str(), "rb");
    if (file == nullptr) return false;
    const std::size_t read = std::fread(buffer, 1, length, file);
    std::fclose(file);
    return read == length;
}

bool PreferencesFile::Save(const void* buffer, std::size_t length) const {
    std::error_code error;
    std::string target = location_.path;
    // A linked file (a managed dotfile) is written through, not replaced by a plain file.
    if (fs::is_symlink(target, error)) {
        target = fs::canonical(target, error).string();
        if (error) return false;
    }
    const std::string folder = FolderOf(target);
    if (location_.createFolder && !MakeFolders(folder)) return false;

    mode_t mode = kNewFileMode;
    struct stat old {};
    if (stat(target.c_str(), &old) == 0) {
        // A write-protected file stays protected, though the rename could replace it.
        if (access(target.c_str(), W_OK) != 0) return false;
        mode = old.st_mode & 07777;
    }
    std::string temporary = target + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool saved = WriteAll(fd, buffer, length) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
    saved = close(fd) == 0 && saved;
    saved = saved && (!beforeReplace || beforeReplace());
    saved = saved && std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!saved) {
        unlink(temporary.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

}  // namespace zeblo
