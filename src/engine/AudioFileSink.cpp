#include "engine/AudioFileSink.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace zeblo {

namespace {

struct FormatRow {
    AudioFileFormat format;
    std::string_view name;
    std::string_view extension;
};

constexpr std::array<FormatRow, 5> kFormats = {{
    {AudioFileFormat::kWav, "wav", "WAV"},
    {AudioFileFormat::kFlac, "flac", "flac"},
    {AudioFileFormat::kOgg, "ogg", "ogg"},
    {AudioFileFormat::kOpus, "opus", "opus"},
    {AudioFileFormat::kMp3, "mp3", "mp3"},
}};

const FormatRow& RowOf(AudioFileFormat format) {
    return *std::find_if(kFormats.begin(), kFormats.end(),
                         [format](const FormatRow& row) { return row.format == format; });
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

}  // namespace

WavFormat StereoPcmFormat(uint32_t sampleRate) {
    WavFormat f;
    f.sampleRate = sampleRate;
    f.bytesPerSecond = sampleRate * kFrameBytes;
    return f;
}

std::string_view AudioFileFormatName(AudioFileFormat format) {
    return RowOf(format).name;
}

std::string_view AudioFileExtension(AudioFileFormat format) {
    return RowOf(format).extension;
}

bool IsLossy(AudioFileFormat format) {
    return format != AudioFileFormat::kWav && format != AudioFileFormat::kFlac;
}

std::optional<AudioFileFormat> AudioFileFormatNamed(std::string_view name) {
    const std::string lower = Lower(name);
    for (const FormatRow& row : kFormats) {
        if (row.name == lower) return row.format;
    }
    return std::nullopt;
}

std::optional<AudioFileFormat> AudioFileFormatOfPath(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::nullopt;
    const std::string extension = Lower(path.substr(dot + 1));
    // Ogg's name for an audio-only stream.
    if (extension == "oga") return AudioFileFormat::kOgg;
    return AudioFileFormatNamed(extension);
}

}  // namespace zeblo
