// The player playing the demo song in real time with each engine, default settings (44100 Hz,
// ten blocks of 2 s), through SDL's disk driver (real-time pacing, output to /dev/null unless
// SDL_DISKAUDIOFILE says otherwise).
//
//   bench_player [seconds] [song]
//
// Prints the time from the play start to the first sound, and the render thread's CPU time as a
// share of one core over the whole play (the first fill of the ring included) and in the steady
// state after the ring has filled.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine/EngineContext.h"
#include "engine/Player.h"
#include "engine/PlayerRenderer.h"
#include "engine/Renderer.h"
#include "engine/WaveOutDevice.h"
#include "settings/RecordingPrompt.h"
#include "settings/Settings.h"

namespace {

using Clock = std::chrono::steady_clock;

class NoView final : public zeblo::PlayerView {
public:
    void DropMessage() override {}
    void Invalidate(bool) override {}
    void Update() override {}
    void ShowMessage(std::string_view, int32_t) override {}
    void ResetDisplayRecords() override {}
    void ProcessPendingEvent() override {}
    void PostPlayCurrent() override {}
    void PostAuthoringEnded() override {}
};

void Measure(const std::string& song, int32_t engineFlag, double seconds) {
    using namespace zeblo;
    RecordingPrompt prompt;
    OutputSlots outputSlots;
    Settings settings(prompt, outputSlots);
    ComputeEngineParameters(settings.record, settings.parameters);
    EngineContext engine(settings.parameters);
    engine.engineFlag.store(engineFlag);
    Renderer renderer(engine);
    PlayerRenderer loop(renderer);
    PlaybackState playback;
    BufferDoneQueue notifications;
    WaveOutDevice device(prompt, notifications);
    NoView view;
    Player player(PlayerParts{engine, settings, playback, device, outputSlots, prompt, loop, view,
                              {}, {}});
    playback.currentPath = song;

    const auto start = Clock::now();
    player.PlayFile();
    if (!device.IsOpen()) {
        std::printf("no output device\n");
        return;
    }
    uint64_t position = 0;
    while (device.GetPosition(position) && position == 0)
        player.HandleNotification(std::chrono::milliseconds(1));
    const double firstSound = std::chrono::duration<double>(Clock::now() - start).count();

    double steadyCpu = 0;
    auto steadyStart = Clock::now();
    bool full = false;
    const auto end = start + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        player.HandleNotification(std::chrono::milliseconds(20));
        if (!full && player.streaming().FilledSlots() == player.streaming().ringSize()) {
            full = true;
            steadyStart = Clock::now();
            steadyCpu = player.renderThread().CpuSeconds();
        }
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = player.renderThread().CpuSeconds();
    const double steadyWall = std::chrono::duration<double>(Clock::now() - steadyStart).count();
    std::printf("%-9s first sound %.2f s; render thread %.2f %% of a core over %.0f s",
                engineFlag == kEngineOpll ? "fm" : "wavetable", firstSound, 100 * cpu / wall,
                wall);
    if (full && steadyWall > 1)
        std::printf(", %.2f %% in the steady state (%.0f s)", 100 * (cpu - steadyCpu) / steadyWall,
                    steadyWall);
    std::printf("; underruns %u\n", player.streaming().underruns());
    player.StopPlayback();
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    const std::string song = argc > 2 ? argv[2] : "resources/demo.mid";
    setenv("SDL_AUDIODRIVER", "disk", 0);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 0);
    Measure(song, zeblo::kEngineWavetable, seconds);
    Measure(song, zeblo::kEngineOpll, seconds);
    return 0;
}
