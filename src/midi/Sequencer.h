// The sequencer and tempo clock: turns the song image into calls on a SoundModule, counted in
// output sample frames.
//
// Threads and the lock. The sequencer never locks itself. Its one lock, Lock(), is held:
//   - by the render loop for each block it renders (every Advance of the block and the module's
//     sample generation that follows each one);
//   - by the user-interface thread for the whole of a Seek, and around a speed change
//     (SetTempoOffset followed by ComputeStep) while the render thread runs.
// LoadFile, LoadImage, Measure, Start, Stop, SetModule, SetPlayLimit and SetHoldAtEnd run on the
// thread that owns the sequencer while no render loop runs (the user-interface thread before the
// render thread is resumed, or the authoring thread). Advance, Step and Ended run on the thread
// that runs the render loop.
// playing, paused and busy are atomics and may be read anywhere. songTitleSet is published with
// release order after the title is written: a reader that sees it set may read SongTitle().
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <span>

#include "midi/MidiConstants.h"
#include "midi/SongImage.h"
#include "modules/SoundModule.h"
#include "settings/EngineParameters.h"

namespace zeblo {

struct MidiEvent;

class Sequencer {
public:
    // The output sample rate is read from parameters at every ComputeStep.
    explicit Sequencer(const EngineParameters& parameters);
    ~Sequencer();
    Sequencer(const Sequencer&) = delete;
    Sequencer& operator=(const Sequencer&) = delete;

    // Loading. LoadFile silences a loaded song first; both leave the new song rewound and
    // unpaused, or no song at all on failure.
    bool LoadFile(const char* path);
    bool LoadImage(std::span<const uint8_t> image);
    // Every track cursor back to its start and the clock to tick 0 at the initial tempo.
    void Rewind();

    // Set by the player before each start, while the module is closed.
    void SetModule(SoundModule* module) { this->module = module; }
    SoundModule* Module() const { return module; }

    // Once per output sample frame. With no song or no module it does nothing.
    void Advance(bool force);
    // How many of the next Advance(false) calls, at most `limit`, would only count a frame or run
    // a step in which no event is due; the render loop counts them at once with CountQuietFrames
    // and mixes those frames as one run.
    uint32_t QuietFrames(uint32_t limit) const;
    // The same as `frames` calls of Advance(false) when QuietFrames allowed at least that many.
    void CountQuietFrames(uint32_t frames);
    // One step of ticksPerStep ticks. With no song or no module it does nothing.
    void Step();
    // Derives ticksPerStep and samplesPerStep from the tempo; false, with the clock stopped, when
    // tempo + offset is not a positive number of beats per minute.
    bool ComputeStep();
    bool Start();
    bool Stop();
    void Silence();
    // Rewinds and delivers every event up to the step boundary at or after targetTick at once.
    void Seek(uint64_t targetTick);
    // Runs the song through once without looping; either output may be null. Also finds the title.
    // With stopAtSample, the run stops at the last step boundary at or before that sample: the
    // outputs then hold the samples and the tick reached there.
    bool Measure(uint64_t* samplesOut, uint64_t* ticksOut,
                 uint64_t stopAtSample = std::numeric_limits<uint64_t>::max());
    bool OpenModule();
    void HandleEvent(Track& track);

    std::mutex& Lock() { return lock; }

    bool HasSong() const { return song.HasSong(); }
    const SongHeader& Header() const { return song.header; }
    std::span<const Track> Tracks() const { return song.tracks; }

    // The player's fast-forward, in beats per minute added to the tempo at every ComputeStep.
    void SetTempoOffset(int32_t bpm) { tempoOffset = bpm; }
    int32_t TempoOffset() const { return tempoOffset; }
    void SetLoop(bool on) { loop = on ? 1 : 0; }
    bool Loop() const { return loop != 0; }
    // With the loop on, the song ends after this many plays counted from Start (0: never).
    void SetPlayLimit(uint32_t plays) { playLimit = plays; }
    // At the song's end the module is left sounding instead of silenced: the clock stands still,
    // Playing() stays true and Ended() turns true, so that releases can ring out.
    void SetHoldAtEnd(bool on) { holdAtEnd = on ? 1 : 0; }
    bool Ended() const { return ended != 0; }

    bool Playing() const { return playing.load(std::memory_order_acquire) != 0; }
    bool Paused() const { return paused.load(std::memory_order_acquire) != 0; }
    bool Busy() const { return busy.load(std::memory_order_acquire) != 0; }
    uint16_t TempoBpm() const { return tempoBpm; }
    int32_t TicksPerStep() const { return ticksPerStep; }
    uint32_t SamplesPerStep() const { return samplesPerStep; }
    uint64_t TickPosition() const { return tickPosition; }
    uint32_t SampleCounter() const { return sampleCounter; }
    SoundModuleHandle Handle() const { return handle; }

    // The first non-empty notice or name text of track 0, NUL-terminated, raw bytes.
    const char* SongTitle() const { return songTitle.data(); }
    bool SongTitleSet() const { return songTitleSet.load(std::memory_order_acquire) != 0; }

private:
    // Advance(false) would count the frame (rather than return at once).
    bool AdvanceCounts() const {
        return HasSong() && module != nullptr && busy.load(std::memory_order_relaxed) == 0 &&
               paused.load(std::memory_order_relaxed) == 0;
    }
    // The tick loop of one step. With skipIdle, runs of ticks in which no open track has an
    // event due are counted arithmetically; the outcome is the same as ticking them one by one.
    bool RunStepTicks(bool skipIdle);
    void RunTick(bool& active);
    // Ticks before the first event due on any open track; false when no track is open.
    bool IdleTicks(uint64_t& ticks) const;
    void SkipIdleTicks(uint64_t ticks);
    // Whole steps that no event falls into, at most limit.
    uint64_t IdleSteps(uint64_t limit) const;
    // Step without the no-module guard: the end-of-song handling included.
    void RunStep(bool skipIdle);
    void RestartLoop();
    void RewindClock();
    void DeliverSysEx(const MidiEvent& event, const Track& track);
    void TakeTitle(const MidiEvent& event, const Track& track);

    const EngineParameters& parameters;
    SongImage song;
    SoundModule* module = nullptr;
    SoundModuleHandle handle = 0;
    std::array<uint8_t, kSysExBufferBytes> sysExBuffer{};
    MessageHeader sysExHeader;
    std::mutex lock;

    std::atomic<uint32_t> playing{0};
    std::atomic<uint32_t> paused{1};
    std::atomic<uint32_t> busy{0};
    int32_t ticksPerStep = 1;
    uint32_t samplesPerStep = kMinSamplesPerStep;
    uint16_t tempoBpm = parameters.initialTempoBpm;
    uint64_t tickPosition = 0;
    uint32_t loop = 1;
    uint32_t playLimit = 0;
    uint32_t playsDone = 0;
    uint32_t holdAtEnd = 0;
    uint32_t ended = 0;
    int32_t tempoOffset = 0;
    uint32_t sampleCounter = 0;

    std::array<char, kSongTitleBytes> songTitle{};
    std::atomic<uint32_t> songTitleSet{0};
};

}  // namespace zeblo
