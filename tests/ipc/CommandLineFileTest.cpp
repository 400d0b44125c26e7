#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ipc/CommandLineFile.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

using namespace std::string_literals;

TEST(CommandLineFile, TheFirstNonOptionMadeAbsolute) {
    const std::string here = std::filesystem::current_path().string();
    const struct {
        std::vector<const char*> args;
        std::string path;
    } rows[] = {
        {{}, ""},
        {{"/music/tune.mid", "/music/second.mid"}, "/music/tune.mid"},
        {{"sub/../tune.mid"}, here + "/tune.mid"},
        {{"-platform", "offscreen", "tune.mid"}, here + "/tune.mid"},
        {{"-reverse", "tune.mid"}, here + "/tune.mid"},
        {{"--", "-dash.mid"}, here + "/-dash.mid"},
    };
    for (auto row : rows) {
        row.args.insert(row.args.begin(), "zeblo");
        const CommandLineFile file =
            GetCommandLineFile(static_cast<int>(row.args.size()), row.args.data());
        EXPECT_TRUE(file.play);
        EXPECT_EQ(file.path, row.path);
    }
}

TEST(CommandLineFile, LaunchersAreNotPlayed) {
    test::TempDir dir;
    const std::string path = dir.File("x.desktop");
    const std::pair<std::string, bool> rows[] = {
        {"# made by hand\n\n[Desktop Entry]\nType=Application\nExec=zeblo\n", true},
        {"\xEF\xBB\xBF[Desktop Entry]\r\nName=x\r\n", true},
        {"MThd\0\0\0\6"s, false},  // named like a launcher, but a song
        {"[Other Group]\n[Desktop Entry]\n", false},
    };
    for (const auto& [text, launcher] : rows) {
        test::WriteFile(path, text);
        EXPECT_EQ(IsDesktopLauncher(path), launcher) << text;
        const char* args[] = {"zeblo", path.c_str()};
        EXPECT_EQ(GetCommandLineFile(2, args).play, !launcher) << text;
    }
    EXPECT_FALSE(IsDesktopLauncher(dir.File("missing.desktop")));
    EXPECT_FALSE(IsDesktopLauncher(dir.Path().string()));
}

}  // namespace
}  // namespace zeblo
