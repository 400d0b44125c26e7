#include "cli/RenderOutput.h"

#include <cmath>

#include "cli/Json.h"
#include "engine/Authoring.h"

namespace zeblo {

namespace {

constexpr char kStandardOutput[] = "-";

}  // namespace

bool ChooseEncoding(const CliSettings& settings, AudioEncoding& encoding, std::string& error,
                    std::vector<std::string>& warnings) {
    const bool named = !settings.output.empty() && settings.output != kStandardOutput;
    const std::optional<AudioFileFormat> byName =
        named ? AudioFileFormatOfPath(settings.output) : std::nullopt;
    if (settings.format && byName && *byName != *settings.format) {
        error = "--format " + std::string(AudioFileFormatName(*settings.format)) +
                " does not match the output name " + settings.output;
        return false;
    }
    encoding.format = settings.format.value_or(byName.value_or(AudioFileFormat::kWav));
    encoding.quality = settings.quality;
    if (settings.quality && !IsLossy(encoding.format)) {
        warnings.push_back("--quality has no effect with " +
                           std::string(AudioFileFormatName(encoding.format)));
        encoding.quality.reset();
    }
    return true;
}

std::string RenderOutputPath(const std::string& song, const AudioEncoding& encoding) {
    return AuthoringOutputPath(song, AudioFileExtension(encoding.format));
}

std::string SongRenderJson(const SongRender& result, int32_t sampleRate) {
    JsonObject json;
    json.Add("song", result.song);
    if (result.output.empty()) {
        json.AddNull("output");
    } else {
        json.Add("output", result.output);
    }
    if (result.written && sampleRate > 0) {
        const double audio = static_cast<double>(result.frames) / sampleRate;
        json.Add("seconds", audio, 3);
        json.Add("speed", result.elapsed > 0.0 ? audio / result.elapsed : INFINITY, 1);
    } else {
        json.AddNull("seconds").AddNull("speed");
    }
    json.Add("status", result.written       ? "written"
                       : result.skipped     ? "skipped"
                       : result.interrupted ? "interrupted"
                                            : "failed");
    json.Add("message", result.message);
    return json.Text();
}

}  // namespace zeblo
