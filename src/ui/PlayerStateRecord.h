// A player state held as plain values: what the window shows before the playback layer drives
// it, and the states the screen pictures and the tests set up.
//
// Threads: user-interface thread only.
#pragma once

#include <array>
#include <string>

#include "ui/PlayerFacade.h"

namespace zeblo {

class PlayerStateRecord : public PlayerFacade {
public:
    explicit PlayerStateRecord(std::size_t ringSize) : ring(ringSize) {}

    int32_t playState = 0, pauseState = 0, loadingState = 0, authoringState = 0, speedMode = 0;
    uint64_t totalSamples = 0, totalTicks = 0;
    int32_t displayFrame = 0;
    uint32_t bytesAuthored = 0, writeCount = 0, readCount = 0;
    int32_t underrunShown = 0, underrunDisplayFrames = 0, seekBarOffset = 0;
    std::string songTitle, currentPath;
    int32_t songTitleSet = 0, engineFlag = 0, keepRunningOnUnderrun = 0, activeDrumSet = 0;
    std::array<int32_t, kChannelCount> drumChannel{};
    int32_t sampleRate = 44100, redrawRate = 10, blockCount = 10;
    ModuleSharedState shared;
    SnapshotRing ring;

    int32_t PlayState() const override { return playState; }
    int32_t PauseState() const override { return pauseState; }
    int32_t LoadingState() const override { return loadingState; }
    int32_t AuthoringState() const override { return authoringState; }
    int32_t SpeedMode() const override { return speedMode; }
    uint64_t TotalSamples() const override { return totalSamples; }
    uint64_t TotalTicks() const override { return totalTicks; }
    int32_t DisplayFrame() const override { return displayFrame; }
    uint32_t BytesAuthored() const override { return bytesAuthored; }
    uint32_t WriteCount() const override { return writeCount; }
    uint32_t ReadCount() const override { return readCount; }
    int32_t UnderrunShown() const override { return underrunShown; }
    void ClearUnderrunShown() override { underrunShown = 0; }
    int32_t TakeUnderrunDisplayFrame() override { return underrunDisplayFrames--; }
    int32_t SeekBarOffset() const override { return seekBarOffset; }
    std::string SongTitle() const override { return songTitle; }
    int32_t SongTitleSet() const override { return songTitleSet; }
    std::string CurrentPath() const override { return currentPath; }
    int32_t EngineFlag() const override { return engineFlag; }
    int32_t KeepRunningOnUnderrun() const override { return keepRunningOnUnderrun; }
    int32_t IsDrumChannel(int c) const override {
        return c >= 0 && c < kChannelCount ? drumChannel[c] : 0;
    }
    int32_t ActiveDrumSet() const override { return activeDrumSet; }
    const ModuleSharedState& SharedState() const override { return shared; }
    int32_t SampleRate() const override { return sampleRate; }
    int32_t RedrawRate() const override { return redrawRate; }
    int32_t BlockCount() const override { return blockCount; }
    SnapshotRing& Snapshots() override { return ring; }
};

}  // namespace zeblo
