// Writes the transition jingle: make_transition_sound [OUTPUT.wav] (default
// resources/transition.wav).
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TransitionJingle.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "resources/transition.wav";
    std::string folder = (std::filesystem::temp_directory_path() / "zeblo-jingle-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        std::fprintf(stderr, "make_transition_sound: no temporary folder\n");
        return 1;
    }
    const std::vector<uint8_t> wav = zeblo::tools::RenderJingle(folder);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
    out.close();
    if (wav.empty() || !out) {
        std::fprintf(stderr, "make_transition_sound: cannot render or write %s\n", path);
        return 1;
    }
    std::printf("%s: %zu bytes\n", path, wav.size());
    return 0;
}
