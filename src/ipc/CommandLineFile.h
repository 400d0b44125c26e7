// The file named on the command line, as both the first and a later instance read it.
//
// Threads: the main thread at start-up.
#pragma once

#include <string>

namespace zeblo {

struct CommandLineFile {
    bool play = false;  // false: the argument is a launcher, which is not played
    std::string path;   // absolute, or empty when no file was named
};

// The first argument that is not an option (options of the toolkit that take a value skip that
// value as well). A relative name is made absolute here, because a running instance that
// receives it has its own working folder.
CommandLineFile GetCommandLineFile(int argc, const char* const* argv);

// A desktop launcher (a file whose first group is [Desktop Entry]) stands for a shortcut.
bool IsDesktopLauncher(const std::string& path);

}  // namespace zeblo
