// zeblo-cli render: each song rendered to a WAV file exactly as authoring writes it, or encoded,
// each with fresh engine state, as if alone in a fresh process, several songs at once with -j.
//
// Threads: RunRender runs on the main thread, which alone writes to `out` and `err` and takes
// the signals; RenderSong runs on a job thread of its own for each song, writing only to the
// job's own streams. Nothing a job renders with is shared; the progress counters are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "cli/RenderOutput.h"
#include "engine/AuthoringSpan.h"
#include "midi/RcpConverter.h"
#include "settings/EngineParameters.h"
#include "settings/UserPrompt.h"

namespace zeblo {

inline constexpr char kStandardOutput[] = "-";

// The settings and the engine parameters they give, as authoring uses them.
struct RenderSetup {
    RenderSetup(const CliSettings& settings, const AudioEncoding& encoding);
    SettingsRecord record;
    EngineParameters parameters;
    CliSettings options;
    AudioEncoding encoding;
    int32_t engine;
};

// One song of a run, its output planned before any song starts.
struct RenderJob {
    std::string song;
    std::string output;   // the file, or kStandardOutput
    std::string refusal;  // why the song is not rendered; empty: it is
    bool skip = false;    // --skip-existing found its output
    int index = 0;        // its position among the jobs, for the converted copy's name
};

// A prompt that hands each message to the prompt of the job using it now.
class ForwardingPrompt final : public UserPrompt {
public:
    virtual ~ForwardingPrompt() = default;
    void SetTarget(UserPrompt* prompt) { target = prompt; }
    PromptAnswer Ask(std::string_view text, PromptButtons buttons, PromptIcon icon) override {
        return target != nullptr ? target->Ask(text, buttons, icon) : PromptAnswer::Ok;
    }

private:
    UserPrompt* target = nullptr;
};

// What the jobs of a run share. The converter library writes one file per process and may keep
// state of its own, so one job at a time converts, then renders its own copy of the result.
struct RenderShared {
    ForwardingPrompt converterPrompt;
    RcpConverter converter{converterPrompt};
    std::mutex converterLock;
    // For the progress line: frames written, frames expected of the songs measured so far.
    std::atomic<uint64_t> framesDone{0};
    std::atomic<uint64_t> framesKnown{0};
    std::atomic<uint32_t> songsMeasured{0};
};

// Renders one song as its job says; its messages go to the job's error stream as they come.
SongRender RenderSong(const RenderJob& job, const RenderSetup& setup, RenderShared& shared,
                      std::ostream& err);

// The summary line or the JSON object of one song; on the error stream while standard output
// carries the audio itself.
void ReportSong(const SongRender& result, const RenderSetup& setup, std::ostream& out,
                std::ostream& err);

int RunRender(const CliArgs& args, std::ostream& out, std::ostream& err);

// "[#####.....]  42%  3/12 songs  0:05  ETA 0:07  312.4x real time": a run's progress, for a
// terminal; the ETA from the frames still expected.
std::string FormatRenderProgress(uint64_t doneFrames, uint64_t totalFrames, uint32_t doneSongs,
                                 uint32_t songs, double elapsedSeconds, int32_t sampleRate);

// "OUTPUT: 240.000 s of audio in 0.41 s, 585.4x real time"
std::string FormatRenderSummary(const std::string& output, uint64_t frames, int32_t sampleRate,
                                double elapsedSeconds);

}  // namespace zeblo
