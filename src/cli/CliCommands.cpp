// The subcommands of zeblo-cli. A new one is a row here and a Run function of its own.
#include <array>

#include "cli/Cli.h"
#include "cli/InfoCommand.h"

namespace zeblo {

std::span<const CliCommand> CliCommands() {
    static const std::array<CliCommand, 1> commands = {{
        {"info", "SONG...",
         "Loads and measures each song; prints its title, tracks, division and length.",
         InfoOptions(), RunInfo},
    }};
    return commands;
}

}  // namespace zeblo
