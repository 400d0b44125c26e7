#include "ui/CommandLine.h"

#include <array>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ui/AboutDialog.h"

namespace zeblo {
namespace {

constexpr char kProgram[] = "zeblo";

constexpr char kUsage[] =
    "usage: zeblo [OPTION]... [SONG]...\n"
    "Plays a Standard MIDI File (.mid) or an RCP-family song (.rcp, .r36, .g36) in the player\n"
    "window. Of several songs the first one plays and the others are ignored. When a player is\n"
    "already running, it plays the song and no second window opens.\n"
    "\n"
    "  -h, --help       print this help and exit\n"
    "  --version        print the program name and version and exit\n"
    "  --screens DIR    write pictures of the window in its states into DIR (needs no display)\n"
    "  --               end of options: every argument after it is a song\n"
    "\n"
    "Keys in the window:\n"
    "  Space            play, pause or resume\n"
    "  S, Escape        stop (Escape during authoring: offer to cancel it)\n"
    "  F                the next fast forward speed\n"
    "  Left, Right      seek 5 seconds back or ahead\n"
    "  Ctrl+O           open a song (the right mouse button offers recent songs too)\n"
    "  Ctrl+E           switch the sound module\n"
    "  Ctrl+,           preferences\n"
    "  Ctrl+Q           quit\n"
    "The desktop's media keys and media controls (MPRIS) drive the player as well.\n"
    "\n"
    "The toolkit's own options (-platform NAME, -style NAME, ...) are accepted too.\n"
    "Songs render to WAV files and play in a terminal with zeblo-cli.\n"
    "Exit status: 0 on success, 1 on failure, 2 for a wrong command line.\n";

// The toolkit reads these from the command line itself; the first group takes the next argument.
constexpr std::array<std::string_view, 14> kToolkitOptionsWithValue{
    "platform",        "platformpluginpath",
    "platformtheme",   "plugin",
    "qwindowgeometry", "qwindowicon",
    "qwindowtitle",    "style",
    "stylesheet",      "session",
    "display",         "name",
    "title",           "geometry"};
constexpr std::array<std::string_view, 6> kToolkitFlags{"reverse", "widgetcount", "nograb",
                                                        "dograb",  "sync",        "qmljsdebugger"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::string_view n : names)
        if (n == name) return true;
    return false;
}

// The option's name without its dashes and without an "=value" part.
std::string_view BareName(std::string_view option) {
    option.remove_prefix(option.starts_with("--") ? 2 : 1);
    return option.substr(0, option.find('='));
}

int UsageError(std::ostream& err, std::string_view what) {
    err << kProgram << ": " << what << "\n"
        << "Try '" << kProgram << " --help' for more information.\n";
    return kExitUsageError;
}

}  // namespace

DisplayEnvironment DisplayEnvironment::FromProcess() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && value[0] != '\0';
    };
    return {set("DISPLAY") || set("WAYLAND_DISPLAY"), set("QT_QPA_PLATFORM")};
}

std::optional<int> HandleCommandLine(int argc, const char* const* argv,
                                     const DisplayEnvironment& environment, std::ostream& out,
                                     std::ostream& err) {
    bool platformArgument = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (arg == "--") break;
        if (arg.size() < 2 || arg.front() != '-') continue;
        if (arg == "--help" || arg == "-h") {
            out << kUsage;
            return 0;
        }
        if (arg == "--version") {
            out << kProgram << " " << ZEBLO_VERSION << " (" << kVersionText << ")\n";
            return 0;
        }
        if (arg == "--screens") {
            if (i != 1 || argc < 3 || argv[2][0] == '\0')
                return UsageError(err, "--screens takes a folder and comes first");
            // The pictures are drawn off screen, whatever else the command line holds.
            return std::nullopt;
        }
        const std::string_view name = BareName(arg);
        if (Contains(kToolkitOptionsWithValue, name)) {
            if (name == "platform") platformArgument = true;
            if (arg.find('=') == std::string_view::npos) {
                if (i + 1 >= argc)
                    return UsageError(err, "option '" + std::string(arg) + "' needs a value");
                ++i;
            }
            continue;
        }
        if (Contains(kToolkitFlags, name)) continue;
        return UsageError(err, "unknown option '" + std::string(arg) + "'");
    }
    if (!environment.display && !environment.platform && !platformArgument) {
        err << kProgram
            << ": no display to open (DISPLAY and WAYLAND_DISPLAY are unset).\n"
               "zeblo-cli plays songs and renders them to WAV files without one.\n";
        return 1;
    }
    return std::nullopt;
}

}  // namespace zeblo
