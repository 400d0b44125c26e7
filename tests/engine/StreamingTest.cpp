#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine/StreamingMessages.h"
#include "engine/StreamingSession.h"
#include "engine/StreamingTestSupport.h"

namespace zeblo {
namespace {

using namespace std::chrono_literals;
using testing::CounterBytes;
using testing::CounterSource;
using testing::FakeOutputDevice;
using testing::TestHost;
using testing::WaitUntil;

constexpr uint32_t kBlockFrames = 2205;  // a tenth of a second at 22050 Hz
constexpr uint32_t kBlockBytes = kBlockFrames * 4;

// The player's start and stop around a device moved by hand.
class StreamingRig {
public:
    explicit StreamingRig(int32_t blockCount, uint64_t songFrames = testing::kEndless,
                          OutputSlots::BlockAllocator allocate = nullptr)
        : slots(allocate ? OutputSlots(std::move(allocate)) : OutputSlots()),
          source(songFrames, &playback.threadStop) {
        testing::UseOutput(settings, 1, 22050, blockCount);
        host.onStop = [this] {
            StopOutputAndRenderThread(device, thread, playback);
            playback.pauseState = 0;
        };
    }
    ~StreamingRig() { host.onStop(); }

    bool Start() {
        prepared = streaming.PrepareSlots(settings.parameters.blockBytes);
        thread.Create(source);
        thread.Resume();
        const bool started = streaming.StartStreaming();
        playback.playState = 1;
        return started;
    }

    // The device plays one buffer; its notification is handled as the owning loop would.
    std::vector<uint8_t> PlayBuffer() {
        std::vector<uint8_t> played = device.Play(kBlockBytes);
        uint32_t index = 0;
        while (queue.Take(index)) streaming.OnBufferDone(index);
        return played;
    }

    // Lets the producer get ahead of the device first, as real time would.
    std::vector<uint8_t> PlayBufferWhenReady() {
        EXPECT_TRUE(WaitUntil([this] {
            return slots.writeCount.load() > slots.readCount.load() || streaming.ProducerEnded();
        }));
        return PlayBuffer();
    }

    void AllowBlocks(uint64_t blocks) { source.allowedFrames = blocks * kBlockFrames; }
    bool Filled(int slot) const { return slots[slot].filled.load() != 0; }

    RecordingPrompt prompt;
    OutputSlots slots;
    Settings settings{prompt, slots};
    PlaybackState playback;
    BufferDoneQueue queue;
    FakeOutputDevice device{prompt, queue};
    TestHost host;
    Streaming streaming{
        device, slots, settings, playback, prompt, host, StreamingTimings{1ms, 10ms, 300}};
    RenderThread thread{streaming, playback};
    CounterSource source;
    bool prepared = false;
};

TEST(Streaming, TenBlocksStartTheDeviceOnlyOnceEightSlotsAreFilled) {
    StreamingRig rig(10);
    rig.AllowBlocks(7);
    rig.streaming.PrepareSlots(kBlockBytes);
    rig.thread.Create(rig.source);
    rig.thread.Resume();
    std::atomic<bool> returned{false};
    bool started = false;
    std::thread owner([&] {
        started = rig.streaming.StartStreaming();
        returned = true;
    });

    // No ASSERT before the join: the owner thread must always be joined.
    EXPECT_TRUE(
        WaitUntil([&] { return rig.streaming.FilledSlots() == 7 && rig.host.repaints >= 5; }));
    EXPECT_FALSE(returned);
    EXPECT_TRUE(rig.device.IsPaused()) << "nothing plays while prebuffering";
    for (uint32_t i = 0; i < 3; ++i) EXPECT_TRUE(rig.device.IsQueued(i)) << "buffer " << i;
    EXPECT_EQ(rig.slots.readCount.load(), 3u);

    rig.AllowBlocks(8);
    owner.join();
    EXPECT_TRUE(started);
    EXPECT_FALSE(rig.device.IsPaused());
    EXPECT_EQ(rig.streaming.FilledSlots(), 8u);
    EXPECT_GT(rig.host.eventTurns, 0) << "the event loop turns while it waits";
    EXPECT_TRUE(rig.prompt.prompts().empty());
}

TEST(Streaming, EachBufferDoneRefillsFromTheNextSlotAndHandsBackTheOneThreeBehind) {
    StreamingRig rig(10);
    rig.AllowBlocks(8);
    ASSERT_TRUE(rig.Start());

    EXPECT_EQ(rig.PlayBuffer(), CounterBytes(0, kBlockFrames));
    // The first notification: buffer 0 now holds slot 3, and slot 0 is handed back.
    EXPECT_EQ(std::memcmp(rig.device.BufferData(0),
                          CounterBytes(3 * kBlockFrames, kBlockFrames).data(), kBlockBytes),
              0);
    EXPECT_TRUE(rig.device.IsQueued(0));
    EXPECT_FALSE(rig.Filled(0));
    EXPECT_TRUE(rig.Filled(1));
    EXPECT_EQ(rig.slots.readCount.load(), 4u);
    EXPECT_EQ(rig.slots.releaseCount.load(), 1u);

    for (uint32_t n = 2; n <= 5; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(rig.PlayBuffer(), CounterBytes((n - 1) * kBlockFrames, kBlockFrames));
        EXPECT_FALSE(rig.Filled(static_cast<int>(n - 1)));
        EXPECT_TRUE(rig.Filled(static_cast<int>(n)));
        EXPECT_EQ(rig.slots.releaseCount.load(), n);
        EXPECT_EQ(rig.slots.readCount.load(), n + 3);
    }
    EXPECT_EQ(rig.playback.underrunShown.load(), 0);
}

TEST(Streaming, TheDeviceGetsTheSourceFramesInOrderUpToAShortLastBlock) {
    const uint64_t song = 13 * kBlockFrames + 1000;
    StreamingRig rig(5, song);
    ASSERT_TRUE(rig.Start());
    std::vector<uint8_t> heard;
    for (int i = 0; i < 40 && !rig.streaming.Finished(); ++i) {
        const std::vector<uint8_t> played = rig.PlayBufferWhenReady();
        heard.insert(heard.end(), played.begin(), played.end());
    }
    ASSERT_TRUE(rig.streaming.Finished());
    const std::vector<uint8_t> expected = CounterBytes(0, song);
    ASSERT_GE(heard.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), heard.begin()));
    EXPECT_TRUE(std::all_of(heard.begin() + static_cast<long>(expected.size()), heard.end(),
                            [](uint8_t b) { return b == 0; }))
        << "the stale tail of a reused buffer must not be played";
    EXPECT_EQ(heard.size(), 14u * kBlockBytes) << "14 buffers, the last one only partly ours";
    EXPECT_EQ(rig.playback.underrunShown.load(), 0) << "the end of the song is no underrun";
    EXPECT_EQ(rig.streaming.underruns(), 0u);
    EXPECT_EQ(rig.playback.silenceFrames.load(), 0u);
    EXPECT_EQ(rig.host.stops, 0);
    EXPECT_EQ(rig.source.filterClears.load(), 1);
    EXPECT_FALSE(rig.source.realTimeFlagMissing);
    EXPECT_TRUE(rig.thread.Ended());
}

TEST(Streaming, AnUnderrunWithKeepRunningPlaysSilenceAndGoesOn) {
    StreamingRig rig(10);
    rig.settings.record.keepRunningOnUnderrun = 1;
    rig.AllowBlocks(10);
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(WaitUntil([&] { return rig.slots.writeCount.load() == 10; }));

    for (uint32_t n = 0; n < 7; ++n)
        EXPECT_EQ(rig.PlayBuffer(), CounterBytes(n * kBlockFrames, kBlockFrames));
    // Ahead of the device: 6, 5, 4, 3, 2, 1, 0 slots of the 7 beyond its buffers.
    EXPECT_EQ(rig.host.priorities,
              (std::vector<bool>{false, false, false, false, true, true, true}));

    // Slot 0 was handed back but not refilled: the eighth notification finds it empty.
    EXPECT_EQ(rig.PlayBuffer(), CounterBytes(7 * kBlockFrames, kBlockFrames));
    EXPECT_EQ(rig.playback.silenceFrames.load(), kBlockFrames);
    EXPECT_EQ(rig.playback.underrunShown.load(), 1);
    EXPECT_EQ(rig.playback.underrunDisplayFrames.load(), 30) << "three seconds at 10 frames/s";
    EXPECT_EQ(rig.host.invalidations, 1);
    EXPECT_EQ(rig.host.stops, 0);
    EXPECT_EQ(rig.slots.readCount.load(), 10u);
    EXPECT_EQ(rig.slots.releaseCount.load(), 7u);

    rig.AllowBlocks(100);
    ASSERT_TRUE(WaitUntil([&] { return rig.slots.writeCount.load() >= 17; }));
    EXPECT_EQ(rig.PlayBuffer(), CounterBytes(8 * kBlockFrames, kBlockFrames));
    EXPECT_EQ(rig.PlayBuffer(), CounterBytes(9 * kBlockFrames, kBlockFrames));
    EXPECT_EQ(rig.PlayBuffer(), std::vector<uint8_t>(kBlockBytes, 0)) << "the silent buffer";
    EXPECT_EQ(rig.PlayBuffer(), CounterBytes(10 * kBlockFrames, kBlockFrames));
    EXPECT_EQ(rig.PlayBuffer(), CounterBytes(11 * kBlockFrames, kBlockFrames));
    EXPECT_EQ(rig.playback.silenceFrames.load(), kBlockFrames);
    EXPECT_EQ(rig.host.invalidations, 1);
    EXPECT_EQ(rig.streaming.underruns(), 1u);
    EXPECT_EQ(rig.playback.playState.load(), 1);
}

TEST(Streaming, AnUnderrunWithoutKeepRunningStopsAsTheStopButtonDoes) {
    StreamingRig rig(10);
    rig.AllowBlocks(10);
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(WaitUntil([&] { return rig.slots.writeCount.load() == 10; }));
    for (int n = 0; n < 7; ++n) rig.PlayBuffer();
    EXPECT_EQ(rig.host.stops, 0);

    rig.PlayBuffer();
    EXPECT_EQ(rig.host.stops, 1);
    EXPECT_EQ(rig.playback.playState.load(), 0);
    EXPECT_FALSE(rig.device.IsOpen());
    EXPECT_FALSE(rig.thread.Exists()) << "the render thread is gone";
    EXPECT_EQ(rig.playback.threadStop.load(), 0);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_FALSE(rig.device.IsQueued(i)) << "nothing re-queued";
    EXPECT_EQ(rig.queue.Size(), 0u);
    EXPECT_EQ(rig.playback.underrunShown.load(), 1);
    EXPECT_EQ(rig.playback.silenceFrames.load(), 0u);
}

TEST(Streaming, AnUnderrunDuringAuthoringLeavesTheMarkOff) {
    StreamingRig rig(5);
    rig.settings.record.keepRunningOnUnderrun = 1;
    rig.AllowBlocks(5);
    ASSERT_TRUE(rig.Start());
    rig.playback.authoringState = 1;
    for (int n = 0; n < 3; ++n) rig.PlayBuffer();
    EXPECT_EQ(rig.playback.silenceFrames.load(), kBlockFrames);
    EXPECT_EQ(rig.playback.underrunShown.load(), 0);
    EXPECT_EQ(rig.host.invalidations, 0);
    EXPECT_EQ(rig.playback.underrunDisplayFrames.load(), 30);
}

TEST(Streaming, OpenFailuresAreReportedAndNothingWaits) {
    StreamingRig rig(5);
    rig.settings.record.outputDevice = 3;
    rig.device.nextOpen = BackendOpenResult::Failed;
    EXPECT_FALSE(rig.Start());
    ASSERT_EQ(rig.prompt.prompts().size(), 2u);
    EXPECT_EQ(rig.prompt.prompts()[0].text, rig.device.openError);
    EXPECT_EQ(rig.prompt.prompts()[1].text, kWaveDeviceOpenFailedMessage);
    EXPECT_EQ(rig.device.lastDeviceNumber, 3);
    EXPECT_EQ(rig.device.lastFormat.samplesPerSecond, 22050u);
    EXPECT_EQ(rig.device.lastFormat.bitsPerSample, 16);
    EXPECT_EQ(rig.host.repaints, 0);

    rig.host.onStop();
    rig.prompt.Clear();
    rig.device.nextOpen = BackendOpenResult::NoSuchDevice;
    EXPECT_FALSE(rig.Start());
    ASSERT_EQ(rig.prompt.prompts().size(), 1u);
    EXPECT_EQ(rig.prompt.prompts()[0].text, kWaveDeviceOpenFailedMessage);
}

TEST(Streaming, ASongWithoutSamplesNeitherHangsTheStartNorPlays) {
    StreamingRig rig(10, 0);
    EXPECT_TRUE(rig.Start());
    EXPECT_EQ(rig.slots.readCount.load(), 0u);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_FALSE(rig.device.IsQueued(i));
    EXPECT_TRUE(rig.streaming.Finished());
    EXPECT_EQ(rig.host.repaints, 1) << "no prebuffering for a song that has ended";
}

TEST(Streaming, ASongShorterThanThreeBlocksPrimesWhatThereIs) {
    const uint64_t song = kBlockFrames + 10;
    StreamingRig rig(5, song);
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.slots.readCount.load(), 2u);
    EXPECT_FALSE(rig.device.IsQueued(2));
    std::vector<uint8_t> heard = rig.PlayBuffer();
    const std::vector<uint8_t> second = rig.PlayBuffer();
    heard.insert(heard.end(), second.begin(), second.begin() + 40);
    EXPECT_EQ(heard, CounterBytes(0, song));
    EXPECT_TRUE(rig.streaming.Finished());
}

TEST(Streaming, PrepareSlotsClearsTheRingAndKeepsWhatItCouldReady) {
    {
        StreamingRig rig(10);
        rig.slots.AllocateBlocks(10, 100);
        rig.slots[4].filled = 1;
        rig.slots.writeCount = 7;
        EXPECT_TRUE(rig.streaming.PrepareSlots(kBlockBytes));
        EXPECT_EQ(rig.streaming.ringSize(), 10u);
        EXPECT_FALSE(rig.Filled(4));
        EXPECT_EQ(rig.slots.writeCount.load(), 0u);
        EXPECT_GE(rig.slots[9].capacity, kBlockBytes) << "grown to the block size";
    }
    int budget = 6;
    StreamingRig rig(10, testing::kEndless, [&](std::size_t bytes) {
        return budget-- > 0 ? std::unique_ptr<uint8_t[]>(new uint8_t[bytes]()) : nullptr;
    });
    EXPECT_FALSE(rig.streaming.PrepareSlots(kBlockBytes));
    EXPECT_EQ(rig.streaming.ringSize(), 6u) << "playback goes on with the slots it has";

    budget = 3;
    rig.slots.AllocateBlocks(0, 0);
    EXPECT_FALSE(rig.streaming.PrepareSlots(kBlockBytes));
    EXPECT_EQ(rig.streaming.ringSize(), 0u) << "three slots would be handed out while playing";
    rig.AllowBlocks(100);
    EXPECT_TRUE(rig.Start());
    EXPECT_EQ(rig.source.calls.load(), 0) << "no slot is written";
}

TEST(Streaming, AStopWhilePrebufferingEndsTheWaitAndLeavesTheDeviceClosed) {
    StreamingRig rig(10);
    rig.AllowBlocks(4);
    rig.host.onEvent = [&] { rig.host.onStop(); };
    EXPECT_FALSE(rig.Start());
    EXPECT_EQ(rig.host.eventTurns, 1);
    EXPECT_FALSE(rig.device.IsOpen());
    EXPECT_FALSE(rig.thread.Exists());
}

TEST(StreamingSession, ASlotShortageIsToldAndPlaybackGoesOnWithTheSlotsThereAre) {
    int budget = 6;
    RecordingPrompt prompt;
    OutputSlots slots([&](std::size_t bytes) {
        return budget-- > 0 ? std::unique_ptr<uint8_t[]>(new uint8_t[bytes]()) : nullptr;
    });
    Settings settings(prompt, slots);
    testing::UseOutput(settings, 1, 22050, 10);
    PlaybackState playback;
    BufferDoneQueue queue;
    FakeOutputDevice device(prompt, queue);
    CounterSource source(testing::kEndless, &playback.threadStop);
    StreamingSession session(device, slots, settings, playback, prompt, {1ms, 5ms, 300});
    int repaints = 0;
    session.hooks.repaint = [&] { ++repaints; };
    playback.pauseState = 1;

    EXPECT_TRUE(session.Start(source));
    ASSERT_EQ(prompt.prompts().size(), 1u);
    EXPECT_EQ(prompt.prompts()[0].text, kOutOfMemoryMessage);
    EXPECT_EQ(session.streaming().ringSize(), 6u);
    EXPECT_GE(session.streaming().FilledSlots(), 6u / 2 + 3);
    EXPECT_GT(repaints, 0);
    EXPECT_EQ(playback.playState.load(), 1);
    EXPECT_EQ(playback.pauseState.load(), 0);
    EXPECT_EQ(device.Play(kBlockBytes), CounterBytes(0, kBlockFrames));
    EXPECT_TRUE(session.HandleNotification(0ms));
    EXPECT_EQ(slots.releaseCount.load(), 1u);
    EXPECT_FALSE(session.HandleNotification(0ms));

    session.Stop();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_FALSE(session.renderThread().Exists());
    EXPECT_EQ(playback.playState.load(), 0);
}

}  // namespace
}  // namespace zeblo
