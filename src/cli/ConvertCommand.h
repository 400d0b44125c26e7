// zeblo-cli convert: an RCP, R36 or G36 song to a Standard MIDI File, with the converter the
// player loads as librcpcv.so.
#pragma once

#include <ostream>
#include <span>

#include "cli/Cli.h"

namespace zeblo {

std::span<const CliOption> ConvertOptions();

int RunConvert(const CliArgs& args, std::ostream& out, std::ostream& err);

}  // namespace zeblo
