// What the window reads of the player: the playback globals, the shared module flags and the
// snapshot ring. The playback layer implements it; the view never reaches engine internals.
//
// Threads: every operation is called on the user-interface thread. Implementations read values
// that other threads write (aligned words or atomics), without locks.
#pragma once

#include <cstdint>
#include <string>

#include "engine/DisplaySnapshot.h"
#include "modules/ModuleSharedState.h"

namespace zeblo {

class PlayerFacade {
public:
    virtual ~PlayerFacade() = default;

    virtual int32_t PlayState() const = 0;
    virtual int32_t PauseState() const = 0;
    virtual int32_t LoadingState() const = 0;
    virtual int32_t AuthoringState() const = 0;
    virtual int32_t SpeedMode() const = 0;  // 0, 1 or 2
    virtual uint64_t TotalSamples() const = 0;
    virtual uint64_t TotalTicks() const = 0;
    virtual int32_t DisplayFrame() const = 0;
    virtual uint32_t BytesAuthored() const = 0;
    // Output blocks filled by the render thread and blocks handed to the device.
    virtual uint32_t WriteCount() const = 0;
    virtual uint32_t ReadCount() const = 0;
    virtual int32_t UnderrunShown() const = 0;
    virtual void ClearUnderrunShown() = 0;
    // Counts the underrun mark's display frames down by one; returns the value before.
    virtual int32_t TakeUnderrunDisplayFrame() = 0;
    virtual int32_t SeekBarOffset() const = 0;
    virtual std::string SongTitle() const = 0;  // raw bytes from the file
    virtual int32_t SongTitleSet() const = 0;
    virtual std::string CurrentPath() const = 0;  // UTF-8
    virtual int32_t EngineFlag() const = 0;       // 0 wavetable, 1 FM
    virtual int32_t KeepRunningOnUnderrun() const = 0;
    // The wavetable module's rhythm-channel flag of channel c (port * 16 + channel).
    virtual int32_t IsDrumChannel(int c) const = 0;
    virtual int32_t ActiveDrumSet() const = 0;
    virtual const ModuleSharedState& SharedState() const = 0;
    virtual int32_t SampleRate() const = 0;
    virtual int32_t RedrawRate() const = 0;
    virtual int32_t BlockCount() const = 0;
    virtual SnapshotRing& Snapshots() = 0;
};

// Turns a snapshot's wave word into the 32 signed samples it names; nullptr when it names none.
class WaveformResolver {
public:
    virtual ~WaveformResolver() = default;
    virtual const int8_t* Samples(uint32_t wave) const = 0;
};

// The actions the view's clicks, drops and messages ask of the playback layer.
class PlayerControl {
public:
    virtual ~PlayerControl() = default;
    virtual void Play() = 0;
    virtual void Speed() = 0;
    virtual void Stop() = 0;
    virtual void Pause() = 0;
    virtual void Author() = 0;
    virtual void Preferences() = 0;
    virtual void Seek(int x) = 0;
    virtual void ToggleMute(int channel) = 0;
    virtual void StopPlayback() = 0;
    virtual void InvertEngine() = 0;
    virtual void DropFile(const std::string& path) = 0;
    virtual void PlayShared() = 0;
    virtual void PlayCurrent() = 0;
    // The display timer's tick: refresh the display frame from the device position.
    virtual void DisplayTick() = 0;
};

}  // namespace zeblo
