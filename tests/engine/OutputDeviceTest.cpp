#include <gtest/gtest.h>

#include <cstring>

#include "engine/BufferDoneQueue.h"
#include "engine/StreamingTestSupport.h"

namespace zeblo {
namespace {

using testing::FakeOutputDevice;

TEST(BufferDoneQueue, KeepsOrderWakesPerPostAndClearDropsEverything) {
    BufferDoneQueue queue;
    int wakes = 0;
    queue.SetWake([&] { ++wakes; });
    queue.Post(2);
    queue.Post(0);
    queue.Post(1);
    EXPECT_EQ(wakes, 3);
    uint32_t index = 9;
    ASSERT_TRUE(queue.Take(index));
    EXPECT_EQ(index, 2u);
    ASSERT_TRUE(queue.WaitTake(index, std::chrono::milliseconds(0)));
    EXPECT_EQ(index, 0u);
    queue.Clear();
    EXPECT_EQ(queue.Size(), 0u);
    EXPECT_FALSE(queue.Take(index));
    EXPECT_FALSE(queue.WaitTake(index, std::chrono::milliseconds(5)));

    for (uint32_t i = 0; i < 20; ++i) queue.Post(i);
    EXPECT_EQ(queue.Size(), 16u);
    EXPECT_EQ(queue.DroppedCount(), 4u);
    ASSERT_TRUE(queue.Take(index));
    EXPECT_EQ(index, 0u) << "the oldest stays first when the queue is full";
}

TEST(BufferDoneQueue, WaitTakeWakesOnAPostFromAnotherThread) {
    BufferDoneQueue queue;
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        queue.Post(1);
    });
    uint32_t index = 0;
    EXPECT_TRUE(queue.WaitTake(index, std::chrono::milliseconds(5000)));
    EXPECT_EQ(index, 1u);
    poster.join();
}

class OutputDeviceTest : public ::testing::Test {
protected:
    // Fills buffer i with bytes i * 16 + 1, i * 16 + 2, ...
    void FillBuffer(uint32_t i, uint32_t length) {
        uint8_t* data = device.BufferData(i);
        ASSERT_NE(data, nullptr);
        for (uint32_t k = 0; k < length; ++k) data[k] = static_cast<uint8_t>(i * 16 + 1 + k % 13);
        ASSERT_TRUE(device.SetBufferLength(i, length));
    }
    std::vector<uint32_t> Notifications() {
        std::vector<uint32_t> taken;
        uint32_t index = 0;
        while (queue.Take(index)) taken.push_back(index);
        return taken;
    }

    RecordingPrompt prompt;
    BufferDoneQueue queue;
    FakeOutputDevice device{prompt, queue};
};

TEST_F(OutputDeviceTest, OpensSixteenBitStereoWithThreeBuffersOfBufferBytes) {
    EXPECT_EQ(device.bufferBytes(), 176400u) << "the size before the first open";
    device.SetBufferBytes(8820);
    ASSERT_TRUE(device.OpenDevice(22050, 16, true, -1));
    EXPECT_EQ(device.lastFormat.channels, 2);
    EXPECT_EQ(device.lastFormat.samplesPerSecond, 22050u);
    EXPECT_EQ(device.lastFormat.blockAlign, 4);
    EXPECT_EQ(device.lastFormat.averageBytesPerSecond, 88200u);
    EXPECT_EQ(device.lastDeviceNumber, -1);
    for (uint32_t i = 0; i < 3; ++i) {
        ASSERT_NE(device.BufferData(i), nullptr);
        EXPECT_EQ(device.BufferLength(i), 8820u);
        EXPECT_EQ(device.BufferData(i)[8819], 0);
    }
    EXPECT_EQ(device.BufferData(3), nullptr);
    EXPECT_TRUE(device.PrepareBuffers());
    EXPECT_EQ(device.state(), OutputDevice::kStatePrepared);
    EXPECT_FALSE(device.PrepareBuffers()) << "only from the idle state";
    EXPECT_TRUE(device.SetBufferLength(0, 9000));
    EXPECT_EQ(device.BufferLength(0), 8820u) << "never longer than the buffer";
    EXPECT_TRUE(prompt.prompts().empty());
}

TEST_F(OutputDeviceTest, AnOpenErrorShowsItsTextAndAMissingDeviceShowsNothing) {
    device.nextOpen = BackendOpenResult::Failed;
    EXPECT_FALSE(device.OpenDevice(44100, 16, true, 0));
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, device.openError);
    EXPECT_EQ(device.errorText(), device.openError);
    EXPECT_FALSE(device.IsOpen());

    device.nextOpen = BackendOpenResult::NoSuchDevice;
    EXPECT_FALSE(device.OpenDevice(44100, 16, true, 7));
    EXPECT_EQ(prompt.prompts().size(), 1u);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_FALSE(device.OpenDevice(44100, 8, true, -1)) << "only 16-bit samples";
}

TEST_F(OutputDeviceTest, BuffersPlayInTheOrderWrittenAndEachReportsDoneOnce) {
    device.SetBufferBytes(400);
    ASSERT_TRUE(device.OpenDevice(22050, 16, true, -1));
    ASSERT_TRUE(device.PrepareBuffers());
    FillBuffer(2, 400);
    FillBuffer(0, 400);
    FillBuffer(1, 100);  // a short last block plays only its own bytes
    ASSERT_TRUE(device.WriteBuffer(2));
    ASSERT_TRUE(device.WriteBuffer(0));
    ASSERT_TRUE(device.WriteBuffer(1));

    std::vector<uint8_t> played = device.Play(300);
    EXPECT_EQ(std::memcmp(played.data(), device.BufferData(2), 300), 0);
    EXPECT_TRUE(Notifications().empty());
    played = device.Play(500);
    EXPECT_EQ(std::memcmp(played.data(), device.BufferData(2) + 300, 100), 0);
    EXPECT_EQ(std::memcmp(played.data() + 100, device.BufferData(0), 400), 0);
    EXPECT_EQ(Notifications(), (std::vector<uint32_t>{2, 0}));
    played = device.Play(300);
    EXPECT_EQ(std::memcmp(played.data(), device.BufferData(1), 100), 0);
    EXPECT_EQ(played[100], 0);
    EXPECT_EQ(played[299], 0) << "silence once nothing is queued";
    EXPECT_EQ(Notifications(), (std::vector<uint32_t>{1}));
    uint64_t position = 0;
    ASSERT_TRUE(device.GetPosition(position));
    EXPECT_EQ(position, 225u) << "900 bytes of 4-byte frames; silence does not count";
}

TEST_F(OutputDeviceTest, WritesOfUnpreparedOrQueuedBuffersFail) {
    device.SetBufferBytes(400);
    EXPECT_FALSE(device.WriteBuffer(0)) << "no device";
    ASSERT_TRUE(device.OpenDevice(22050, 16, true, -1));
    EXPECT_FALSE(device.WriteBuffer(0));
    EXPECT_FALSE(device.errorText().empty());
    ASSERT_TRUE(device.PrepareBuffer(0));
    ASSERT_TRUE(device.WriteBuffer(0));
    EXPECT_FALSE(device.WriteBuffer(0)) << "still queued";
    EXPECT_FALSE(device.UnprepareBuffer(0)) << "still queued";
    EXPECT_FALSE(device.SetBufferLength(0, 10));
    EXPECT_FALSE(device.WriteBuffer(3));
    device.Play(400);
    EXPECT_TRUE(device.UnprepareBuffer(0));
    EXPECT_FALSE(device.WriteBuffer(0)) << "unprepared again";
}

TEST_F(OutputDeviceTest, ResetAndCloseDropNotificationsAlreadyPosted) {
    device.SetBufferBytes(400);
    ASSERT_TRUE(device.OpenDevice(22050, 16, true, -1));
    ASSERT_TRUE(device.PrepareBuffers());
    for (uint32_t i = 0; i < 3; ++i) ASSERT_TRUE(device.WriteBuffer(i));
    device.Play(800);
    EXPECT_EQ(queue.Size(), 2u);
    EXPECT_TRUE(device.IsQueued(2));
    EXPECT_TRUE(device.ResetDevice());
    EXPECT_EQ(queue.Size(), 0u);
    EXPECT_FALSE(device.IsQueued(2)) << "reset returns every buffer";
    EXPECT_EQ(device.state(), OutputDevice::kStateIdle);
    uint64_t position = 9;
    ASSERT_TRUE(device.GetPosition(position));
    EXPECT_EQ(position, 0u);
    device.Play(400);
    EXPECT_EQ(queue.Size(), 0u) << "nothing was left to finish";

    ASSERT_TRUE(device.PrepareBuffers());
    ASSERT_TRUE(device.WriteBuffer(1));
    device.Play(400);
    EXPECT_EQ(queue.Size(), 1u);
    EXPECT_TRUE(device.CloseDevice());
    EXPECT_EQ(queue.Size(), 0u);
}

}  // namespace
}  // namespace zeblo
