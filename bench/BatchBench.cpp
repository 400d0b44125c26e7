// Batch render scaling: twelve dense one-minute songs rendered by `zeblo-cli render` with -j 1
// and with -j 2, best of three each, and the speedup. Target: at least 1.8 on two free cores.
// The jobs share nothing they lock while rendering, so the figure falls short of 2 only through
// the machine (other load, memory bandwidth, turbo clocks).
//
//   bench_batch [SONGS [SECONDS]]    songs in the batch (12) and the length of each (60)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/Cli.h"
#include "support/TestSongs.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing {
    double wall = 1e30;  // best of three
    double cpu = 1e30;   // of the same run
};

// On a loaded machine the wall times say little; the processor time of -j 2 staying that of
// -j 1 still shows that the jobs do not wait on each other or work twice.
Timing Best(const std::vector<std::string>& songs, const std::string& folder, int jobs) {
    Timing best;
    for (int run = 0; run < 3; ++run) {
        std::filesystem::remove_all(folder);
        std::vector<std::string> words = {"zeblo-cli",          "render",       "-q",  "-j",
                                          std::to_string(jobs), "--output-dir", folder};
        words.insert(words.end(), songs.begin(), songs.end());
        std::ostringstream out, err;
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (zeblo::RunCli(words, out, err) != 0) {
            std::fprintf(stderr, "bench_batch: render failed: %s\n", err.str().c_str());
            std::exit(1);
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (took.count() < best.wall) best = {took.count(), CpuSeconds() - cpu};
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 12;
    const uint32_t seconds = argc > 2 ? static_cast<uint32_t>(std::max(1, std::atoi(argv[2]))) : 60;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zeblo-bench-batch-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::vector<std::string> songs;
    for (int i = 0; i < count; ++i) {
        songs.push_back((dir / ("song" + std::to_string(i) + ".mid")).string());
        zeblo::test::DenseSong({.seconds = seconds, .seed = static_cast<uint32_t>(i + 1)})
            .WriteFile(songs.back());
    }
    const std::string folder = (dir / "out").string();
    const Timing one = Best(songs, folder, 1);
    const Timing two = Best(songs, folder, 2);
    std::printf(
        "batch of %d songs of %u s, %u CPUs: -j 1 %.2f s (cpu %.2f s), -j 2 %.2f s "
        "(cpu %.2f s), speedup %.2fx\n",
        count, seconds, std::thread::hardware_concurrency(), one.wall, one.cpu, two.wall, two.cpu,
        one.wall / two.wall);
    std::filesystem::remove_all(dir);
    return 0;
}
