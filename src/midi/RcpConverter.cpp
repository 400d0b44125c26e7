#include "midi/RcpConverter.h"

#include <dlfcn.h>

#include <array>
#include <cctype>

#include "settings/Settings.h"

namespace zeblo {

namespace {

constexpr std::size_t kSuffixChars = 3;
constexpr std::array<std::string_view, 3> kRcpSuffixes = {"RCP", "R36", "G36"};

}  // namespace

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
    if (saveSmf(object, kConvertedRcpFile) == 0) {
        prompt.Ask(kRcpWriteFailedMessage, PromptButtons::Ok, PromptIcon::Warning);
        written = false;
    }
    deleteObject(object);
    return written;
}

}  // namespace zeblo
