// Authoring: a whole song rendered from its start to its end (or the span SetSpan gives) into a
// 16-bit stereo WAV file (or another sink's encoding), as fast as the machine allows, in chunks
// of 20000 frames.
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

#include "engine/AudioFileSink.h"
#include "engine/AuthoringSpan.h"
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
inline constexpr char kOutputIsSongMessage[] =
    "The output file is the song itself; nothing written.";
inline constexpr char kNoFramesMessage[] = "The song gave no sound; nothing written.";

// The song's path with the extension of its file name replaced by `extension` (song.mid and
// tune.midi give song.WAV and tune.WAV); a name without one gets it appended after a dot.
std::string AuthoringOutputPath(std::string_view songPath, std::string_view extension = "WAV");

// True when both paths exist and name the same file (device and inode, whatever the names).
bool SameFile(const std::string& a, const std::string& b);

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
    // What Run writes its file with; empty (the default): the WAV writer.
    void SetSinkMaker(AudioSinkMaker maker) { sinkMaker = std::move(maker); }
    // The part of the song the following runs write (the whole song once by default).
    void SetSpan(const AuthoringSpan& span) { this->span = span; }

    // Renders songPath into the WAV file at outputPath. A song that does not load, or an output
    // that is the song, is refused before any file is opened. The file is written under a
    // temporary name beside outputPath and renamed over it only when complete, so outputPath
    // never holds a partial file; a special file (a device, a pipe) is written in place.
    AuthoringOutcome Run(const std::string& songPath, const std::string& outputPath,
                         const std::atomic<int32_t>& stop, const Progress& progress = {});
    // The same into an open stream (standard output) whose header announces dataBytes, the
    // size a DryRun of the same song found; nothing is deleted.
    AuthoringOutcome RunToStream(const std::string& songPath, std::unique_ptr<WavOutput> stream,
                                 uint32_t dataBytes, const std::atomic<int32_t>& stop,
                                 const Progress& progress = {});
    // The same into a sink already opened on a stream, for encodings that need no sizes ahead.
    AuthoringOutcome RunToOpenSink(const std::string& songPath,
                                   std::unique_ptr<AudioFileSink> opened,
                                   const std::atomic<int32_t>& stop, const Progress& progress = {});
    // The whole sequence with the bytes counted and dropped: dataBytes is what the file would
    // hold. Failures are reported as Run reports them.
    AuthoringOutcome DryRun(const std::string& songPath, uint32_t& dataBytes,
                            const std::atomic<int32_t>& stop, const Progress& progress = {});

    // PCM bytes written by the current (or last) run.
    std::atomic<uint32_t> bytesAuthored{0};
    // After an output failure of the last run: "PATH: the system's reason"; empty otherwise.
    std::string failureReason;

private:
    enum class Target { kFile, kStream, kDry };
    // `sink` is opened here for a file; a stream's comes open (null when opening it failed).
    AuthoringOutcome Author(const std::string& songPath, Target target,
                            const std::string& outputPath, std::unique_ptr<AudioFileSink> sink,
                            uint32_t* dataBytes, const std::atomic<int32_t>& stop,
                            const Progress& progress);
    void Fail(std::string_view message, AudioFileSink* writer, const std::string* created,
              const std::string* output = nullptr);
    bool LoadSong(const std::string& songPath);
    // Plays, ring-out and start of the span, on a loaded song about to be started.
    void StartSpan();

    EngineContext& context;
    Renderer& renderer;
    RcpConverter& converter;
    UserPrompt& prompt;
    WavOutputOpener opener = OpenWavFile;
    uint64_t maxDataBytes = kWavMaxDataBytes;
    AudioSinkMaker sinkMaker;
    AuthoringSpan span;
};

}  // namespace zeblo
