// The notification queue, the output device and its slot ring moved by hand, the streaming
// between them and the render thread.
#include <gtest/gtest.h>

#include "engine/StreamingMessages.h"
#include "engine/StreamingTestSupport.h"

namespace zeblo {
namespace {

using namespace std::chrono_literals;
using testing::CounterBytes;
using testing::WaitUntil;

constexpr uint32_t kBlockFrames = 2205;  // a tenth of a second at 22050 Hz
constexpr uint32_t kBlockBytes = kBlockFrames * 4;

// The player's side of the streaming: stop as the stop button does, count what is asked.
struct StreamingRig : StreamingHost {
    explicit StreamingRig(int32_t blockCount, uint64_t songFrames = testing::kEndless,
                          OutputSlots::BlockAllocator allocate = nullptr)
        : slots(allocate ? OutputSlots(std::move(allocate)) : OutputSlots()),
          source(songFrames, &playback.threadStop) {
        testing::UseOutput(settings, 1, 22050, blockCount);
    }
    ~StreamingRig() { StopPlayback(); }

    void BufferingProgress() override { ++progress; }
    void UnderrunNoticed() override { ++underrunsNoticed; }
    bool AbandonWait() override { return abandon; }
    void StopPlayback() override {
        ++stops;
        StopOutputAndRenderThread(device, thread, playback);
    }
    void SetRenderPriority(bool raised) override { priorities.push_back(raised); }

    bool Start() {
        streaming.PrepareSlots(settings.parameters.blockBytes);
        thread.Create(source);
        thread.Resume();
        const bool started = streaming.StartStreaming();
        playback.playing = true;
        return started;
    }
    // The device plays one buffer; its notification is handled as the owning loop would.
    std::vector<uint8_t> PlayBuffer() {
        std::vector<uint8_t> played = device.Play(kBlockBytes);
        uint32_t index = 0;
        while (queue.Take(index)) streaming.OnBufferDone(index);
        return played;
    }
    void AllowBlocks(uint64_t blocks) { source.allowedFrames = blocks * kBlockFrames; }

    RecordingPrompt prompt;
    OutputSlots slots;
    Settings settings{prompt};
    PlaybackState playback;
    BufferDoneQueue queue;
    testing::FakeOutputDevice device{prompt, queue};
    Streaming streaming{device, slots, settings, playback, prompt, *this, {1ms, 10ms, 300}};
    RenderThread thread{streaming, playback};
    testing::CounterSource source;
    std::atomic<int> progress{0};
    int underrunsNoticed = 0, stops = 0;
    bool abandon = false;
    std::vector<bool> priorities;
};

TEST(Streaming, TheDeviceStartsOnlyOnceHalfTheRingAndThreeMoreAreFilled) {
    StreamingRig rig(10);
    rig.AllowBlocks(7);
    rig.streaming.PrepareSlots(kBlockBytes);
    rig.thread.Create(rig.source);
    rig.thread.Resume();
    std::atomic<bool> returned{false};
    std::thread owner([&] { returned = rig.streaming.StartStreaming(); });
    EXPECT_TRUE(WaitUntil([&] { return rig.streaming.FilledSlots() == 7 && rig.progress >= 5; }));
    EXPECT_FALSE(returned);
    EXPECT_TRUE(rig.device.IsPaused()) << "nothing plays while prebuffering";
    EXPECT_EQ(rig.slots.readCount.load(), 3u) << "the three device buffers are primed";
    rig.AllowBlocks(8);
    owner.join();
    EXPECT_TRUE(returned);
    EXPECT_FALSE(rig.device.IsPaused());
}

TEST(Streaming, TheDeviceGetsEverySongFrameInOrderForEveryRingAndSongLength) {
    for (const auto& [blocks, song] : {std::pair<int32_t, uint64_t>{5, 13 * kBlockFrames + 1000},
                                       {10, 3 * kBlockFrames},
                                       {5, kBlockFrames + 10},
                                       {4, 0}}) {
        SCOPED_TRACE(song);
        StreamingRig rig(blocks, song);
        ASSERT_TRUE(rig.Start());
        std::vector<uint8_t> heard;
        for (int i = 0; i < 40 && !rig.streaming.Finished(); ++i) {
            WaitUntil([&] {
                return rig.slots.writeCount > rig.slots.readCount || rig.streaming.ProducerEnded();
            });
            const std::vector<uint8_t> played = rig.PlayBuffer();
            heard.insert(heard.end(), played.begin(), played.end());
        }
        ASSERT_TRUE(rig.streaming.Finished());
        heard.resize(std::max<std::size_t>(heard.size(), song * 4));
        std::vector<uint8_t> expected = CounterBytes(0, song);
        expected.resize(heard.size());  // the stale tail of a reused buffer is never played
        EXPECT_TRUE(heard == expected);
        EXPECT_EQ(rig.streaming.underruns() + rig.underrunsNoticed + rig.stops, 0u);
        EXPECT_EQ(rig.source.filterClears.load(), 1);
    }
}

TEST(Streaming, AnUnderrunPlaysSilenceAndGoesOnOrStopsAsTheSettingSays) {
    for (const int32_t keepRunning : {1, 0}) {
        SCOPED_TRACE(keepRunning);
        StreamingRig rig(10);
        rig.settings.record.keepRunningOnUnderrun = keepRunning;
        rig.AllowBlocks(10);
        ASSERT_TRUE(rig.Start());
        ASSERT_TRUE(WaitUntil([&] { return rig.slots.writeCount.load() == 10; }));
        for (uint32_t n = 0; n < 7; ++n) rig.PlayBuffer();
        // Ahead of the device: 6, 5, 4, 3, 2, 1, 0 slots of the 7 beyond its buffers.
        EXPECT_EQ(rig.priorities,
                  (std::vector<bool>{false, false, false, false, true, true, true}));
        rig.PlayBuffer();  // slot 0 was handed back but not refilled
        EXPECT_EQ(rig.slots.releaseCount.load() * 100 + rig.slots.readCount.load(), 710u)
            << "each buffer-done hands back the slot three behind the one it copies";
        EXPECT_TRUE(rig.playback.underrunShown.load());
        EXPECT_EQ(rig.underrunsNoticed, 1);
        EXPECT_EQ(rig.playback.underrunDisplayFrames.load(), 30) << "three seconds at 10 a second";
        EXPECT_EQ(rig.stops, 1 - keepRunning);
        if (!keepRunning) {
            EXPECT_FALSE(rig.device.IsOpen());
            EXPECT_FALSE(rig.thread.Exists());
            EXPECT_EQ(rig.queue.Size(), 0u);
            continue;
        }
        EXPECT_EQ(rig.playback.silenceFrames.load(), kBlockFrames);
        rig.AllowBlocks(100);
        ASSERT_TRUE(WaitUntil([&] { return rig.slots.writeCount.load() >= 17; }));
        rig.PlayBuffer();
        rig.PlayBuffer();
        EXPECT_EQ(rig.PlayBuffer(), std::vector<uint8_t>(kBlockBytes, 0)) << "the silent buffer";
        EXPECT_EQ(rig.PlayBuffer(), CounterBytes(10 * kBlockFrames, kBlockFrames));
        EXPECT_EQ(rig.streaming.underruns(), 1u);
    }
}

TEST(Streaming, AShortRingPlaysWithTheSlotsItGotAndTooFewSlotsRenderNothing) {
    int budget = 6;
    StreamingRig rig(10, testing::kEndless, [&](std::size_t bytes) {
        return budget-- > 0 ? std::unique_ptr<uint8_t[]>(new uint8_t[bytes]()) : nullptr;
    });
    rig.slots[4].filled = 1;
    rig.slots.writeCount = 7;
    EXPECT_FALSE(rig.streaming.PrepareSlots(kBlockBytes));
    EXPECT_EQ(rig.streaming.ringSize(), 6u);
    EXPECT_FALSE(rig.slots[4].filled.load());
    EXPECT_EQ(rig.slots.writeCount.load(), 0u);

    budget = 3;
    rig.slots.AllocateBlocks(0, 0);
    EXPECT_FALSE(rig.streaming.PrepareSlots(kBlockBytes));
    EXPECT_EQ(rig.streaming.ringSize(), 0u) << "three slots would be handed out while playing";
    EXPECT_TRUE(rig.Start());
    EXPECT_EQ(rig.source.calls.load(), 0);
}

TEST(Streaming, AStartThatCannotOpenOrGivesUpWaitsNoLonger) {
    StreamingRig rig(10);
    rig.settings.record.outputDevice = 3;
    rig.device.nextOpen = BackendOpenResult::Failed;
    EXPECT_FALSE(rig.Start());
    EXPECT_EQ(rig.prompt.prompts().at(1).text, kWaveDeviceOpenFailedMessage);
    EXPECT_EQ(rig.device.lastDeviceNumber, 3);
    rig.device.nextOpen = BackendOpenResult::Opened;
    rig.StopPlayback();
    std::tie(rig.abandon, rig.source.allowedFrames) = std::tuple(true, 4 * kBlockFrames);
    EXPECT_FALSE(rig.Start());
    EXPECT_EQ(rig.progress, 1);
}

TEST(RenderThread, AStopWaitsForOneChunkAtMostAndPublishesNoPartOfABlock) {
    StreamingRig rig(5);
    testing::UseOutput(rig.settings, 100, 22050, 5);  // ten-second blocks: 54 chunks each
    ASSERT_TRUE(rig.streaming.PrepareSlots(rig.settings.parameters.blockBytes));
    rig.source.delayPerCall = 2ms;
    ASSERT_TRUE(rig.thread.Create(rig.source));
    EXPECT_FALSE(rig.thread.Create(rig.source)) << "one render thread at a time";
    rig.thread.Resume();
    ASSERT_TRUE(WaitUntil([&] { return rig.source.calls.load() >= 3; }));
    rig.thread.Stop();
    EXPECT_LT(rig.source.calls.load(), 54);
    EXPECT_EQ(rig.slots.writeCount.load(), 0u);
    EXPECT_EQ(rig.playback.threadStop.load(), 0) << "cleared for the next thread";
    EXPECT_GT(rig.thread.CpuSeconds(), 0.0);
}

TEST(BufferDoneQueue, KeepsOrderWakesPerPostDropsBeyondItsCapacityAndClears) {
    BufferDoneQueue queue;
    int wakes = 0;
    queue.SetWake([&] { ++wakes; });
    for (uint32_t i = 0; i < 20; ++i) queue.Post(i);
    EXPECT_EQ(wakes, 16) << "a dropped notification wakes nothing";
    uint32_t index = 99;
    ASSERT_TRUE(queue.Take(index) && index == 0);
    queue.Clear();
    EXPECT_FALSE(queue.WaitTake(index, std::chrono::milliseconds(1)));
}

TEST(OutputDevice, RefusesWhatItCannotDoAndResetOrCloseDropWhatIsQueued) {
    RecordingPrompt prompt;
    BufferDoneQueue queue;
    testing::FakeOutputDevice device{prompt, queue};
    device.nextOpen = BackendOpenResult::NoSuchDevice;
    EXPECT_FALSE(device.OpenDevice(44100, 16, true, 7));
    EXPECT_TRUE(prompt.prompts().empty()) << "a missing device shows no box";
    device.nextOpen = BackendOpenResult::Opened;
    EXPECT_FALSE(device.OpenDevice(44100, 8, true, -1)) << "only 16-bit samples";
    device.SetBufferBytes(400);
    ASSERT_TRUE(device.OpenDevice(22050, 16, true, -1) && device.PrepareBuffers());
    EXPECT_EQ(device.format().averageBytesPerSecond, 88200u);
    EXPECT_TRUE(device.SetBufferLength(0, 9000) && device.BufferLength(0) == 400);
    for (uint32_t i = 0; i < 3; ++i) ASSERT_TRUE(device.WriteBuffer(i));
    EXPECT_FALSE(device.WriteBuffer(0) || device.UnprepareBuffer(0) || device.WriteBuffer(3))
        << "still queued, or no such buffer";
    device.Play(800);
    EXPECT_EQ(queue.Size(), 2u);
    EXPECT_TRUE(device.UnprepareBuffer(0));
    EXPECT_FALSE(device.WriteBuffer(0)) << "unprepared";
    EXPECT_TRUE(device.ResetDevice());
    EXPECT_FALSE(device.IsQueued(2) || queue.Size() != 0) << "reset returns every buffer";
    device.Play(400);
    EXPECT_EQ(queue.Size(), 0u) << "nothing was left to finish";
    ASSERT_TRUE(device.PrepareBuffers() && device.WriteBuffer(1));
    device.Play(400);
    EXPECT_TRUE(device.CloseDevice());
    EXPECT_EQ(queue.Size(), 0u);
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
    EXPECT_EQ(slots[3].block, nullptr);
    const uint8_t* before = slots[2].block.get();
    EXPECT_TRUE(slots.EnsureBlock(2, 800) && slots[2].block.get() == before);
    budget = 1;
    EXPECT_TRUE(slots.EnsureBlock(2, 4000) && slots[2].capacity == 4000);
    EXPECT_FALSE(slots.EnsureBlock(7, 100) || slots.EnsureBlock(kOutputSlotCapacity, 100));
    EXPECT_EQ(slots.AllocateBlocks(5, 0), 0) << "no block of zero bytes";
}

}  // namespace
}  // namespace zeblo
