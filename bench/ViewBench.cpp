// The player view's paints: a full repaint (erase and every element) and a timer paint with the
// changes of real music, on the off-screen surface and then onto a screen-format image.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>

#include "ui/CPlayerView.h"
#include "ui/DemoScene.h"
#include "ui/PlayerStateRecord.h"

namespace {

struct Scene {
    Scene() : player(1200) {
        skin.LoadBitmapResource(":/zeblo/skin.png");
        player.playState = 1;
        player.totalSamples = 44100 * 95;
        player.songTitleSet = 1;
        player.songTitle = "Benchmark song";
        for (int f = 0; f < 1200; ++f) zeblo::FillDemoSnapshot(player.ring[f], f, 0);
        view = std::make_unique<zeblo::CPlayerView>(nullptr, skin, player, waves, nullptr);
    }
    zeblo::ZBDIBSection skin;
    zeblo::PlayerStateRecord player;
    zeblo::DemoWaveforms waves;
    std::unique_ptr<zeblo::CPlayerView> view;
};

void BM_FullRepaint(benchmark::State& state) {
    Scene s;
    int f = 0;
    for (auto _ : state) {
        s.player.displayFrame = ++f % 1200;
        s.view->InvalidateAll(true);
        s.view->PaintPending();
    }
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);

void BM_FullRepaintToScreen(benchmark::State& state) {
    Scene s;
    QImage screen(640, 448, QImage::Format_RGB32);
    int f = 0;
    for (auto _ : state) {
        s.player.displayFrame = ++f % 1200;
        s.view->InvalidateAll(true);
        s.view->PaintPending();
        QPainter p(&screen);
        p.drawImage(0, 0, s.view->Screen().Picture());
    }
}
BENCHMARK(BM_FullRepaintToScreen)->Unit(benchmark::kMicrosecond);

void BM_TimerPaint(benchmark::State& state) {
    Scene s;
    int f = 0;
    for (auto _ : state) {
        s.player.displayFrame = ++f % 1200;
        s.view->InvalidateAll(false);
        s.view->PaintPending();
    }
}
BENCHMARK(BM_TimerPaint)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
