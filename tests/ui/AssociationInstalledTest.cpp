#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "settings/RecordingPrompt.h"
#include "support/TempDir.h"
#include "ui/Association.h"

namespace zeblo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string Text(const std::string& path) { return test::ReadFile(path); }

// An installed copy names the entry its package installed; a build tree writes its own, which the
// menus show as well.
TEST(LinkInstalled, InstalledCopyLinksItsInstalledEntryAndBuildTreeItsOwn) {
    TempDir folder;
    const std::string installedEntry =
        folder.File("usr/share/applications/org.zeblo.Zeblo.desktop");
    fs::create_directories(folder.File("usr/bin"));
    fs::create_directories(fs::path(installedEntry).parent_path());
    test::WriteFile(installedEntry, "[Desktop Entry]\n");
    const XdgFolders folders{folder.File("data"), folder.File("config")};
    const std::string mimeApps = folder.File("config") + "/mimeapps.list";

    const struct {
        std::string program;
        const char* linkedEntry;
        bool ownEntry;
    } cases[] = {{folder.File("usr/bin/zeblo"), "org.zeblo.Zeblo.desktop", false},
                 {folder.File("build/zeblo"), "zeblo-player.desktop", true}};
    for (const auto& c : cases) {
        RecordingPrompt prompt;
        MidAssociation link(c.program, folders, prompt, {});
        link.Press();
        ASSERT_TRUE(link.Linked()) << c.program;
        EXPECT_EQ(Text(mimeApps), std::string("[Default Applications]\naudio/midi=") +
                                      c.linkedEntry + ";\naudio/x-midi=" + c.linkedEntry + ";\n");
        EXPECT_EQ(fs::exists(link.DesktopEntryPath()), c.ownEntry);
        if (c.ownEntry) {
            const std::string entry = Text(link.DesktopEntryPath());
            EXPECT_NE(entry.find("\nName=ZEBLO\n"), std::string::npos);
            EXPECT_EQ(entry.find("NoDisplay"), std::string::npos);
        }
        link.Press();
        EXPECT_FALSE(link.Linked());
        EXPECT_FALSE(fs::exists(mimeApps));
        EXPECT_FALSE(fs::exists(link.DesktopEntryPath()));
        EXPECT_EQ(Text(installedEntry), "[Desktop Entry]\n");
    }
}

}  // namespace
}  // namespace zeblo
