#include "cli/Cli.h"

#include <array>
#include <iomanip>
#include <sstream>

namespace zeblo {

namespace {

constexpr std::string_view kProgram = "zeblo-cli";
constexpr std::array<int32_t, 3> kSampleRates = {48000, 44100, 22050};
constexpr int32_t kDefaultSampleRate = 44100;

const CliOption* FindOption(const CliCommand& command, std::string_view name) {
    for (const CliOption& option : command.options) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

const CliOption* FindShortOption(const CliCommand& command, std::string_view name) {
    for (const CliOption& option : command.options) {
        if (!option.shortName.empty() && option.shortName == name) return &option;
    }
    return nullptr;
}

bool IsShortOption(const std::string& word) {
    return word.size() == 2 && word[0] == '-' && word[1] != '-';
}

const CliCommand* FindCommand(std::string_view name) {
    for (const CliCommand& command : CliCommands()) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

bool IsHelp(std::string_view word) {
    return word == "--help" || word == "-h";
}

std::string Synopsis(const CliCommand& command) {
    std::ostringstream line;
    line << kProgram << " " << command.name;
    for (const CliOption& option : command.options) {
        line << " [" << option.name;
        if (!option.valueName.empty()) line << " " << option.valueName;
        line << "]";
    }
    if (!command.operands.empty()) line << " " << command.operands;
    return line.str();
}

void PrintOptions(const CliCommand& command, std::ostream& out) {
    for (const CliOption& option : command.options) {
        std::ostringstream left;
        if (!option.shortName.empty()) left << option.shortName << ", ";
        left << option.name;
        if (!option.valueName.empty()) left << " " << option.valueName;
        out << "    " << std::left << std::setw(22) << left.str() << " " << option.help << "\n";
    }
}

}  // namespace

std::string CliArgs::Get(std::string_view name, std::string_view fallback) const {
    const auto it = options.find(name);
    return it == options.end() ? std::string(fallback) : it->second;
}

bool ParseCliArgs(const CliCommand& command, std::span<const std::string> words, CliArgs& args,
                  std::string& error) {
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!optionsEnded && IsShortOption(word)) {
            const CliOption* option = FindShortOption(command, word);
            std::ostringstream message;
            if (option == nullptr) {
                message << "unknown option " << word << " for " << command.name;
                error = message.str();
                return false;
            }
            const std::string name(option->name);
            if (option->valueName.empty()) {
                args.options[name] = "";
            } else if (i + 1 < words.size()) {
                args.options[name] = words[++i];
            } else {
                message << word << " needs a value: " << option->valueName;
                error = message.str();
                return false;
            }
            continue;
        }
        if (optionsEnded || word.size() < 2 || word.compare(0, 2, "--") != 0) {
            args.positional.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const CliOption* option = FindOption(command, name);
        std::ostringstream message;
        if (option == nullptr) {
            message << "unknown option " << name << " for " << command.name;
            error = message.str();
            return false;
        }
        if (option->valueName.empty()) {
            if (equals != std::string::npos) {
                message << name << " takes no value";
                error = message.str();
                return false;
            }
            args.options[name] = "";
        } else if (equals != std::string::npos) {
            args.options[name] = word.substr(equals + 1);
        } else if (i + 1 < words.size()) {
            args.options[name] = words[++i];
        } else {
            message << name << " needs a value: " << option->valueName;
            error = message.str();
            return false;
        }
    }
    return true;
}

bool ParseSampleRate(const CliArgs& args, int32_t& rate, std::string& error) {
    rate = kDefaultSampleRate;
    if (!args.Has("--rate")) return true;
    const std::string text = args.Get("--rate");
    for (int32_t allowed : kSampleRates) {
        if (text == std::to_string(allowed)) {
            rate = allowed;
            return true;
        }
    }
    std::ostringstream message;
    message << "--rate must be 48000, 44100 or 22050, not '" << text << "'";
    error = message.str();
    return false;
}

void PrintCommandHelp(const CliCommand& command, std::ostream& out) {
    out << "usage: " << Synopsis(command) << "\n    " << command.summary << "\n";
    PrintOptions(command, out);
}

void PrintHelp(std::ostream& out) {
    out << "usage: " << kProgram << " COMMAND [OPTIONS] [OPERANDS]\n"
        << "       " << kProgram << " --help | COMMAND --help\n\n"
        << "ZEBLO, the MIDI-file player that is its own synthesizer, on the command line.\n\n"
        << "Commands:\n";
    for (const CliCommand& command : CliCommands()) {
        out << "  " << Synopsis(command) << "\n    " << command.summary << "\n";
        PrintOptions(command, out);
    }
    out << "\nExit status: 0 on success, " << kExitFailed << " when some input could not be used, "
        << kExitUsage << " for a wrong command line.\n";
}

int RunCli(std::span<const std::string> argv, std::ostream& out, std::ostream& err) {
    if (argv.size() < 2) {
        PrintHelp(err);
        return kExitUsage;
    }
    if (IsHelp(argv[1])) {
        PrintHelp(out);
        return kExitOk;
    }
    const CliCommand* command = FindCommand(argv[1]);
    if (command == nullptr) {
        err << kProgram << ": unknown command '" << argv[1] << "'; see " << kProgram << " --help\n";
        return kExitUsage;
    }
    const std::span<const std::string> words = argv.subspan(2);
    for (const std::string& word : words) {
        if (word == "--") break;
        if (IsHelp(word)) {
            PrintCommandHelp(*command, out);
            return kExitOk;
        }
    }
    CliArgs args;
    std::string error;
    if (!ParseCliArgs(*command, words, args, error)) {
        err << kProgram << ": " << error << "\n";
        return kExitUsage;
    }
    return command->run(args, out, err);
}

}  // namespace zeblo
