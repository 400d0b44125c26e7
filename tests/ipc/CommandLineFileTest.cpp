#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ipc/CommandLineFile.h"
#include "settings/TempFolder.h"

namespace zeblo {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

CommandLineFile Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "zeblo");
    return GetCommandLineFile(static_cast<int>(args.size()), args.data());
}

void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, text.data(), text.size());
}

TEST(CommandLineFile, NamesTheFirstNonOptionAsAnAbsolutePath) {
    const CommandLineFile none = Parse({});
    EXPECT_TRUE(none.play);
    EXPECT_EQ(none.path, "");

    const CommandLineFile absolute = Parse({"/music/tune.mid", "/music/second.mid"});
    EXPECT_TRUE(absolute.play);
    EXPECT_EQ(absolute.path, "/music/tune.mid");

    const std::string cwd = std::filesystem::current_path().string();
    EXPECT_EQ(Parse({"sub/../tune.mid"}).path, cwd + "/tune.mid");
    EXPECT_EQ(Parse({"-platform", "offscreen", "tune.mid"}).path, cwd + "/tune.mid");
    EXPECT_EQ(Parse({"-reverse", "tune.mid"}).path, cwd + "/tune.mid");
    EXPECT_EQ(Parse({"--", "-dash.mid"}).path, cwd + "/-dash.mid");
}

TEST(CommandLineFile, LaunchersAreNotPlayed) {
    TempFolder folder;
    const std::string launcher = folder.File("player.desktop");
    WriteText(launcher, "# made by hand\n\n[Desktop Entry]\nType=Application\nExec=zeblo\n");
    EXPECT_TRUE(IsDesktopLauncher(launcher));
    const CommandLineFile file = Parse({launcher.c_str()});
    EXPECT_FALSE(file.play);

    const std::string bom = folder.File("bom.desktop");
    WriteText(bom, "\xEF\xBB\xBF[Desktop Entry]\r\nName=x\r\n");
    EXPECT_TRUE(IsDesktopLauncher(bom));

    // Named like a launcher, but a song.
    const std::string song = folder.File("song.desktop");
    WriteText(song, std::string("MThd\0\0\0\6", 8));
    EXPECT_FALSE(IsDesktopLauncher(song));
    EXPECT_TRUE(Parse({song.c_str()}).play);

    const std::string other = folder.File("other.desktop");
    WriteText(other, "[Other Group]\n[Desktop Entry]\n");
    EXPECT_FALSE(IsDesktopLauncher(other));
    EXPECT_FALSE(IsDesktopLauncher(folder.File("missing.desktop")));
    EXPECT_FALSE(IsDesktopLauncher(folder.path().string()));
}

}  // namespace
}  // namespace zeblo
