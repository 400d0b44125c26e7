#include "cli/RenderCommand.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

#include "cli/PlayStatus.h"
#include "cli/RenderOutput.h"
#include "encode/SndfileSink.h"
#include "engine/Authoring.h"
#include "engine/EngineContext.h"
#include "engine/Renderer.h"
#include "engine/WavWriter.h"
#include "midi/RcpConverter.h"
#include "midi/RmidFile.h"
#include "midi/Sequencer.h"
#include "midi/SongProblem.h"
#include "settings/Settings.h"

namespace zeblo {

namespace {

constexpr char kUnknownFile[] = "Unknown files. can't playing.";
constexpr char kStandardOutput[] = "-";
// Progress redraws at most this often, in seconds.
constexpr double kProgressPeriod = 0.1;

// The settings and the engine parameters they give, as authoring uses them.
struct RenderSetup {
    RenderSetup(const CliSettings& settings, const AudioEncoding& encoding)
        : record(settings.record),
          engine(settings.fmEngine ? kEngineOpll : kEngineWavetable),
          output(settings.output),
          encoding(encoding),
          quiet(settings.quiet),
          json(settings.json) {
        ComputeEngineParameters(record, parameters);
        if (settings.smfTempo) parameters.initialTempoBpm = kSmfTempoBpm;
    }
    SettingsRecord record;
    EngineParameters parameters;
    int32_t engine;
    std::string output;  // empty: the authoring name of each song
    AudioEncoding encoding;
    bool quiet;
    bool json;
};

// Authoring's messages, one line each on standard error, named after the song.
class StderrPrompt final : public UserPrompt {
public:
    explicit StderrPrompt(std::ostream& err) : err(err) {}
    virtual ~StderrPrompt() = default;
    void SetSong(const std::string& path) {
        song = path;
        said.clear();
    }
    // What was said about the current song, "; " between the lines.
    const std::string& Said() const { return said; }

    // The specific reason under the program's own message, when there is one.
    void Reason(const std::string& reason) {
        if (!reason.empty()) Say(reason);
    }

    PromptAnswer Ask(std::string_view text, PromptButtons, PromptIcon) override {
        // One line per line of the box; the carriage returns and leading blank lines dropped.
        std::string line;
        for (char c : text) {
            if (c == '\r' || (c == '\n' && line.empty())) continue;
            line.push_back(c);
        }
        Say(line);
        return PromptAnswer::Ok;
    }

private:
    void Say(const std::string& line) {
        err << song << ": " << line << "\n";
        err.flush();
        said += (said.empty() ? "" : "; ") + line;
    }

    std::ostream& err;
    std::string song;
    std::string said;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A terminal line redrawn in place; nothing at all when standard error is not a terminal.
class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool shown, uint64_t totalFrames, int32_t sampleRate)
        : err(err), shown(shown), totalFrames(totalFrames), sampleRate(sampleRate) {}
    ~ProgressLine() { Clear(); }

    void Start(std::string_view label) {
        prefix = std::string(label);
        start = std::chrono::steady_clock::now();
        lastDraw = -kProgressPeriod;
    }
    void Update(uint32_t bytes) {
        if (!shown) return;
        const double elapsed = SecondsSince(start);
        if (elapsed - lastDraw < kProgressPeriod) return;
        lastDraw = elapsed;
        err << "\r" << prefix
            << FormatRenderProgress(bytes / kFrameBytes, totalFrames, elapsed, sampleRate)
            << "\x1b[K";
        err.flush();
        drawn = true;
    }
    void Clear() {
        if (!drawn) return;
        err << "\r\x1b[K";
        err.flush();
        drawn = false;
    }

private:
    std::ostream& err;
    bool shown;
    uint64_t totalFrames;
    int32_t sampleRate;
    std::string prefix;
    std::chrono::steady_clock::time_point start;
    double lastDraw = 0.0;
    bool drawn = false;
};

// Loads the song (converted first when it is an RCP file) and measures it with a module of its
// own, so that the real run starts from untouched state. 0 frames: the song cannot be played.
uint64_t MeasureSong(const std::string& song, const RenderSetup& setup, RcpConverter& converter,
                     bool& converterFailed) {
    converterFailed = false;
    std::string load = song;
    if (IsRcpFamilyPath(song)) {
        if (!converter.ConvertRcpFile(song)) {
            converterFailed = true;
            return 0;
        }
        load = kConvertedRcpFile;
    }
    SilentModule silent;
    Sequencer sequencer(setup.parameters);
    sequencer.SetModule(&silent);
    uint64_t samples = 0;
    if (!LoadSongFile(sequencer, load) || !sequencer.Measure(&samples, nullptr)) return 0;
    return samples;
}

// A fresh engine for one run: generator seeded, start delays and noise register as at start-up.
struct FreshEngine {
    FreshEngine(const RenderSetup& setup, RcpConverter& converter, UserPrompt& prompt)
        : context(setup.parameters),
          renderer(context),
          authoring(context, renderer, converter, prompt) {
        context.engineFlag = setup.engine;
    }
    EngineContext context;
    Renderer renderer;
    Authoring authoring;
};

// The stop flag follows Ctrl-C, looked at after every chunk.
Authoring::Progress FollowProgress(ProgressLine& line, std::atomic<int32_t>& stop) {
    return [&line, &stop](uint32_t bytes) {
        if (InterruptRequested()) stop.store(1, std::memory_order_release);
        line.Update(bytes);
    };
}

// What a batch has touched: no output may be one of its songs or an output written before.
struct Batch {
    const std::vector<std::string>& songs;
    std::vector<std::string> written;

    std::string Clash(const std::string& output) const {
        for (const std::string& song : songs) {
            if (SameFile(song, output))
                return output + " is the song " + song + "; nothing written";
        }
        for (const std::string& earlier : written) {
            if (SameFile(earlier, output) || earlier == output)
                return output + " was already written by this run; nothing written";
        }
        return {};
    }
};

// Renders the measured song into its output; the outcome as authoring saw it.
AuthoringOutcome WriteSong(const std::string& song, const std::string& output,
                           const RenderSetup& setup, RcpConverter& converter, StderrPrompt& prompt,
                           ProgressLine& line, uint32_t& dataBytes) {
    std::atomic<int32_t> stop{0};
    const AudioEncoding& encoding = setup.encoding;
    const bool wav = encoding.format == AudioFileFormat::kWav;
    AuthoringOutcome outcome = AuthoringOutcome::kWritten;
    if (output == kStandardOutput && wav) {
        // A pipe cannot be rewound to fix the sizes: a silent run of the same sequence finds them.
        {
            auto dry = std::make_unique<FreshEngine>(setup, converter, prompt);
            line.Start("sizing ");
            outcome = dry->authoring.DryRun(song, dataBytes, stop, FollowProgress(line, stop));
        }
        if (outcome != AuthoringOutcome::kWritten) return outcome;
        auto engine = std::make_unique<FreshEngine>(setup, converter, prompt);
        line.Start("");
        return engine->authoring.RunToStream(song, WavOutputOnDescriptor(STDOUT_FILENO), dataBytes,
                                             stop, FollowProgress(line, stop));
    }
    auto engine = std::make_unique<FreshEngine>(setup, converter, prompt);
    line.Start("");
    if (output == kStandardOutput) {
        outcome =
            engine->authoring.RunToOpenSink(song, SndfileSinkOnDescriptor(encoding, STDOUT_FILENO),
                                            stop, FollowProgress(line, stop));
    } else {
        if (!wav) engine->authoring.SetSinkMaker([encoding] { return MakeSndfileSink(encoding); });
        outcome = engine->authoring.Run(song, output, stop, FollowProgress(line, stop));
        line.Clear();
        prompt.Reason(engine->authoring.failureReason);
    }
    dataBytes = engine->authoring.bytesAuthored.load();
    return outcome;
}

// Renders one song with the settings of the run; what came of it, for the report.
SongRender RenderSong(const std::string& song, const RenderSetup& setup, RcpConverter& converter,
                      StderrPrompt& prompt, Batch& batch, std::ostream& err) {
    SongRender result;
    result.song = song;
    prompt.SetSong(song);
    bool converterFailed = false;
    const uint64_t total = MeasureSong(song, setup, converter, converterFailed);
    if (total == 0) {
        if (!converterFailed) {
            prompt.Ask(kUnknownFile, PromptButtons::Ok, PromptIcon::Error);
            prompt.Reason(DescribeSongProblem(song));
        }
        result.message = prompt.Said();
        return result;
    }
    result.output = setup.output.empty() ? RenderOutputPath(song, setup.encoding) : setup.output;
    const std::string clash =
        result.output == kStandardOutput ? std::string() : batch.Clash(result.output);
    if (!clash.empty()) {
        prompt.Reason(clash);
        result.message = prompt.Said();
        return result;
    }
    const int32_t rate = setup.parameters.sampleRate;
    const bool terminal = !setup.quiet && isatty(STDERR_FILENO) != 0;
    ProgressLine line(err, terminal, total, rate);
    const auto started = std::chrono::steady_clock::now();
    uint32_t dataBytes = 0;
    const AuthoringOutcome outcome =
        WriteSong(song, result.output, setup, converter, prompt, line, dataBytes);
    line.Clear();
    result.elapsed = SecondsSince(started);
    result.frames = dataBytes / kFrameBytes;
    result.written = outcome == AuthoringOutcome::kWritten;
    result.interrupted = outcome == AuthoringOutcome::kTerminated;
    if (result.written && result.output != kStandardOutput) batch.written.push_back(result.output);
    result.message = prompt.Said();
    return result;
}

// The summary line or the JSON object of one song; on the error stream while standard output
// carries the audio itself.
void ReportSong(const SongRender& result, const RenderSetup& setup, std::ostream& out,
                std::ostream& err) {
    std::ostream& report = setup.output == kStandardOutput ? err : out;
    if (setup.json) {
        report << SongRenderJson(result, setup.parameters.sampleRate) << "\n";
    } else if (result.written && !setup.quiet) {
        report << FormatRenderSummary(result.output == kStandardOutput
                                          ? std::string("(standard output)")
                                          : result.output,
                                      result.frames, setup.parameters.sampleRate, result.elapsed)
               << "\n";
    }
}

std::string Clock(double seconds) {
    const long whole = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

}  // namespace

std::string FormatRenderProgress(uint64_t doneFrames, uint64_t totalFrames, double elapsedSeconds,
                                 int32_t sampleRate) {
    constexpr int kBarWidth = 30;
    const double fraction =
        totalFrames == 0 ? 1.0 : std::min(1.0, static_cast<double>(doneFrames) / totalFrames);
    const int filled = static_cast<int>(fraction * kBarWidth);
    std::string bar(kBarWidth + 2, '.');
    bar.front() = '[';
    bar.back() = ']';
    std::fill_n(bar.begin() + 1, filled, '#');
    const double audio = sampleRate > 0 ? static_cast<double>(doneFrames) / sampleRate : 0.0;
    char text[96];
    std::snprintf(text, sizeof text, " %3d%%  %s  %.1fx real time",
                  static_cast<int>(fraction * 100.0), Clock(elapsedSeconds).c_str(),
                  elapsedSeconds > 0.0 ? audio / elapsedSeconds : 0.0);
    return bar + text;
}

std::string FormatRenderSummary(const std::string& output, uint64_t frames, int32_t sampleRate,
                                double elapsedSeconds) {
    const double audio = sampleRate > 0 ? static_cast<double>(frames) / sampleRate : 0.0;
    char text[128];
    std::snprintf(text, sizeof text, ": %.3f s of audio in %.2f s, %.1fx real time", audio,
                  elapsedSeconds, elapsedSeconds > 0.0 ? audio / elapsedSeconds : 0.0);
    return output + text;
}

int RunRender(const CliArgs& args, std::ostream& out, std::ostream& err) {
    AudioEncoding encoding;
    std::string error;
    std::vector<std::string> warnings;
    if (!ChooseEncoding(args.settings, encoding, error, warnings)) return UsageError(err, error);
    for (const std::string& warning : warnings) err << "zeblo-cli: warning: " << warning << "\n";
    const RenderSetup setup(args.settings, encoding);
    if (!setup.output.empty() && args.positional.size() > 1)
        return UsageError(err, "--output takes one SONG only");
    if (encoding.format != AudioFileFormat::kWav) {
        const std::string problem =
            SndfileFormatProblem(encoding.format, setup.parameters.sampleRate);
        if (!problem.empty()) {
            err << "zeblo-cli: " << problem << "; nothing written\n";
            return kExitFailed;
        }
    }
    StderrPrompt prompt(err);
    RcpConverter converter(prompt);
    converter.Load();
    ClearInterrupt();
    InstallInterruptHandler();
    int status = kExitOk;
    // With -o - the audio goes straight to the descriptor, past anything still buffered here.
    out.flush();
    Batch batch{args.positional, {}};
    for (const std::string& song : args.positional) {
        const SongRender result = RenderSong(song, setup, converter, prompt, batch, err);
        ReportSong(result, setup, out, err);
        if (!result.written) status = kExitFailed;
        if (result.interrupted) break;
    }
    out.flush();
    return status;
}

}  // namespace zeblo
