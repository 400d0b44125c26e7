// A player around a hand-moved device, a render loop that only steps the sequencer, and a view
// that records what it is asked, for driving the player core in tests.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "engine/EngineContext.h"
#include "engine/Player.h"
#include "engine/Renderer.h"
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
            PlayerParts{engine, settings, playback, device, outputSlots, prompt, frames, view,
                        std::move(convert), std::move(author),
                        StreamingTimings{kSlotPollInterval, std::chrono::milliseconds(2), 200}});
    }
    ~PlayerRig() { player.reset(); }

    RecordingPrompt prompt;
    OutputSlots outputSlots;
    Settings settings{prompt, outputSlots};
    EngineContext engine{settings.parameters};
    PlaybackState playback;
    BufferDoneQueue queue;
    FakeOutputDevice device{prompt, queue};
    SequencerFrames frames{engine};
    RecordingView view;
    std::unique_ptr<Player> player;
};

// What a play start of `path` renders, found independently: a fresh engine, the selected module
// reset, the song loaded and measured through it, started, and rendered in the producer's chunks.
// At most `frames` frames; fewer when the song ends (a song plays once unless `loop`).
inline std::vector<uint32_t> RenderLikeAPlayStart(const std::string& path,
                                                  const SettingsRecord& record, int32_t engineFlag,
                                                  std::size_t frames, bool loop = false) {
    RecordingPrompt prompt;
    OutputSlots outputSlots;
    Settings settings(prompt, outputSlots);
    settings.record = record;
    ComputeEngineParameters(settings.record, settings.parameters);
    EngineContext engine(settings.parameters);
    engine.engineFlag.store(engineFlag);
    Renderer renderer(engine);
    SoundModule& module = engine.SelectedModule();
    module.Reset(0);
    engine.sequencer.SetModule(&module);
    std::vector<uint32_t> out;
    if (!engine.sequencer.LoadFile(path.c_str())) return out;
    engine.sequencer.Measure(nullptr, nullptr);
    engine.sequencer.SetLoop(loop);
    engine.sequencer.SetTempoOffset(0);
    engine.sequencer.Start();
    renderer.StartSnapshotClock();
    renderer.ClearFilterHistory();
    out.resize(frames);
    std::size_t done = 0;
    while (done < frames) {
        const uint32_t want = static_cast<uint32_t>(std::min<std::size_t>(frames - done, 4096));
        const uint32_t got = renderer.Render(out.data() + done, want, true);
        done += got;
        if (got < want) break;
    }
    out.resize(done);
    return out;
}

// Where `expected` lies in `played` (frames before it silent in both); -1 when it is not there
// for all of `length` frames.
inline int64_t FindPlayedSong(const std::vector<uint32_t>& played,
                              const std::vector<uint32_t>& expected, std::size_t length) {
    std::size_t e0 = 0;
    while (e0 < expected.size() && expected[e0] == 0) ++e0;
    std::size_t f0 = 0;
    while (f0 < played.size() && played[f0] == 0) ++f0;
    if (e0 == expected.size() || f0 < e0 || length > expected.size()) return -1;
    const std::size_t offset = f0 - e0;
    if (offset + length > played.size()) return -1;
    for (std::size_t i = 0; i < length; ++i) {
        if (played[offset + i] != expected[i]) return -1;
    }
    return static_cast<int64_t>(offset);
}

inline std::vector<uint32_t> ReadFrames(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<uint32_t> frames(bytes.size() / 4);
    std::memcpy(frames.data(), bytes.data(), frames.size() * 4);
    return frames;
}

}  // namespace zeblo::testing
