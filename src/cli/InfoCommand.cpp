#include "cli/InfoCommand.h"

#include <cstdio>
#include <cstring>

#include "cli/PlayStatus.h"
#include "midi/RcpConverter.h"
#include "midi/Sequencer.h"
#include "midi/SongProblem.h"
#include "modules/SoundModule.h"
#include "rcp/RcpToSmf.h"
#include "settings/EngineParameters.h"

namespace zeblo {

namespace {

constexpr const char* kUnknownFile = "Unknown files. can't playing.";

}  // namespace

int RunInfo(const CliArgs& args, std::ostream& out, std::ostream& err) {
    EngineParameters parameters;
    parameters.sampleRate = args.settings.record.outputFrequency;
    if (args.settings.smfTempo) parameters.initialTempoBpm = kSmfTempoBpm;
    SilentModule module;
    Sequencer sequencer(parameters);
    sequencer.SetModule(&module);
    int status = kExitOk;
    for (const std::string& path : args.positional) {
        uint64_t samples = 0;
        uint64_t ticks = 0;
        // RCP-family songs are measured as the MIDI file they convert to.
        rcp::RcpToSmf converter;
        if (IsRcpFamilyPath(path) && !converter.ConvertFile(path)) {
            err << path << ": " << converter.error << "\n";
            status = kExitFailed;
            continue;
        }
        const bool loaded = IsRcpFamilyPath(path) ? sequencer.LoadImage(converter.smf)
                                                  : sequencer.LoadFile(path.c_str());
        if (!loaded || !sequencer.Measure(&samples, &ticks) || samples == 0) {
            err << path << ": " << kUnknownFile << "\n";
            const std::string reason = DescribeSongProblem(path);
            if (!reason.empty()) err << path << ": " << reason << "\n";
            status = kExitFailed;
            continue;
        }
        const char* title = sequencer.SongTitle();
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f",
                      static_cast<double>(samples) / parameters.sampleRate);
        out << "file: " << path << "\n";
        // Decoded as the window shows it, so the output stays text for grep and friends.
        out << "title: " << TitleForTerminal(title) << "\n";
        out << "tracks: " << sequencer.Header().trackCount << "\n";
        out << "division: " << sequencer.Header().division << "\n";
        out << "samples: " << samples << "\n";
        out << "ticks: " << ticks << "\n";
        out << "seconds: " << seconds << "\n";
    }
    out.flush();
    return status;
}

}  // namespace zeblo
