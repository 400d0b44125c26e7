// Where an installed copy of the program finds its own files, relative to its executable.
//
// Threads: any; reads the file system only.
#pragma once

#include <string>
#include <string_view>

namespace zeblo {

inline constexpr char kApplicationId[] = "org.zeblo.Zeblo";
inline constexpr char kInstalledDesktopEntryName[] = "org.zeblo.Zeblo.desktop";

// The desktop entry installed with the program at `executablePath`, or empty when there is none:
// a build tree or a portable copy.
std::string InstalledDesktopEntry(std::string_view executablePath);

}  // namespace zeblo
