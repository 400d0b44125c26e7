// zeblo-cli info: loads and measures each song with a silent module and prints what was found.
#pragma once

#include <ostream>

#include "cli/Cli.h"

namespace zeblo {

int RunInfo(const CliArgs& args, std::ostream& out, std::ostream& err);

}  // namespace zeblo
