#include "cli/ConvertCommand.h"

#include <algorithm>
#include <array>
#include <fstream>

#include "rcp/RcpToSmf.h"

namespace zeblo {

namespace {

// Its own --output row: the file written here is a MIDI file, not a WAV file.
const std::array<CliOption, 1> kOptions = {{
    {"--output", "-o", "PATH", "the MIDI file; - for standard output", "", "SONG ending in mid",
     [](std::string_view value, CliSettings& settings) {
         settings.output = std::string(value);
         return !value.empty();
     }},
}};

constexpr char kStandardOutput[] = "-";
constexpr std::size_t kSuffixChars = 3;

std::string DefaultOutput(const std::string& song) {
    return song.substr(0, song.size() - std::min(song.size(), kSuffixChars)) + "mid";
}

}  // namespace

std::span<const CliOption> ConvertOptions() {
    return kOptions;
}

int RunConvert(const CliArgs& args, std::ostream& out, std::ostream& err) {
    const std::string& song = args.positional.front();
    const std::string output =
        args.settings.output.empty() ? DefaultOutput(song) : args.settings.output;
    rcp::RcpToSmf converter;
    if (!converter.ConvertFile(song)) {
        err << song << ": " << converter.error << "\n";
        return kExitFailed;
    }
    const auto* bytes = reinterpret_cast<const char*>(converter.smf.data());
    const auto size = static_cast<std::streamsize>(converter.smf.size());
    const bool toStdout = output == kStandardOutput;
    if (toStdout) {
        out.write(bytes, size);
        out.flush();
    } else {
        std::ofstream file(output, std::ios::binary | std::ios::trunc);
        file.write(bytes, size);
        file.close();
        if (!file) {
            err << output << ": cannot be written\n";
            return kExitFailed;
        }
    }
    // Standard output may carry the file itself.
    (toStdout ? err : out) << (toStdout ? std::string("(standard output)") : output) << ": "
                           << converter.tracks << " tracks, " << converter.skippedCommands
                           << " commands skipped\n";
    return kExitOk;
}

}  // namespace zeblo
