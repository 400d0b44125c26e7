// The waveforms the display draws: built-in records, and uploaded rows whether or not a channel
// still plays their program.
#include <gtest/gtest.h>

#include <vector>

#include "engine/DisplaySnapshot.h"
#include "engine/EngineContext.h"
#include "modules/wavetable/WavetableTables.h"
#include "settings/SettingsRecord.h"
#include "ui/QtPlayer.h"

namespace zeblo {
namespace {

struct Rig {
    void Send(std::vector<uint8_t> bytes) {
        MessageHeader header;
        header.data = bytes.data();
        header.bufferLength = static_cast<uint32_t>(bytes.size());
        engine.wavetable.LongMsg(kOpenModuleHandle, &header, kMessageHeaderSize, 0);
    }
    // Row `row` gets a ramp from `first` upwards, one step a sample.
    void Upload(uint8_t row, int8_t first) {
        std::vector<uint8_t> message = {0xF0, 0x77, 0x10, 0x42, 0x12, 0xF1, row, 0x00};
        for (int i = 0; i < 32; ++i) message.push_back(static_cast<uint8_t>(first + i));
        message.push_back(0xF7);
        Send(message);
    }
    std::vector<int8_t> Row(uint32_t wave) const {
        const int8_t* bytes = waves.Samples(wave);
        return bytes ? std::vector<int8_t>(bytes, bytes + 32) : std::vector<int8_t>{};
    }

    SettingsRecord record = DefaultSettings();
    EngineParameters parameters;
    EngineContext engine{parameters};
    EngineWaveforms waves{engine.wavetable};
};

std::vector<int8_t> Ramp(int8_t first) {
    std::vector<int8_t> ramp;
    for (int i = 0; i < 32; ++i) ramp.push_back(static_cast<int8_t>(first + i));
    return ramp;
}

TEST(EngineWaveforms, UploadedRowsAreDrawnWithoutAChannelOnTheirProgram) {
    Rig rig;
    rig.Upload(5, -100);
    rig.Upload(127, 20);
    // Own-waveform mode on, and every channel left on program 0.
    rig.Send({0xF0, 0x77, 0x10, 0x42, 0x12, 0xF0, 0x00, 0x00, 0x01, 0xF7});
    EXPECT_EQ(rig.Row(kWaveFromUploaded | 5), Ramp(-100));
    EXPECT_EQ(rig.Row(kWaveFromUploaded | 127), Ramp(20));
    // A row never uploaded is silence; a newer upload replaces the older one.
    EXPECT_EQ(rig.Row(kWaveFromUploaded | 6), std::vector<int8_t>(32, 0));
    rig.Upload(5, 3);
    EXPECT_EQ(rig.Row(kWaveFromUploaded | 5), Ramp(3));
    // The program change away from a row keeps it drawable.
    rig.engine.wavetable.ShortMsg(kOpenModuleHandle, PackShortMsg(0xC0, 5), 0);
    rig.engine.wavetable.ShortMsg(kOpenModuleHandle, PackShortMsg(0xC0, 9), 0);
    EXPECT_EQ(rig.Row(kWaveFromUploaded | 5), Ramp(3));

    const int8_t* record = rig.waves.Samples(kWaveFromRecord | 3);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record, kWaveformRecords[3].samples);
    EXPECT_EQ(rig.waves.Samples(kWaveFromUploaded | 128), nullptr);
    EXPECT_EQ(rig.waves.Samples(5), nullptr);  // names neither source
    EXPECT_EQ(rig.engine.wavetable.UploadedWaveBytes(-1), nullptr);
    EXPECT_EQ(rig.engine.wavetable.UploadedWaveBytes(128), nullptr);
}

}  // namespace
}  // namespace zeblo
