// The subcommands of zeblo-cli. A new one is a row here and a Run function of its own.
#include <array>

#include "cli/Cli.h"
#include "cli/ConvertCommand.h"
#include "cli/InfoCommand.h"
#include "cli/PlayCommand.h"
#include "cli/RenderCommand.h"

namespace zeblo {

std::span<const CliCommand> CliCommands() {
    static const std::array<CliCommand, 4> commands = {{
        {"convert", "SONG",
         "Converts an RCP, R36 or G36 song to a Standard MIDI File, as the player does before "
         "playing it.",
         ConvertOptions(), RunConvert},
        {"info", "SONG...",
         "Loads and measures each song; prints its title, tracks, division and length.",
         InfoOptions(), RunInfo},
        {"play", "SONG",
         "Plays the song through the sound output in real time, as the player window does.",
         PlayOptions(), RunPlay},
        {"render", "SONG...",
         "Renders each song to a WAV file beside it (SONG with its last three characters "
         "replaced by WAV), as the player's Author button does.",
         RenderOptions(), RunRender},
    }};
    return commands;
}

}  // namespace zeblo
