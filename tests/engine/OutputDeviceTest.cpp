// The notification queue, the wave output device over a hand-moved backend, and the slot ring.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/StreamingTestSupport.h"

namespace zeblo {
namespace {

using testing::FakeOutputDevice;

TEST(BufferDoneQueue, KeepsOrderWakesPerPostDropsBeyondItsCapacityAndClears) {
    BufferDoneQueue queue;
    int wakes = 0;
    queue.SetWake([&] { ++wakes; });
    for (uint32_t i = 0; i < 20; ++i) queue.Post(i);
    EXPECT_EQ(wakes, 16) << "a dropped notification wakes nothing";
    EXPECT_EQ(queue.DroppedCount(), 4u);
    uint32_t index = 99;
    ASSERT_TRUE(queue.Take(index));
    EXPECT_EQ(index, 0u);
    ASSERT_TRUE(queue.WaitTake(index, std::chrono::milliseconds(0)));
    EXPECT_EQ(index, 1u);
    queue.Clear();
    EXPECT_FALSE(queue.Take(index));
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        queue.Post(7);
    });
    EXPECT_TRUE(queue.WaitTake(index, std::chrono::milliseconds(5000)));
    EXPECT_EQ(index, 7u);
    poster.join();
}

struct DeviceRig {
    DeviceRig() {
        device.SetBufferBytes(400);
        EXPECT_TRUE(device.OpenDevice(22050, 16, true, -1));
        EXPECT_TRUE(device.PrepareBuffers());
    }
    // Fills buffer i with bytes i * 16 + 1, i * 16 + 2, ...
    void Fill(uint32_t i, uint32_t length) {
        for (uint32_t k = 0; k < length; ++k)
            device.BufferData(i)[k] = static_cast<uint8_t>(i * 16 + 1 + k % 13);
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

TEST(OutputDevice, OpensSixteenBitStereoOrTellsWhyNot) {
    DeviceRig rig;
    EXPECT_EQ(rig.device.lastFormat.blockAlign, 4);
    EXPECT_EQ(rig.device.lastFormat.averageBytesPerSecond, 88200u);
    EXPECT_EQ(rig.device.BufferData(3), nullptr);
    EXPECT_FALSE(rig.device.PrepareBuffers()) << "only from the idle state";
    EXPECT_TRUE(rig.device.SetBufferLength(0, 9000));
    EXPECT_EQ(rig.device.BufferLength(0), 400u) << "never longer than the buffer";
    rig.device.CloseDevice();

    rig.device.nextOpen = BackendOpenResult::Failed;
    EXPECT_FALSE(rig.device.OpenDevice(44100, 16, true, 0));
    rig.device.nextOpen = BackendOpenResult::NoSuchDevice;
    EXPECT_FALSE(rig.device.OpenDevice(44100, 16, true, 7));
    ASSERT_EQ(rig.prompt.prompts().size(), 1u) << "a missing device shows no box";
    EXPECT_EQ(rig.prompt.prompts()[0].text, rig.device.openError);
    rig.device.nextOpen = BackendOpenResult::Opened;
    EXPECT_FALSE(rig.device.OpenDevice(44100, 8, true, -1)) << "only 16-bit samples";
}

TEST(OutputDevice, BuffersPlayInTheOrderWrittenAndEachReportsDoneOnce) {
    DeviceRig rig;
    rig.Fill(2, 400);
    rig.Fill(0, 400);
    rig.Fill(1, 100);  // a short last block plays only its own bytes
    for (uint32_t i : {2, 0, 1}) ASSERT_TRUE(rig.device.WriteBuffer(i));
    std::vector<uint8_t> expected(rig.device.BufferData(2), rig.device.BufferData(2) + 400);
    expected.insert(expected.end(), rig.device.BufferData(0), rig.device.BufferData(0) + 400);
    expected.insert(expected.end(), rig.device.BufferData(1), rig.device.BufferData(1) + 100);
    expected.resize(1100);  // then silence
    std::vector<uint8_t> played = rig.device.Play(300);
    EXPECT_TRUE(rig.Notifications().empty());
    for (uint32_t bytes : {500, 300}) {
        const std::vector<uint8_t> more = rig.device.Play(bytes);
        played.insert(played.end(), more.begin(), more.end());
    }
    EXPECT_EQ(played, expected);
    EXPECT_EQ(rig.Notifications(), (std::vector<uint32_t>{2, 0, 1}));
    uint64_t position = 0;
    ASSERT_TRUE(rig.device.GetPosition(position));
    EXPECT_EQ(position, 225u) << "900 bytes of 4-byte frames; silence does not count";
}

TEST(OutputDevice, WritesOfUnpreparedOrQueuedBuffersFailAndResetOrCloseDropTheRest) {
    DeviceRig rig;
    ASSERT_TRUE(rig.device.WriteBuffer(0));
    EXPECT_FALSE(rig.device.WriteBuffer(0)) << "still queued";
    EXPECT_FALSE(rig.device.UnprepareBuffer(0));
    EXPECT_FALSE(rig.device.SetBufferLength(0, 10));
    EXPECT_FALSE(rig.device.WriteBuffer(3));
    ASSERT_TRUE(rig.device.WriteBuffer(1));
    ASSERT_TRUE(rig.device.WriteBuffer(2));
    rig.device.Play(800);
    EXPECT_EQ(rig.queue.Size(), 2u);
    EXPECT_TRUE(rig.device.UnprepareBuffer(0));
    EXPECT_FALSE(rig.device.WriteBuffer(0)) << "unprepared";
    EXPECT_TRUE(rig.device.ResetDevice());
    EXPECT_EQ(rig.queue.Size(), 0u);
    EXPECT_FALSE(rig.device.IsQueued(2)) << "reset returns every buffer";
    rig.device.Play(400);
    EXPECT_EQ(rig.queue.Size(), 0u) << "nothing was left to finish";
    ASSERT_TRUE(rig.device.PrepareBuffers());
    ASSERT_TRUE(rig.device.WriteBuffer(1));
    rig.device.Play(400);
    EXPECT_TRUE(rig.device.CloseDevice());
    EXPECT_EQ(rig.queue.Size(), 0u);
    EXPECT_FALSE(rig.device.WriteBuffer(1)) << "no device";
}

TEST(OutputSlots, AllocationStopsAtTheFirstFailureAndBlocksGrowOnlyWhenTooSmall) {
    int budget = 3, calls = 0;
    OutputSlots slots([&](std::size_t bytes) {
        ++calls;
        return budget-- > 0 ? std::unique_ptr<uint8_t[]>(new uint8_t[bytes]()) : nullptr;
    });
    EXPECT_EQ(slots.AllocateBlocks(40, 1000), 3);
    EXPECT_EQ(calls, 4) << "no attempt after the first failure";
    EXPECT_EQ(slots.count(), kOutputSlotCapacity);
    EXPECT_EQ(slots[2].capacity, 1000u);
    EXPECT_EQ(slots[3].block, nullptr);
    const uint8_t* before = slots[2].block.get();
    EXPECT_TRUE(slots.EnsureBlock(2, 800));
    EXPECT_EQ(slots[2].block.get(), before);
    budget = 1;
    EXPECT_TRUE(slots.EnsureBlock(2, 4000));
    EXPECT_EQ(slots[2].capacity, 4000u);
    EXPECT_FALSE(slots.EnsureBlock(7, 100)) << "the allocator has nothing left";
    EXPECT_FALSE(slots.EnsureBlock(kOutputSlotCapacity, 100));
    EXPECT_EQ(slots.AllocateBlocks(5, 0), 0) << "no block of zero bytes";
}

}  // namespace
}  // namespace zeblo
