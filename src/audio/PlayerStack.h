// One player with everything it plays through: the engine, the render loop, the output slots,
// the wave output device over SDL audio, the render thread (inside the player) and the RCP
// converter. The window and `zeblo-cli play` both build theirs here.
//
// Threads: built and destroyed on the owning thread; each part follows its own rules.
#pragma once

#include <memory>
#include <string>

#include "audio/WaveOutDevice.h"
#include "engine/BufferDoneQueue.h"
#include "engine/EngineContext.h"
#include "engine/OutputSlots.h"
#include "engine/PlaybackState.h"
#include "engine/Player.h"
#include "engine/PlayerRenderer.h"
#include "engine/Renderer.h"
#include "midi/RcpConverter.h"
#include "settings/Settings.h"
#include "settings/UserPrompt.h"

namespace zeblo {

struct PlayerStackOptions {
    bool authoring = false;  // the Author command works (the window's player)
    StreamingTimings timings{};
};

class PlayerStack {
public:
    // `settings` must hold the values to play with: the engine and the snapshot ring are sized
    // from them, and the output blocks are allocated here.
    PlayerStack(Settings& settings, UserPrompt& prompt, const PlayerStackOptions& options);
    PlayerStack(const PlayerStack&) = delete;
    PlayerStack& operator=(const PlayerStack&) = delete;

    Settings& settings;
    EngineContext engine;
    Renderer renderer;
    PlayerRenderer renderLoop{renderer};
    OutputSlots outputSlots;
    PlaybackState playback;
    BufferDoneQueue notifications;
    WaveOutDevice device;
    RcpConverter converter;
    Player player;
};

std::unique_ptr<PlayerStack> MakePlayerStack(Settings& settings, UserPrompt& prompt,
                                             const PlayerStackOptions& options = {});

}  // namespace zeblo
