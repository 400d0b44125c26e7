#include "cli/Cli.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <limits>
#include <sstream>

#include "cli/PlayCommand.h"
#include "settings/Settings.h"
#include "settings/SettingsLimits.h"

namespace zeblo {

namespace {

constexpr std::string_view kProgram = "zeblo-cli";

bool ParseWhole(std::string_view text, int32_t& value) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && at == end;
}

template <std::size_t N>
bool StoreOneOf(std::string_view text, const std::array<int32_t, N>& allowed, int32_t& field) {
    int32_t value = 0;
    if (!ParseWhole(text, value) ||
        std::find(allowed.begin(), allowed.end(), value) == allowed.end())
        return false;
    field = value;
    return true;
}

bool StoreWithin(std::string_view text, int32_t low, int32_t high, int32_t& field) {
    int32_t value = 0;
    if (!ParseWhole(text, value) || value < low || value > high) return false;
    field = value;
    return true;
}

bool SameWord(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// "90", "1:30.5" or "1:02:03.25" in seconds: hours and minutes whole, only the last part with
// decimals, and a part after a colon under 60. False when it is none of these.
bool ParseClock(std::string_view text, double& seconds) {
    seconds = 0;
    for (int parts = 0; parts < 3; ++parts) {
        const std::size_t colon = text.find(':');
        const bool last = colon == std::string_view::npos;
        const std::string_view part = text.substr(0, colon);
        double value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || error != std::errc() || end != part.data() + part.size() ||
            !std::isfinite(value) || value < 0 || (!last && part.find('.') != part.npos) ||
            (parts > 0 && value >= 60))
            return false;
        seconds = seconds * 60 + value;
        if (last) return true;
        text = text.substr(colon + 1);
    }
    return false;
}

bool StoreSeconds(std::string_view text, double high, double& field) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !(value >= 0 && value <= high))
        return false;
    field = value;
    return true;
}

// "10", "1-3,17": channels as the window numbers its strips, 1 to 32, as bits 0 to 31.
bool StoreChannels(std::string_view text, uint32_t& field) {
    uint32_t mask = 0;
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const std::size_t dash = item.find('-');
        int32_t low = 0, high = 0;
        if (!ParseWhole(item.substr(0, dash), low) ||
            !ParseWhole(dash == item.npos ? item : item.substr(dash + 1), high) || low < 1 ||
            high < low || high > 32)
            return false;
        for (int32_t c = low; c <= high; ++c) mask |= 1u << (c - 1);
        if (comma == text.npos) break;
        text = text.substr(comma + 1);
    }
    field = mask;
    return true;
}

// "K/N" with 1 <= K <= N.
bool StoreShard(std::string_view text, int32_t& index, int32_t& count) {
    const std::size_t slash = text.find('/');
    int32_t k = 0, n = 0;
    if (slash == text.npos || !ParseWhole(text.substr(0, slash), k) ||
        !ParseWhole(text.substr(slash + 1), n) || k < 1 || k > n)
        return false;
    index = k;
    count = n;
    return true;
}

using Text = std::string_view;
using Set = CliSettings;
constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();

// A flag that only switches its field on.
template <bool CliSettings::*kField>
bool SwitchOn(Text, Set& s) {
    s.*kField = true;
    return true;
}

// Every option of every subcommand. One meaning per name, whichever command offers it.
constexpr CliOption kOptionTable[] = {
    {"--engine", "", "NAME", "sound module", "wavetable or fm", "wavetable",
     [](Text v, Set& s) {
         s.fmEngine = SameWord(v, "fm");
         return s.fmEngine || SameWord(v, "wavetable");
     }},
    {"--rate", "-r", "HZ", "output sample rate", "48000, 44100 or 22050", "44100",
     [](Text v, Set& s) { return StoreOneOf(v, kOutputFrequencies, s.record.outputFrequency); }},
    {"--instrument-set", "", "N", "wavetable instrument set", "0 .. 7", "0",
     [](Text v, Set& s) {
         return StoreWithin(v, 0, kInstrumentSetCount - 1, s.record.instrumentSet);
     }},
    {"--no-detune", "", "", "switch the automatic detune off", "", "",
     [](Text, Set& s) {
         s.record.autoDetune = 0;
         return true;
     }},
    {"--mono", "", "", "fold the wavetable mix down to mono", "", "",
     [](Text, Set& s) {
         s.record.monauralOutput = 1;
         return true;
     }},
    {"--lowpass", "", "HZ", "low-pass cut-off, off outside 100 .. rate / 2", "a frequency in hertz",
     "off",
     [](Text v, Set& s) {
         s.record.lowPassEnabled = 1;
         return StoreWithin(v, 1, kMaxInt, s.record.lowPassCutoff);
     }},
    {"--blocks", "", "N", "output blocks in the ring", "5, 10, 15, 20, 25 or 30", "10",
     [](Text v, Set& s) { return StoreOneOf(v, kBlockCounts, s.record.blockCount); }},
    {"--block-length", "", "TENTHS", "one block in tenths of a second", "1, 2, 5, 10, 20, 30 or 60",
     "20", [](Text v, Set& s) { return StoreOneOf(v, kBlockLengths, s.record.blockLength); }},
    {"--device", "", "N", "output device; --list-devices numbers them", "0 or more",
     "0, the system's default",
     [](Text v, Set& s) {
         // Entry 0 of the device list is the system's default, -1 in the settings.
         if (!StoreWithin(v, 0, kMaxInt, s.record.outputDevice)) return false;
         --s.record.outputDevice;
         return true;
     }},
    {"--output", "-o", "PATH", "the output file, one SONG only; - writes it to standard output", "",
     "",
     [](Text v, Set& s) {
         s.output = std::string(v);
         return !v.empty();
     }},
    {"--format", "", "NAME", "output format; without it the output name's extension decides",
     "wav, flac, ogg, opus or mp3", "wav",
     [](Text v, Set& s) { return (s.format = AudioFileFormatNamed(v)).has_value(); }},
    {"--quality", "", "Q", "quality of ogg, opus and mp3, 0 smallest .. 10 best",
     "0 .. 10, decimals allowed", "the encoder's own",
     [](Text v, Set& s) {
         double value = -1;
         const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), value);
         if (v.empty() || error != std::errc() || end != v.data() + v.size() || !(value >= 0) ||
             value > 10)
             return false;
         s.quality = value;
         return true;
     }},
    {"--json", "", "", "one JSON object per song on standard output instead of the text", "", "",
     SwitchOn<&Set::json>},
    {"--smf-tempo", "", "", "start at 120 beats per minute, as other players do, not 180", "", "",
     SwitchOn<&Set::smfTempo>},
    {"--shuffle", "", "", "play the songs in a random order", "", "",
     [](Text, Set&) { return true; }},
    {"--repeat", "", "", "play the list again when it ends", "", "",
     [](Text, Set&) { return true; }},
    {"--start", "", "TIME", "start each song at TIME", "seconds, M:SS or H:MM:SS", "0",
     [](Text v, Set& s) { return ParseClock(v, s.startSeconds); }},
    // Spans, channels and batches of render.
    {"--end", "", "TIME", "end each render at TIME of the song", "seconds, M:SS or H:MM:SS",
     "the song's end", [](Text v, Set& s) { return ParseClock(v, s.endSeconds); }},
    {"--loops", "", "N", "play the song N times in a row, as the window's loop restarts it",
     "1 .. 1000", "1", [](Text v, Set& s) { return StoreWithin(v, 1, 1000, s.loops); }},
    {"--fade", "", "SECONDS", "fade the last SECONDS written out to silence along a raised cosine",
     "0 .. 600", "0", [](Text v, Set& s) { return StoreSeconds(v, 600, s.fadeSeconds); }},
    {"--tail", "", "SECONDS", "keep rendering SECONDS after the song's end, so releases ring out",
     "0 .. 600", "0", [](Text v, Set& s) { return StoreSeconds(v, 600, s.tailSeconds); }},
    {"--mute", "", "LIST", "mute channels numbered as the window's strips, 17-32 on port B",
     "channels 1 .. 32, as 1-3,17", "",
     [](Text v, Set& s) { return StoreChannels(v, s.muteChannels); }},
    {"--solo", "", "LIST", "mute every channel but these", "channels 1 .. 32, as 10 or 1-3,17", "",
     [](Text v, Set& s) { return StoreChannels(v, s.soloChannels); }},
    {"--jobs", "-j", "N", "render N songs at once", "1 .. 1024", "one per CPU",
     [](Text v, Set& s) { return StoreWithin(v, 1, 1024, s.jobs); }},
    {"--shard", "", "K/N", "render only the songs at positions K, K+N, K+2N ... of the list",
     "K/N with 1 <= K <= N", "1/1",
     [](Text v, Set& s) { return StoreShard(v, s.shardIndex, s.shardCount); }},
    {"--output-dir", "", "DIR",
     "write the files into DIR (made when missing), not beside the songs", "", "",
     [](Text v, Set& s) {
         s.outputDir = std::string(v);
         return !v.empty();
     }},
    {"--skip-existing", "", "", "leave a song alone when its output file exists", "", "",
     SwitchOn<&Set::skipExisting>},
    {"--list-devices", "", "", "list the output devices and end", "", "",
     [](Text, Set&) { return true; }},
    {"--once", "", "", "play the song once and end, instead of looping", "", "",
     SwitchOn<&Set::once>},
    {"--quiet", "-q", "", "no progress, status or summary line", "", "", SwitchOn<&Set::quiet>},
};

const CliOption* FindOption(const CliCommand& command, std::string_view name) {
    for (const CliOption& option : command.options) {
        if (option.name == name || (!option.shortName.empty() && option.shortName == name))
            return &option;
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

constexpr std::size_t kHelpWidth = 80;
constexpr std::size_t kHelpColumn = 27;  // where an option's description starts

// `text` after `lead` (already `column` wide), broken at spaces so no line passes 80 columns;
// continuation lines start at `column`.
void PrintWrapped(std::ostream& out, std::string_view lead, std::size_t column,
                  std::string_view text) {
    std::string line(lead);
    line.resize(std::max(line.size(), column), ' ');
    std::size_t used = line.size();
    bool first = true;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        if (!first && used + 1 + word.size() > kHelpWidth) {
            out << line << "\n";
            line.assign(column, ' ');
            used = column;
            first = true;
        }
        if (!first) line += ' ';
        line += word;
        used = line.size();
        first = false;
        text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    }
    out << line << "\n";
}

std::string Synopsis(const CliCommand& command) {
    std::string line = std::string(kProgram) + " " + std::string(command.name);
    if (!command.options.empty()) line += " [OPTIONS]";
    if (!command.operands.empty()) line += " " + std::string(command.operands);
    return line;
}

void PrintOptions(const CliCommand& command, std::ostream& out) {
    for (const CliOption& option : command.options) {
        std::ostringstream left, right;
        left << "    ";
        if (!option.shortName.empty()) left << option.shortName << ", ";
        left << option.name;
        if (!option.valueName.empty()) left << " " << option.valueName;
        right << option.help;
        if (!option.values.empty() || !option.fallback.empty()) right << " (";
        right << option.values;
        if (!option.values.empty() && !option.fallback.empty()) right << "; ";
        if (!option.fallback.empty()) right << "default " << option.fallback;
        if (!option.values.empty() || !option.fallback.empty()) right << ")";
        std::string lead = left.str() + " ";
        if (lead.size() > kHelpColumn) {
            out << left.str() << "\n";
            lead.clear();
        }
        PrintWrapped(out, lead, kHelpColumn, right.str());
    }
}

// The operand count the usage line promises, or a message.
bool CheckOperands(const CliCommand& command, const CliArgs& args, std::string& error) {
    const std::size_t count = args.positional.size();
    const std::string_view operands = command.operands;
    if (operands.empty() && count > 0) {
        error = std::string(command.name) + " takes no operands";
    } else if (operands.ends_with("...") && count == 0) {
        error = std::string(command.name) + " needs at least one " +
                std::string(operands.substr(0, operands.size() - 3));
    } else if (!operands.empty() && !operands.ends_with("...") && count != 1) {
        error = std::string(command.name) + " needs exactly one " + std::string(operands);
    }
    return error.empty();
}

}  // namespace

std::string CliArgs::Get(std::string_view name, std::string_view fallback) const {
    const auto it = options.find(name);
    return it == options.end() ? std::string(fallback) : it->second;
}

std::vector<std::string> NoEffectWarnings(const CliArgs& args, const CliSettings& settings) {
    std::vector<std::string> warnings;
    if (settings.fmEngine) {
        for (const char* name : {"--mono", "--lowpass", "--instrument-set", "--no-detune"}) {
            if (args.Has(name))
                warnings.push_back(std::string(name) + " has no effect with the fm engine");
        }
    }
    if (settings.fmEngine && ((settings.muteChannels | settings.soloChannels) >> 16) != 0) {
        warnings.push_back(
            "with the fm engine a mute covers a channel on both ports; strips 17-32 mute nothing");
    }
    if (args.Has("--lowpass") && !settings.fmEngine && settings.record.lowPassEnabled == 0) {
        warnings.push_back("--lowpass " + args.Get("--lowpass") +
                           " is outside 100 .. rate / 2; the filter stays off");
    }
    return warnings;
}

std::vector<CliOption> CliOptionsNamed(std::initializer_list<std::string_view> names) {
    std::vector<CliOption> picked;
    for (std::string_view name : names) {
        const auto* row = std::find_if(std::begin(kOptionTable), std::end(kOptionTable),
                                       [name](const CliOption& o) { return o.name == name; });
        if (row == std::end(kOptionTable)) {
            std::fprintf(stderr, "zeblo-cli: no option %.*s in the table\n",
                         static_cast<int>(name.size()), name.data());
            std::abort();
        }
        picked.push_back(*row);
    }
    return picked;
}

namespace {

// "-qo FILE" is "-q -o FILE" and "-ofile" is "-o file": bundled short options split apart, the
// rest of the word the value of the first one that takes a value.
std::vector<std::string> SplitBundles(const CliCommand& command,
                                      std::span<const std::string> words) {
    std::vector<std::string> split;
    bool optionsEnded = false;
    for (const std::string& word : words) {
        optionsEnded = optionsEnded || word == "--";
        if (optionsEnded || word.size() <= 2 || word[0] != '-' || word[1] == '-') {
            split.push_back(word);
            continue;
        }
        for (std::size_t i = 1; i < word.size(); ++i) {
            split.push_back(std::string("-") + word[i]);
            const CliOption* option = FindOption(command, split.back());
            if (option != nullptr && !option->valueName.empty() && i + 1 < word.size()) {
                split.push_back(word.substr(i + 1));
                break;
            }
        }
    }
    return split;
}

}  // namespace

bool ParseCliArgs(const CliCommand& command, std::span<const std::string> given, CliArgs& args,
                  std::string& error) {
    const std::vector<std::string> words = SplitBundles(command, given);
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const bool isShort = !optionsEnded && IsShortOption(word);
        const bool isLong = !optionsEnded && word.size() > 2 && word.starts_with("--");
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
            continue;
        }
        if (!isShort && !isLong) {
            args.positional.push_back(word);
            continue;
        }
        const size_t equals = isLong ? word.find('=') : std::string::npos;
        const std::string name = word.substr(0, equals);
        const CliOption* option = FindOption(command, name);
        if (option == nullptr) {
            error = "unknown option " + name + " for " + std::string(command.name);
            return false;
        }
        std::string& value = args.options[std::string(option->name)];
        if (option->valueName.empty()) {
            if (equals == std::string::npos) continue;
            error = name + " takes no value";
            return false;
        }
        if (equals != std::string::npos) {
            value = word.substr(equals + 1);
        } else if (i + 1 < words.size()) {
            value = words[++i];
        } else {
            error = name + " needs a value: " + std::string(option->valueName);
            return false;
        }
    }
    return true;
}

bool ApplyCliOptions(std::span<const CliOption> options, const CliArgs& args, CliSettings& settings,
                     std::string& error) {
    for (const CliOption& option : options) {
        const auto given = args.options.find(option.name);
        if (given == args.options.end() || option.apply(given->second, settings)) continue;
        error = std::string(option.name);
        if (option.values.empty()) {
            error += " needs a value: " + std::string(option.valueName);
        } else {
            error += " must be " + std::string(option.values) + ", not '" + given->second + "'";
        }
        return false;
    }
    CheckLowPass(settings.record);
    return true;
}

int UsageError(std::ostream& err, std::string_view message) {
    err << kProgram << ": " << message << "\n";
    return kExitUsage;
}

void PrintCommandHelp(const CliCommand& command, std::ostream& out) {
    out << "usage: " << Synopsis(command) << "\n";
    PrintWrapped(out, "    ", 4, command.summary);
    PrintOptions(command, out);
}

void PrintHelp(std::ostream& out) {
    out << "usage: " << kProgram << " COMMAND [OPTIONS] [OPERANDS]\n"
        << "       " << kProgram << " --help | --version | COMMAND --help\n\n"
        << "ZEBLO, the MIDI-file player that is its own synthesizer, on the command line.\n"
        << "Options go anywhere and take their values in any case; short ones bundle\n"
        << "(-qo FILE); -- ends them.\n\n"
        << "Commands:\n";
    for (const CliCommand& command : CliCommands()) {
        out << "  " << Synopsis(command) << "\n";
        PrintWrapped(out, "    ", 4, command.summary);
        PrintOptions(command, out);
    }
    out << "\n  " << kProgram << " --list-devices\n    Lists the sound output devices with the "
        << "numbers --device takes.\n";
    out << "\n";
    PrintWrapped(out, "", 0,
                 "Exit status: 0 on success, " + std::to_string(kExitFailed) +
                     " when some input could not be used, " + std::to_string(kExitUsage) +
                     " for a wrong command line.");
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
    if (argv[1] == "--list-devices") return ListDevices(out, err);
    if (argv[1] == "--version") {
        out << kProgram << " " << ZEBLO_VERSION_TEXT << "\n";
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
    args.words.assign(argv.begin(), argv.end());
    std::string error;
    if (!ParseCliArgs(*command, words, args, error) ||
        !ApplyCliOptions(command->options, args, args.settings, error)) {
        return UsageError(err, error);
    }
    if (args.Has("--list-devices")) return ListDevices(out, err);
    if (!CheckOperands(*command, args, error)) return UsageError(err, error);
    for (const std::string& warning : NoEffectWarnings(args, args.settings))
        err << kProgram << ": warning: " << warning << "\n";
    return command->run(args, out, err);
}

}  // namespace zeblo
