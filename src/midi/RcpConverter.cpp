#include "midi/RcpConverter.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "settings/Settings.h"

namespace zeblo {

namespace {

constexpr std::size_t kSuffixChars = 3;
constexpr std::array<std::string_view, 3> kRcpSuffixes = {"RCP", "R36", "G36"};
constexpr mode_t kPrivateFolderMode = 0700;

std::string ConvertedRcpFolder() {
    const std::string name = "zeblo-" + std::to_string(getuid());
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/" + name;
    std::error_code error;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    return (error ? std::filesystem::path("/tmp") : temporary).string() + "/" + name;
}

void RemoveConvertedRcpFile() {
    std::remove(kConvertedRcpFile.c_str());
}

}  // namespace

std::string ConvertedRcpPath() {
    return ConvertedRcpFolder() + "/ConvertedRCP-" + std::to_string(getpid()) + ".mid";
}

bool MakeConvertedRcpFolder() {
    const std::string folder = std::filesystem::path(kConvertedRcpFile).parent_path().string();
    if (mkdir(folder.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST) return false;
    // In a shared temporary folder the name may have been taken first by someone else.
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 077) != 0) {
        return false;
    }
    [[maybe_unused]] static const int removedAtExit = std::atexit(RemoveConvertedRcpFile);
    return true;
}

bool IsRcpFamilyPath(std::string_view path) {
    if (path.size() < kSuffixChars) return false;
    std::string suffix(path.substr(path.size() - kSuffixChars));
    for (char& c : suffix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (std::string_view candidate : kRcpSuffixes) {
        if (suffix == candidate) return true;
    }
    return false;
}

RcpConverter::~RcpConverter() {
    Free();
}

bool RcpConverter::Load() {
    const std::string executable = ExecutablePath();
    const std::size_t slash = executable.rfind('/');
    return Load(slash == std::string::npos ? std::string() : executable.substr(0, slash));
}

bool RcpConverter::Load(const std::string& programFolder) {
    Free();
    // A bare name would be searched on the system path only; an empty folder is skipped so that
    // "./librcpcv.so" is never tried. An installed program finds its private copy under
    // <prefix>/lib/zeblo.
    if (!programFolder.empty()) {
        for (const char* folder : {"/", "/../lib/zeblo/"}) {
            void* handle = dlopen((programFolder + folder + kRcpConverterLibrary).c_str(),
                                  RTLD_NOW | RTLD_LOCAL);
            if (handle != nullptr && TakeEntryPoints(handle)) return true;
        }
    }
    void* handle = dlopen(kRcpConverterLibrary, RTLD_NOW | RTLD_LOCAL);
    return handle != nullptr && TakeEntryPoints(handle);
}

bool RcpConverter::TakeEntryPoints(void* handle) {
    auto* convert = reinterpret_cast<RcpConvertFileFunction>(dlsym(handle, kRcpConvertFileEntry));
    auto* save = reinterpret_cast<RcpSaveSmfFunction>(dlsym(handle, kRcpSaveSmfEntry));
    auto* release = reinterpret_cast<RcpDeleteObjectFunction>(dlsym(handle, kRcpDeleteObjectEntry));
    if (convert == nullptr || save == nullptr || release == nullptr) {
        dlclose(handle);
        return false;
    }
    library = handle;
    convertFile = convert;
    saveSmf = save;
    deleteObject = release;
    return true;
}

void RcpConverter::Free() {
    if (library != nullptr) dlclose(library);
    library = nullptr;
    convertFile = nullptr;
    saveSmf = nullptr;
    deleteObject = nullptr;
}

bool RcpConverter::ConvertRcpFile(const std::string& path) {
    if (!IsRcpFamilyPath(path)) return true;
    if (!Loaded()) {
        prompt.Ask(kRcpMissingMessage, PromptButtons::Ok, PromptIcon::Warning);
        return false;
    }
    // The whole path goes to the converter: cutting a long one short could name another file.
    const uint32_t object = convertFile(path.c_str(), 0, 0, 0, 0);
    if (object == 0) {
        prompt.Ask(kRcpConvertFailedMessage, PromptButtons::Ok, PromptIcon::Warning);
        return false;
    }
    bool written = true;
    if (!MakeConvertedRcpFolder() || saveSmf(object, kConvertedRcpFile.c_str()) == 0) {
        prompt.Ask(kRcpWriteFailedMessage, PromptButtons::Ok, PromptIcon::Warning);
        written = false;
    }
    deleteObject(object);
    return written;
}

}  // namespace zeblo
