// A small buffered RIFF/WAVE writer: the 44-byte header, the frames as they come, and both size
// fields fixed when the file is finished.
//
// Threads: one writer belongs to one thread (the authoring thread, or the command-line main).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/AudioFileSink.h"
#include "engine/RenderConstants.h"

namespace zeblo {

// Where the writer's bytes go. Tests put their own in place of the file.
class WavOutput {
public:
    virtual ~WavOutput() = default;
    // Appends at the end.
    virtual bool Write(const uint8_t* bytes, std::size_t count) = 0;
    // False for a pipe: the sizes must then be known before the header is written.
    virtual bool Seekable() const = 0;
    virtual bool WriteAt(uint64_t offset, const uint8_t* bytes, std::size_t count) = 0;
    virtual bool ReadAt(uint64_t offset, uint8_t* bytes, std::size_t count) = 0;
    virtual bool Close() = 0;
};

// A file created or truncated at `path`; null when it cannot be opened.
std::unique_ptr<WavOutput> OpenWavFile(const std::string& path);
// An already open descriptor (standard output), not closed by the writer.
std::unique_ptr<WavOutput> WavOutputOnDescriptor(int fd);

// Keeps the 44 header bytes and drops the rest: a dry run's output.
std::unique_ptr<WavOutput> DiscardingWavOutput();

using WavOutputOpener = std::function<std::unique_ptr<WavOutput>(const std::string& path)>;

class WavWriter final : public AudioFileSink {
public:
    // `opener` makes the output for OpenFile (files by default); `maxDataBytes` is the most
    // data the file may hold, past which WriteBytes fails instead of wrapping the sizes.
    explicit WavWriter(WavOutputOpener opener = OpenWavFile,
                       uint64_t maxDataBytes = kWavMaxDataBytes);
    // Closes the output if it is still open.
    ~WavWriter() override;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates or truncates the file.
    bool OpenFile(const std::string& path) override;
    // Writes to an output that is already open (a pipe). Its header carries `dataBytes`, which
    // Finish then checks against what was written.
    bool OpenStream(std::unique_ptr<WavOutput> output, uint32_t dataBytes);
    // The 44 header bytes, with both sizes 0 (or the announced sizes of a stream).
    bool WriteHeader(const WavFormat& format) override;
    // Copies the bytes into the buffer, writing it out whenever it fills. A count of 0 succeeds.
    bool WriteBytes(const void* bytes, uint32_t count) override;
    // Writes the rest of the buffer, fixes both sizes, reads the first chunk back as a check and
    // closes the output in every case. True only if every step succeeded.
    bool Finish() override;

    bool IsOpen() const { return output != nullptr; }
    uint64_t DataBytes() const override { return dataBytes; }

private:
    bool Flush();
    void CloseQuietly();

    WavOutputOpener opener;
    uint64_t maxDataBytes;
    std::unique_ptr<WavOutput> output;
    bool headerWritten = false;
    bool streaming = false;
    uint32_t announcedDataBytes = 0;
    uint64_t dataBytes = 0;
    std::unique_ptr<uint8_t[]> buffer;
    uint32_t bufferUsed = 0;
};

}  // namespace zeblo
