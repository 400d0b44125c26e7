#include "encode/SndfileSink.h"

#include <fcntl.h>
#include <sndfile.h>
#include <soxr.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zeblo {

namespace {

constexpr int kChannels = 2;
// libsndfile takes a compression level of 1.0 as "smallest", but LAME's VBR scale stops short
// of it.
constexpr double kMostCompression = 0.999;
// 16-bit samples to floats in -1 ... 1, as the resampler scales them too.
constexpr float kFullScale = 32768.0f;

int SndfileFormatCode(AudioFileFormat format) {
    switch (format) {
        case AudioFileFormat::kFlac:
            return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        case AudioFileFormat::kOgg:
            return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        case AudioFileFormat::kOpus:
            return SF_FORMAT_OGG | SF_FORMAT_OPUS;
        case AudioFileFormat::kMp3:
            return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        case AudioFileFormat::kWav:
            break;
    }
    return 0;
}

class SndfileSink final : public AudioFileSink {
public:
    SndfileSink(const AudioEncoding& encoding, int fd, bool owned)
        : encoding(encoding), fd(fd), owned(owned) {}
    ~SndfileSink() override { Finish(); }
    SndfileSink(const SndfileSink&) = delete;
    SndfileSink& operator=(const SndfileSink&) = delete;

    bool OpenFile(const std::string& path) override {
        Finish();
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        owned = true;
        return fd >= 0;
    }

    bool WriteHeader(const WavFormat& format) override {
        if (fd < 0 || file != nullptr) return false;
        SF_INFO info{};
        info.channels = kChannels;
        info.samplerate =
            EncodedSampleRate(encoding.format, static_cast<int32_t>(format.sampleRate));
        info.format = SndfileFormatCode(encoding.format);
        // The descriptor stays ours to close, whether or not the library took it.
        file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
        if (file == nullptr) return Failed(sf_strerror(nullptr));
        if (encoding.quality && IsLossy(encoding.format)) {
            double level = std::min(kMostCompression, 1.0 - *encoding.quality / kBestQuality);
            if (sf_command(file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level) != SF_TRUE)
                return Failed("the encoder refused the quality");
        }
        if (static_cast<uint32_t>(info.samplerate) != format.sampleRate) {
            const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_FLOAT32_I);
            const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
            soxr_error_t error = nullptr;
            resampler = soxr_create(format.sampleRate, info.samplerate, kChannels, &error, &io,
                                    &quality, nullptr);
            if (error != nullptr) return Failed(error);
            ratio = static_cast<double>(info.samplerate) / format.sampleRate;
        }
        return true;
    }

    bool WriteBytes(const void* bytes, uint32_t count) override {
        if (count == 0) return true;
        if (file == nullptr || failed) return false;
        const auto* from = static_cast<const uint8_t*>(bytes);
        const std::size_t frames = count / kFrameBytes;
        samples.resize(frames * kChannels);
        // The WAV's own byte order, whatever the machine's.
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<int16_t>(from[2 * i] | (from[2 * i + 1] << 8));
        dataBytes += count;
        return resampler != nullptr ? Resample(samples.data(), frames) : Write(frames);
    }

    bool Finish() override {
        bool ok = file != nullptr && !failed && (resampler == nullptr || Resample(nullptr, 0));
        if (file != nullptr && sf_close(file) != 0) ok = Failed("the encoder could not finish");
        file = nullptr;
        if (resampler != nullptr) soxr_delete(resampler);
        resampler = nullptr;
        if (fd >= 0 && owned && ::close(fd) != 0) ok = false;
        fd = -1;
        return ok;
    }

    uint64_t DataBytes() const override { return dataBytes; }
    std::string FailureText() const override { return failure; }

private:
    bool Failed(const std::string& why) {
        failed = true;
        if (failure.empty()) failure = why;
        return false;
    }

    // FLAC takes the samples as they are. The lossy encoders get them as floats: this
    // libsndfile's MP3 encoder scales 16-bit input wrongly and clips.
    bool Write(std::size_t frames) {
        const auto frameCount = static_cast<sf_count_t>(frames);
        if (!IsLossy(encoding.format)) {
            if (sf_writef_short(file, samples.data(), frameCount) == frameCount) return true;
            return Failed(sf_strerror(file));
        }
        resampled.resize(samples.size());
        std::transform(samples.begin(), samples.end(), resampled.begin(),
                       [](int16_t s) { return static_cast<float>(s) / kFullScale; });
        if (sf_writef_float(file, resampled.data(), frameCount) == frameCount) return true;
        return Failed(sf_strerror(file));
    }

    // Null input drains what the resampler still holds.
    bool Resample(const int16_t* input, std::size_t frames) {
        const bool draining = input == nullptr;
        resampled.resize((static_cast<std::size_t>(std::ceil(frames * ratio)) + 64) * kChannels);
        const std::size_t room = resampled.size() / kChannels;
        do {
            std::size_t used = 0;
            std::size_t made = 0;
            if (soxr_process(resampler, input, frames, &used, resampled.data(), room, &made) !=
                nullptr)
                return Failed("resampling failed");
            if (input != nullptr) {
                input += used * kChannels;
                frames -= used;
            }
            const auto count = static_cast<sf_count_t>(made);
            if (made > 0 && sf_writef_float(file, resampled.data(), count) != count)
                return Failed(sf_strerror(file));
            if (draining && made == 0) return true;
        } while (draining || frames > 0);
        return true;
    }

    AudioEncoding encoding;
    int fd;
    bool owned;
    SNDFILE* file = nullptr;
    soxr_t resampler = nullptr;
    double ratio = 1.0;
    std::vector<int16_t> samples;
    std::vector<float> resampled;
    uint64_t dataBytes = 0;
    bool failed = false;
    std::string failure;
};

}  // namespace

std::string SndfileFormatProblem(AudioFileFormat format, int32_t renderRate) {
    SF_INFO info{};
    info.channels = kChannels;
    info.samplerate = EncodedSampleRate(format, renderRate);
    info.format = SndfileFormatCode(format);
    if (info.format != 0 && sf_format_check(&info) == SF_TRUE) return {};
    char version[64] = {};
    sf_command(nullptr, SFC_GET_LIB_VERSION, version, sizeof version);
    return std::string(version) + " cannot write " + std::string(AudioFileFormatName(format)) +
           " at " + std::to_string(info.samplerate) + " Hz";
}

std::unique_ptr<AudioFileSink> MakeSndfileSink(const AudioEncoding& encoding) {
    return std::make_unique<SndfileSink>(encoding, -1, true);
}

std::unique_ptr<AudioFileSink> SndfileSinkOnDescriptor(const AudioEncoding& encoding, int fd) {
    if (fcntl(fd, F_GETFD) < 0) return nullptr;
    return std::make_unique<SndfileSink>(encoding, fd, false);
}

}  // namespace zeblo

extern "C" __attribute__((visibility("default"))) const zeblo::EncoderFunctions*
ZebloEncoderFunctions() {
    static constexpr zeblo::EncoderFunctions functions{
        zeblo::SndfileFormatProblem, zeblo::MakeSndfileSink, zeblo::SndfileSinkOnDescriptor};
    return &functions;
}
