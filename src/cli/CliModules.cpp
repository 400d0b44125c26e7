#include "cli/CliModules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/Cli.h"
#include "settings/Settings.h"

namespace zeblo {

namespace {

// Where `name` may be: in the program's own folder, then in `installed`, a folder given relative
// to it (the install layout's, from the build).
std::vector<std::string> Candidates(const char* installed, std::string_view name) {
    const std::string program = ExecutablePath();
    const std::string folder = program.substr(0, program.rfind('/') + 1);
    if (folder.empty()) return {};
    return {folder + std::string(name), folder + installed + "/" + std::string(name)};
}

struct LoadedEncoder {
    const EncoderFunctions* functions = nullptr;
    std::string problem;
};

// Loaded once and never unloaded: the sinks' code lives in the library. The reason kept is that
// of a file that exists, else that of the first place tried.
const LoadedEncoder& Encoder() {
    static const LoadedEncoder loaded = [] {
        LoadedEncoder result;
        std::string reason = "the program's folder is unknown";
        bool reasonOfAFile = false;
        bool tried = false;
        for (const std::string& path : Candidates(ZEBLO_MODULES_FROM_BIN, kEncoderLibrary)) {
            void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            auto* entry =
                handle == nullptr
                    ? nullptr
                    : reinterpret_cast<EncoderEntryFunction>(dlsym(handle, kEncoderEntry));
            if (entry != nullptr) {
                result.functions = entry();
                return result;
            }
            const char* error = dlerror();
            if (handle != nullptr) dlclose(handle);
            const bool exists = access(path.c_str(), F_OK) == 0;
            if (!tried || (exists && !reasonOfAFile)) {
                reason = error != nullptr ? error : "no entry point";
                reasonOfAFile = exists;
            }
            tried = true;
        }
        result.problem = "cannot load " + std::string(kEncoderLibrary) + ": " + reason;
        return result;
    }();
    return loaded;
}

}  // namespace

std::string EncoderProblem(AudioFileFormat format, int32_t renderRate) {
    const LoadedEncoder& encoder = Encoder();
    return encoder.functions == nullptr ? encoder.problem
                                        : encoder.functions->formatProblem(format, renderRate);
}

std::unique_ptr<AudioFileSink> MakeEncoderSink(const AudioEncoding& encoding) {
    const EncoderFunctions* functions = Encoder().functions;
    return functions == nullptr ? nullptr : functions->makeSink(encoding);
}

std::unique_ptr<AudioFileSink> EncoderSinkOnDescriptor(const AudioEncoding& encoding, int fd) {
    const EncoderFunctions* functions = Encoder().functions;
    return functions == nullptr ? nullptr : functions->sinkOnDescriptor(encoding, fd);
}

int HandOverToSoundProgram(std::span<const std::string> words, std::ostream& out,
                           std::ostream& err) {
    out.flush();
    err.flush();
    std::fflush(nullptr);
    int reason = ENOENT;
    for (const std::string& path : Candidates(ZEBLO_LIBEXEC_FROM_BIN, kSoundProgram)) {
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (std::size_t i = 1; i < words.size(); ++i)
            argv.push_back(const_cast<char*>(words[i].c_str()));
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        if (errno != ENOENT) reason = errno;
    }
    err << "zeblo-cli: cannot load " << kSoundProgram << ": " << std::strerror(reason) << "\n";
    return kExitFailed;
}

}  // namespace zeblo
