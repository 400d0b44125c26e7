#include "midi/Sequencer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <thread>
#include <vector>

#include "midi/EventReader.h"

namespace zeblo {

Sequencer::Sequencer(const EngineParameters& parameters) : parameters(parameters) {
    sysExHeader.data = sysExBuffer.data();
    sysExHeader.bufferLength = static_cast<uint32_t>(sysExBuffer.size());
}

Sequencer::~Sequencer() {
    if (HasSong()) Silence();
    while (Busy()) std::this_thread::yield();
}

bool Sequencer::LoadFile(const char* path) {
    if (HasSong()) Silence();
    song.Clear();
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    std::vector<uint8_t> image;
    bool read = false;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        char id[4] = {};
        if (size >= 4 && std::fseek(file, 0, SEEK_SET) == 0 && std::fread(id, 1, 4, file) == 4 &&
            std::memcmp(id, "MThd", 4) == 0) {
            try {
                image.resize(static_cast<std::size_t>(size));
                read = std::fseek(file, 0, SEEK_SET) == 0 &&
                       std::fread(image.data(), 1, image.size(), file) == image.size();
            } catch (const std::bad_alloc&) {
                read = false;
            }
        }
    }
    std::fclose(file);
    return read && LoadImage(image);
}

bool Sequencer::LoadImage(std::span<const uint8_t> image) {
    if (HasSong()) Silence();
    if (!song.LoadImage(image)) return false;
    RewindClock();
    return true;
}

void Sequencer::Rewind() {
    song.RewindTracks();
    RewindClock();
}

void Sequencer::RewindClock() {
    tickPosition = 0;
    paused.store(0, std::memory_order_release);
    tempoBpm = parameters.initialTempoBpm;
    sampleCounter = kRewoundSampleCounter;
}

bool Sequencer::ComputeStep() {
    playing.store(0, std::memory_order_release);
    const int64_t d = (int64_t{tempoBpm} + tempoOffset) * song.header.division;
    const int64_t r = int64_t{parameters.sampleRate} * 60;
    // A tempo that is not positive (only a negative offset can make one) has no step: the clock
    // stays stopped rather than dividing by it.
    if (d <= 0 || r <= 0) return false;
    // The smallest k with k * r / d >= 100 (truncated) is the smallest k with k * r >= 100 * d.
    const int64_t shortest = int64_t{kMinSamplesPerStep} * d;
    const int64_t k = std::max<int64_t>(1, (shortest + r - 1) / r);
    if (k > std::numeric_limits<int32_t>::max()) return false;
    ticksPerStep = static_cast<int32_t>(k);
    samplesPerStep =
        static_cast<uint32_t>(std::min<int64_t>(k * r / d, std::numeric_limits<uint32_t>::max()));
    playing.store(1, std::memory_order_release);
    return true;
}

void Sequencer::Advance(bool force) {
    if (!HasSong() || module == nullptr) return;
    if (!force) {
        if (busy.load(std::memory_order_relaxed) != 0 ||
            paused.load(std::memory_order_relaxed) != 0)
            return;
        if (++sampleCounter < samplesPerStep) return;
    }
    busy.store(1, std::memory_order_release);
    RunStep(false);
    busy.store(0, std::memory_order_release);
    sampleCounter = 0;
}

uint32_t Sequencer::QuietFrames(uint32_t limit) const {
    if (!AdvanceCounts()) return limit;
    if (sampleCounter >= samplesPerStep || samplesPerStep - sampleCounter <= 1) return 0;
    const uint32_t quiet = samplesPerStep - sampleCounter - 1;
    if (quiet >= limit) return limit;
    // Steps with no event due change only the clock, so the run may go on through them: each
    // adds a whole step of frames.
    const uint64_t idle = IdleSteps((limit - quiet) / samplesPerStep);
    return quiet + static_cast<uint32_t>(idle * samplesPerStep);
}

void Sequencer::CountQuietFrames(uint32_t frames) {
    if (!AdvanceCounts()) return;
    const uint64_t counted = uint64_t{sampleCounter} + frames;
    const uint64_t steps = counted / samplesPerStep;
    SkipIdleTicks(steps * static_cast<uint64_t>(ticksPerStep));
    sampleCounter = static_cast<uint32_t>(counted - steps * samplesPerStep);
}

void Sequencer::Step() {
    if (!HasSong() || module == nullptr) return;
    RunStep(false);
}

void Sequencer::RunStep(bool skipIdle) {
    if (RunStepTicks(skipIdle)) return;
    // Every track had ended before this step: the song is over.
    ++playsDone;
    if (loop != 0 && (playLimit == 0 || playsDone < playLimit)) {
        RestartLoop();
    } else if (holdAtEnd != 0) {
        paused.store(1, std::memory_order_release);
        ended = 1;
    } else {
        Stop();
    }
}

void Sequencer::RestartLoop() {
    paused.store(0, std::memory_order_release);
    if (module != nullptr) module->Reset(handle);
    tickPosition = 0;
    tempoBpm = parameters.initialTempoBpm;
    sampleCounter = kRewoundSampleCounter;
    song.RewindTracks();
    ComputeStep();
}

bool Sequencer::RunStepTicks(bool skipIdle) {
    bool active = false;
    // ticksPerStep is read afresh at every tick: a tempo event changes the step it occurs in.
    for (int32_t done = 0; done < ticksPerStep;) {
        if (skipIdle) {
            uint64_t idle = 0;
            const bool open = IdleTicks(idle);
            const uint64_t room = static_cast<uint64_t>(ticksPerStep - done);
            const uint64_t ticks = open ? std::min(idle, room) : room;
            if (ticks > 0) {
                SkipIdleTicks(ticks);
                active = active || open;
                done += static_cast<int32_t>(ticks);
                continue;
            }
        }
        RunTick(active);
        ++done;
    }
    return active;
}

void Sequencer::RunTick(bool& active) {
    ++tickPosition;
    for (Track& track : song.tracks) {
        if (track.ended != 0) continue;
        active = true;
        if (track.deltaRemaining == 0) {
            for (;;) {
                HandleEvent(track);
                if (track.readPosition >= track.length) {
                    track.ended = 1;
                    break;
                }
                if (!ReadVarLenComplete(track, track.deltaRemaining)) {
                    track.ended = 1;
                    break;
                }
                if (track.deltaRemaining != 0) break;
            }
        }
        --track.deltaRemaining;
    }
}

bool Sequencer::IdleTicks(uint64_t& ticks) const {
    bool open = false;
    uint32_t least = std::numeric_limits<uint32_t>::max();
    for (const Track& track : song.tracks) {
        if (track.ended != 0) continue;
        open = true;
        least = std::min(least, track.deltaRemaining);
    }
    ticks = least;
    return open;
}

void Sequencer::SkipIdleTicks(uint64_t ticks) {
    tickPosition += ticks;
    for (Track& track : song.tracks) {
        if (track.ended == 0) track.deltaRemaining -= static_cast<uint32_t>(ticks);
    }
}

uint64_t Sequencer::IdleSteps(uint64_t limit) const {
    uint64_t idle = 0;
    // With no open track the next step is the one that ends the song.
    if (!IdleTicks(idle) || ticksPerStep <= 0) return 0;
    return std::min(idle / static_cast<uint64_t>(ticksPerStep), limit);
}

void Sequencer::HandleEvent(Track& track) {
    MidiEvent event;
    if (!ReadEvent(track, event)) return;
    switch (event.kind) {
        case EventKind::kChannel:
            if (module != nullptr) {
                module->ShortMsg(handle, PackShortMsg(event.status, event.data1, event.data2),
                                 track.port);
            }
            return;
        case EventKind::kSysEx:
            DeliverSysEx(event, track);
            return;
        case EventKind::kMeta:
            break;
    }
    switch (event.metaType) {
        case kMetaNoticeText:
        case kMetaSequenceName:
            TakeTitle(event, track);
            return;
        case kMetaMidiPort:
            track.port = event.body[0];
            return;
        case kMetaEndOfTrack:
            track.ended = 1;
            return;
        case kMetaSetTempo: {
            const uint32_t m =
                (uint32_t{event.body[0]} << 16) | (uint32_t{event.body[1]} << 8) | event.body[2];
            // A tempo of 0 microseconds has no beat length: the event changes nothing.
            if (m == 0) return;
            tempoBpm = static_cast<uint16_t>(60000000u / m);
            ComputeStep();
            return;
        }
        default:
            return;
    }
}

void Sequencer::DeliverSysEx(const MidiEvent& event, const Track& track) {
    const std::size_t length = 1 + std::size_t{event.bodyLength};
    // Too long for the buffer: consumed, not delivered.
    if (length > sysExBuffer.size()) return;
    sysExBuffer[0] = 0xF0;
    std::copy_n(event.body, event.bodyLength, sysExBuffer.begin() + 1);
    sysExHeader.flags = 0;
    sysExHeader.bufferLength = static_cast<uint32_t>(length);
    if (module == nullptr) return;
    module->PrepareHeader(handle, &sysExHeader, kMessageHeaderSize);
    module->LongMsg(handle, &sysExHeader, kMessageHeaderSize, track.port);
}

void Sequencer::TakeTitle(const MidiEvent& event, const Track& track) {
    if (track.index != 0 || songTitleSet.load(std::memory_order_relaxed) != 0) return;
    const std::size_t limit = std::min<std::size_t>(event.bodyLength, kSongTitleMaxChars);
    const uint8_t* text = event.body;
    const std::size_t length = std::find(text, text + limit, 0) - text;
    if (length == 0) return;
    std::copy_n(text, length, songTitle.begin());
    songTitle[length] = '\0';
    songTitleSet.store(1, std::memory_order_release);
}

void Sequencer::Silence() {
    paused.store(1, std::memory_order_release);
    playing.store(0, std::memory_order_release);
    if (handle == 0) return;
    if (module != nullptr) {
        for (uint32_t c = 0; c < kSequencerChannels; ++c) {
            module->ShortMsg(handle, PackShortMsg(0xB0 | (c % 16), 7, 0), c / 16);
        }
        module->UnprepareHeader(handle, &sysExHeader, kMessageHeaderSize);
        module->Reset(handle);
        module->Close(handle);
    }
    handle = 0;
}

bool Sequencer::OpenModule() {
    if (module == nullptr) return false;
    if (handle != 0) return true;
    return module->Open(&handle, kAnyDevice, 0, 0, 0) == 0;
}

bool Sequencer::Start() {
    if (!HasSong()) return false;
    Silence();
    playsDone = 0;
    ended = 0;
    Rewind();
    OpenModule();
    ComputeStep();
    return true;
}

bool Sequencer::Stop() {
    if (!HasSong()) return false;
    Silence();
    return true;
}

void Sequencer::Seek(uint64_t targetTick) {
    if (!HasSong()) return;
    if (module != nullptr) module->Reset(handle);
    Rewind();
    ticksPerStep = 1;
    OpenModule();
    while (tickPosition < targetTick) {
        // Steps the scan would still run: it stops at the first step boundary at or after the
        // target.
        const uint64_t step = static_cast<uint64_t>(std::max(ticksPerStep, 1));
        const uint64_t remaining = (targetTick - tickPosition + step - 1) / step;
        SkipIdleTicks(IdleSteps(remaining) * step);
        if (tickPosition >= targetTick) break;
        if (!RunStepTicks(true)) break;
    }
    ComputeStep();
}

bool Sequencer::Measure(uint64_t* samplesOut, uint64_t* ticksOut, uint64_t stopAtSample) {
    songTitle[0] = '\0';
    songTitleSet.store(0, std::memory_order_release);
    if (samplesOut != nullptr) *samplesOut = 0;
    if (ticksOut != nullptr) *ticksOut = 0;
    if (HasSong()) Silence();
    loop = 0;
    holdAtEnd = 0;
    tempoOffset = 0;
    if (!HasSong()) return false;
    Rewind();
    OpenModule();
    ComputeStep();
    constexpr uint64_t kWhole = std::numeric_limits<uint64_t>::max();
    uint64_t samples = 0;
    while (Playing()) {
        // Steps in which nothing falls due cost nothing but their samples and ticks.
        const uint64_t idleSteps =
            IdleSteps(stopAtSample == kWhole ? kWhole : (stopAtSample - samples) / samplesPerStep);
        samples += idleSteps * samplesPerStep;
        SkipIdleTicks(idleSteps * static_cast<uint64_t>(ticksPerStep));
        if (stopAtSample != kWhole && samples + samplesPerStep > stopAtSample) break;
        samples += samplesPerStep;
        busy.store(1, std::memory_order_release);
        RunStep(true);
        busy.store(0, std::memory_order_release);
        sampleCounter = 0;
    }
    if (samplesOut != nullptr) *samplesOut = samples;
    if (ticksOut != nullptr) *ticksOut = tickPosition;
    return true;
}

}  // namespace zeblo
