#include "engine/Authoring.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "engine/RenderConstants.h"

namespace zeblo {

namespace {

// Removes what a failed run leaves, but never a device, a pipe or any other special file that
// the output name may have pointed at.
void DeleteIfRegularFile(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink(path.c_str());
}

}  // namespace

std::string AuthoringOutputPath(std::string_view songPath) {
    const std::size_t keep =
        songPath.size() > kOutputSuffixChars ? songPath.size() - kOutputSuffixChars : 0;
    return std::string(songPath.substr(0, keep)) + "WAV";
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
    return Author(songPath, Target::kFile, outputPath, nullptr, 0, nullptr, stop, progress);
}

AuthoringOutcome Authoring::RunToStream(const std::string& songPath,
                                        std::unique_ptr<WavOutput> stream, uint32_t dataBytes,
                                        const std::atomic<int32_t>& stop,
                                        const Progress& progress) {
    return Author(songPath, Target::kStream, {}, std::move(stream), dataBytes, nullptr, stop,
                  progress);
}

AuthoringOutcome Authoring::DryRun(const std::string& songPath, uint32_t& dataBytes,
                                   const std::atomic<int32_t>& stop, const Progress& progress) {
    dataBytes = 0;
    return Author(songPath, Target::kDry, {}, nullptr, 0, &dataBytes, stop, progress);
}

void Authoring::Fail(std::string_view message, WavWriter& writer, const std::string* created) {
    prompt.Ask(message, PromptButtons::Ok, PromptIcon::Error);
    writer.Finish();
    if (created != nullptr) DeleteIfRegularFile(*created);
}

AuthoringOutcome Authoring::Author(const std::string& songPath, Target target,
                                   const std::string& outputPath, std::unique_ptr<WavOutput> stream,
                                   uint32_t streamBytes, uint32_t* dataBytes,
                                   const std::atomic<int32_t>& stop, const Progress& progress) {
    renderer.ClearFilterHistory();
    WavWriter writer(target == Target::kDry
                         ? WavOutputOpener([](const std::string&) { return DiscardingWavOutput(); })
                         : opener,
                     maxDataBytes);

    Sequencer& sequencer = context.sequencer;
    bytesAuthored.store(0, std::memory_order_relaxed);
    sequencer.Stop();
    sequencer.Advance(true);

    SoundModule& module = context.SelectedModule();
    module.Reset(0);
    sequencer.SetModule(&module);
    const WavFormat format = StereoPcmFormat(static_cast<uint32_t>(context.parameters.sampleRate));
    sequencer.SetLoop(false);

    const bool opened = target == Target::kStream
                            ? writer.OpenStream(std::move(stream), streamBytes)
                            : writer.OpenFile(outputPath);
    // Only a file this run created (or truncated) is ours to delete.
    const std::string* created = target == Target::kFile && opened ? &outputPath : nullptr;
    if (!opened) {
        Fail(kFileOpenFailedMessage, writer, created);
        return AuthoringOutcome::kFailed;
    }
    if (!writer.WriteHeader(format)) {
        Fail(kHeaderWriteFailedMessage, writer, created);
        return AuthoringOutcome::kFailed;
    }

    std::string load = songPath;
    if (IsRcpFamilyPath(songPath)) {
        // The converter has shown its own message.
        if (!converter.ConvertRcpFile(songPath)) {
            writer.Finish();
            if (created != nullptr) DeleteIfRegularFile(*created);
            return AuthoringOutcome::kFailed;
        }
        load = kConvertedRcpFile;
    }
    // Not checked: a song that does not load gives a file with an empty data chunk.
    sequencer.LoadFile(load.c_str());
    sequencer.Start();
    sequencer.Advance(true);

    std::vector<uint32_t> chunk(kAuthoringChunkFrames, 0);
    bool ended = false;
    while (stop.load(std::memory_order_acquire) == 0) {
        const uint32_t frames = renderer.Render(chunk.data(), kAuthoringChunkFrames, false);
        if (!writer.WriteBytes(chunk.data(), frames * kFrameBytes)) {
            Fail(kFileWriteFailedMessage, writer, created);
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
        Fail(kAuthoringTerminatedMessage, writer, created);
        return AuthoringOutcome::kTerminated;
    }
    if (dataBytes != nullptr) *dataBytes = static_cast<uint32_t>(writer.DataBytes());
    if (!writer.Finish()) {
        Fail(kFileCloseFailedMessage, writer, created);
        return AuthoringOutcome::kFailed;
    }
    return AuthoringOutcome::kWritten;
}

}  // namespace zeblo
