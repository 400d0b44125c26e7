// The block ring between the render thread and a device moved by hand, and the render thread.
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
    bool Filled(int slot) const { return slots[slot].filled.load() != 0; }

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

TEST(Streaming, EachBufferDoneRefillsFromTheNextSlotAndHandsBackTheOneThreeBehind) {
    StreamingRig rig(10);
    rig.AllowBlocks(8);
    ASSERT_TRUE(rig.Start());
    for (uint32_t n = 1; n <= 5; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(rig.PlayBuffer(), CounterBytes((n - 1) * kBlockFrames, kBlockFrames));
        EXPECT_FALSE(rig.Filled(static_cast<int>(n - 1)));
        EXPECT_TRUE(rig.Filled(static_cast<int>(n)));
        EXPECT_EQ(rig.slots.releaseCount.load(), n);
        EXPECT_EQ(rig.slots.readCount.load(), n + 3);
    }
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
        EXPECT_TRUE(rig.thread.Ended());
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

TEST(Streaming, OpenFailuresAreToldAndNothingWaits) {
    for (const BackendOpenResult result :
         {BackendOpenResult::Failed, BackendOpenResult::NoSuchDevice}) {
        StreamingRig rig(5);
        rig.settings.record.outputDevice = 3;
        rig.device.nextOpen = result;
        EXPECT_FALSE(rig.Start());
        std::vector<std::string> texts;
        for (const RecordedPrompt& p : rig.prompt.prompts()) texts.push_back(p.text);
        std::vector<std::string> expected{kWaveDeviceOpenFailedMessage};
        if (result == BackendOpenResult::Failed)
            expected.insert(expected.begin(), rig.device.openError);
        EXPECT_EQ(texts, expected);
        EXPECT_EQ(rig.device.lastDeviceNumber, 3);
        EXPECT_EQ(rig.progress, 0);
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
    EXPECT_FALSE(rig.Filled(4));
    EXPECT_EQ(rig.slots.writeCount.load(), 0u);

    budget = 3;
    rig.slots.AllocateBlocks(0, 0);
    EXPECT_FALSE(rig.streaming.PrepareSlots(kBlockBytes));
    EXPECT_EQ(rig.streaming.ringSize(), 0u) << "three slots would be handed out while playing";
    EXPECT_TRUE(rig.Start());
    EXPECT_EQ(rig.source.calls.load(), 0);
}

TEST(Streaming, AGivenUpWaitEndsTheStart) {
    StreamingRig rig(10);
    rig.AllowBlocks(4);
    rig.abandon = true;
    EXPECT_FALSE(rig.Start());
    EXPECT_EQ(rig.progress, 1);
}

TEST(RenderThread, StopsWithinAChunkPublishesNoPartBlockAndEndsByItselfAtTheSongEnd) {
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

    testing::CounterSource held;
    ASSERT_TRUE(rig.thread.Create(held));
    rig.thread.Stop();
    EXPECT_EQ(held.calls.load(), 0) << "a stop while held renders nothing";

    testing::CounterSource shortSong(3000);
    ASSERT_TRUE(rig.thread.Create(shortSong));
    rig.thread.Resume();
    ASSERT_TRUE(WaitUntil([&] { return rig.thread.Ended(); }));
    EXPECT_EQ(rig.slots[0].byteCount, 12000u);
    EXPECT_EQ(shortSong.calls.load(), 1) << "a short block is known to be the last";
}

TEST(RenderThread, TheProducerNeverOvertakesASlotNotHandedBack) {
    StreamingRig rig(5);
    ASSERT_TRUE(rig.streaming.PrepareSlots(kBlockBytes));
    ASSERT_TRUE(rig.thread.Create(rig.source));
    rig.thread.Resume();
    ASSERT_TRUE(WaitUntil([&] { return rig.slots.writeCount.load() == 5; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(rig.source.produced.load(), 5u * kBlockFrames) << "the ring is full";
    rig.slots[0].filled.store(0);
    rig.streaming.WakeProducer();
    ASSERT_TRUE(WaitUntil([&] { return rig.slots.writeCount.load() == 6; }));
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(rig.slots[0].block.get())[0],
              testing::CounterFrame(5 * kBlockFrames));
    rig.thread.SetRaised(true);  // best effort: refused without the privilege
    rig.thread.SetRaised(false);
    EXPECT_FALSE(rig.thread.raised());
}

}  // namespace
}  // namespace zeblo
