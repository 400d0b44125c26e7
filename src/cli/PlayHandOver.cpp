// zeblo-cli's play and --list-devices: handed over to the sound program, which runs the same
// command line with the sound output linked in (CliModules.h). The sound program links
// PlayCommand.cpp in place of this file.
#include "cli/CliModules.h"
#include "cli/PlayCommand.h"

namespace zeblo {

int ListDevices(std::ostream& out, std::ostream& err) {
    const std::string words[] = {kSoundProgram, "--list-devices"};
    return HandOverToSoundProgram(words, out, err);
}

int RunPlay(const CliArgs& args, std::ostream& out, std::ostream& err) {
    return HandOverToSoundProgram(args.words, out, err);
}

}  // namespace zeblo
