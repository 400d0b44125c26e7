// A player around a hand-moved device, a render loop that only steps the sequencer, and a
// listener that records what it is told.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/EngineContext.h"
#include "engine/Player.h"
#include "engine/StreamingTestSupport.h"

namespace zeblo::testing {

// Frames are a running count; each one first advances the sequencer as the render loop does.
class SequencerFrames final : public FrameSource, public PlayerRenderLoop {
public:
    explicit SequencerFrames(EngineContext& engine) : engine_(engine) {}

    uint32_t Render(uint32_t* out, uint32_t frames, bool) override {
        Sequencer& sequencer = engine_.sequencer;
        std::lock_guard guard(sequencer.Lock());
        for (uint32_t i = 0; i < frames; ++i) {
            if (!sequencer.Playing()) return i;
            sequencer.Advance(false);
            out[i] = static_cast<uint32_t>(++rendered);
        }
        return frames;
    }
    void ClearFilterHistory() override { ++filterClears; }
    FrameSource& Frames() override { return *this; }
    void StartSnapshotClock() override { ++clockStarts; }

    std::atomic<uint64_t> rendered{0};
    std::atomic<int> filterClears{0};
    int clockStarts = 0;

private:
    EngineContext& engine_;
};

// Each report as one word, in order; messages as their text.
class RecordingListener final : public PlayerListener {
public:
    void StateChanged() override { reports.push_back("state"); }
    void FullRedrawNeeded() override { reports.push_back("redraw"); }
    void PlayStarting() override { reports.push_back("starting"); }
    void SongLoading() override { reports.push_back("loading"); }
    void SongLoaded() override { reports.push_back("loaded"); }
    void ShowMessage(std::string_view text, int32_t ms) override {
        reports.push_back(std::string(text) + "/" + std::to_string(ms));
    }
    void PlayRequested() override { reports.push_back("play requested"); }
    void AuthoringEnded() override { authoringEnded = true; }

    std::vector<std::string> reports;
    std::atomic<bool> authoringEnded{false};
};

// Everything a player needs, with short blocks (a tenth of a second at 22050 Hz, five slots) and
// quick prebuffering polls.
struct PlayerRig {
    explicit PlayerRig(AuthoringRun author = {}, RcpConversion convert = {}) {
        UseOutput(settings, 1, 22050, 5);
        player = std::make_unique<Player>(
            PlayerParts{engine, settings, playback, device, outputSlots, prompt, frames,
                        std::move(convert), std::move(author),
                        StreamingTimings{kSlotPollInterval, std::chrono::milliseconds(2), 200}});
        player->SetListener(listener);
    }

    RecordingPrompt prompt;
    OutputSlots outputSlots;
    Settings settings{prompt};
    EngineContext engine{settings.record, settings.parameters};
    PlaybackState playback;
    BufferDoneQueue queue;
    FakeOutputDevice device{prompt, queue};
    SequencerFrames frames{engine};
    RecordingListener listener;
    std::unique_ptr<Player> player;
};

}  // namespace zeblo::testing
