#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "engine/WavWriter.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::vector<uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

uint16_t Le16(const std::vector<uint8_t>& b, std::size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// What reached an output; it outlives the output, which the writer owns and deletes.
struct Recorded {
    std::vector<uint8_t> data;
    uint64_t written = 0;
    int writes = 0;
    int closes = 0;
    bool keep = true;
};

// Records what reaches it; Write fails once `failAfter` bytes would be passed.
class RecordingOutput final : public WavOutput {
public:
    RecordingOutput(std::shared_ptr<Recorded> recorded, uint64_t failAfter = UINT64_MAX,
                    bool seekable = true)
        : r(std::move(recorded)), failAfter(failAfter), seekable(seekable) {}
    bool Write(const uint8_t* bytes, std::size_t count) override {
        if (r->written + count > failAfter) return false;
        if (r->keep) r->data.insert(r->data.end(), bytes, bytes + count);
        r->written += count;
        ++r->writes;
        return true;
    }
    bool Seekable() const override { return seekable; }
    bool WriteAt(uint64_t offset, const uint8_t* bytes, std::size_t count) override {
        if (!seekable || offset + count > r->data.size()) return false;
        std::memcpy(r->data.data() + offset, bytes, count);
        return true;
    }
    bool ReadAt(uint64_t offset, uint8_t* bytes, std::size_t count) override {
        if (offset + count > r->data.size()) return false;
        std::memcpy(bytes, r->data.data() + offset, count);
        return true;
    }
    bool Close() override {
        ++r->closes;
        return true;
    }

private:
    std::shared_ptr<Recorded> r;
    uint64_t failAfter;
    bool seekable;
};

WavOutputOpener RecordTo(std::shared_ptr<Recorded> recorded, uint64_t failAfter = UINT64_MAX) {
    return [recorded, failAfter](const std::string&) -> std::unique_ptr<WavOutput> {
        return std::make_unique<RecordingOutput>(recorded, failAfter);
    };
}

TEST(WavWriter, TwoFullChunksThenAnEmptyOneGiveTheExactLayout) {
    test::TempDir dir;
    const std::string path = dir.File("out.WAV");
    std::vector<uint8_t> chunk(80000);
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i * 7);
    WavWriter writer;
    ASSERT_TRUE(writer.OpenFile(path));
    ASSERT_TRUE(writer.WriteHeader(StereoPcmFormat(44100)));
    ASSERT_TRUE(writer.WriteBytes(chunk.data(), 80000));
    ASSERT_TRUE(writer.WriteBytes(chunk.data(), 80000));
    ASSERT_TRUE(writer.WriteBytes(chunk.data(), 0));
    ASSERT_TRUE(writer.Finish());
    EXPECT_FALSE(writer.IsOpen());

    const std::vector<uint8_t> file = ReadAll(path);
    ASSERT_EQ(file.size(), 44u + 160000u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(file, 4), 160036u);
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le32(file, 16), 16u);
    EXPECT_EQ(Le16(file, 20), 1);  // PCM
    EXPECT_EQ(Le16(file, 22), 2);
    EXPECT_EQ(Le32(file, 24), 44100u);
    EXPECT_EQ(Le32(file, 28), 176400u);
    EXPECT_EQ(Le16(file, 32), 4);
    EXPECT_EQ(Le16(file, 34), 16);
    EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
    EXPECT_EQ(Le32(file, 40), 160000u);
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), file.begin() + 44));
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), file.begin() + 44 + 80000));
}

TEST(WavWriter, HalfRateFormatAndAnEmptyFile) {
    const WavFormat format = StereoPcmFormat(22050);
    EXPECT_EQ(format.bytesPerSecond, 88200u);
    EXPECT_EQ(format.blockAlign, 4);
    auto output = std::make_shared<Recorded>();
    WavWriter writer(RecordTo(output));
    ASSERT_TRUE(writer.OpenFile("ignored"));
    ASSERT_TRUE(writer.WriteHeader(format));
    ASSERT_TRUE(writer.Finish());
    ASSERT_EQ(output->data.size(), 44u);
    EXPECT_EQ(Le32(output->data, 4), 36u);
    EXPECT_EQ(Le32(output->data, 24), 22050u);
    EXPECT_EQ(Le32(output->data, 28), 88200u);
    EXPECT_EQ(Le32(output->data, 40), 0u);
    EXPECT_EQ(output->closes, 1);
}

TEST(WavWriter, BuffersAndWritesOnlyWhenFull) {
    auto output = std::make_shared<Recorded>();
    WavWriter writer(RecordTo(output));
    ASSERT_TRUE(writer.OpenFile("x"));
    ASSERT_TRUE(writer.WriteHeader(StereoPcmFormat(44100)));
    std::vector<uint8_t> bytes(1000, 5);
    for (int i = 0; i < 60; ++i) ASSERT_TRUE(writer.WriteBytes(bytes.data(), 1000));
    EXPECT_EQ(output->writes, 1);  // the header only: 60000 bytes still fit the buffer
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(writer.WriteBytes(bytes.data(), 1000));
    EXPECT_EQ(output->writes, 2);
    ASSERT_TRUE(writer.Finish());
    EXPECT_EQ(output->data.size(), 44u + 70000u);
}

TEST(WavWriter, OpenFailsForAFolderThatDoesNotExist) {
    test::TempDir dir;
    WavWriter writer;
    EXPECT_FALSE(writer.OpenFile(dir.File("missing/out.WAV")));
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_FALSE(writer.WriteHeader(StereoPcmFormat(44100)));
    EXPECT_FALSE(writer.Finish());
}

TEST(WavWriter, FailedWritesAndHeaderAreReported) {
    {
        WavWriter writer(RecordTo(std::make_shared<Recorded>(), 100));
        ASSERT_TRUE(writer.OpenFile("x"));
        ASSERT_TRUE(writer.WriteHeader(StereoPcmFormat(44100)));
        std::vector<uint8_t> bytes(kWavBufferBytes, 1);
        EXPECT_FALSE(writer.WriteBytes(bytes.data(), kWavBufferBytes));
    }
    WavWriter writer(RecordTo(std::make_shared<Recorded>(), 10));
    ASSERT_TRUE(writer.OpenFile("x"));
    EXPECT_FALSE(writer.WriteHeader(StereoPcmFormat(44100)));
}

TEST(WavWriter, DestructorClosesAnOpenOutput) {
    auto output = std::make_shared<Recorded>();
    {
        WavWriter writer(RecordTo(output));
        ASSERT_TRUE(writer.OpenFile("x"));
        ASSERT_TRUE(writer.WriteHeader(StereoPcmFormat(44100)));
        EXPECT_EQ(output->closes, 0);
    }
    EXPECT_EQ(output->closes, 1);
}

// Past the format's limit the 32-bit sizes would wrap into a file that lies about its length:
// the write that would cross it fails instead, and the sizes stay exact.
TEST(WavWriter, StopsAtTheFourGigabyteLimitInsteadOfWrapping) {
    static_assert(kWavMaxDataBytes + kWavRiffOverhead <= 0xFFFFFFFFull);
    static_assert(kWavMaxDataBytes % 4 == 0);
    static_assert(kWavMaxDataBytes + 4 + kWavRiffOverhead > 0xFFFFFFFFull);
    auto output = std::make_shared<Recorded>();
    WavWriter writer(RecordTo(output));
    ASSERT_TRUE(writer.OpenFile("x"));
    ASSERT_TRUE(writer.WriteHeader(StereoPcmFormat(44100)));
    output->keep = false;
    const uint32_t chunk = 4u << 20;
    std::vector<uint8_t> bytes(chunk, 0);
    uint64_t accepted = 0;
    while (writer.WriteBytes(bytes.data(), chunk)) accepted += chunk;
    EXPECT_EQ(accepted, kWavMaxDataBytes / chunk * chunk);
    // What still fits is accepted, to the last frame.
    const uint32_t rest = static_cast<uint32_t>(kWavMaxDataBytes - accepted);
    EXPECT_TRUE(writer.WriteBytes(bytes.data(), rest));
    EXPECT_FALSE(writer.WriteBytes(bytes.data(), 4));
    ASSERT_TRUE(writer.Finish());
    EXPECT_EQ(Le32(output->data, 40), static_cast<uint32_t>(kWavMaxDataBytes));
    EXPECT_EQ(Le32(output->data, 4), static_cast<uint32_t>(kWavMaxDataBytes + 36));
}

TEST(WavWriter, StreamCarriesTheAnnouncedSizesAndChecksThem) {
    auto output = std::make_shared<Recorded>();
    WavWriter writer;
    ASSERT_TRUE(writer.OpenStream(std::make_unique<RecordingOutput>(output, UINT64_MAX, false), 8));
    ASSERT_TRUE(writer.WriteHeader(StereoPcmFormat(48000)));
    const uint8_t frames[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(writer.WriteBytes(frames, 8));
    ASSERT_TRUE(writer.Finish());
    ASSERT_EQ(output->data.size(), 52u);
    EXPECT_EQ(Le32(output->data, 4), 44u);
    EXPECT_EQ(Le32(output->data, 40), 8u);

    WavWriter shortStream;
    ASSERT_TRUE(shortStream.OpenStream(
        std::make_unique<RecordingOutput>(std::make_shared<Recorded>(), UINT64_MAX, false), 8));
    ASSERT_TRUE(shortStream.WriteHeader(StereoPcmFormat(48000)));
    ASSERT_TRUE(shortStream.WriteBytes(frames, 4));
    EXPECT_FALSE(shortStream.Finish());  // the header promised more than came
}

}  // namespace
}  // namespace zeblo
