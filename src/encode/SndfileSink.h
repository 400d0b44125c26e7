// FLAC, Ogg Vorbis, Opus and MP3 files through libsndfile, behind the same sink as the WAV
// writer. Opus only runs at 48000 Hz: other rates are resampled on the way in (libsoxr).
// The encoders are a library of their own, libzeblo-encode.so, loaded only when a render needs
// one (cli/CliModules.h), so a WAV render never loads libsndfile and its codecs.
//
// Threads: a sink belongs to the one thread that renders into it; the format checks may run
// anywhere.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/AudioFileSink.h"

namespace zeblo {

// The rate an Opus stream always carries.
inline constexpr int32_t kOpusSampleRate = 48000;

// Quality of the lossy encodings: 0 (smallest) ... 10 (best), the encoder's own default when
// not given. The scale is libsndfile's compression level turned round: for Vorbis it is the
// quality oggenc's -q takes, for Opus about 10 ... 470 kb/s, for MP3 the VBR quality.
inline constexpr double kBestQuality = 10.0;

struct AudioEncoding {
    AudioFileFormat format = AudioFileFormat::kWav;
    std::optional<double> quality;  // 0 ... kBestQuality; lossy formats only
};

// The rate a file of `format` holds for frames rendered at `renderRate`.
inline int32_t EncodedSampleRate(AudioFileFormat format, int32_t renderRate) {
    return format == AudioFileFormat::kOpus ? kOpusSampleRate : renderRate;
}

// Empty when this libsndfile can write `format` (not WAV, which has its own writer) from frames
// at `renderRate`; otherwise a message that says what is missing.
std::string SndfileFormatProblem(AudioFileFormat format, int32_t renderRate);

// A sink for one file of `encoding` (not WAV); OpenFile creates the file.
std::unique_ptr<AudioFileSink> MakeSndfileSink(const AudioEncoding& encoding);
// The same on an open descriptor (standard output), left open at the end; null when `fd` is
// not open.
std::unique_ptr<AudioFileSink> SndfileSinkOnDescriptor(const AudioEncoding& encoding, int fd);

// The encoder library's file name and its one entry point (C linkage), which hands out the three
// functions above. The library must stay loaded while any of its sinks exists.
inline constexpr char kEncoderLibrary[] = "libzeblo-encode.so";
inline constexpr char kEncoderEntry[] = "ZebloEncoderFunctions";

struct EncoderFunctions {
    std::string (*formatProblem)(AudioFileFormat format, int32_t renderRate);
    std::unique_ptr<AudioFileSink> (*makeSink)(const AudioEncoding& encoding);
    std::unique_ptr<AudioFileSink> (*sinkOnDescriptor)(const AudioEncoding& encoding, int fd);
};
using EncoderEntryFunction = const EncoderFunctions* (*)();

}  // namespace zeblo
