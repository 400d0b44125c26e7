// The window as the application wires it, with short blocks (a tenth of a second at 22050 Hz, five
// of them), quick prebuffering polls and SDL's disk driver as the sound card, so the device file
// holds what was heard. User-interface thread only.
#pragma once

#include <stdlib.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "settings/RecordingPrompt.h"
#include "support/TempDir.h"
#include "ui/CMainFrame.h"
#include "ui/CPlayerView.h"
#include "ui/QtPlayer.h"
#include "ui/TransitionWindow.h"

namespace zeblo::test {

using namespace std::chrono_literals;

// Runs the event loop until `done` holds; false after `limit`.
inline bool Pump(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

struct WindowRig {
    explicit WindowRig(bool authoring = true) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", deviceFile.c_str(), 1);
        settings.record.blockLength = 1;
        settings.record.outputFrequency = 22050;
        settings.record.blockCount = 5;
        ComputeEngineParameters(settings.record, settings.parameters);
        skinLoaded = skin.LoadBitmapResource(":/zeblo/skin.png");
        stack = MakePlayerStack(settings, prompt, {authoring, {1ms, 2ms, 3000}});
        player = std::make_unique<QtPlayer>(*stack, prompt, nullptr);
        waves = std::make_unique<EngineWaveforms>(stack->engine.wavetable);
        frame = std::make_unique<CMainFrame>(skin, settings.record, *player, *waves, player.get(),
                                             FrameHooks{});
        view = frame->View();
        player->AttachView(view);
        view->StartDisplayTimer();
    }
    ~WindowRig() { frame.reset(); }

    bool Playing() { return stack->playback.playing.load() && stack->device.IsOpen(); }
    uint64_t Position() {
        uint64_t p = 0;
        stack->device.GetPosition(p);
        return p;
    }

    TempDir dir;
    std::string deviceFile = dir.File("device.raw");
    RecordingPrompt prompt;
    Settings settings{prompt};
    std::unique_ptr<PlayerStack> stack;
    std::unique_ptr<QtPlayer> player;
    std::unique_ptr<EngineWaveforms> waves;
    ZBDIBSection skin;
    bool skinLoaded = false;
    std::unique_ptr<CMainFrame> frame;
    CPlayerView* view = nullptr;
};

}  // namespace zeblo::test
