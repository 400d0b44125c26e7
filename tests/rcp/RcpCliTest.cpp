// zeblo-cli as a separate program: convert, and render straight from an RCP song.
#include <gtest/gtest.h>

#include <filesystem>

#include "rcp/RcpWriter.h"
#include "support/CliProcess.h"

namespace zeblo {
namespace {

// A short two-track tune with a repeat, a same-measure reference and a program change.
test::RcpWriter Tune() {
    test::RcpWriter w;
    w.title = "Tune";
    // clang-format off
    w.tracks = {{.commands = {{0xEC, 0, 5, 0}, {60, 24, 20, 100}, {64, 24, 20, 90}, {0xFD},
                              {0xFC, 0, 1}, {0xFD}, {0xF9, 1}, {67, 24, 20, 110}, {0xF8, 2}},
                 .name = "Lead"},
                {.commands = {{36, 48, 44, 120}, {43, 48, 44, 120}}, .channel = 1, .key = 0x74}};
    // clang-format on
    return w;
}

class CliInTempFolder : public testing::Test {
protected:
    // Rendering an RCP song writes the converted file into the current folder.
    void SetUp() override {
        previous = std::filesystem::current_path();
        std::filesystem::current_path(dir.Path());
    }
    void TearDown() override { std::filesystem::current_path(previous); }
    test::TempDir dir;
    std::filesystem::path previous;
};

TEST_F(CliInTempFolder, ConvertInfoAndRenderReadTheSongThemselves) {
    const std::string song = dir.File("tune.rcp");
    ASSERT_TRUE(Tune().WriteFile(song));
    const test::CliRun toFile = test::RunCli(dir, {"convert", song, "-o", dir.File("tune.mid")});
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(toFile.out, dir.File("tune.mid") + ": 3 tracks, 0 commands skipped\n");
    const test::CliRun toStdout = test::RunCli(dir, {"convert", song, "-o", "-"});
    EXPECT_EQ(toStdout.status, 0);
    EXPECT_EQ(toStdout.out, test::ReadFile(dir.File("tune.mid")));
    EXPECT_EQ(toStdout.out.substr(0, 4), "MThd");

    const test::CliRun info = test::RunCli(dir, {"info", song});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("title: Tune\ntracks: 3\ndivision: 48\n"), std::string::npos);

    std::ofstream(dir.File("cut.rcp")) << "RCM-PC98V2.0(C)COME ON MUSIC";
    const test::CliRun damaged = test::RunCli(dir, {"convert", dir.File("cut.rcp")});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.err, dir.File("cut.rcp") + ": the header is cut short\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("cut.mid")));
    EXPECT_EQ(test::RunCli(dir, {"info", dir.File("cut.rcp")}).err, damaged.err);

    // Through the converter library or from the converted file: the same sound in both modules.
    for (const char* engine : {"wavetable", "fm"}) {
        SCOPED_TRACE(engine);
        const std::string viaRcp = dir.File(std::string(engine) + "-rcp.wav");
        const std::string viaMid = dir.File(std::string(engine) + "-mid.wav");
        EXPECT_EQ(
            test::RunCli(dir, {"render", "-q", "--engine", engine, "-o", viaRcp, song}).status, 0);
        EXPECT_EQ(test::RunCli(
                      dir, {"render", "-q", "--engine", engine, "-o", viaMid, dir.File("tune.mid")})
                      .status,
                  0);
        const std::string pcm = test::ReadFile(viaRcp);
        EXPECT_GT(pcm.size(), 44100u * 4);  // about two seconds of stereo
        EXPECT_NE(pcm.find_first_not_of('\0', 44), std::string::npos);
        EXPECT_EQ(pcm, test::ReadFile(viaMid));
    }
}

}  // namespace
}  // namespace zeblo
