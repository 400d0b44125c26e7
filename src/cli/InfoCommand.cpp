#include "cli/InfoCommand.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/Json.h"
#include "cli/PlayStatus.h"
#include "midi/RcpConverter.h"
#include "midi/RmidFile.h"
#include "midi/Sequencer.h"
#include "midi/SongProblem.h"
#include "modules/SoundModule.h"
#include "rcp/RcpToSmf.h"
#include "settings/EngineParameters.h"

namespace zeblo {

namespace {

const std::string kUnknownFile = "Unknown files. can't playing.";

// The title's bytes as they stand in the file, two lower-case hex digits each.
std::string Hex(const char* text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char* c = text; *c != 0; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

// A song that could not be measured: its messages, one line each, "; " between them.
std::string InfoFailureJson(const std::string& path, const std::string& failure) {
    std::string message;
    for (char c : failure) message += c == '\n' ? std::string("; ") : std::string(1, c);
    return JsonObject().Add("song", path).Add("status", "failed").Add("message", message).Text();
}

}  // namespace

int RunInfo(const CliArgs& args, std::ostream& out, std::ostream& err) {
    EngineParameters parameters;
    parameters.sampleRate = args.settings.record.outputFrequency;
    if (args.settings.smfTempo) parameters.initialTempoBpm = kSmfTempoBpm;
    SilentModule module;
    Sequencer sequencer(parameters);
    sequencer.SetModule(&module);
    int status = kExitOk;
    const bool json = args.settings.json;
    for (const std::string& path : args.positional) {
        uint64_t samples = 0;
        uint64_t ticks = 0;
        // RCP-family songs are measured as the MIDI file they convert to.
        rcp::RcpToSmf converter;
        std::string failure;
        if (IsRcpFamilyPath(path) && !converter.ConvertFile(path)) {
            failure = converter.error;
        } else if (!(IsRcpFamilyPath(path) ? sequencer.LoadImage(converter.smf)
                                           : LoadSongFile(sequencer, path)) ||
                   !sequencer.Measure(&samples, &ticks) || samples == 0) {
            const std::string reason = DescribeSongProblem(path);
            failure = kUnknownFile + (reason.empty() ? "" : "\n" + reason);
        }
        if (!failure.empty()) {
            status = kExitFailed;
            for (std::size_t at = 0; at < failure.size();) {
                const std::size_t end = std::min(failure.find('\n', at), failure.size());
                err << path << ": " << failure.substr(at, end - at) << "\n";
                at = end + 1;
            }
            if (json) out << InfoFailureJson(path, failure) << "\n";
            continue;
        }
        const char* title = sequencer.SongTitle();
        const double seconds = static_cast<double>(samples) / parameters.sampleRate;
        if (json) {
            out << JsonObject()
                       .Add("song", path)
                       .Add("status", "ok")
                       .Add("title", TitleForTerminal(title))
                       .Add("title_hex", Hex(title))
                       .Add("seconds", seconds, 3)
                       .Add("samples", samples)
                       .Add("ticks", ticks)
                       .Add("tracks", uint64_t{sequencer.Header().trackCount})
                       .Add("division", uint64_t{sequencer.Header().division})
                       .Add("format", uint64_t{sequencer.Header().format})
                       .Text()
                << "\n";
            continue;
        }
        char secondsText[32];
        std::snprintf(secondsText, sizeof secondsText, "%.3f", seconds);
        out << "file: " << path << "\n";
        // Decoded as the window shows it, so the output stays text for grep and friends.
        out << "title: " << TitleForTerminal(title) << "\n";
        out << "tracks: " << sequencer.Header().trackCount << "\n";
        out << "division: " << sequencer.Header().division << "\n";
        out << "samples: " << samples << "\n";
        out << "ticks: " << ticks << "\n";
        out << "seconds: " << secondsText << "\n";
    }
    out.flush();
    return status;
}

}  // namespace zeblo
