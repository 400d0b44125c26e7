// The player view's drawing, frozen as hashes of its pictures: every state the screen pictures
// show (the demo song rendered frame by frame, both modules, messages, underrun, authoring and the
// transition), and one frame of edge values. ZEBLO_GOLDEN_PRINT=1 prints the actual hashes.
#include <gtest/gtest.h>

#include <QDir>
#include <array>
#include <map>

#include "support/SoundHash.h"
#include "support/TempDir.h"
#include "ui/CPlayerView.h"
#include "ui/DisplayText.h"
#include "ui/PlayerStateRecord.h"
#include "ui/ScreenShots.h"

namespace zeblo {
namespace {

uint64_t PixelHash(const QImage& picture) {
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    return test::Fnv1a(std::string(reinterpret_cast<const char*>(argb.constBits()),
                                   static_cast<std::size_t>(argb.sizeInBytes())));
}

void Check(const std::string& name, uint64_t actual, uint64_t expected) {
    if (std::getenv("ZEBLO_GOLDEN_PRINT") != nullptr) {
        std::printf("GOLDEN {\"%s\", 0x%016llxull},\n", name.c_str(),
                    static_cast<unsigned long long>(actual));
        return;
    }
    EXPECT_EQ(actual, expected) << name << std::hex << ": 0x" << actual;
}

// Waveform 5 of record source: a ramp.
class RampWaves : public WaveformResolver {
public:
    RampWaves() {
        for (int i = 0; i < 32; ++i) ramp[i] = static_cast<int8_t>(-128 + 8 * i);
    }
    const int8_t* Samples(uint32_t wave) const override {
        return wave == (kWaveFromRecord | 5) ? ramp.data() : nullptr;
    }
    std::array<int8_t, 32> ramp{};
};

struct ViewRig {
    ViewRig() : player(1000) {
        EXPECT_TRUE(skin.LoadBitmapResource(":/zeblo/skin.png"));
        view = std::make_unique<CPlayerView>(nullptr, skin, player, waves, nullptr);
        player.playState = 1;
        player.totalSamples = 4410 * 256;
    }
    void Paint(int32_t frame, bool erase) {
        player.displayFrame = frame;
        view->InvalidateAll(erase);
        view->PaintPending();
    }
    ZBDIBSection skin;
    PlayerStateRecord player;
    RampWaves waves;
    std::unique_ptr<CPlayerView> view;
};

TEST(PlayerViewPictures, EveryScreenPictureKeepsItsPixels) {
    const std::map<std::string, uint64_t> expected = {
        {"transition-1.png", 0xa1acbfd2e59ca39eull},
        {"transition-2.png", 0x0a34fc91b6b12325ull},
        {"transition-3.png", 0x5cd612541da1c2d8ull},
        {"view-authoring.png", 0x1f23cca501c4a926ull},
        {"view-fm-playing.png", 0x81ba6c420c5b8a6eull},
        {"view-idle.png", 0x47460764ec8030b4ull},
        {"view-loading.png", 0x65d52ac4a78ec3fcull},
        {"view-message-long.png", 0xc8ed71b57a543e4cull},
        {"view-message.png", 0xef9dae73c3594668ull},
        {"view-playing-1.png", 0xf6c820727f44de92ull},
        {"view-playing-2.png", 0x13bb3eecfeb77c54ull},
        {"view-playing-3.png", 0x0202d34122c41047ull},
        {"view-underrun.png", 0xce26bb33b976e6afull},
        {"window-authoring.png", 0xed0db5bb695a1888ull},
        {"window-fm-playing.png", 0xee6fb04f3e370598ull},
        {"window-idle.png", 0x33a15bfac990f2f6ull},
        {"window-loading.png", 0xa52dcc8b2ee4e092ull},
        {"window-message-long.png", 0xe54cf03c07108aaeull},
        {"window-message.png", 0xd96374c41b3049baull},
        {"window-playing-1.png", 0x519e142a95d0803cull},
        {"window-playing-2.png", 0xa4568d4fb58b13feull},
        {"window-playing-3.png", 0x44c5be3c7cf00c75ull},
        {"window-underrun.png", 0xe37d7f555c1e2df9ull},
    };
    test::TempDir dir;
    ZBDIBSection skin;
    ASSERT_TRUE(skin.LoadBitmapResource(":/zeblo/skin.png"));
    ASSERT_EQ(WriteScreens(QString::fromStdString(dir.Path()), skin), 0);
    const QStringList files = QDir(QString::fromStdString(dir.Path())).entryList({"*.png"});
    EXPECT_EQ(static_cast<std::size_t>(files.size()), expected.size());
    for (const QString& file : files) {
        const std::string name = file.toStdString();
        const auto row = expected.find(name);
        Check(name, PixelHash(QImage(QString::fromStdString(dir.File(name)))),
              row == expected.end() ? 0 : row->second);
    }
}

TEST(PlayerViewPictures, EdgeValuesDrawAtTheirLimits) {
    ViewRig rig;
    rig.Paint(0, true);
    DisplaySnapshot& s = rig.player.ring[128];
    const int32_t pans[3] = {64, 127, 0};
    const int32_t bends[3] = {0, -8192, 8191};
    for (int c = 0; c < 3; ++c) {
        s.pan[c] = pans[c];
        s.pitchBend[c] = bends[c];
    }
    s.bank[17] = 1234;
    s.frequency[17] = 123456;
    s.voiceCount[3] = 9;
    s.volume[3] = 127;
    s.expression[3] = 64;
    s.envelopeLevel[3] = 8;
    s.outputLevel[3] = 100;
    s.hold[3] = 64;
    s.dotsValid = 1;
    s.dots[0] = 0x10;
    s.dots[48 + 15] = 0x10;
    s.wave[0] = kWaveFromRecord | 5;
    s.wave[1] = kWaveFromRecord | 6;  // unknown to the resolver: nothing drawn
    rig.player.drumChannel[9] = 1;
    rig.player.shared.channelMute[3] = 1;
    rig.player.speedMode = 2;
    rig.player.pauseState = 1;
    rig.player.seekBarOffset = -150;  // wraps into the bar rather than leaving it
    rig.Paint(128, false);
    Check("edge frame", PixelHash(rig.view->Screen().Picture()), 0x2476d6472813fe7aull);

    rig.player.engineFlag = 1;
    rig.player.activeDrumSet = 2;
    rig.player.ring[129] = s;
    rig.player.ring[129].wave[0] = 0x30;
    rig.view->ComposeBackground();
    rig.Paint(129, true);
    Check("edge frame fm", PixelHash(rig.view->Screen().Picture()), 0x10ad69731a70be29ull);
}

TEST(PlayerView, OnlyChangedElementsAreCopiedUntilAnErase) {
    ViewRig rig;
    rig.Paint(0, true);
    const int always = 32 + 3 + 1 + 3;  // mute lamps, standard lamps, dot display, transport
    const int perStrip = 1 + 4 + 2 + 3 + 3 + 5 + 1;
    rig.Paint(1, false);
    EXPECT_EQ(rig.view->LastPaintCopies(), always);
    DisplaySnapshot& next = rig.player.ring[2];
    next = rig.player.ring[1];
    next.volume[4] = 90;
    next.outputLevel[4] = 77;
    next.outputLevel[20] = 12;
    next.voiceCount[20] = 3;
    next.program[31] = 40;
    next.frequency[31] = 440;
    rig.Paint(2, false);
    EXPECT_EQ(rig.view->LastPaintCopies(), always + 4 + 3 + 5);
    rig.player.ring[3] = next;
    rig.Paint(3, false);
    EXPECT_EQ(rig.view->LastPaintCopies(), always);
    rig.player.ring[4] = next;
    rig.Paint(4, true);
    EXPECT_EQ(rig.view->LastPaintCopies(), always + 32 * perStrip);
}

TEST(PlayerView, AMessageLastsItsPaintsAndTheUnderrunMarkItsFrames) {
    ViewRig rig;
    rig.player.redrawRate = 1;
    rig.view->ShowMessage(QStringLiteral("Hello"), 3000);
    for (int paint = 1; paint <= 4; ++paint) {
        EXPECT_EQ(rig.view->MessageCountdown(), 4 - paint) << paint;
        rig.Paint(paint, false);
    }
    rig.player.underrunShown = 1;
    rig.player.keepRunningOnUnderrun = 1;
    rig.player.underrunDisplayFrames = 1;
    for (int paint = 0; paint < 3; ++paint) rig.Paint(5, false);
    EXPECT_EQ(rig.player.underrunShown, 0) << "the mark goes once its frames are spent";

    rig.player.ring[7].volume[3] = 99;
    rig.view->ResetDisplayRecords();
    EXPECT_EQ(rig.player.ring[7].volume[3], 0);
    EXPECT_EQ(rig.player.ring[7].pan[3], 64);
}

TEST(PlayerView, ClickAreasAndTitles) {
    const struct {
        int x, y;
        ViewArea area;
        int channel;
    } rows[] = {{133, 21, ViewArea::Play, -1},        {167, 30, ViewArea::None, -1},
                {206, 41, ViewArea::Speed, -1},       {300, 30, ViewArea::Author, -1},
                {366, 30, ViewArea::Preferences, -1}, {180, 410, ViewArea::PositionBar, -1},
                {62, 51, ViewArea::MuteUpper, 0},     {94, 231, ViewArea::MuteLower, 16},
                {602, 60, ViewArea::MuteUpper, 15},   {96, 60, ViewArea::None, -1}};
    for (const auto& r : rows) {
        EXPECT_EQ(HitTestView(r.x, r.y).area, r.area) << r.x << "," << r.y;
        EXPECT_EQ(HitTestView(r.x, r.y).channel, r.channel) << r.x << "," << r.y;
    }
    EXPECT_TRUE(InLogoArea(1, 1));
    EXPECT_FALSE(InLogoArea(110, 20));
    EXPECT_EQ(DecodeTitle("Caf\xC3\xA9"), QString::fromUtf8("Café"));
    EXPECT_EQ(DecodeTitle("\x83\x65\x83\x58\x83\x67"), QString::fromUtf8("テスト"));
    EXPECT_EQ(DecodeTitle("\x81\x20"), QString::fromLatin1("\x81\x20"));
}

}  // namespace
}  // namespace zeblo
