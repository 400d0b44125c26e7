// The subcommands of zeblo-cli. A new one is a row here, its options picked from the option
// table, and a Run function of its own.
#include <array>

#include "cli/Cli.h"
#include "cli/ConvertCommand.h"
#include "cli/InfoCommand.h"
#include "cli/PlayCommand.h"
#include "cli/RenderCommand.h"

namespace zeblo {

namespace {

std::span<const CliOption> InfoOptions() {
    static const std::vector<CliOption> options =
        CliOptionsNamed({"--rate", "--smf-tempo", "--json"});
    return options;
}

std::span<const CliOption> RenderOptions() {
    static const std::vector<CliOption> options =
        CliOptionsNamed({"--engine", "--rate", "--instrument-set", "--no-detune", "--mono",
                         "--lowpass", "--smf-tempo", "--output", "--quiet",
                         // Encodings and reports.
                         "--format", "--quality", "--json",
                         // Spans, channels and batches.
                         "--loops", "--fade", "--tail", "--start", "--end", "--mute", "--solo",
                         "--jobs", "--shard", "--output-dir", "--skip-existing"});
    return options;
}

}  // namespace

std::span<const CliOption> PlayOptions() {
    static const std::vector<CliOption> options =
        CliOptionsNamed({"--engine", "--rate", "--instrument-set", "--no-detune", "--mono",
                         "--lowpass", "--blocks", "--block-length", "--device", "--list-devices",
                         "--smf-tempo", "--once", "--shuffle", "--repeat", "--start", "--quiet"});
    return options;
}

bool PlaySettingsFromArgs(const CliArgs& args, SettingsRecord& record, bool& fmEngine,
                          std::string& error) {
    CliSettings settings;
    if (!ApplyCliOptions(PlayOptions(), args, settings, error)) return false;
    record = settings.record;
    fmEngine = settings.fmEngine;
    return true;
}

std::span<const CliCommand> CliCommands() {
    static const std::array<CliCommand, 4> commands = {{
        {"convert", "SONG",
         "Converts an RCP, R36 or G36 song to a Standard MIDI File, as the player does before "
         "playing it.",
         ConvertOptions(), RunConvert},
        {"info", "SONG...",
         "Loads and measures each song; prints its title, tracks, division and length.",
         InfoOptions(), RunInfo},
        {"play", "SONG...",
         "Plays the songs through the sound output in real time, as the player window does; one "
         "song loops, a list plays in order. Keys: space pause, Left/Right 10 s, n/p next or "
         "previous song, f fast forward, q quit.",
         PlayOptions(), RunPlay},
        {"render", "SONG...",
         "Renders each song to a WAV file beside it (SONG with its extension replaced by WAV, "
         "or .WAV appended), as the player's Author button does; or to FLAC, Ogg Vorbis, Opus "
         "or MP3 (song.flac, song.ogg, song.opus, song.mp3) by --format or the output name.",
         RenderOptions(), RunRender},
    }};
    return commands;
}

}  // namespace zeblo
