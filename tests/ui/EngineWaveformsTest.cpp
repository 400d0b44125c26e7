// The waveforms the display draws: built-in records, and uploaded rows whether or not a channel
// still plays their program.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "engine/DisplaySnapshot.h"
#include "engine/EngineContext.h"
#include "modules/wavetable/WavetableTables.h"
#include "ui/QtPlayer.h"

namespace zeblo {
namespace {

TEST(EngineWaveforms, UploadedRowsAreDrawnWithoutAChannelOnTheirProgram) {
    EngineParameters parameters;
    EngineContext engine{parameters};
    EngineWaveforms waves{engine.wavetable};
    const auto send = [&](std::vector<uint8_t> bytes) {
        MessageHeader header;
        header.data = bytes.data();
        header.bufferLength = static_cast<uint32_t>(bytes.size());
        engine.wavetable.LongMsg(kOpenModuleHandle, &header, kMessageHeaderSize, 0);
    };
    // Row `row` gets a ramp from `first` upwards, one step a sample.
    const auto upload = [&](uint8_t row, int first) {
        std::vector<uint8_t> message = {0xF0, 0x77, 0x10, 0x42, 0x12, 0xF1, row, 0x00};
        for (int i = 0; i < 32; ++i) message.push_back(static_cast<uint8_t>(first + i));
        message.push_back(0xF7);
        send(message);
    };
    const auto row = [&](uint32_t row) {
        const int8_t* bytes = waves.Samples(kWaveFromUploaded | row);
        return bytes ? std::vector<int>(bytes, bytes + 32) : std::vector<int>{};
    };
    const auto ramp = [](int first) {
        std::vector<int> samples(32);
        std::iota(samples.begin(), samples.end(), first);
        return samples;
    };
    upload(5, -100);
    upload(127, 20);
    send({0xF0, 0x77, 0x10, 0x42, 0x12, 0xF0, 0x00, 0x00, 0x01, 0xF7});  // own waveforms on
    EXPECT_EQ(row(5), ramp(-100));
    EXPECT_EQ(row(127), ramp(20));
    EXPECT_EQ(row(6), std::vector<int>(32, 0)) << "never uploaded: silence";
    upload(5, 3);
    engine.wavetable.ShortMsg(kOpenModuleHandle, PackShortMsg(0xC0, 5), 0);
    engine.wavetable.ShortMsg(kOpenModuleHandle, PackShortMsg(0xC0, 9), 0);
    EXPECT_EQ(row(5), ramp(3)) << "the newer upload, kept after the program moved on";
    EXPECT_EQ(waves.Samples(kWaveFromRecord | 3), kWaveformRecords[3].samples);
    EXPECT_TRUE(row(128).empty());
    EXPECT_EQ(waves.Samples(5), nullptr);  // names neither source
}

}  // namespace
}  // namespace zeblo
