// A player around a hand-moved device, a render loop that only steps the sequencer, and a view
// that records what it is asked, for driving the player core in tests.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "engine/EngineContext.h"
#include "engine/Player.h"
#include "engine/StreamingTestSupport.h"
#include "settings/RecordingPrompt.h"
#include "settings/Settings.h"

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

class RecordingView final : public PlayerView {
public:
    void DropMessage() override { ++drops; }
    void Invalidate(bool erase) override { erase ? ++erases : ++invalidations; }
    void Update() override { ++updates; }
    void ShowMessage(std::string_view text, int32_t ms) override {
        messages.emplace_back(text);
        messageMs.push_back(ms);
    }
    void ResetDisplayRecords() override { ++resets; }
    void ProcessPendingEvent() override {}
    void PostPlayCurrent() override { ++playCurrentPosts; }
    void PostAuthoringEnded() override { authoringEnded.store(true); }

    int drops = 0, erases = 0, invalidations = 0, updates = 0, resets = 0, playCurrentPosts = 0;
    std::vector<std::string> messages;
    std::vector<int32_t> messageMs;
    std::atomic<bool> authoringEnded{false};
};

// Everything a player needs, with short blocks (a tenth of a second at 22050 Hz, five slots) and
// quick prebuffering polls.
struct PlayerRig {
    explicit PlayerRig(AuthoringRun author = {}, RcpConversion convert = {}) {
        UseOutput(settings, 1, 22050, 5);
        player = std::make_unique<Player>(
            PlayerParts{engine, settings, playback, device, slots, prompt, frames, view,
                        std::move(convert), std::move(author),
                        StreamingTimings{kSlotPollInterval, std::chrono::milliseconds(2), 200}});
    }
    ~PlayerRig() { player.reset(); }

    RecordingPrompt prompt;
    OutputSlots slots;
    Settings settings{prompt, slots};
    EngineContext engine{settings.record, settings.parameters};
    PlaybackState playback;
    BufferDoneQueue queue;
    FakeOutputDevice device{prompt, queue};
    SequencerFrames frames{engine};
    RecordingView view;
    std::unique_ptr<Player> player;
};

}  // namespace zeblo::testing
