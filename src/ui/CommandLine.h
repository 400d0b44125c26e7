// The window program's own command-line conventions, settled before the toolkit, the settings or
// a running instance are touched: --help, --version, unknown options, --screens without a folder
// and the missing display all end the process here.
//
// Threads: the main thread, first thing in main().
#pragma once

#include <optional>
#include <ostream>

namespace zeblo {

inline constexpr int kExitUsageError = 2;

// What stands in for the environment: whether a display or a toolkit platform is set.
struct DisplayEnvironment {
    bool display = false;   // DISPLAY or WAYLAND_DISPLAY
    bool platform = false;  // QT_QPA_PLATFORM
    static DisplayEnvironment FromProcess();
};

// The exit status when the command line is answered here; nullopt when the window should start.
std::optional<int> HandleCommandLine(int argc, const char* const* argv,
                                     const DisplayEnvironment& environment, std::ostream& out,
                                     std::ostream& err);

}  // namespace zeblo
