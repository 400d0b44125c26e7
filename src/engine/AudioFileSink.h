// Where authoring's frames go: one audio file (or stream) of some encoding. The WAV writer is
// one sink; encoders of compressed formats live outside the core and are handed in as makers.
//
// Threads: a sink belongs to the one thread that renders into it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/RenderConstants.h"

namespace zeblo {

struct WavFormat {
    uint16_t formatTag = 1;  // PCM
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint32_t bytesPerSecond = 44100 * kFrameBytes;
    uint16_t blockAlign = kFrameBytes;
    uint16_t bitsPerSample = 16;
};

// 16-bit stereo PCM at `sampleRate`.
WavFormat StereoPcmFormat(uint32_t sampleRate);

class AudioFileSink {
public:
    virtual ~AudioFileSink() = default;
    // Creates or truncates the file.
    virtual bool OpenFile(const std::string& path) = 0;
    // Starts the file for frames of `format`; after an open, before any bytes.
    virtual bool WriteHeader(const WavFormat& format) = 0;
    // Whole 16-bit little-endian stereo frames. A count of 0 succeeds.
    virtual bool WriteBytes(const void* bytes, uint32_t count) = 0;
    // Completes and closes the file in every case; true only if every step succeeded.
    virtual bool Finish() = 0;
    // PCM bytes taken so far, as rendered (before any encoding).
    virtual uint64_t DataBytes() const = 0;
    // Why the last step failed when the sink knows better than errno; empty otherwise.
    virtual std::string FailureText() const { return {}; }
};

using AudioSinkMaker = std::function<std::unique_ptr<AudioFileSink>()>;

enum class AudioFileFormat { kWav, kFlac, kOgg, kOpus, kMp3 };

// "wav", "flac", "ogg", "opus", "mp3": the names --format takes.
std::string_view AudioFileFormatName(AudioFileFormat format);
// A name as above in any case; nothing for another word.
std::optional<AudioFileFormat> AudioFileFormatNamed(std::string_view name);
// The format a file name's extension stands for (any case; .oga is Ogg too); nothing when the
// name has no extension or another one.
std::optional<AudioFileFormat> AudioFileFormatOfPath(std::string_view path);
// Ogg Vorbis, Opus and MP3: the formats a quality setting applies to.
bool IsLossy(AudioFileFormat format);
// What authoring names its output: "WAV" as ever, the lower-case name for the others.
std::string_view AudioFileExtension(AudioFileFormat format);

}  // namespace zeblo
