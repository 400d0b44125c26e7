// Display snapshots built in code that move like a real song (a four-chord loop on eleven
// channels with drums), for the screen pictures until the render loop feeds the view.
//
// Threads: user-interface thread.
#pragma once

#include <array>
#include <cstdint>

#include "engine/DisplaySnapshot.h"
#include "ui/PlayerFacade.h"

namespace zeblo {

// Eight single-cycle shapes, named by kWaveFromRecord | index.
class DemoWaveforms : public WaveformResolver {
public:
    DemoWaveforms();
    const int8_t* Samples(uint32_t wave) const override;

private:
    std::array<std::array<int8_t, 32>, 8> shapes_{};
};

// The snapshot of display frame `frame` at 10 frames per second; engine 1 stores FM instrument
// bytes in the wave words.
void FillDemoSnapshot(DisplaySnapshot& s, int32_t frame, int32_t engine);

// Channels the demo plays as rhythm channels.
inline constexpr int kDemoDrumChannels[2] = {9, 25};

}  // namespace zeblo
