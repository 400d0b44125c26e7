// zeblo-cli: the command table, the shared option parsing and the dispatch.
//
// A subcommand is one CliCommand row in CliCommands.cpp and one function taking the parsed
// arguments. Everything runs on the main thread.
#pragma once

#include <map>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zeblo {

struct CliOption {
    std::string_view name;       // with its dashes: "--rate"
    std::string_view valueName;  // empty for a flag without a value
    std::string_view help;
    std::string_view shortName = {};  // "-r", or empty
};

struct CliArgs {
    std::map<std::string, std::string, std::less<>> options;  // flags map to ""
    std::vector<std::string> positional;

    bool Has(std::string_view name) const { return options.find(name) != options.end(); }
    std::string Get(std::string_view name, std::string_view fallback = {}) const;
};

struct CliCommand {
    std::string_view name;
    std::string_view operands;  // as shown in the usage line: "SONG..."
    std::string_view summary;
    std::span<const CliOption> options;
    int (*run)(const CliArgs& args, std::ostream& out, std::ostream& err);
};

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the command ran; some input could not be used
inline constexpr int kExitUsage = 2;   // the command line itself is wrong

// The table of subcommands, in the order the help lists them.
std::span<const CliCommand> CliCommands();

// Options may stand before, between or after the operands, as "--name value", "--name=value" or
// by a short name, "-r value"; they are stored under the long name. "--" ends the options; a lone
// "-" is an operand or a value. False with a message for an unknown option or a missing value.
bool ParseCliArgs(const CliCommand& command, std::span<const std::string> words, CliArgs& args,
                  std::string& error);

// The sample rate of --rate: 48000, 44100 or 22050; 44100 when absent. False with a message.
bool ParseSampleRate(const CliArgs& args, int32_t& rate, std::string& error);

void PrintHelp(std::ostream& out);
void PrintCommandHelp(const CliCommand& command, std::ostream& out);

// The whole program: argv[0] is the program name. Returns the exit status.
int RunCli(std::span<const std::string> argv, std::ostream& out, std::ostream& err);

}  // namespace zeblo
