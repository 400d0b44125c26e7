// Authoring: a whole song rendered from its start to its end into a 16-bit stereo WAV file, as
// fast as the machine allows, in chunks of 20000 frames.
//
// Threads: Run, RunToStream and DryRun run on the authoring thread (or the command-line main)
// while no render thread exists; that thread is then the only user of the sequencer, the modules
// and the render loop. bytesAuthored and the stop flag are read and written across threads.
// The caller does what surrounds a run: stopping real-time output beforehand, and the
// authoring state, repaint and "Authoring Finished." afterwards.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/EngineContext.h"
#include "engine/Renderer.h"
#include "engine/WavWriter.h"
#include "midi/RcpConverter.h"
#include "settings/UserPrompt.h"

namespace zeblo {

inline constexpr char kFileOpenFailedMessage[] = "File open failed.";
inline constexpr char kHeaderWriteFailedMessage[] = "Header write failed.";
inline constexpr char kFileWriteFailedMessage[] = "File write failed.";
inline constexpr char kAuthoringTerminatedMessage[] = "Authoring was terminated.";
inline constexpr char kFileCloseFailedMessage[] = "File close failed.";

// The song's path with its last three characters replaced by "WAV" (song.mid, song.rcp and
// song.Mid all give song.WAV; a.mi gives aWAV).
std::string AuthoringOutputPath(std::string_view songPath);

enum class AuthoringOutcome {
    kWritten,     // the file is complete
    kFailed,      // a message was shown; the output was deleted
    kTerminated,  // the stop flag was set; "Authoring was terminated." shown, output deleted
};

class Authoring {
public:
    // Called after every chunk with the bytes written so far, on the running thread.
    using Progress = std::function<void(uint32_t bytesAuthored)>;

    Authoring(EngineContext& context, Renderer& renderer, RcpConverter& converter,
              UserPrompt& prompt);

    // Where the file's bytes go and how much it may hold; for tests (files by default).
    void SetOutputOpener(WavOutputOpener opener, uint64_t maxDataBytes = kWavMaxDataBytes);

    // Renders songPath into the WAV file at outputPath. On any failure the message is shown and
    // the output deleted, when this run created it and it is a regular file.
    AuthoringOutcome Run(const std::string& songPath, const std::string& outputPath,
                         const std::atomic<int32_t>& stop, const Progress& progress = {});
    // The same into an open stream (standard output) whose header announces dataBytes, the
    // size a DryRun of the same song found; nothing is deleted.
    AuthoringOutcome RunToStream(const std::string& songPath, std::unique_ptr<WavOutput> stream,
                                 uint32_t dataBytes, const std::atomic<int32_t>& stop,
                                 const Progress& progress = {});
    // The whole sequence with the bytes counted and dropped: dataBytes is what the file would
    // hold. Failures are reported as Run reports them.
    AuthoringOutcome DryRun(const std::string& songPath, uint32_t& dataBytes,
                            const std::atomic<int32_t>& stop, const Progress& progress = {});

    // PCM bytes written by the current (or last) run.
    std::atomic<uint32_t> bytesAuthored{0};

private:
    enum class Target { kFile, kStream, kDry };
    AuthoringOutcome Author(const std::string& songPath, Target target,
                            const std::string& outputPath, std::unique_ptr<WavOutput> stream,
                            uint32_t streamBytes, uint32_t* dataBytes,
                            const std::atomic<int32_t>& stop, const Progress& progress);
    void Fail(std::string_view message, WavWriter& writer, const std::string* created);

    EngineContext& context;
    Renderer& renderer;
    RcpConverter& converter;
    UserPrompt& prompt;
    WavOutputOpener opener = OpenWavFile;
    uint64_t maxDataBytes = kWavMaxDataBytes;
};

}  // namespace zeblo
