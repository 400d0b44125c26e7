#include "ui/Association.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "settings/InstallLayout.h"

namespace zeblo {
namespace fs = std::filesystem;

namespace {

constexpr char kDefaultGroup[] = "[Default Applications]";
constexpr char kBackupHeader[] = "ZEBLO.backup";
// Backup lines: "line <type>=<the line as it was>", "none <type>", and the flags below.
constexpr char kBackupLine[] = "line ";
constexpr char kBackupNone[] = "none ";
constexpr char kCreatedFile[] = "created-file";
constexpr char kCreatedGroup[] = "created-group";
constexpr char kAddedNewline[] = "added-newline";

// A text file as lines, so that untouched lines are written back byte for byte.
struct TextLines {
    std::vector<std::string> lines;
    bool finalNewline = true;

    static TextLines Parse(const std::string& text) {
        TextLines t;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            if (end == std::string::npos) {
                t.lines.push_back(text.substr(start));
                t.finalNewline = false;
                break;
            }
            t.lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return t;
    }

    std::string Join() const {
        std::string out;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            out += lines[i];
            if (i + 1 < lines.size() || finalNewline) out += '\n';
        }
        return out;
    }
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool IsGroupHeader(std::string_view line) {
    return Trim(line).starts_with('[');
}

// The group's header index and the index one past its last line; nullopt when absent.
std::optional<std::pair<std::size_t, std::size_t>> FindGroup(const TextLines& t) {
    for (std::size_t i = 0; i < t.lines.size(); ++i) {
        if (Trim(t.lines[i]) != kDefaultGroup) continue;
        std::size_t end = i + 1;
        while (end < t.lines.size() && !IsGroupHeader(t.lines[end])) ++end;
        return std::make_pair(i, end);
    }
    return std::nullopt;
}

bool IsKeyLine(std::string_view line, std::string_view key) {
    line = Trim(line);
    if (!line.starts_with(key)) return false;
    line.remove_prefix(key.size());
    return Trim(line).starts_with('=');
}

std::optional<std::size_t> FindKey(const TextLines& t, std::string_view key) {
    const auto group = FindGroup(t);
    if (!group) return std::nullopt;
    for (std::size_t i = group->first + 1; i < group->second; ++i)
        if (IsKeyLine(t.lines[i], key)) return i;
    return std::nullopt;
}

// Puts `line` in place of the key's line, or at the end of the group's entries.
void SetKeyLine(TextLines& t, std::string_view key, const std::string& line) {
    if (auto at = FindKey(t, key)) {
        t.lines[*at] = line;
        return;
    }
    auto group = FindGroup(t);
    std::size_t insert = group->first + 1;
    for (std::size_t i = group->first + 1; i < group->second; ++i)
        if (!Trim(t.lines[i]).empty()) insert = i + 1;
    t.lines.insert(t.lines.begin() + static_cast<std::ptrdiff_t>(insert), line);
}

void RemoveKeyLine(TextLines& t, std::string_view key) {
    if (auto at = FindKey(t, key))
        t.lines.erase(t.lines.begin() + static_cast<std::ptrdiff_t>(*at));
}

std::optional<std::string> ReadText(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

// Writes beside the file and renames, so that a failure never leaves half a file; a symbolic
// link (a managed dotfile) is written through rather than replaced.
bool WriteText(const std::string& path, const std::string& text) {
    std::error_code error;
    fs::path target = path;
    if (fs::is_symlink(target, error)) {
        target = fs::canonical(target, error);
        if (error) return false;
    }
    fs::create_directories(target.parent_path(), error);
    const fs::path temporary = target.string() + ".zeblo-new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, target, error);
    if (error) fs::remove(temporary, error);
    return !error;
}

struct Backup {
    std::map<std::string, std::optional<std::string>> lines;  // type -> line as it was, or none
    bool createdFile = false;
    bool createdGroup = false;
    bool addedNewline = false;
};

std::string BackupText(const Backup& b) {
    std::string out = std::string(kBackupHeader) + "\n";
    for (const char* type : kMidiTypes) {
        const auto& line = b.lines.at(type);
        out +=
            line ? std::string(kBackupLine) + type + "=" + *line : kBackupNone + std::string(type);
        out += '\n';
    }
    if (b.createdFile) out += std::string(kCreatedFile) + "\n";
    if (b.createdGroup) out += std::string(kCreatedGroup) + "\n";
    if (b.addedNewline) out += std::string(kAddedNewline) + "\n";
    return out;
}

Backup ParseBackup(const std::string& text) {
    Backup b;
    for (const std::string& line : TextLines::Parse(text).lines) {
        const std::string_view l = line;
        if (l == kCreatedFile) b.createdFile = true;
        if (l == kCreatedGroup) b.createdGroup = true;
        if (l == kAddedNewline) b.addedNewline = true;
        for (const char* type : kMidiTypes) {
            const std::string prefix = std::string(kBackupLine) + type + "=";
            if (l.starts_with(prefix)) b.lines[type] = line.substr(prefix.size());
            if (l == kBackupNone + std::string(type)) b.lines[type] = std::nullopt;
        }
    }
    return b;
}

bool Usable(const std::string& path) {
    if (path.empty() || path.front() != '/') return false;
    for (unsigned char c : path)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

}  // namespace

XdgFolders XdgFolders::FromEnvironment() {
    const char* home = std::getenv("HOME");
    const std::string homeFolder = home ? home : "";
    auto pick = [&](const char* variable, const char* fallback) {
        const char* value = std::getenv(variable);
        // Relative values are invalid and must be ignored.
        if (value && value[0] == '/') return std::string(value);
        return homeFolder + fallback;
    };
    return {pick("XDG_DATA_HOME", "/.local/share"), pick("XDG_CONFIG_HOME", "/.config")};
}

std::string ExecArgument(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    // The string escapes of the entry apply first, so each backslash is written twice.
    std::string value;
    for (char c : quoted) {
        if (c == '\\') value += '\\';
        if (c == '%') value += '%';
        value += c;
    }
    return value;
}

std::string DesktopEntryText(const std::string& programPath) {
    std::string text = "[Desktop Entry]\nType=Application\nName=ZEBLO\n";
    text += "Comment=MIDI file player with its own wavetable and FM sound modules\n";
    text += "Exec=" + ExecArgument(programPath) + " %f\n";
    text += "MimeType=";
    for (const char* type : kMidiTypes) text += std::string(type) + ";";
    text += "\nTerminal=false\nCategories=AudioVideo;Audio;Player;\n";
    return text;
}

MidAssociation::MidAssociation(std::string programPath, XdgFolders folders, UserPrompt& prompt,
                               Refresh refresh)
    : programPath_(std::move(programPath)),
      folders_(std::move(folders)),
      prompt_(prompt),
      refresh_(std::move(refresh)),
      installed_(!InstalledDesktopEntry(programPath_).empty()) {}

const char* MidAssociation::LinkedEntryName() const {
    return installed_ ? kInstalledDesktopEntryName : kDesktopEntryName;
}

std::string MidAssociation::DesktopEntryPath() const {
    return folders_.dataHome + "/applications/" + kDesktopEntryName;
}

std::string MidAssociation::MimeAppsPath() const {
    return folders_.configHome + "/mimeapps.list";
}

std::string MidAssociation::BackupPath() const {
    return folders_.configHome + "/zeblo/mid-association.backup";
}

bool MidAssociation::Linked() const {
    std::error_code error;
    return fs::is_regular_file(BackupPath(), error);
}

void MidAssociation::Press() {
    if (Linked())
        Unlink();
    else
        Link();
}

void MidAssociation::Link() {
    std::error_code error;
    const bool fileExists = fs::exists(MimeAppsPath(), error);
    std::optional<std::string> text = fileExists ? ReadText(MimeAppsPath()) : std::string();
    if (!text || !Usable(programPath_) || folders_.dataHome.empty() ||
        folders_.configHome.empty()) {
        prompt_.Ask(kCannotLinkMessage, PromptButtons::Ok, PromptIcon::Warning);
        return;
    }
    if (prompt_.Ask(kLinkQuestion, PromptButtons::OkCancel, PromptIcon::Warning) ==
        PromptAnswer::Cancel) {
        return;
    }

    TextLines mimeApps = TextLines::Parse(*text);
    Backup backup;
    backup.createdFile = !fileExists;
    for (const char* type : kMidiTypes) {
        const auto at = FindKey(mimeApps, type);
        backup.lines[type] = at ? std::optional<std::string>(mimeApps.lines[*at]) : std::nullopt;
    }
    if (!FindGroup(mimeApps)) {
        backup.createdGroup = true;
        backup.addedNewline = !mimeApps.lines.empty() && !mimeApps.finalNewline;
        mimeApps.finalNewline = true;
        mimeApps.lines.push_back(kDefaultGroup);
    }
    for (const char* type : kMidiTypes)
        SetKeyLine(mimeApps, type, std::string(type) + "=" + LinkedEntryName() + ";");

    // The backup first: once it exists, un-linking can always put the old lines back.
    if (!WriteText(BackupPath(), BackupText(backup)) ||
        (!installed_ && !WriteText(DesktopEntryPath(), DesktopEntryText(programPath_))) ||
        !WriteText(MimeAppsPath(), mimeApps.Join())) {
        fs::remove(DesktopEntryPath(), error);
        fs::remove(BackupPath(), error);
        prompt_.Ask(kCannotLinkMessage, PromptButtons::Ok, PromptIcon::Warning);
        return;
    }
    if (refresh_) refresh_(folders_.dataHome + "/applications");
}

void MidAssociation::Unlink() {
    prompt_.Ask(kUnlinkMessage, PromptButtons::Ok, PromptIcon::Information);
    const Backup backup = ParseBackup(ReadText(BackupPath()).value_or(""));

    std::error_code error;
    TextLines mimeApps = TextLines::Parse(ReadText(MimeAppsPath()).value_or(""));
    for (const char* type : kMidiTypes) {
        const auto kept = backup.lines.find(type);
        if (kept == backup.lines.end()) {
            // Without its backup the type keeps whatever it has now.
            if (type != kMidiTypes[0]) {
                prompt_.Ask(kIconBackupMissingMessage, PromptButtons::Ok, PromptIcon::Warning);
                continue;
            }
            RemoveKeyLine(mimeApps, type);
        } else if (kept->second) {
            if (!FindGroup(mimeApps)) mimeApps.lines.push_back(kDefaultGroup);
            SetKeyLine(mimeApps, type, *kept->second);
        } else {
            RemoveKeyLine(mimeApps, type);
        }
    }
    if (backup.createdGroup) {
        if (auto group = FindGroup(mimeApps)) {
            bool empty = true;
            for (std::size_t i = group->first + 1; i < group->second; ++i)
                empty = empty && Trim(mimeApps.lines[i]).empty();
            if (empty && group->second == mimeApps.lines.size()) {
                mimeApps.lines.erase(
                    mimeApps.lines.begin() + static_cast<std::ptrdiff_t>(group->first),
                    mimeApps.lines.end());
                if (backup.addedNewline) mimeApps.finalNewline = false;
            }
        }
    }
    const bool restored = backup.createdFile && mimeApps.lines.empty()
                              ? fs::remove(MimeAppsPath(), error) || !error
                              : WriteText(MimeAppsPath(), mimeApps.Join());
    // A failed restore keeps the backup, so the button still offers to un-link.
    if (!restored) return;
    fs::remove(DesktopEntryPath(), error);
    fs::remove(BackupPath(), error);
    fs::remove(fs::path(BackupPath()).parent_path(), error);  // only if empty
    if (refresh_) refresh_(folders_.dataHome + "/applications");
}

void RefreshDesktopDatabase(const std::string& applicationsFolder) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (tool.isEmpty()) return;
    QProcess::startDetached(tool, {QString::fromStdString(applicationsFolder)});
}

}  // namespace zeblo
