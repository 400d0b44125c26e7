#include <gtest/gtest.h>

#include "engine/StreamingTestSupport.h"

namespace zeblo {
namespace {

using namespace std::chrono_literals;
using testing::CounterSource;
using testing::FakeOutputDevice;
using testing::TestHost;
using testing::WaitUntil;

class RenderThreadTest : public ::testing::Test {
protected:
    // Ten-second blocks at 22050 Hz: 54 render chunks each.
    void SetUp() override {
        testing::UseOutput(settings, 100, 22050, 5);
        ASSERT_TRUE(streaming.PrepareSlots(settings.parameters.blockBytes));
    }

    RecordingPrompt prompt;
    OutputSlots slots;
    Settings settings{prompt, slots};
    PlaybackState playback;
    BufferDoneQueue queue;
    FakeOutputDevice device{prompt, queue};
    TestHost host;
    Streaming streaming{device, slots, settings, playback, prompt, host};
    RenderThread thread{streaming, playback};
};

TEST_F(RenderThreadTest, AStopInTheMiddleOfABlockWaitsForOneChunkAtMost) {
    CounterSource source(testing::kEndless, &playback.threadStop);
    source.delayPerCall = 2ms;
    ASSERT_TRUE(thread.Create(source));
    EXPECT_FALSE(thread.Create(source)) << "one render thread at a time";
    ASSERT_TRUE(thread.Resume());
    ASSERT_TRUE(WaitUntil([&] { return source.calls.load() >= 3; }));
    thread.Stop();
    const int callsAtStop = source.calls.load();
    EXPECT_LT(callsAtStop, 54) << "the first block was not finished";
    EXPECT_FALSE(thread.Exists());
    EXPECT_TRUE(thread.Ended());
    EXPECT_EQ(playback.threadStop.load(), 0) << "cleared for the next thread";
    EXPECT_EQ(slots.writeCount.load(), 0u) << "a block cut short is never published";
    EXPECT_FALSE(slots[0].filled.load());
    EXPECT_GT(thread.CpuSeconds(), 0.0);
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(source.calls.load(), callsAtStop);
}

TEST_F(RenderThreadTest, AStopWhileHeldEndsTheThreadBeforeItRenders) {
    CounterSource source;
    ASSERT_TRUE(thread.Create(source));
    thread.Stop();
    EXPECT_FALSE(thread.Exists());
    EXPECT_EQ(source.calls.load(), 0);
    EXPECT_EQ(source.filterClears.load(), 1) << "the filter history is cleared first";
    thread.Stop();  // no thread: returns at once
}

TEST_F(RenderThreadTest, TheThreadEndsByItselfWhenTheSongEnds) {
    CounterSource source(3000);
    ASSERT_TRUE(thread.Create(source));
    ASSERT_TRUE(thread.Resume());
    ASSERT_TRUE(WaitUntil([&] { return thread.Ended(); }));
    EXPECT_EQ(slots.writeCount.load(), 1u);
    EXPECT_EQ(slots[0].byteCount, 12000u);
    EXPECT_TRUE(streaming.ProducerEnded());
    thread.Stop();
    EXPECT_FALSE(thread.Exists());
    EXPECT_EQ(source.calls.load(), 1) << "a short block is known to be the last";
}

TEST_F(RenderThreadTest, TheProducerNeverOvertakesASlotNotHandedBack) {
    testing::UseOutput(settings, 1, 22050, 5);
    ASSERT_TRUE(streaming.PrepareSlots(settings.parameters.blockBytes));
    CounterSource source;
    ASSERT_TRUE(thread.Create(source));
    ASSERT_TRUE(thread.Resume());
    ASSERT_TRUE(WaitUntil([&] { return slots.writeCount.load() == 5; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(slots.writeCount.load(), 5u) << "the ring is full";
    EXPECT_EQ(source.produced.load(), 5u * 2205);
    slots[0].filled.store(0, std::memory_order_release);
    streaming.WakeProducer();
    ASSERT_TRUE(WaitUntil([&] { return slots.writeCount.load() == 6; }));
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(slots[0].block.get())[0],
              testing::CounterFrame(5 * 2205));
    thread.Stop();
}

TEST_F(RenderThreadTest, PriorityRequestsAreBestEffort) {
    CounterSource source(testing::kEndless, &playback.threadStop);
    source.allowedFrames = 0;
    thread.SetRaised(true);
    EXPECT_FALSE(thread.raised()) << "no thread to raise";
    ASSERT_TRUE(thread.Create(source));
    ASSERT_TRUE(thread.Resume());
    ASSERT_TRUE(WaitUntil([&] { return source.filterClears.load() == 1; }));
    thread.SetRaised(true);
    EXPECT_TRUE(thread.raised());
    thread.SetRaised(false);
    EXPECT_FALSE(thread.raised());
    thread.Stop();
}

}  // namespace
}  // namespace zeblo
