#include <gtest/gtest.h>
#include <stdlib.h>

#include <QPushButton>
#include <filesystem>
#include <string>

#include "settings/RecordingPrompt.h"
#include "settings/TempFolder.h"
#include "ui/Association.h"
#include "ui/PreferencesDialog.h"

namespace zeblo {
namespace {

using testing::TempFolder;
namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
    const auto bytes = testing::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    testing::WriteBytes(path, text.data(), text.size());
}

class Link : public ::testing::Test {
protected:
    XdgFolders Folders() const { return {folder.File("data"), folder.File("config")}; }
    MidAssociation Make(const std::string& program = "/opt/zeblo/zeblo") {
        return MidAssociation(program, Folders(), prompt,
                              [this](const std::string& f) { refreshed.push_back(f); });
    }
    std::string MimeApps() const { return folder.File("config") + "/mimeapps.list"; }

    TempFolder folder;
    RecordingPrompt prompt;
    std::vector<std::string> refreshed;
};

TEST_F(Link, LinkingMakesThePlayerTheDefaultAndUnlinkingRestoresByteForByte) {
    const std::string before =
        "[Added Associations]\naudio/midi=timidity.desktop;\n\n"
        "[Default Applications]\n# mine\ntext/plain=editor.desktop\n"
        "audio/midi = timidity.desktop;other.desktop;\naudio/x-midi=timidity.desktop;\n\n"
        "[Removed Associations]\nimage/png=viewer.desktop;";
    WriteText(MimeApps(), before);
    MidAssociation link = Make();
    EXPECT_STREQ(link.Caption(), "Set link to *.mid files");

    link.Press();
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, kLinkQuestion);
    EXPECT_EQ(prompt.prompts()[0].buttons, PromptButtons::OkCancel);
    EXPECT_TRUE(link.Linked());
    EXPECT_STREQ(link.Caption(), "Un-link *.mid files");
    EXPECT_EQ(ReadText(MimeApps()),
              "[Added Associations]\naudio/midi=timidity.desktop;\n\n"
              "[Default Applications]\n# mine\ntext/plain=editor.desktop\n"
              "audio/midi=zeblo-player.desktop;\naudio/x-midi=zeblo-player.desktop;\n\n"
              "[Removed Associations]\nimage/png=viewer.desktop;");
    const std::string entry = ReadText(link.DesktopEntryPath());
    EXPECT_NE(entry.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(entry.find("\nExec=\"/opt/zeblo/zeblo\" %f\n"), std::string::npos);
    EXPECT_NE(entry.find("\nMimeType=audio/midi;audio/x-midi;\n"), std::string::npos);
    EXPECT_EQ(link.DesktopEntryPath(), folder.File("data") + "/applications/zeblo-player.desktop");
    EXPECT_EQ(refreshed, std::vector<std::string>({folder.File("data") + "/applications"}));

    prompt.Clear();
    link.Press();
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, kUnlinkMessage);
    EXPECT_EQ(ReadText(MimeApps()), before);
    EXPECT_FALSE(link.Linked());
    EXPECT_FALSE(fs::exists(link.BackupPath()));
    EXPECT_FALSE(fs::exists(link.DesktopEntryPath()));
    EXPECT_STREQ(link.Caption(), "Set link to *.mid files");
    EXPECT_EQ(refreshed.size(), 2u);
}

TEST_F(Link, WithoutPreviousDefaultsUnlinkingLeavesNone) {
    MidAssociation link = Make();
    link.Press();
    EXPECT_EQ(ReadText(MimeApps()),
              "[Default Applications]\naudio/midi=zeblo-player.desktop;\n"
              "audio/x-midi=zeblo-player.desktop;\n");
    link.Press();
    EXPECT_FALSE(fs::exists(MimeApps()));

    // A file without the group, and without a last line break, gets both back as they were.
    const std::string other = "[Added Associations]\nvideo/mp4=player.desktop;";
    WriteText(MimeApps(), other);
    link.Press();
    EXPECT_EQ(ReadText(MimeApps()),
              other +
                  "\n[Default Applications]\naudio/midi=zeblo-player.desktop;\n"
                  "audio/x-midi=zeblo-player.desktop;\n");
    link.Press();
    EXPECT_EQ(ReadText(MimeApps()), other);

    // A group with only one of the types keeps the other one absent afterwards.
    const std::string half = "[Default Applications]\naudio/x-midi=synth.desktop;\n";
    WriteText(MimeApps(), half);
    link.Press();
    link.Press();
    EXPECT_EQ(ReadText(MimeApps()), half);
}

TEST_F(Link, CancelChangesNothing) {
    const std::string before = "[Default Applications]\naudio/midi=timidity.desktop;\n";
    WriteText(MimeApps(), before);
    prompt.AnswerNext(PromptAnswer::Cancel);
    MidAssociation link = Make();
    link.Press();
    EXPECT_EQ(ReadText(MimeApps()), before);
    EXPECT_FALSE(link.Linked());
    EXPECT_FALSE(fs::exists(link.DesktopEntryPath()));
    EXPECT_TRUE(refreshed.empty());
}

TEST_F(Link, ProgramPathsAreQuotedForTheExecLine) {
    EXPECT_EQ(ExecArgument("/home/me/my apps/zeblo"), "\"/home/me/my apps/zeblo\"");
    // Inside quotes '"', '`', '$' and '\' take a backslash, which the entry then doubles;
    // '%' is doubled so it is no field code.
    EXPECT_EQ(ExecArgument("/a\"b`c$d\\e%f"), "\"/a\\\\\"b\\\\`c\\\\$d\\\\\\\\e%%f\"");

    MidAssociation link = Make("/home/me/my apps/zeblo");
    link.Press();
    EXPECT_NE(ReadText(link.DesktopEntryPath()).find("\nExec=\"/home/me/my apps/zeblo\" %f\n"),
              std::string::npos);
}

TEST_F(Link, UnusableSituationsChangeNothing) {
    // A program path that cannot stand on one line, and a mimeapps.list that cannot be read.
    MidAssociation odd = Make("/opt/zeblo\nExec=evil");
    odd.Press();
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, kCannotLinkMessage);
    EXPECT_FALSE(odd.Linked());

    fs::create_directories(MimeApps());
    prompt.Clear();
    MidAssociation link = Make();
    link.Press();
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, kCannotLinkMessage);
    EXPECT_FALSE(link.Linked());
    EXPECT_FALSE(fs::exists(link.DesktopEntryPath()));
}

TEST_F(Link, AMissingSecondBackupIsToldAndTheFirstRestoredAnyway) {
    const std::string before =
        "[Default Applications]\naudio/midi=timidity.desktop;\naudio/x-midi=synth.desktop;\n";
    WriteText(MimeApps(), before);
    MidAssociation link = Make();
    link.Press();
    // Someone trimmed the backup by hand.
    const std::string backup = ReadText(link.BackupPath());
    WriteText(link.BackupPath(), backup.substr(0, backup.find("line audio/x-midi")));
    prompt.Clear();
    link.Press();
    ASSERT_EQ(prompt.prompts().size(), 2u);
    EXPECT_EQ(prompt.prompts()[1].text, kIconBackupMissingMessage);
    EXPECT_EQ(ReadText(MimeApps()),
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
    EXPECT_EQ(button->text(), "Set link to *.mid files");
    button->click();
    EXPECT_EQ(button->text(), "Un-link *.mid files");
    button->click();
    EXPECT_EQ(button->text(), "Set link to *.mid files");
    prompt.AnswerNext(PromptAnswer::Cancel);
    button->click();
    EXPECT_EQ(button->text(), "Set link to *.mid files");
}

TEST(XdgFolders, TheUsersVariablesAreHonoured) {
    const char* home = getenv("HOME");
    const std::string savedHome = home ? home : "";
    setenv("XDG_DATA_HOME", "/tmp/xdg-data", 1);
    setenv("XDG_CONFIG_HOME", "/tmp/xdg-config", 1);
    XdgFolders f = XdgFolders::FromEnvironment();
    EXPECT_EQ(f.dataHome, "/tmp/xdg-data");
    EXPECT_EQ(f.configHome, "/tmp/xdg-config");
    // Relative values are ignored; unset ones fall back to the home folder.
    setenv("XDG_DATA_HOME", "relative/data", 1);
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/someone", 1);
    f = XdgFolders::FromEnvironment();
    EXPECT_EQ(f.dataHome, "/home/someone/.local/share");
    EXPECT_EQ(f.configHome, "/home/someone/.config");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
}  // namespace zeblo
