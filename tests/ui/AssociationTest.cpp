#include <gtest/gtest.h>
#include <stdlib.h>

#include <QPushButton>
#include <filesystem>
#include <string>

#include "settings/RecordingPrompt.h"
#include "support/TempDir.h"
#include "ui/Association.h"
#include "ui/PreferencesDialog.h"

namespace zeblo {
namespace {

namespace fs = std::filesystem;

const std::string kOurs = "audio/midi=zeblo-player.desktop;\naudio/x-midi=zeblo-player.desktop;\n";

class Link : public ::testing::Test {
protected:
    MidAssociation Make(const std::string& program = "/opt/zeblo/zeblo") {
        return MidAssociation(program, {dir.File("data"), dir.File("config")}, prompt,
                              [this](const std::string& f) { refreshed += f + "|"; });
    }
    std::string MimeApps() const { return dir.File("config/mimeapps.list"); }
    std::string Prompts() { return prompt.TakeTexts(); }

    test::TempDir dir;
    RecordingPrompt prompt;
    std::string refreshed;
};

TEST_F(Link, LinkingMakesThePlayerTheDefaultAndUnlinkingRestoresByteForByte) {
    const std::string kept = "[Added Associations]\nvideo/mp4=player.desktop;";
    const struct {
        std::string before, linked;
    } rows[] = {
        {"[Added Associations]\naudio/midi=timidity.desktop;\n\n[Default Applications]\n# mine\n"
         "text/plain=editor.desktop\naudio/midi = timidity.desktop;other.desktop;\n"
         "audio/x-midi=timidity.desktop;\n\n[Removed Associations]\nimage/png=viewer.desktop;",
         "[Added Associations]\naudio/midi=timidity.desktop;\n\n[Default Applications]\n# mine\n"
         "text/plain=editor.desktop\n" +
             kOurs + "\n[Removed Associations]\nimage/png=viewer.desktop;"},
        {"", "[Default Applications]\n" + kOurs},  // no file before, none after
        {kept, kept + "\n[Default Applications]\n" + kOurs},
        {"[Default Applications]\naudio/x-midi=synth.desktop;\n",
         "[Default "
         "Applications]\naudio/x-midi=zeblo-player.desktop;\naudio/midi=zeblo-player.desktop;\n"},
    };
    for (const auto& row : rows) {
        fs::remove(MimeApps());
        if (!row.before.empty()) test::WriteFile(MimeApps(), row.before);
        MidAssociation link = Make();
        EXPECT_STREQ(link.Caption(), "Set link to *.mid files");
        link.Press();
        EXPECT_STREQ(link.Caption(), "Un-link *.mid files");
        EXPECT_EQ(test::ReadFile(MimeApps()), row.linked);
        const std::string entry =
            test::ReadFile(dir.File("data/applications/zeblo-player.desktop"));
        EXPECT_EQ(entry.find("[Desktop Entry]\n"), 0u);
        EXPECT_NE(entry.find("\nExec=\"/opt/zeblo/zeblo\" %f\n"), std::string::npos);
        EXPECT_NE(entry.find("\nMimeType=audio/midi;audio/x-midi;\n"), std::string::npos);
        EXPECT_NE(entry.find("\nName=ZEBLO\n"), std::string::npos);
        EXPECT_EQ(entry.find("NoDisplay"), std::string::npos) << "the menus show it as well";
        link.Press();
        EXPECT_FALSE(link.Linked());
        EXPECT_EQ(test::ReadFile(MimeApps()), row.before);
        EXPECT_EQ(fs::exists(MimeApps()), !row.before.empty());
        EXPECT_FALSE(fs::exists(link.BackupPath()));
        EXPECT_FALSE(fs::exists(link.DesktopEntryPath()));
        EXPECT_EQ(Prompts(), kLinkQuestion + std::string("|") + kUnlinkMessage + "|");
    }
    const std::string applications = dir.File("data/applications") + "|";
    EXPECT_EQ(refreshed, applications + applications + applications + applications + applications +
                             applications + applications + applications);
}

// An installed copy names the entry its package installed and writes none of its own.
TEST_F(Link, AnInstalledCopyLinksItsInstalledEntry) {
    const std::string installed = dir.File("usr/share/applications/org.zeblo.Zeblo.desktop");
    fs::create_directories(dir.File("usr/bin"));
    fs::create_directories(fs::path(installed).parent_path());
    test::WriteFile(installed, "[Desktop Entry]\n");
    MidAssociation link = Make(dir.File("usr/bin/zeblo"));
    link.Press();
    ASSERT_TRUE(link.Linked());
    EXPECT_EQ(test::ReadFile(MimeApps()),
              "[Default Applications]\naudio/midi=org.zeblo.Zeblo.desktop;\n"
              "audio/x-midi=org.zeblo.Zeblo.desktop;\n");
    EXPECT_FALSE(fs::exists(link.DesktopEntryPath()));
    link.Press();
    EXPECT_FALSE(link.Linked() || fs::exists(MimeApps()));
    EXPECT_EQ(test::ReadFile(installed), "[Desktop Entry]\n");
}

TEST_F(Link, ProgramPathsAreQuotedForTheExecLine) {
    EXPECT_EQ(ExecArgument("/home/me/my apps/zeblo"), "\"/home/me/my apps/zeblo\"");
    // Inside quotes '"', '`', '$' and '\' take a backslash, which the entry then doubles;
    // '%' is doubled so it is no field code.
    EXPECT_EQ(ExecArgument("/a\"b`c$d\\e%f"), "\"/a\\\\\"b\\\\`c\\\\$d\\\\\\\\e%%f\"");
}

TEST_F(Link, CancelAndUnusableSituationsChangeNothing) {
    const std::string before = "[Default Applications]\naudio/midi=timidity.desktop;\n";
    test::WriteFile(MimeApps(), before);
    prompt.AnswerNext(PromptAnswer::Cancel);
    Make().Press();
    EXPECT_EQ(Prompts(), kLinkQuestion + std::string("|"));
    // A program path that cannot stand on one line, and a mimeapps.list that cannot be read.
    Make("/opt/zeblo\nExec=evil").Press();
    EXPECT_EQ(Prompts(), kCannotLinkMessage + std::string("|"));
    EXPECT_EQ(test::ReadFile(MimeApps()), before);
    fs::remove(MimeApps());
    fs::create_directories(MimeApps());
    MidAssociation link = Make();
    link.Press();
    EXPECT_EQ(Prompts(), kCannotLinkMessage + std::string("|"));
    EXPECT_FALSE(link.Linked());
    EXPECT_FALSE(fs::exists(link.DesktopEntryPath()));
    EXPECT_EQ(refreshed, "");
}

TEST_F(Link, AMissingSecondBackupIsToldAndTheFirstRestoredAnyway) {
    test::WriteFile(
        MimeApps(),
        "[Default Applications]\naudio/midi=timidity.desktop;\naudio/x-midi=synth.desktop;\n");
    MidAssociation link = Make();
    link.Press();
    // Someone trimmed the backup by hand.
    const std::string backup = test::ReadFile(link.BackupPath());
    test::WriteFile(link.BackupPath(), backup.substr(0, backup.find("line audio/x-midi")));
    Prompts();
    link.Press();
    EXPECT_EQ(Prompts(), kUnlinkMessage + std::string("|") + kIconBackupMissingMessage + "|");
    EXPECT_EQ(test::ReadFile(MimeApps()),
              "[Default Applications]\naudio/midi=timidity.desktop;\n"
              "audio/x-midi=zeblo-player.desktop;\n");
    EXPECT_FALSE(link.Linked());
}

TEST_F(Link, TheDialogButtonShowsAndTogglesTheState) {
    MidAssociation link = Make();
    SettingsRecord record = DefaultSettings();
    PreferencesDialogHooks hooks;
    hooks.association = &link;
    PreferencesDialog dialog(record, {"default"}, prompt, hooks);
    QPushButton* button = dialog.Button(1091);
    std::string captions = button->text().toStdString();
    prompt.AnswerNext(PromptAnswer::Ok);  // linking asks, unlinking only tells
    prompt.AnswerNext(PromptAnswer::Cancel);
    for (int i = 0; i < 3; ++i) button->click(), captions += "|" + button->text().toStdString();
    EXPECT_EQ(captions,
              "Set link to *.mid files|Un-link *.mid files|Set link to *.mid files|"
              "Set link to *.mid files");
}

TEST(XdgFolders, TheUsersVariablesAreHonoured) {
    const std::string home = getenv("HOME") ? getenv("HOME") : "";
    setenv("XDG_DATA_HOME", "/tmp/xdg-data", 1);
    setenv("XDG_CONFIG_HOME", "/tmp/xdg-config", 1);
    XdgFolders f = XdgFolders::FromEnvironment();
    EXPECT_EQ(f.dataHome + "|" + f.configHome, "/tmp/xdg-data|/tmp/xdg-config");
    // Relative values are ignored; unset ones fall back to the home folder.
    setenv("XDG_DATA_HOME", "relative/data", 1);
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/someone", 1);
    f = XdgFolders::FromEnvironment();
    EXPECT_EQ(f.dataHome + "|" + f.configHome, "/home/someone/.local/share|/home/someone/.config");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace zeblo
