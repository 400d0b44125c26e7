// zeblo-cli info: loads and measures each song with a silent module and prints what was found.
#pragma once

#include <ostream>
#include <span>

#include "cli/Cli.h"

namespace zeblo {

std::span<const CliOption> InfoOptions();

int RunInfo(const CliArgs& args, std::ostream& out, std::ostream& err);

}  // namespace zeblo
