// Writes the demo song: make_demo_song [OUTPUT.mid] (default resources/demo.mid).
#include <cstdio>
#include <fstream>
#include <vector>

#include "DemoSong.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "resources/demo.mid";
    const std::vector<uint8_t> song = zeblo::tools::MakeDemoSong();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(song.data()),
              static_cast<std::streamsize>(song.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_demo_song: cannot write %s\n", path);
        return 1;
    }
    std::printf("%s: %zu bytes\n", path, song.size());
    return 0;
}
