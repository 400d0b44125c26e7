#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <numeric>

#include "settings/PreferencesFile.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr char kName[] = "ZEBLOPreferences.bin";

TEST(PreferencesLocation, ProgramFolderWhenItsFileExistsOrItIsWritableElseXdg) {
    TempDir folder;
    const std::string beside = folder.File(kName);
    const std::string xdg = folder.File("config") + "/zeblo/" + kName;
    const struct {
        bool fileBeside;
        bool writable;
        const char* configHome;
        std::string path;
        bool createFolder;
    } cases[] = {
        {false, true, "config", beside, false},  // portable copy, build tree
        {false, false, "config", xdg, true},     // installed: /usr/bin
        {true, false, "config", beside, false},  // a file placed beside it wins
        {false, false, "", beside, false},       // nowhere else to go: the save will say so
    };
    for (const auto& c : cases) {
        fs::remove(beside);
        if (c.fileBeside) WriteFile(beside, "x");
        PreferencesSearch search;
        search.configHome = c.configHome[0] ? folder.File(c.configHome) : "";
        std::string asked;
        search.writable = [&](const std::string& f) { return asked = f, c.writable; };
        const PreferencesLocation at = LocatePreferencesFile(beside, search);
        EXPECT_EQ(at.path, c.path) << c.fileBeside << c.writable << c.configHome;
        EXPECT_EQ(at.createFolder, c.createFolder);
        if (!c.fileBeside) EXPECT_EQ(asked, folder.Path().string());
    }
}

TEST(PreferencesLocation, InstalledCopyNeverWritesItsProgramFolder) {
    TempDir folder;
    fs::create_directories(folder.Path() / "usr/bin");
    fs::create_directories(folder.Path() / "usr/share/applications");
    fs::create_directories(folder.Path() / "portable");
    WriteFile(folder.File("usr/share/applications/org.zeblo.Zeblo.desktop"), "");
    const std::string home = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", folder.File("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);

    const PreferencesSearch installed =
        PreferencesSearch::FromProcess(folder.File("usr/bin/zeblo"));
    EXPECT_EQ(installed.configHome, folder.File("home") + "/.config");
    // Whoever runs it, root included: the folder is writable here, yet it is not taken.
    EXPECT_FALSE(installed.writable(folder.File("usr/bin")));
    const PreferencesSearch portable =
        PreferencesSearch::FromProcess(folder.File("portable/zeblo"));
    EXPECT_TRUE(portable.writable(folder.File("portable")));

    setenv("XDG_CONFIG_HOME", folder.File("xdg").c_str(), 1);
    EXPECT_EQ(PreferencesSearch::FromProcess("/usr/bin/zeblo").configHome, folder.File("xdg"));
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", home.c_str(), 1);
}

std::array<unsigned char, 128> Record(unsigned char first) {
    std::array<unsigned char, 128> bytes;
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

TEST(PreferencesSave, FirstSaveMakesThePrivateFolderAndLaterSavesReplaceWhole) {
    TempDir folder;
    PreferencesFile file;
    const std::string path = folder.File("config") + "/zeblo/" + kName;
    file.SetLocation({path, true});
    const auto first = Record(1);
    ASSERT_TRUE(file.Save(first.data(), first.size()));
    EXPECT_EQ(ReadFile(path), std::string(first.begin(), first.end()));
    struct stat info {};
    ASSERT_EQ(stat((folder.File("config") + "/zeblo").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // Interrupted after the temporary file is complete: the old file is untouched, and the
    // temporary file is gone.
    const auto second = Record(50);
    file.beforeReplace = [] { return false; };
    EXPECT_FALSE(file.Save(second.data(), second.size()));
    EXPECT_EQ(ReadFile(path), std::string(first.begin(), first.end()));
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(path).parent_path()), {}), 1);

    file.beforeReplace = nullptr;
    ASSERT_TRUE(file.Save(second.data(), second.size()));
    EXPECT_EQ(ReadFile(path), std::string(second.begin(), second.end()));
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(path).parent_path()), {}), 1);
}

}  // namespace
}  // namespace zeblo
