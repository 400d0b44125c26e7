#include "engine/Authoring.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/PlayerMessages.h"
#include "engine/RenderConstants.h"
#include "midi/RmidFile.h"

namespace zeblo {

namespace {

// Removes what a failed run leaves, but never a device, a pipe or any other special file that
// the output name may have pointed at.
void DeleteIfRegularFile(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink(path.c_str());
}

// Where a file for `path` is written until it is complete: a hidden name in the same folder,
// so that the final rename stays on one file system. Unique within this process; a stale one
// left by a killed process of the same id is simply reused.
std::string TemporaryPathFor(const std::string& path) {
    static std::atomic<unsigned> serial{0};
    const std::size_t slash = path.rfind('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, nameAt) + "." + path.substr(nameAt) + "." + std::to_string(getpid()) +
           "-" + std::to_string(serial.fetch_add(1)) + ".part";
}

// A link to an existing file is written through: the file it names is replaced, the link kept.
std::string LinkTarget(const std::string& path) {
    char resolved[PATH_MAX];
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode) ||
        realpath(path.c_str(), resolved) == nullptr)
        return path;
    return resolved;
}

bool IsSpecialFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace

std::string AuthoringOutputPath(std::string_view songPath, std::string_view extension) {
    const std::size_t slash = songPath.rfind('/');
    const std::size_t dot = songPath.rfind('.');
    const bool hasExtension =
        dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
    if (!hasExtension) return std::string(songPath) + "." + std::string(extension);
    return std::string(songPath.substr(0, dot + 1)) + std::string(extension);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

Authoring::Authoring(EngineContext& context, Renderer& renderer, RcpConverter& converter,
                     UserPrompt& prompt)
    : context(context), renderer(renderer), converter(converter), prompt(prompt) {}

void Authoring::SetOutputOpener(WavOutputOpener opener, uint64_t maxDataBytes) {
    this->opener = std::move(opener);
    this->maxDataBytes = maxDataBytes;
}

AuthoringOutcome Authoring::Run(const std::string& songPath, const std::string& outputPath,
                                const std::atomic<int32_t>& stop, const Progress& progress) {
    std::unique_ptr<AudioFileSink> sink =
        sinkMaker ? sinkMaker() : std::make_unique<WavWriter>(opener, maxDataBytes);
    return Author(songPath, Target::kFile, outputPath, std::move(sink), nullptr, stop, progress);
}

AuthoringOutcome Authoring::RunToStream(const std::string& songPath,
                                        std::unique_ptr<WavOutput> stream, uint32_t dataBytes,
                                        const std::atomic<int32_t>& stop,
                                        const Progress& progress) {
    auto writer = std::make_unique<WavWriter>(opener, maxDataBytes);
    if (!writer->OpenStream(std::move(stream), dataBytes)) writer.reset();
    return RunToOpenSink(songPath, std::move(writer), stop, progress);
}

AuthoringOutcome Authoring::RunToOpenSink(const std::string& songPath,
                                          std::unique_ptr<AudioFileSink> opened,
                                          const std::atomic<int32_t>& stop,
                                          const Progress& progress) {
    return Author(songPath, Target::kStream, {}, std::move(opened), nullptr, stop, progress);
}

AuthoringOutcome Authoring::DryRun(const std::string& songPath, uint32_t& dataBytes,
                                   const std::atomic<int32_t>& stop, const Progress& progress) {
    dataBytes = 0;
    auto discarding = std::make_unique<WavWriter>(
        [](const std::string&) { return DiscardingWavOutput(); }, maxDataBytes);
    return Author(songPath, Target::kDry, {}, std::move(discarding), &dataBytes, stop, progress);
}

void Authoring::Fail(std::string_view message, AudioFileSink* writer, const std::string* created,
                     const std::string* output) {
    const int reason = errno;
    const std::string known = writer != nullptr ? writer->FailureText() : std::string();
    if (output != nullptr) {
        failureReason = *output + ": " +
                        (!known.empty() ? known
                         : reason != 0  ? std::string(std::strerror(reason))
                                        : std::string("write failed"));
    }
    prompt.Ask(message, PromptButtons::Ok, PromptIcon::Error);
    if (writer != nullptr) writer->Finish();
    if (created != nullptr) DeleteIfRegularFile(*created);
}

bool Authoring::LoadSong(const std::string& songPath) {
    std::string load = songPath;
    if (IsRcpFamilyPath(songPath)) {
        // The converter has shown its own message.
        if (!converter.ConvertRcpFile(songPath)) return false;
        load = kConvertedRcpFile;
    }
    if (LoadSongFile(context.sequencer, load)) return true;
    prompt.Ask(kUnknownFileMessage, PromptButtons::Ok, PromptIcon::Error);
    return false;
}

void Authoring::StartSpan() {
    Sequencer& sequencer = context.sequencer;
    sequencer.SetLoop(span.plays > 1);
    sequencer.SetPlayLimit(span.plays > 1 ? span.plays : 0);
    sequencer.SetHoldAtEnd(span.tailFrames > 0);
    sequencer.Start();
    sequencer.Advance(true);
    if (span.startTick == 0) return;
    // The seek delivers the skipped part with every channel muted: programs and controllers take
    // effect, notes begun before the start stay unheard.
    std::array<int32_t, kChannelCount> kept{};
    for (std::size_t c = 0; c < kept.size(); ++c)
        kept[c] = context.shared.channelMute[c].exchange(1);
    sequencer.Seek(span.startTick);
    for (std::size_t c = 0; c < kept.size(); ++c) context.shared.channelMute[c].store(kept[c]);
}

AuthoringOutcome Authoring::Author(const std::string& songPath, Target target,
                                   const std::string& outputPath,
                                   std::unique_ptr<AudioFileSink> sink, uint32_t* dataBytes,
                                   const std::atomic<int32_t>& stop, const Progress& progress) {
    renderer.ClearFilterHistory();
    failureReason.clear();

    Sequencer& sequencer = context.sequencer;
    bytesAuthored.store(0, std::memory_order_relaxed);
    sequencer.Stop();
    sequencer.Advance(true);

    SoundModule& module = context.SelectedModule();
    module.Reset(0);
    sequencer.SetModule(&module);
    const WavFormat format = StereoPcmFormat(static_cast<uint32_t>(context.parameters.sampleRate));

    // Refusals come before any file is opened, so a refused run leaves every file as it was.
    if (!LoadSong(songPath)) return AuthoringOutcome::kFailed;
    if (target == Target::kFile && SameFile(songPath, outputPath)) {
        prompt.Ask(kOutputIsSongMessage, PromptButtons::Ok, PromptIcon::Error);
        return AuthoringOutcome::kFailed;
    }
    const bool inPlace = target != Target::kFile || IsSpecialFile(outputPath);
    const std::string finalPath = inPlace ? outputPath : LinkTarget(outputPath);
    const std::string writtenPath = inPlace ? outputPath : TemporaryPathFor(finalPath);
    errno = 0;
    const bool opened =
        sink != nullptr && (target == Target::kStream || sink->OpenFile(writtenPath));
    // Only a file this run created is ours to delete.
    const std::string* created = target == Target::kFile && opened ? &writtenPath : nullptr;
    const std::string* named = target == Target::kFile ? &outputPath : nullptr;
    if (!opened) {
        Fail(kFileOpenFailedMessage, sink.get(), created, named);
        return AuthoringOutcome::kFailed;
    }
    AudioFileSink& writer = *sink;
    if (!writer.WriteHeader(format)) {
        Fail(kHeaderWriteFailedMessage, &writer, created, named);
        return AuthoringOutcome::kFailed;
    }
    StartSpan();

    std::vector<uint32_t> chunk(kAuthoringChunkFrames, 0);
    SpanRender source(renderer, span);
    bool ended = false;
    while (stop.load(std::memory_order_acquire) == 0) {
        const uint32_t frames = source.Render(chunk.data(), kAuthoringChunkFrames);
        if (!writer.WriteBytes(chunk.data(), frames * kFrameBytes)) {
            Fail(kFileWriteFailedMessage, &writer, created, named);
            return AuthoringOutcome::kFailed;
        }
        bytesAuthored.fetch_add(frames * kFrameBytes, std::memory_order_relaxed);
        if (progress) progress(bytesAuthored.load(std::memory_order_relaxed));
        if (frames < kAuthoringChunkFrames) {
            ended = true;
            break;
        }
    }
    if (!ended || stop.load(std::memory_order_acquire) != 0) {
        Fail(kAuthoringTerminatedMessage, &writer, created);
        return AuthoringOutcome::kTerminated;
    }
    if (writer.DataBytes() == 0) {
        Fail(kNoFramesMessage, &writer, created);
        return AuthoringOutcome::kFailed;
    }
    if (dataBytes != nullptr) *dataBytes = static_cast<uint32_t>(writer.DataBytes());
    errno = 0;
    if (!writer.Finish() ||
        (!inPlace && std::rename(writtenPath.c_str(), finalPath.c_str()) != 0)) {
        Fail(kFileCloseFailedMessage, &writer, created, named);
        return AuthoringOutcome::kFailed;
    }
    return AuthoringOutcome::kWritten;
}

}  // namespace zeblo
