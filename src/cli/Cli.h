// zeblo-cli: the command table, the one option table every subcommand draws from, and the
// dispatch.
//
// A subcommand is one CliCommand row in CliCommands.cpp and one function taking the parsed
// arguments; its options are rows of the option table, picked by name. Everything runs on the
// main thread.
#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/AudioFileSink.h"
#include "settings/SettingsRecord.h"

namespace zeblo {

// What the options of any subcommand set: the settings a run uses, then the run's own choices.
struct CliSettings {
    SettingsRecord record = DefaultSettings();
    bool fmEngine = false;
    std::string output;  // empty: each song's own WAV name
    bool once = false;
    bool quiet = false;
    bool smfTempo = false;    // songs without a tempo event start at 120 beats per minute
    double startSeconds = 0;  // play and render: where each song starts
    // Output encoding and machine-readable reports (render, info).
    std::optional<AudioFileFormat> format;  // none: the output name's extension, else WAV
    std::optional<double> quality;          // none: each encoder's own default
    bool json = false;
    // render: the span written and the channels heard.
    int32_t loops = 1;
    double fadeSeconds = 0;
    double tailSeconds = 0;
    double endSeconds = -1;     // below 0: the song's end
    uint32_t muteChannels = 0;  // bit c: the window's strip c + 1
    uint32_t soloChannels = 0;  // 0: no solo
    // render: batches.
    int32_t jobs = 0;  // 0: one per CPU
    int32_t shardIndex = 1;
    int32_t shardCount = 1;
    std::string outputDir;  // empty: beside each song
    bool skipExisting = false;

    // The channels a render mutes: the solo's complement, and the muted ones.
    uint32_t MutedChannels() const {
        return muteChannels | (soloChannels != 0 ? ~soloChannels : 0);
    }
};

struct CliOption {
    std::string_view name;       // with its dashes: "--rate"
    std::string_view shortName;  // "-r", or empty
    std::string_view valueName;  // empty for a flag without a value
    std::string_view help;
    std::string_view values;    // what a value may be, for the help and the messages; empty: any
    std::string_view fallback;  // what holds without the option, for the help; empty: not shown
    // Stores the value (empty for a flag) in the settings; false when it is not one of `values`.
    bool (*apply)(std::string_view value, CliSettings& settings);
};

struct CliArgs {
    std::vector<std::string> words;  // the whole command line, the program's name first
    std::map<std::string, std::string, std::less<>> options;  // by long name; flags map to ""
    std::vector<std::string> positional;
    CliSettings settings;  // the options applied to the defaults, filled in before a run

    bool Has(std::string_view name) const { return options.find(name) != options.end(); }
    std::string Get(std::string_view name, std::string_view fallback = {}) const;
};

struct CliCommand {
    std::string_view name;
    // As the usage line shows them: "SONG" is exactly one, "SONG..." one or more, "" none.
    std::string_view operands;
    std::string_view summary;
    std::span<const CliOption> options;
    int (*run)(const CliArgs& args, std::ostream& out, std::ostream& err);
};

// What a Standard MIDI File assumes before its first tempo event.
inline constexpr uint16_t kSmfTempoBpm = 120;

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the command ran; some input could not be used
inline constexpr int kExitUsage = 2;   // the command line itself is wrong

// The table of subcommands, in the order the help lists them.
std::span<const CliCommand> CliCommands();

// Rows of the option table, in the order given. An unknown name is a programming error: the
// program stops with a message.
std::vector<CliOption> CliOptionsNamed(std::initializer_list<std::string_view> names);

// Options may stand before, between or after the operands, as "--name value", "--name=value" or
// by a short name, "-r value", short ones bundled ("-qo FILE"); they are stored under the long
// name. "--" ends the options; a lone
// "-" is an operand or a value. False with a message for an unknown option or a missing value.
bool ParseCliArgs(const CliCommand& command, std::span<const std::string> words, CliArgs& args,
                  std::string& error);

// The given options applied to `settings` through the table; then, as the settings do, the
// low-pass filter is off outside 100 ... rate / 2. False with a message at the first bad value.
bool ApplyCliOptions(std::span<const CliOption> options, const CliArgs& args, CliSettings& settings,
                     std::string& error);

// One line for each option given that changes nothing in this combination.
std::vector<std::string> NoEffectWarnings(const CliArgs& args, const CliSettings& settings);

// "zeblo-cli: MESSAGE" on `err`; returns kExitUsage.
int UsageError(std::ostream& err, std::string_view message);

void PrintHelp(std::ostream& out);
void PrintCommandHelp(const CliCommand& command, std::ostream& out);

// The whole program: argv[0] is the program name. Returns the exit status.
int RunCli(std::span<const std::string> argv, std::ostream& out, std::ostream& err);

}  // namespace zeblo
