// Linking .mid files to the player, the XDG way: the player's desktop entry made the default
// application for audio/midi and audio/x-midi in the user's mimeapps.list. An installed copy names
// its installed entry; any other copy writes an entry of its own into the user's data folder. The
// defaults found there before are kept in a backup file; the link state is "the backup exists", and
// un-linking puts back exactly the lines the backup holds.
//
// Threads: user-interface thread only.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "settings/UserPrompt.h"

namespace zeblo {

inline constexpr char kLinkCaption[] = "Set link to *.mid files";
inline constexpr char kUnlinkCaption[] = "Un-link *.mid files";
inline constexpr char kCannotLinkMessage[] =
    "Now link-category '*.mid' is not 'audio/midi'.\r\nZEBLO wasn't modify for system-safe.\r\n"
    "Please linking yourself at file manager.";
inline constexpr char kUnlinkMessage[] =
    "Now recover linking.\r\n\r\nPlease no-Angry if it wasn't recover. this is Beta-version ;)";
inline constexpr char kIconBackupMissingMessage[] =
    "Can't find Icon-backup on config-folder.\r\nIcon-recover was failed.";
inline constexpr char kLinkQuestion[] =
    "Will now linking '*.mid'files to ZEBLO.\r\n\r\n* Is not 'PERFECT'. ZEBLO may fail.\r\n"
    "  when uneasy, we recommend you to linking by file manager.\r\n\r\n"
    "* It can cancel to linking, if this button is pushed again.\r\n"
    "\u3000Even if Un-linking fails, it can recover with this button. But, it cannot be "
    "guaranteed.\r\n\r\n** Based on the above, if it performs, please push [OK].";

inline constexpr char kDesktopEntryName[] = "zeblo-player.desktop";
// The types linked, in backup order; the second stands where the file class's icon stood.
inline constexpr std::array<const char*, 2> kMidiTypes{"audio/midi", "audio/x-midi"};

struct XdgFolders {
    std::string dataHome;    // $XDG_DATA_HOME, or ~/.local/share
    std::string configHome;  // $XDG_CONFIG_HOME, or ~/.config
    static XdgFolders FromEnvironment();
};

// `path` as one argument of a desktop entry's Exec line: quoted and escaped, with '%' doubled.
std::string ExecArgument(const std::string& path);
std::string DesktopEntryText(const std::string& programPath);

class MidAssociation {
public:
    // Tells the desktop that the applications in a folder changed.
    using Refresh = std::function<void(const std::string& applicationsFolder)>;

    MidAssociation(std::string programPath, XdgFolders folders, UserPrompt& prompt,
                   Refresh refresh);

    bool Linked() const;
    const char* Caption() const { return Linked() ? kUnlinkCaption : kLinkCaption; }
    // The "Link MID" button: links after the question, or un-links.
    void Press();

    // The user's own entry, which only a copy that is not installed writes.
    std::string DesktopEntryPath() const;
    std::string MimeAppsPath() const;
    std::string BackupPath() const;

private:
    void Link();
    void Unlink();
    const char* LinkedEntryName() const;

    std::string programPath_;
    XdgFolders folders_;
    UserPrompt& prompt_;
    Refresh refresh_;
    bool installed_;
};

// Runs update-desktop-database on the folder where that tool exists.
void RefreshDesktopDatabase(const std::string& applicationsFolder);

}  // namespace zeblo
