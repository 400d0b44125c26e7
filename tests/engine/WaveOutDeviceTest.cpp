#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "engine/StreamingMessages.h"
#include "engine/StreamingSession.h"
#include "engine/StreamingTestSupport.h"
#include "engine/WaveOutDevice.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

using namespace std::chrono_literals;
using testing::CounterBytes;
using testing::CounterSource;
using testing::WaitUntil;

constexpr uint32_t kBlockFrames = 2205;  // a tenth of a second at 22050 Hz

void UseDiskDriver(const std::string& file) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
}

void UseDummyDriver() {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// Real-time playback over SDL, owned by the test's thread as the terminal player owns it.
class SdlPlayer {
public:
    SdlPlayer(int32_t blockCount, uint64_t songFrames = testing::kEndless,
              std::chrono::milliseconds prebufferPoll = kPrebufferPollInterval,
              int32_t rate = 22050)
        : source(songFrames, &playback.threadStop),
          session(device, slots, settings, playback, prompt,
                  StreamingTimings{kSlotPollInterval, prebufferPoll, kPrebufferRounds}) {
        testing::UseOutput(settings, 1, rate, blockCount);
        queue.SetWake([this] { ++posted; });
    }

    bool Start() { return session.Start(source); }
    void Stop() { session.Stop(); }

    // Handles notifications until `done` holds or `limit` passes; false on the time limit.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            if (session.HandleNotification(5ms)) ++handled;
        }
        return true;
    }

    RecordingPrompt prompt;
    OutputSlots slots;
    Settings settings{prompt, slots};
    PlaybackState playback;
    BufferDoneQueue queue;
    WaveOutDevice device{prompt, queue};
    CounterSource source;
    StreamingSession session;
    std::atomic<int> posted{0};
    int handled = 0;
};

TEST(WaveOutDevice, TheDiskDriverReceivesTheSourceFramesInOrder) {
    test::TempDir folder;
    const std::string file = folder.File("device.raw");
    UseDiskDriver(file);
    const uint64_t song = 7 * kBlockFrames + 1234;
    {
        SdlPlayer player(5, song);
        ASSERT_TRUE(player.Start()) << player.device.errorText();
        ASSERT_TRUE(player.RunUntil([&] { return player.session.streaming().Finished(); }));
        EXPECT_EQ(player.playback.underrunShown.load(), 0);
        std::this_thread::sleep_for(150ms);  // the last chunk reaches the file
    }
    const std::string raw = test::ReadFile(file);
    const std::vector<unsigned char> written(raw.begin(), raw.end());
    const std::vector<uint8_t> expected = CounterBytes(0, song);
    const auto first = std::find_if(written.begin(), written.end(), [](auto b) { return b != 0; });
    ASSERT_NE(first, written.end()) << "nothing but silence reached the device";
    const std::size_t offset = static_cast<std::size_t>(first - written.begin());
    EXPECT_EQ(offset % 4, 0u) << "whole frames";
    ASSERT_GE(written.size() - offset, expected.size());
    EXPECT_TRUE(
        std::equal(expected.begin(), expected.end(), written.begin() + static_cast<long>(offset)));
    EXPECT_TRUE(std::all_of(written.begin() + static_cast<long>(offset + expected.size()),
                            written.end(), [](auto b) { return b == 0; }));
}

TEST(WaveOutDevice, NoNotificationArrivesAfterAStopWithBuffersQueued) {
    UseDummyDriver();
    SdlPlayer player(5);
    ASSERT_TRUE(player.Start()) << player.device.errorText();
    ASSERT_TRUE(player.RunUntil([&] { return player.handled >= 2; }));
    EXPECT_TRUE(player.device.IsQueued(0) || player.device.IsQueued(1) ||
                player.device.IsQueued(2));
    player.Stop();
    const int postedAtStop = player.posted.load();
    EXPECT_FALSE(player.device.IsOpen());
    EXPECT_FALSE(player.session.renderThread().Exists());
    EXPECT_EQ(player.queue.Size(), 0u);
    std::this_thread::sleep_for(300ms);  // three buffers' worth of playing time
    EXPECT_EQ(player.posted.load(), postedAtStop);
    EXPECT_EQ(player.queue.Size(), 0u);

    ASSERT_TRUE(player.device.OpenDevice(22050, 16, true, -1));
    EXPECT_FALSE(player.device.OpenDevice(22050, 16, true, -1));
    ASSERT_EQ(player.prompt.prompts().size(), 1u);
    EXPECT_EQ(player.prompt.prompts()[0].text, kOutputDeviceAlreadyOpenMessage);
}

TEST(WaveOutDevice, PositionStandsStillWhilePausedAndResumesAfterRestart) {
    UseDummyDriver();
    RecordingPrompt prompt;
    BufferDoneQueue queue;
    WaveOutDevice device(prompt, queue);
    device.SetBufferBytes(22050 * 4);  // a second per buffer
    ASSERT_TRUE(device.OpenDevice(22050, 16, true, -1)) << device.errorText();
    ASSERT_TRUE(device.PrepareBuffers());
    for (uint32_t i = 0; i < 3; ++i) ASSERT_TRUE(device.WriteBuffer(i));
    uint64_t position = 0;
    ASSERT_TRUE(WaitUntil([&] { return device.GetPosition(position) && position > 0; }));

    ASSERT_TRUE(device.Pause());
    std::this_thread::sleep_for(100ms);  // a callback under way finishes
    uint64_t paused = 0;
    ASSERT_TRUE(device.GetPosition(paused));
    std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(device.GetPosition(position));
    EXPECT_EQ(position, paused);

    ASSERT_TRUE(device.Restart());
    EXPECT_TRUE(WaitUntil([&] { return device.GetPosition(position) && position > paused; }));
    EXPECT_LT(position, 3u * 22050) << "the buffers are not played out yet";
}

TEST(WaveOutDevice, TwoHundredStartStopCyclesInARowLeaveNothingRunning) {
    UseDummyDriver();
    SdlPlayer player(5, testing::kEndless, 2ms, 48000);
    for (int cycle = 0; cycle < 200; ++cycle) {
        SCOPED_TRACE(cycle);
        // Every third cycle stops from inside the prebuffering wait, as a stop click would; the
        // others while the device plays, every tenth after a buffer-done has been handled.
        player.session.hooks.processEvent =
            cycle % 3 == 0 ? std::function<void()>([&] { player.Stop(); }) : nullptr;
        player.source.produced = 0;
        const int handledBefore = player.handled;
        player.Start();
        if (cycle % 10 == 1 && cycle % 3 != 0) {
            EXPECT_TRUE(player.RunUntil([&] { return player.handled > handledBefore; }, 2s));
        }
        player.Stop();
        ASSERT_FALSE(player.session.renderThread().Exists());
        ASSERT_FALSE(player.device.IsOpen());
        ASSERT_EQ(player.queue.Size(), 0u);
        ASSERT_EQ(player.playback.threadStop.load(), 0);
    }
    EXPECT_TRUE(player.prompt.prompts().empty());
}

TEST(WaveOutDevice, DeviceListStartsWithTheDefaultDevice) {
    UseDummyDriver();
    RecordingPrompt prompt;
    BufferDoneQueue queue;
    WaveOutDevice device(prompt, queue);
    const std::vector<std::string> names = device.DeviceNames();
    ASSERT_GE(names.size(), 1u);
    EXPECT_FALSE(names[0].empty());

    // A number past the list cannot be opened: no box of the device's own, false.
    EXPECT_FALSE(device.OpenDevice(22050, 16, true, static_cast<int32_t>(names.size())));
    EXPECT_FALSE(device.OpenDevice(22050, 16, true, -2));
    EXPECT_TRUE(prompt.prompts().empty());
    EXPECT_NE(device.errorText().find("-2"), std::string::npos);
}

TEST(WaveOutDevice, WithoutAUsableDriverTheStartShowsSdlsTextThenTheOpenFailure) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    SdlPlayer player(5);
    EXPECT_FALSE(player.Start());
    ASSERT_EQ(player.prompt.prompts().size(), 2u);
    EXPECT_FALSE(player.prompt.prompts()[0].text.empty());
    EXPECT_EQ(player.prompt.prompts()[0].text, player.device.errorText());
    EXPECT_EQ(player.prompt.prompts()[1].text, kWaveDeviceOpenFailedMessage);
}

}  // namespace
}  // namespace zeblo
