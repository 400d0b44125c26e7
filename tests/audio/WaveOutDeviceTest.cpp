// The wave output device over SDL's dummy driver, and the player stack built on it. What reaches
// a real device is frozen by the golden table (`play --once` through the disk driver).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "audio/PlayerStack.h"
#include "engine/StreamingMessages.h"
#include "engine/StreamingTestSupport.h"

namespace zeblo {
namespace {

using namespace std::chrono_literals;
using testing::WaitUntil;

struct Stack {
    Stack() {
        testing::UseOutput(settings, 1, 48000, 5);
        PlayerStackOptions stackOptions;
        stackOptions.timings.prebufferPoll = 2ms;
        stack = MakePlayerStack(settings, prompt, stackOptions);
        stack->notifications.SetWake([this] { ++posted; });
        const char* root = std::getenv("ZEBLO_SOURCE_DIR");
        stack->playback.currentPath = std::string(root ? root : ".") + "/tests/data/short.mid";
        EXPECT_EQ(stack->outputSlots.count(), 5) << "the output blocks are allocated up front";
    }
    RecordingPrompt prompt;
    Settings settings{prompt};
    std::unique_ptr<PlayerStack> stack;
    std::atomic<int> posted{0};
};

TEST(WaveOutDevice, TwoHundredStartStopCyclesLeakNothingAndLeaveNoLateNotification) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    Stack s;
    Player& player = s.stack->player;
    struct AbandonOnce : PlayerListener {
        bool AbandonWait() override { return abandon; }
        bool abandon = false;
    } listener;
    player.SetListener(listener);
    const auto entries = [](const char* folder) {
        return std::distance(std::filesystem::directory_iterator(folder), {});
    };
    long threads = 0, files = 0;
    for (int cycle = 0; cycle < 200; ++cycle) {
        SCOPED_TRACE(cycle);
        // Every third cycle stops from inside the prebuffering wait; every tenth after a
        // buffer-done has been handled.
        listener.abandon = cycle % 3 == 0;
        player.PlayFile();
        if (cycle % 10 == 1 && !listener.abandon) EXPECT_TRUE(player.HandleNotification(2000ms));
        player.Stop();
        ASSERT_FALSE(player.renderThread().Exists());
        ASSERT_FALSE(s.stack->device.IsOpen());
        ASSERT_EQ(s.stack->notifications.Size(), 0u);
        // The first open starts the sound system's own threads and files, which stay.
        if (cycle == 0)
            std::tie(threads, files) =
                std::tuple(entries("/proc/self/task"), entries("/proc/self/fd"));
    }
    EXPECT_EQ(std::pair(entries("/proc/self/task"), entries("/proc/self/fd")),
              std::pair(threads, files));
    const int postedAtStop = s.posted.load();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(s.posted.load(), postedAtStop);
    EXPECT_TRUE(s.prompt.prompts().empty());
}

TEST(WaveOutDevice, DeviceNamesAndOpenFailures) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    {
        Stack s;
        WaveOutDevice& device = s.stack->device;
        const std::vector<std::string> names = device.DeviceNames();
        ASSERT_GE(names.size(), 1u);
        EXPECT_FALSE(names[0].empty());
        EXPECT_FALSE(device.OpenDevice(22050, 16, true, static_cast<int32_t>(names.size())));
        EXPECT_FALSE(device.OpenDevice(22050, 16, true, -2));
        EXPECT_TRUE(s.prompt.prompts().empty()) << "a missing device shows no box";
        EXPECT_NE(device.errorText().find("-2"), std::string::npos);
    }

    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    Stack broken;
    broken.stack->player.PlayFile();
    ASSERT_EQ(broken.prompt.prompts().size(), 2u);
    EXPECT_EQ(broken.prompt.prompts()[0].text, broken.stack->device.errorText());
    EXPECT_EQ(broken.prompt.prompts()[1].text, kWaveDeviceOpenFailedMessage);
}

}  // namespace
}  // namespace zeblo
