#include "engine/WavWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zeblo {

namespace {

class DescriptorOutput final : public WavOutput {
public:
    DescriptorOutput(int fd, bool owned) : fd(fd), owned(owned) {
        seekable = lseek(fd, 0, SEEK_CUR) >= 0;
    }
    ~DescriptorOutput() override { Close(); }

    bool Write(const uint8_t* bytes, std::size_t count) override {
        while (count > 0) {
            const ssize_t n = ::write(fd, bytes, count);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            bytes += n;
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool Seekable() const override { return seekable; }
    bool WriteAt(uint64_t offset, const uint8_t* bytes, std::size_t count) override {
        while (count > 0) {
            const ssize_t n = ::pwrite(fd, bytes, count, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            bytes += n;
            offset += static_cast<uint64_t>(n);
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool ReadAt(uint64_t offset, uint8_t* bytes, std::size_t count) override {
        while (count > 0) {
            const ssize_t n = ::pread(fd, bytes, count, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            bytes += n;
            offset += static_cast<uint64_t>(n);
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool Close() override {
        if (fd < 0) return true;
        const int closing = fd;
        fd = -1;
        return !owned || ::close(closing) == 0;
    }

private:
    int fd;
    bool owned;
    bool seekable = false;
};

class DiscardingOutput final : public WavOutput {
public:
    bool Write(const uint8_t* bytes, std::size_t count) override {
        return WriteAt(written, bytes, count) && ((written += count), true);
    }
    bool Seekable() const override { return true; }
    bool WriteAt(uint64_t offset, const uint8_t* bytes, std::size_t count) override {
        for (std::size_t i = 0; i < count && offset + i < kWavHeaderBytes; ++i)
            header[offset + i] = bytes[i];
        return true;
    }
    bool ReadAt(uint64_t offset, uint8_t* bytes, std::size_t count) override {
        if (offset + count > kWavHeaderBytes) return false;
        std::memcpy(bytes, header + offset, count);
        return true;
    }
    bool Close() override { return true; }

private:
    uint8_t header[kWavHeaderBytes] = {};
    uint64_t written = 0;
};

void PutLe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
    PutLe16(p, v & 0xFFFF);
    PutLe16(p + 2, v >> 16);
}

}  // namespace

std::unique_ptr<WavOutput> OpenWavFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    return std::make_unique<DescriptorOutput>(fd, true);
}

std::unique_ptr<WavOutput> WavOutputOnDescriptor(int fd) {
    return std::make_unique<DescriptorOutput>(fd, false);
}

std::unique_ptr<WavOutput> DiscardingWavOutput() {
    return std::make_unique<DiscardingOutput>();
}

WavWriter::WavWriter(WavOutputOpener opener, uint64_t maxDataBytes)
    : opener(std::move(opener)), maxDataBytes(maxDataBytes) {}

WavWriter::~WavWriter() {
    CloseQuietly();
}

void WavWriter::CloseQuietly() {
    if (output != nullptr) output->Close();
    output.reset();
}

bool WavWriter::OpenFile(const std::string& path) {
    CloseQuietly();
    output = opener ? opener(path) : nullptr;
    if (output == nullptr) return false;
    streaming = false;
    headerWritten = false;
    dataBytes = 0;
    bufferUsed = 0;
    if (buffer == nullptr) buffer = std::make_unique<uint8_t[]>(kWavBufferBytes);
    return true;
}

bool WavWriter::OpenStream(std::unique_ptr<WavOutput> stream, uint32_t announced) {
    CloseQuietly();
    if (stream == nullptr) return false;
    output = std::move(stream);
    streaming = true;
    announcedDataBytes = announced;
    headerWritten = false;
    dataBytes = 0;
    bufferUsed = 0;
    if (buffer == nullptr) buffer = std::make_unique<uint8_t[]>(kWavBufferBytes);
    return true;
}

bool WavWriter::WriteHeader(const WavFormat& format) {
    if (output == nullptr || headerWritten) return false;
    // Only a stream knows its sizes now; a file gets them from Finish.
    const uint32_t data = streaming ? announcedDataBytes : 0;
    const uint32_t riff = streaming ? announcedDataBytes + kWavRiffOverhead : 0;
    uint8_t h[kWavHeaderBytes];
    std::memcpy(h, "RIFF", 4);
    PutLe32(h + 4, riff);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    PutLe32(h + 16, 16);
    PutLe16(h + 20, format.formatTag);
    PutLe16(h + 22, format.channels);
    PutLe32(h + 24, format.sampleRate);
    PutLe32(h + 28, format.bytesPerSecond);
    PutLe16(h + 32, format.blockAlign);
    PutLe16(h + 34, format.bitsPerSample);
    std::memcpy(h + 36, "data", 4);
    PutLe32(h + 40, data);
    if (!output->Write(h, sizeof h)) return false;
    headerWritten = true;
    return true;
}

bool WavWriter::Flush() {
    if (bufferUsed == 0) return true;
    const uint32_t count = bufferUsed;
    bufferUsed = 0;
    return output->Write(buffer.get(), count);
}

bool WavWriter::WriteBytes(const void* bytes, uint32_t count) {
    if (count == 0) return true;
    if (output == nullptr || !headerWritten) return false;
    // Past this the 32-bit sizes would wrap and the file would lie about its length.
    if (dataBytes + count > maxDataBytes) return false;
    const auto* from = static_cast<const uint8_t*>(bytes);
    while (count > 0) {
        const uint32_t room = kWavBufferBytes - bufferUsed;
        const uint32_t take = count < room ? count : room;
        std::memcpy(buffer.get() + bufferUsed, from, take);
        bufferUsed += take;
        from += take;
        count -= take;
        dataBytes += take;
        if (bufferUsed == kWavBufferBytes && !Flush()) return false;
    }
    return true;
}

bool WavWriter::Finish() {
    if (output == nullptr) return false;
    bool ok = headerWritten && Flush();
    if (ok && streaming) {
        ok = dataBytes == announcedDataBytes;
    } else if (ok) {
        uint8_t size[4];
        PutLe32(size, static_cast<uint32_t>(dataBytes + kWavRiffOverhead));
        ok = output->WriteAt(4, size, 4);
        PutLe32(size, static_cast<uint32_t>(dataBytes));
        ok = ok && output->WriteAt(40, size, 4);
        uint8_t check[12];
        ok = ok && output->ReadAt(0, check, sizeof check) && std::memcmp(check, "RIFF", 4) == 0 &&
             std::memcmp(check + 8, "WAVE", 4) == 0;
    }
    ok = output->Close() && ok;
    output.reset();
    return ok;
}

}  // namespace zeblo
