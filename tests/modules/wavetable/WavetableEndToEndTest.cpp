// A short song driven straight into the module at chosen frames, rendered the way the render
// loop does (messages due at a frame first, then voices 44 down to 0 summed), and checked for
// pitch and length in the output.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <random>
#include <vector>

#include "WavetableTestSupport.h"

namespace zeblo {
namespace {

using test::MeasuredFrequency;
using test::WavetableRig;

struct TimedMessage {
    int frame;
    uint32_t status;
    uint32_t data1;
    uint32_t data2;
};

std::vector<StereoSample> Play(WavetableRig& rig, const std::vector<TimedMessage>& song,
                               int frames) {
    std::vector<StereoSample> out;
    out.reserve(frames);
    std::size_t next = 0;
    for (int frame = 0; frame < frames; ++frame) {
        while (next < song.size() && song[next].frame == frame) {
            rig.Send(song[next].status, song[next].data1, song[next].data2);
            ++next;
        }
        out.push_back(rig.module->MixVoices());
    }
    return out;
}

int FirstNonzero(const std::vector<StereoSample>& out, int from, int to) {
    for (int i = from; i < to; ++i)
        if (out[i].left != 0 || out[i].right != 0) return i;
    return -1;
}

int LastNonzero(const std::vector<StereoSample>& out, int from, int to) {
    for (int i = to - 1; i >= from; --i)
        if (out[i].left != 0 || out[i].right != 0) return i;
    return -1;
}

TEST(WavetableEndToEnd, ShortSongPitchesAndLengths) {
    WavetableRig rig;
    const std::vector<TimedMessage> song = {
        {0, 0xC0, 80, 0},      // square wave, full level until released (1985 samples)
        {0, 0xC1, 0, 0},       // sine with the piano envelope (release 2205 samples)
        {0, 0x90, 69, 100},    // A4, start delay 0
        {10000, 0xE0, 0, 96},  // bend +4096: +100 cents
        {22050, 0x80, 69, 0},   {30000, 0x91, 57, 100},  // A3, start delay 20
        {40000, 0x81, 57, 0},   {49000, 0xB9, 10, 0},    // pan hard left: drums ignore it
        {50000, 0x99, 36, 100},                          // bass drum, start delay 40
    };
    const std::vector<StereoSample> out = Play(rig, song, 56000);

    // The square note starts at once and sounds at 440 Hz, then a semitone up after the bend.
    EXPECT_EQ(FirstNonzero(out, 0, 100), 0);
    EXPECT_NEAR(MeasuredFrequency(out, 0, 10000, 44100), 440.0, 0.5);
    EXPECT_NEAR(MeasuredFrequency(out, 10200, 22000, 44100), 466.16, 0.5);
    // Released over 1985 samples, then silent by the end of the cycle.
    const int squareEnd = LastNonzero(out, 22050, 30000);
    EXPECT_GE(squareEnd, 22050 + 1900);
    EXPECT_LE(squareEnd, 22050 + 1986 + 110);

    const int sineStart = FirstNonzero(out, 30000, 40000);
    // 20 samples late, and the sine's step 0 is 0: the read leaves it at the 7th sample.
    EXPECT_EQ(sineStart, 30020 + 6);
    EXPECT_NEAR(MeasuredFrequency(out, 30100, 40000, 44100), 220.0, 0.3);
    const int sineEnd = LastNonzero(out, 40000, 50000);
    EXPECT_GE(sineEnd, 40000 + 2000);
    EXPECT_LE(sineEnd, 40020 + 2206 + 201);

    // The bass drum: one cycle of 600.65 samples, 601 frames long, 40 frames late.
    const int drumStart = FirstNonzero(out, 50000, 56000);
    const int drumEnd = LastNonzero(out, 50000, 56000);
    EXPECT_EQ(drumStart, 50040);
    EXPECT_EQ(drumEnd - drumStart + 1, 601);
    // Drum hits sound centred: gains 63 and 64.
    for (int i = drumStart; i <= drumEnd; ++i)
        ASSERT_LE(std::abs(out[i].left * 64 - out[i].right * 63), 128) << i;

    // Everything has ended by itself or by release; no slot is left sounding.
    for (int i = 0; i < kWavetableVoiceCount; ++i) EXPECT_FALSE(rig.module->Slot(i).Sounding());
}

TEST(WavetableEndToEnd, ChordOnTwoPortsSumsEveryVoice) {
    WavetableRig rig;
    rig.Program(0, 80);
    rig.Program(0, 80, 1);
    rig.NoteOn(0, 60);
    const std::vector<StereoSample> single = rig.Render(4000);
    rig.module->ResetRunState();
    rig.Program(0, 80);
    rig.Program(0, 80, 1);
    rig.NoteOn(0, 60);
    rig.NoteOn(0, 60, 100, 1);  // same note on port 1: starts 20 samples later
    const std::vector<StereoSample> both = rig.Render(4000);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(both[i].left, single[i].left) << i;
    for (int i = 20; i < 4000; ++i)
        ASSERT_EQ(both[i].left, single[i].left + single[i - 20].left) << i;
}

// MixVoices skips voices it knows to be idle; summing every slot must give the same frames.
TEST(WavetableEndToEnd, SkippingIdleVoicesChangesNothing) {
    WavetableRig skipping;
    WavetableRig every;
    std::mt19937 dice(777);
    const auto roll = [&dice](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(dice);
    };
    const uint32_t programs[] = {0, 16, 28, 80, 118, 122, 126, 48, 50};
    std::vector<std::array<uint32_t, 3>> held;  // channel, key, port
    int sounding = 0;
    int snares = 0;
    for (int frame = 0; frame < 60000; ++frame) {
        if (roll(0, 150) == 0) {
            const uint32_t ch = roll(0, 3) == 0 ? 9 : roll(0, 15);  // plenty of drum hits
            const uint32_t port = roll(0, 1);
            const int kind = roll(0, 9);
            uint32_t status = 0, data1 = 0, data2 = 0, toPort = port;
            if (kind < 5) {
                status = 0x90 | ch, data1 = ch == 9 ? roll(35, 51) : roll(30, 90);
                data2 = roll(1, 127);
                if (ch == 9) snares += data1 == 38 || data1 == 40;
                held.push_back({ch, data1, port});
            } else if (kind < 8 && !held.empty()) {
                const std::size_t pick = roll(0, static_cast<int>(held.size()) - 1);
                status = 0x80 | held[pick][0], data1 = held[pick][1], toPort = held[pick][2];
                held.erase(held.begin() + static_cast<std::ptrdiff_t>(pick));
            } else if (kind == 8) {
                status = 0xC0 | ch, data1 = programs[roll(0, 8)];
            } else {
                status = 0xB0 | ch, data1 = 64, data2 = roll(0, 1) * 127;
            }
            skipping.Send(status, data1, data2, toPort);
            every.Send(status, data1, data2, toPort);
        }
        if (frame == 30000) {
            const std::vector<uint8_t> ownMode = {0xF0, 0x77, 0x10, 0x42, 0x12,
                                                  0xF0, 0x00, 0x00, 0x01, 0xF7};
            skipping.SysEx(ownMode);
            every.SysEx(ownMode);
        }
        const StereoSample a = skipping.module->MixVoices();
        uint32_t left = 0;
        uint32_t right = 0;
        for (int i = kWavetableVoiceCount - 1; i >= 0; --i) {
            const StereoSample s = every.module->RenderVoice(i);
            left += static_cast<uint32_t>(s.left);
            right += static_cast<uint32_t>(s.right);
        }
        ASSERT_EQ(a.left, static_cast<int32_t>(left)) << frame;
        ASSERT_EQ(a.right, static_cast<int32_t>(right)) << frame;
        sounding += a.left != 0;
    }
    EXPECT_GT(sounding, 40000);
    EXPECT_GE(snares, 3);
}

}  // namespace
}  // namespace zeblo
