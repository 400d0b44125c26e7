#include "cli/RenderCommand.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "cli/CliModules.h"
#include "cli/PlayStatus.h"
#include "engine/Authoring.h"
#include "engine/EngineContext.h"
#include "engine/Renderer.h"
#include "engine/WavWriter.h"
#include "midi/RmidFile.h"
#include "midi/Sequencer.h"
#include "midi/SongProblem.h"
#include "settings/Settings.h"

namespace zeblo {

namespace {

constexpr char kUnknownFile[] = "Unknown files. can't playing.";

// Authoring's messages, one line each on the job's error stream, named after the song.
class StderrPrompt final : public UserPrompt {
public:
    StderrPrompt(std::ostream& err, const std::string& song) : err(err), song(song) {}
    virtual ~StderrPrompt() = default;

    // What was said about the song, "; " between the lines.
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
        said += (said.empty() ? "" : "; ") + line;
    }

    std::ostream& err;
    const std::string& song;
    std::string said;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Clock(double seconds) {
    const long whole = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

uint64_t Frames(double seconds, int32_t rate) {
    return static_cast<uint64_t>(std::llround(seconds * rate));
}

// The song as the sequencer loads it: an RCP song converted, by one job at a time, into a file
// of this job's own, removed with it.
class LoadableSong {
public:
    LoadableSong(const RenderJob& job, RenderShared& shared, UserPrompt& prompt) : path(job.song) {
        if (!IsRcpFamilyPath(job.song)) return;
        std::lock_guard guard(shared.converterLock);
        shared.converterPrompt.SetTarget(&prompt);
        const bool converted = shared.converter.ConvertRcpFile(job.song);
        shared.converterPrompt.SetTarget(nullptr);
        std::error_code error;
        copy = kConvertedRcpFile.substr(0, kConvertedRcpFile.rfind('.')) + "-" +
               std::to_string(job.index) + ".mid";
        failed = !converted || !std::filesystem::copy_file(
                                   kConvertedRcpFile, copy,
                                   std::filesystem::copy_options::overwrite_existing, error);
        path = copy;
    }
    ~LoadableSong() {
        if (!copy.empty()) std::remove(copy.c_str());
    }
    LoadableSong(const LoadableSong&) = delete;
    LoadableSong& operator=(const LoadableSong&) = delete;

    std::string path;
    bool failed = false;  // the converter has said why

private:
    std::string copy;
};

// One play of the song and the tick its start lies at, measured with a module of their own so
// that the real run starts from untouched state. 0 frames: the song cannot be played.
struct SongMeasure {
    uint64_t frames = 0;
    uint64_t startTick = 0;
};

SongMeasure MeasureSong(const std::string& path, const RenderSetup& setup, uint64_t startFrame) {
    SilentModule silent;
    Sequencer sequencer(setup.parameters);
    sequencer.SetModule(&silent);
    SongMeasure measure;
    if (!LoadSongFile(sequencer, path) || !sequencer.Measure(&measure.frames, nullptr)) return {};
    uint64_t reached = 0;
    if (startFrame > 0) sequencer.Measure(&reached, &measure.startTick, startFrame);
    return measure;
}

// A fresh engine for one run: generator seeded, start delays and noise register as at start-up.
struct FreshEngine {
    FreshEngine(const RenderSetup& setup, UserPrompt& prompt, const AuthoringSpan& span)
        : context(setup.parameters),
          renderer(context, DisplayRecords::kNone),
          converter(prompt),
          authoring(context, renderer, converter, prompt) {
        context.engineFlag = setup.engine;
        const uint32_t muted = setup.options.MutedChannels();
        for (int c = 0; c < kChannelCount; ++c)
            context.shared.channelMute[c].store((muted >> c) & 1);
        authoring.SetSpan(span);
    }
    EngineContext context;
    Renderer renderer;
    RcpConverter converter;  // never loaded: RCP songs arrive converted
    Authoring authoring;
};

// The progress counters follow the frames written; the stop flag follows the signals.
Authoring::Progress FollowProgress(RenderShared& shared, std::atomic<int32_t>& stop) {
    return [&shared, &stop, counted = uint64_t{0}](uint32_t bytes) mutable {
        if (InterruptRequested()) stop.store(1, std::memory_order_release);
        shared.framesDone.fetch_add(bytes / kFrameBytes - counted, std::memory_order_relaxed);
        counted = bytes / kFrameBytes;
    };
}

// The span the options ask for, for a song whose one play is `measure`.
AuthoringSpan SpanFor(const CliSettings& options, const SongMeasure& measure, int32_t rate) {
    AuthoringSpan span;
    span.plays = static_cast<uint32_t>(options.loops);
    span.startTick = measure.startTick;
    // At least one frame: 0 would mean no limit at all.
    if (options.endSeconds >= 0)
        span.maxFrames = std::max<uint64_t>(
            1, Frames(options.endSeconds, rate) - Frames(options.startSeconds, rate));
    span.tailFrames = Frames(options.tailSeconds, rate);
    span.fadeFrames = Frames(options.fadeSeconds, rate);
    return span;
}

// Into standard output. A WAV in a pipe cannot be rewound to fix its sizes, so a silent run of
// the same sequence finds them first; the other encodings stream as they come.
AuthoringOutcome RenderToStream(const std::string& path, const RenderSetup& setup,
                                const AuthoringSpan& span, StderrPrompt& prompt,
                                RenderShared& shared, uint32_t& dataBytes) {
    std::atomic<int32_t> stop{0};
    if (setup.encoding.format != AudioFileFormat::kWav) {
        auto engine = std::make_unique<FreshEngine>(setup, prompt, span);
        const AuthoringOutcome outcome = engine->authoring.RunToOpenSink(
            path, EncoderSinkOnDescriptor(setup.encoding, STDOUT_FILENO), stop,
            FollowProgress(shared, stop));
        dataBytes = engine->authoring.bytesAuthored.load();
        return outcome;
    }
    AuthoringOutcome outcome;
    {
        auto dry = std::make_unique<FreshEngine>(setup, prompt, span);
        outcome = dry->authoring.DryRun(path, dataBytes, stop, [&stop](uint32_t) {
            if (InterruptRequested()) stop.store(1, std::memory_order_release);
        });
    }
    if (outcome != AuthoringOutcome::kWritten) return outcome;
    auto engine = std::make_unique<FreshEngine>(setup, prompt, span);
    return engine->authoring.RunToStream(path, WavOutputOnDescriptor(STDOUT_FILENO), dataBytes,
                                         stop, FollowProgress(shared, stop));
}

}  // namespace

RenderSetup::RenderSetup(const CliSettings& settings, const AudioEncoding& encoding)
    : record(settings.record),
      options(settings),
      encoding(encoding),
      engine(settings.fmEngine ? kEngineOpll : kEngineWavetable) {
    ComputeEngineParameters(record, parameters);
    if (settings.smfTempo) parameters.initialTempoBpm = kSmfTempoBpm;
}

SongRender RenderSong(const RenderJob& job, const RenderSetup& setup, RenderShared& shared,
                      std::ostream& err) {
    SongRender result;
    result.song = job.song;
    StderrPrompt prompt(err, job.song);
    const LoadableSong load(job, shared, prompt);
    const int32_t rate = setup.parameters.sampleRate;
    const CliSettings& options = setup.options;
    const uint64_t startFrame = Frames(options.startSeconds, rate);
    const SongMeasure measure =
        load.failed ? SongMeasure{} : MeasureSong(load.path, setup, startFrame);
    if (measure.frames == 0) {
        if (!load.failed) {
            prompt.Ask(kUnknownFile, PromptButtons::Ok, PromptIcon::Error);
            prompt.Reason(DescribeSongProblem(job.song));
        }
    } else if (startFrame >= measure.frames) {
        prompt.Reason("--start is past the song's end, " +
                      Clock(static_cast<double>(measure.frames) / rate) + "; nothing written");
    }
    if (measure.frames == 0 || startFrame >= measure.frames) {
        result.message = prompt.Said();
        return result;
    }
    const AuthoringSpan span = SpanFor(options, measure, rate);
    uint64_t expected = measure.frames * span.plays - startFrame + span.tailFrames;
    if (span.maxFrames != 0) expected = std::min(expected, span.maxFrames);
    shared.framesKnown.fetch_add(expected, std::memory_order_relaxed);
    shared.songsMeasured.fetch_add(1, std::memory_order_relaxed);

    result.output = job.output;
    const auto started = std::chrono::steady_clock::now();
    AuthoringOutcome outcome;
    uint32_t dataBytes = 0;
    if (job.output == kStandardOutput) {
        outcome = RenderToStream(load.path, setup, span, prompt, shared, dataBytes);
    } else {
        auto engine = std::make_unique<FreshEngine>(setup, prompt, span);
        const AudioEncoding encoding = setup.encoding;
        if (encoding.format != AudioFileFormat::kWav)
            engine->authoring.SetSinkMaker([encoding] { return MakeEncoderSink(encoding); });
        std::atomic<int32_t> stop{0};
        outcome = engine->authoring.Run(load.path, job.output, stop, FollowProgress(shared, stop));
        dataBytes = engine->authoring.bytesAuthored.load();
        prompt.Reason(engine->authoring.failureReason);
    }
    result.elapsed = SecondsSince(started);
    result.frames = dataBytes / kFrameBytes;
    result.written = outcome == AuthoringOutcome::kWritten;
    result.interrupted = outcome == AuthoringOutcome::kTerminated;
    result.message = prompt.Said();
    return result;
}

void ReportSong(const SongRender& result, const RenderSetup& setup, std::ostream& out,
                std::ostream& err) {
    std::ostream& report = setup.options.output == kStandardOutput ? err : out;
    const int32_t rate = setup.parameters.sampleRate;
    if (setup.options.json) {
        report << SongRenderJson(result, rate) << "\n";
        return;
    }
    if (setup.options.quiet) return;
    if (result.skipped) {
        report << result.output << ": exists; skipped\n";
    } else if (result.written) {
        const bool toStdout = result.output == kStandardOutput;
        report << FormatRenderSummary(toStdout ? std::string("(standard output)") : result.output,
                                      result.frames, rate, result.elapsed)
               << "\n";
    }
}

std::string FormatRenderProgress(uint64_t doneFrames, uint64_t totalFrames, uint32_t doneSongs,
                                 uint32_t songs, double elapsedSeconds, int32_t sampleRate) {
    constexpr int kBarWidth = 30;
    const double fraction =
        totalFrames == 0 ? 1.0 : std::min(1.0, static_cast<double>(doneFrames) / totalFrames);
    const int filled = static_cast<int>(fraction * kBarWidth);
    std::string bar(kBarWidth + 2, '.');
    bar.front() = '[';
    bar.back() = ']';
    std::fill_n(bar.begin() + 1, filled, '#');
    const double audio = sampleRate > 0 ? static_cast<double>(doneFrames) / sampleRate : 0.0;
    const std::string eta =
        fraction > 0.0 ? Clock(elapsedSeconds * (1.0 - fraction) / fraction) : "-:--";
    char text[128];
    std::snprintf(text, sizeof text, " %3d%%  %u/%u songs  %s  ETA %s  %.1fx real time",
                  static_cast<int>(fraction * 100.0), doneSongs, songs,
                  Clock(elapsedSeconds).c_str(), eta.c_str(),
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

}  // namespace zeblo
