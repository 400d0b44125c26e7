// The player view's drawing, frozen as one hash of the pixels of every screen picture (the demo
// song rendered frame by frame in both modules, messages, underrun, authoring, the transition) and
// of a frame of edge values. ZEBLO_GOLDEN_PRINT=1 prints the actual hashes.
#include <gtest/gtest.h>

#include <QDir>

#include "support/Fnv1a.h"
#include "support/TempDir.h"
#include "ui/CPlayerView.h"
#include "ui/DemoScene.h"
#include "ui/DisplayText.h"
#include "ui/PlayerStateRecord.h"
#include "ui/ScreenShots.h"

namespace zeblo {
namespace {

uint64_t PixelHash(const QImage& picture, uint64_t h = 0) {
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    const auto* bits = reinterpret_cast<const char*>(argb.constBits());
    return h ^ test::Fnv1a(std::string(bits, static_cast<std::size_t>(argb.sizeInBytes())));
}

void Check(const char* name, uint64_t actual, uint64_t expected) {
    if (std::getenv("ZEBLO_GOLDEN_PRINT") != nullptr)
        std::printf("GOLDEN %s 0x%016llx\n", name, static_cast<unsigned long long>(actual));
    else
        EXPECT_EQ(actual, expected) << name << std::hex << ": 0x" << actual;
}

struct ViewRig {
    ViewRig() {
        EXPECT_TRUE(skin.LoadBitmapResource(":/zeblo/skin.png"));
        view = std::make_unique<CPlayerView>(nullptr, skin, player, waves, nullptr);
        player.playState = 1;
        player.totalSamples = 4410 * 256;
        Paint(0, true);
    }
    void Paint(int32_t frame, bool erase) {
        player.displayFrame = frame;
        view->InvalidateAll(erase);
        view->PaintPending();
    }
    ZBDIBSection skin;
    PlayerStateRecord player{1000};
    DemoWaveforms waves;
    std::unique_ptr<CPlayerView> view;
};

TEST(PlayerViewPictures, EveryScreenPictureAndAnEdgeFrameKeepTheirPixels) {
    test::TempDir dir;
    ViewRig rig;
    ASSERT_EQ(WriteScreens(QString::fromStdString(dir.Path()), rig.skin), 0);
    uint64_t screens = 0;
    const QStringList files = QDir(QString::fromStdString(dir.Path())).entryList({"*.png"});
    EXPECT_EQ(files.size(), 23);
    for (const QString& file : files)
        screens = PixelHash(QImage(QString::fromStdString(dir.Path()) + "/" + file), screens * 31);
    Check("screens", screens, 0x7bfff0ccc6ae0579ull);

    DisplaySnapshot& s = rig.player.ring[128];
    std::tie(s.pan[1], s.pitchBend[1], s.pan[2], s.pitchBend[2]) = std::tuple(127, -8192, 0, 8191);
    std::tie(s.bank[17], s.frequency[17], s.voiceCount[3], s.volume[3], s.hold[3]) =
        std::tuple(1234, 123456, 9, 127, 64);
    std::tie(s.dotsValid, s.dots[0], s.dots[63], s.wave[0]) =
        std::tuple(1, 0x10, 0x10, kWaveFromRecord | 5);
    std::tie(rig.player.drumChannel[9], rig.player.shared.channelMute[3], rig.player.speedMode) =
        std::tuple(1, 1, 2);
    rig.player.seekBarOffset = -150;  // wraps into the bar rather than leaving it
    rig.player.ring.SetClock(128, {123456789, 65935, 480});  // the last eight ticks' digits
    rig.Paint(128, false);
    uint64_t edges = PixelHash(rig.view->Screen().Picture());
    rig.player.engineFlag = 1;
    rig.view->ComposeBackground();
    rig.Paint(128, true);
    Check("edge frames", PixelHash(rig.view->Screen().Picture(), edges * 31),
          0x9be1fc8681d0154dull);
}

TEST(PlayerView, MessagesAndTheUnderrunMarkLastTheirPaintsAndResetsClearTheRing) {
    ViewRig rig;
    rig.player.redrawRate = 1;
    rig.view->ShowMessage(QStringLiteral("Hello"), 3000);
    for (int paint = 1; paint <= 4; ++paint, rig.Paint(paint, false))
        EXPECT_EQ(rig.view->MessageCountdown(), 4 - paint) << paint;
    std::tie(rig.player.underrunShown, rig.player.keepRunningOnUnderrun,
             rig.player.underrunDisplayFrames) = std::tuple(1, 1, 1);
    for (int paint = 0; paint < 3; ++paint) rig.Paint(5, false);
    EXPECT_EQ(rig.player.underrunShown, 0) << "the mark goes once its frames are spent";
    rig.player.ring[7].volume[3] = 99;
    rig.view->ResetDisplayRecords();
    EXPECT_EQ(std::pair(rig.player.ring[7].volume[3], rig.player.ring[7].pan[3]), std::pair(0, 64));
}

TEST(PlayerView, ClickAreasAndTitles) {
    const std::tuple<int, int, ViewArea, int> rows[] = {
        {133, 21, ViewArea::Play, -1},        {167, 30, ViewArea::None, -1},
        {206, 41, ViewArea::Speed, -1},       {300, 30, ViewArea::Author, -1},
        {366, 30, ViewArea::Preferences, -1}, {180, 410, ViewArea::PositionBar, -1},
        {62, 51, ViewArea::MuteUpper, 0},     {94, 231, ViewArea::MuteLower, 16},
        {602, 60, ViewArea::MuteUpper, 15},   {96, 60, ViewArea::None, -1}};
    for (const auto& [x, y, area, channel] : rows) {
        EXPECT_EQ(HitTestView(x, y).area, area) << x << "," << y;
        EXPECT_EQ(HitTestView(x, y).channel, channel) << x << "," << y;
    }
    EXPECT_TRUE(InLogoArea(1, 1) && !InLogoArea(110, 20));
    EXPECT_EQ(DecodeTitle("Caf\xC3\xA9"), QString::fromUtf8("Café"));
    EXPECT_EQ(DecodeTitle("\x83\x65\x83\x58\x83\x67"), QString::fromUtf8("テスト"));
    EXPECT_EQ(DecodeTitle("\x81\x20"), QString::fromLatin1("\x81\x20"));
}

}  // namespace
}  // namespace zeblo
