// The golden table: hashes of what zeblo-cli writes for a grid of songs and options, and of what
// `play --once` hands the sound device. Any change to a render, however small, fails a row here;
// a row changes only with a change that is meant to change the sound, and says so.
//
// ZEBLO_GOLDEN_PRINT=1 prints each row's actual hash instead of failing, to fill a new row.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/CliProcess.h"
#include "support/Fnv1a.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

bool Printing() {
    return std::getenv("ZEBLO_GOLDEN_PRINT") != nullptr;
}

void Check(const std::string& row, uint64_t actual, uint64_t expected) {
    if (Printing()) {
        std::printf("GOLDEN %-48s 0x%016llxull\n", row.c_str(),
                    static_cast<unsigned long long>(actual));
        return;
    }
    EXPECT_EQ(actual, expected) << row << std::hex << ": 0x" << actual;
}

struct RenderRow {
    const char* song;  // under the source tree
    std::vector<std::string> options;
    uint64_t hash;  // of the whole WAV file
};

const std::vector<RenderRow>& RenderRows() {
    static const std::vector<RenderRow> rows = {
        {"resources/demo.mid", {}, 0xe9271c7dc211fe25ull},
        {"resources/demo.mid", {"-r", "48000"}, 0xd001aab68e213edfull},
        {"resources/demo.mid", {"-r", "22050"}, 0x34a33990c59527f8ull},
        {"resources/demo.mid", {"--mono"}, 0x1d22775218847d07ull},
        {"resources/demo.mid", {"--lowpass", "3000"}, 0x7d46795bf5e0e6d5ull},
        {"resources/demo.mid",
         {"-r", "48000", "--mono", "--lowpass", "8000"},
         0xdf585dffd10553e2ull},
        {"resources/demo.mid", {"-r", "22050", "--lowpass", "11025"}, 0x763226a1b736201cull},
        {"resources/demo.mid", {"--no-detune"}, 0x9b766de91734c9e1ull},
        {"resources/demo.mid", {"--instrument-set", "1"}, 0xca790f260e4daba8ull},
        {"resources/demo.mid", {"--instrument-set", "3"}, 0x8592af1caf4ef855ull},
        {"resources/demo.mid", {"--instrument-set", "5"}, 0x67478993589fc8adull},
        {"resources/demo.mid", {"--instrument-set", "7", "--mono"}, 0xf20e83d36e78564bull},
        {"resources/demo.mid", {"--engine", "fm"}, 0x3839c7584fb6373full},
        {"resources/demo.mid", {"--engine", "fm", "-r", "48000"}, 0xce533fd68da090b6ull},
        {"resources/demo.mid", {"--engine", "fm", "-r", "22050"}, 0xa931533486d69fbeull},
        {"resources/demo.mid", {"--engine", "fm", "--mono"}, 0x3839c7584fb6373full},
        {"tests/data/dense.mid", {}, 0x46132c008db023baull},
        {"tests/data/dense.mid", {"-r", "22050", "--mono"}, 0xb4e1026a56df32d6ull},
        {"tests/data/dense.mid",
         {"--instrument-set", "6", "--lowpass", "5000"},
         0x572e4a6a1e1c9beaull},
        {"tests/data/dense.mid", {"--engine", "fm"}, 0x69ee29f65b3ff38eull},
        {"tests/data/dense.mid",
         {"--engine", "fm", "-r", "48000", "--lowpass", "9000"},
         0x965dc497cb353c32ull},
        {"tests/data/damaged.mid", {}, 0x2e0e91832751d793ull},
        {"tests/data/damaged.mid", {"--engine", "fm"}, 0x5d9fe7e33e6b8d1eull},
        {"tests/data/short.mid", {"-r", "22050"}, 0x74db64093139b572ull},
        {"tests/data/short.mid", {"--engine", "fm", "-r", "22050"}, 0xa4bf70bdec78410aull},
    };
    return rows;
}

std::string SourcePath(const char* relative) {
    const char* root = std::getenv("ZEBLO_SOURCE_DIR");
    return std::string(root != nullptr ? root : ".") + "/" + relative;
}

std::string RowName(const std::string& song, const std::vector<std::string>& options) {
    std::string name = song;
    for (const std::string& o : options) name += " " + o;
    return name;
}

TEST(GoldenRender, EveryRowRendersTheFrozenBytes) {
    test::TempDir dir;
    for (const RenderRow& row : RenderRows()) {
        const std::string out = dir.File("out.wav");
        std::vector<std::string> words = {"render", "-q", "-o", out};
        words.insert(words.end(), row.options.begin(), row.options.end());
        words.push_back(SourcePath(row.song));
        const test::CliRun run = test::RunCli(dir, words);
        ASSERT_EQ(run.status, 0) << RowName(row.song, row.options) << ": " << run.err;
        Check(RowName(row.song, row.options), test::Fnv1a(test::ReadFile(out)), row.hash);
    }
}

TEST(GoldenRender, PlayOnceHandsTheDeviceTheFrozenStream) {
    struct PlayRow {
        const char* engine;
        uint64_t hash;
    };
    for (const PlayRow& row :
         {PlayRow{"wavetable", 0xcaaae47d952002a2ull}, PlayRow{"fm", 0x1337fa6955b3cf65ull}}) {
        test::TempDir dir;
        const std::string device = dir.File("device.raw");
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", device.c_str(), 1);
        const test::CliRun run = test::RunCli(
            dir, {"play", "--once", "--quiet", "--engine", row.engine, "-r", "22050", "--blocks",
                  "5", "--block-length", "1", SourcePath("tests/data/short.mid")});
        ASSERT_EQ(run.status, 0) << run.err;
        Check(std::string("play --once ") + row.engine, test::SoundingHash(test::ReadFile(device)),
              row.hash);
    }
}

}  // namespace
}  // namespace zeblo
