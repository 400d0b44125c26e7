#include <gtest/gtest.h>

#include <array>

#include "ui/CPlayerView.h"
#include "ui/DisplayText.h"
#include "ui/PlayerStateRecord.h"
#include "ui/SkinLayout.h"

namespace zeblo {
namespace {

namespace sk = skin;

// Waveform 5 of record source: a ramp the test can predict.
class TestWaves : public WaveformResolver {
public:
    TestWaves() {
        for (int i = 0; i < 32; ++i) ramp[i] = static_cast<int8_t>(-128 + 8 * i);
    }
    const int8_t* Samples(uint32_t wave) const override {
        return wave == (kWaveFromRecord | 5) ? ramp.data() : nullptr;
    }
    std::array<int8_t, 32> ramp{};
};

class PlayerViewTest : public ::testing::Test {
protected:
    PlayerViewTest() : player(1000) {
        EXPECT_TRUE(skin.LoadBitmapResource(":/zeblo/skin.png"));
        view = std::make_unique<CPlayerView>(nullptr, skin, player, waves, nullptr);
        view->PaintPending();
    }

    // Every pixel of a skin rectangle, drawn at a view place.
    bool Shows(int dx, int dy, int sx, int sy, int w, int h) const {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (view->Screen().PixelColour(dx + x, dy + y) != skin.PixelColour(sx + x, sy + y))
                    return false;
        return true;
    }
    bool Shows(int dx, int dy, const sk::Rect& r) const {
        return Shows(dx, dy, r.x, r.y, r.w, r.h);
    }
    bool ShowsGauge(int dx, int dy, int n) const {
        return Shows(dx, dy, sk::kGaugeStep * n, sk::kGaugeY, sk::kGaugeW, sk::kGaugeH);
    }
    bool ShowsDigit(int dx, int dy, int d) const {
        return Shows(dx, dy, 6 * (d + 16), sk::kSmallDigitY, 6, 6);
    }
    uint32_t At(int x, int y) const { return view->Screen().PixelColour(x, y); }

    DisplaySnapshot& Frame(int32_t f) { return player.ring[f % player.ring.Size()]; }
    void PaintFrame(int32_t f, bool erase = false) {
        player.displayFrame = f;
        view->InvalidateAll(erase);
        view->PaintPending();
    }
    void StartPlaying() {
        player.playState = 1;
        player.totalSamples = 44100 * 60;
        PaintFrame(0, true);
    }

    ZBDIBSection skin;
    PlayerStateRecord player;
    TestWaves waves;
    std::unique_ptr<CPlayerView> view;
};

TEST_F(PlayerViewTest, GaugesPlaceCentreAndEnds) {
    StartPlaying();
    DisplaySnapshot& s = Frame(1);
    s.pan[0] = 64;
    s.pitchBend[0] = 0;
    s.pan[1] = 127;
    s.pitchBend[1] = -8192;
    s.pan[2] = 0;
    s.pitchBend[2] = 8191;
    PaintFrame(1);
    EXPECT_TRUE(ShowsGauge(61, 74 + 62, 8));
    EXPECT_TRUE(ShowsGauge(61, 74 + 51, 8));
    EXPECT_TRUE(ShowsGauge(36 + 61, 74 + 62, 16));
    EXPECT_TRUE(ShowsGauge(36 + 61, 74 + 51, 0));
    EXPECT_TRUE(ShowsGauge(72 + 61, 74 + 62, 0));
    EXPECT_TRUE(ShowsGauge(72 + 61, 74 + 51, 16));
}

TEST_F(PlayerViewTest, NumbersShowTheirLastDigits) {
    StartPlaying();
    DisplaySnapshot& s = Frame(1);
    s.program[17] = 0;
    s.bank[17] = 1234;
    s.frequency[17] = 123456;
    PaintFrame(1);
    const int x = 36, y = 242;
    EXPECT_TRUE(ShowsDigit(x + 76, y + 75, 0));
    EXPECT_TRUE(ShowsDigit(x + 82, y + 75, 0));
    EXPECT_TRUE(ShowsDigit(x + 88, y + 75, 1));
    EXPECT_TRUE(ShowsDigit(x + 76, y + 86, 2));
    EXPECT_TRUE(ShowsDigit(x + 88, y + 86, 4));
    const int freq[5] = {2, 3, 4, 5, 6};
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(ShowsDigit(x + 64 + 6 * i, y + 116, freq[i])) << i;
}

TEST_F(PlayerViewTest, LampsMetersAndTransportComeFromTheirSkinPictures) {
    StartPlaying();
    DisplaySnapshot& s = Frame(1);
    s.voiceCount[3] = 9;
    s.voiceCount[4] = 2;
    s.volume[3] = 127;
    s.expression[3] = 64;
    s.envelopeLevel[3] = 8;
    s.outputLevel[3] = 100;
    s.hold[3] = 64;
    player.shared.channelMute[3] = 1;
    player.shared.gsResetSeen = 1;
    player.speedMode = 2;
    player.pauseState = 1;
    PaintFrame(1);
    const int x = 3 * 36, y = 74;
    EXPECT_TRUE(Shows(x + 77, y - 22, sk::kVoiceLampX + 18 * 6, sk::kVoiceLampY, 16, 10));
    EXPECT_TRUE(Shows(x + 36 + 77, y - 22, sk::kVoiceLampX + 18 * 2, sk::kVoiceLampY, 16, 10));
    EXPECT_TRUE(Shows(x + 63, y, sk::kNarrowMeterX + 7 * 15, sk::kMeterY, 4, 48));
    EXPECT_TRUE(Shows(x + 68, y, sk::kNarrowMeterX + 7 * 8, sk::kMeterY, 4, 48));
    EXPECT_TRUE(Shows(x + 73, y, sk::kNarrowMeterX + 7 * 1, sk::kMeterY, 4, 48));
    EXPECT_TRUE(Shows(x + 78, y, 15 * 12, sk::kMeterY, 14, 48));
    EXPECT_TRUE(Shows(x + 61, y + 125, sk::kHoldOn));
    EXPECT_TRUE(Shows(x + 36 + 61, y + 125, sk::kHoldOff));
    EXPECT_TRUE(Shows(x + 61, y - 24, sk::kMuteOn));
    EXPECT_TRUE(Shows(x + 36 + 61, y - 24, sk::kMuteOff));
    EXPECT_TRUE(Shows(399, 413, 0, sk::kLampUnlitY, 39, 27));
    EXPECT_TRUE(Shows(445, 413, 46, sk::kLampLitY, 36, 27));
    EXPECT_TRUE(Shows(539, 413, 92, sk::kLampUnlitY, 48, 27));
    EXPECT_TRUE(Shows(132, 20, 0, 32, 35, 22));
    EXPECT_TRUE(Shows(172, 20, sk::kFastHighest));
    EXPECT_TRUE(Shows(252, 20, 105, 32, 35, 22));
    EXPECT_TRUE(Shows(316, 409, sk::kDotsNoData));
}

TEST_F(PlayerViewTest, DotDisplayDrawsSixteenBySixteen) {
    StartPlaying();
    DisplaySnapshot& s = Frame(1);
    s.dotsValid = 1;
    s.dots[0] = 0x10;        // group 0, row 0: leftmost dot
    s.dots[16 + 5] = 0x01;   // group 1, row 5: fifth dot
    s.dots[48 + 15] = 0x10;  // group 3, row 15: the one dot
    PaintFrame(1);
    EXPECT_TRUE(Shows(316, 409, sk::kDotOn));
    EXPECT_TRUE(Shows(320, 409, sk::kDotOff));
    EXPECT_TRUE(Shows(336 + 16, 409 + 10, sk::kDotOn));
    EXPECT_TRUE(Shows(336 + 12, 409 + 10, sk::kDotOff));
    EXPECT_TRUE(Shows(376, 409 + 30, sk::kDotOn));
}

TEST_F(PlayerViewTest, InstrumentPicturesDrumFmAndPlottedWave) {
    StartPlaying();
    player.drumChannel[9] = 1;
    DisplaySnapshot& s = Frame(1);
    s.wave[0] = kWaveFromRecord | 5;
    s.wave[1] = kWaveFromRecord | 6;  // unknown to the resolver: nothing drawn
    PaintFrame(1);
    EXPECT_TRUE(Shows(9 * 36 + 62, 74 + 96, 0, sk::kIconY, 32, 16));
    // Ramp sample i = -128 + 8 i, h = sample / 17: column 0 spans rows 8 ... 15, column 31
    // (sample 120, h 7) rows 1 ... 8.
    const int px = 62, py = 74 + 96;
    EXPECT_EQ(At(px, py + 15), sk::kTextPeach);
    EXPECT_EQ(At(px, py + 7), sk::kBarOrange);
    EXPECT_EQ(At(px + 31, py + 1), sk::kTextPeach);
    EXPECT_EQ(At(px + 31, py + 0), sk::kBarOrange);
    EXPECT_EQ(At(px + 31, py + 9), sk::kBarOrange);
    EXPECT_EQ(At(px + 16, py + 8), sk::kTextPeach);  // sample 0: the middle row only
    EXPECT_EQ(At(px + 16, py + 9), sk::kBarOrange);
    EXPECT_NE(At(36 + 62, 74 + 96 + 8), sk::kTextPeach);

    player.activeDrumSet = 2;
    player.engineFlag = 1;
    Frame(2) = s;
    Frame(2).wave[0] = 0x30;
    PaintFrame(2);
    EXPECT_TRUE(Shows(9 * 36 + 62, 74 + 96, 32, sk::kIconY, 32, 16));
    EXPECT_TRUE(Shows(62, 74 + 96, 32 * 5, sk::kIconY, 32, 16));
}

TEST_F(PlayerViewTest, OnlyChangedElementsAreCopiedUntilAnErase) {
    StartPlaying();
    const int always = 32 + 3 + 1 + 3;  // mute lamps, standard lamps, dot display, transport
    const int perStrip = 1 + 4 + 2 + 3 + 3 + 5 + 1;
    PaintFrame(1);
    EXPECT_EQ(view->LastPaintCopies(), always);
    Frame(2) = Frame(1);
    Frame(2).volume[4] = 90;
    Frame(2).outputLevel[4] = 77;
    Frame(2).outputLevel[20] = 12;
    Frame(2).voiceCount[20] = 3;
    Frame(2).program[31] = 40;
    Frame(2).frequency[31] = 440;
    PaintFrame(2);
    EXPECT_EQ(view->LastPaintCopies(), always + 4 + 3 + 5);
    Frame(3) = Frame(2);
    PaintFrame(3);
    EXPECT_EQ(view->LastPaintCopies(), always);
    Frame(4) = Frame(3);
    PaintFrame(4, true);
    EXPECT_EQ(view->LastPaintCopies(), always + 32 * perStrip);
    EXPECT_FALSE(view->FullRedrawArmed());
}

TEST_F(PlayerViewTest, MessageLastsItsPaintsThenTheStripsReturn) {
    player.redrawRate = 1;
    StartPlaying();
    view->ShowMessage(QStringLiteral("Hello\tthere"), 3000);
    EXPECT_EQ(view->MessageCountdown(), 3);
    const auto panelShown = [&] {
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 304; ++x)
                if (At(168 + x, 130 + y) != view->MessageSurface().PixelColour(x, y)) return false;
        return true;
    };
    for (int paint = 1; paint <= 3; ++paint) {
        PaintFrame(paint);
        EXPECT_TRUE(panelShown()) << paint;
    }
    EXPECT_EQ(view->MessageCountdown(), 0);
    PaintFrame(4);
    EXPECT_FALSE(panelShown());
    EXPECT_TRUE(ShowsDigit(4 * 36 + 76 + 12, 74 + 75, 1));  // strip 5's program, under the panel
}

TEST_F(PlayerViewTest, MessageTextIsDrawnInBrownInsideItsRectangle) {
    view->ShowMessage(QStringLiteral("File not loading.\nFor play to drop file into this window."),
                      60000);
    const ZBDIBSection& m = view->MessageSurface();
    int brown = 0, outside = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 304; ++x)
            if (m.PixelColour(x, y) == sk::kMessageBrown &&
                m.PixelColour(x, y) != skin.PixelColour(x, 688 + y)) {
                ++brown;
                if (x < 90 || x >= 290 || y < 10) ++outside;
            }
    EXPECT_GT(brown, 100);
    EXPECT_EQ(outside, 0);
    view->ShowMessage(QString(), 1000);
    for (int y = 0; y < 80; y += 7)
        for (int x = 0; x < 304; x += 5)
            ASSERT_EQ(m.PixelColour(x, y), skin.PixelColour(x, 688 + y));
}

TEST_F(PlayerViewTest, BufferMeterSpansTheUsableBlocks) {
    player.blockCount = 5;
    player.loadingState = 1;
    player.writeCount = 2;
    player.readCount = 0;
    view->InvalidateAll(true);
    view->PaintPending();
    EXPECT_EQ(At(416, 38), sk::kTextPeach);
    EXPECT_EQ(At(633, 38), sk::kTextPeach);
    EXPECT_TRUE(Shows(168, 130, sk::kPanelBuffering));
    player.writeCount = 1;
    view->InvalidateAll(false);
    view->PaintPending();
    EXPECT_EQ(At(524, 38), sk::kTextPeach);  // 416 + 109
    EXPECT_EQ(At(525, 38), sk::kBarOrange);
    player.underrunShown = 1;
    view->InvalidateAll(false);
    view->PaintPending();
    EXPECT_EQ(At(416, 38), sk::kBarOrange);
}

TEST_F(PlayerViewTest, PositionBarFollowsTheDisplayFrame) {
    StartPlaying();
    player.totalSamples = 4410 * 256;
    PaintFrame(128);  // half the song: 118 of 236 pixels
    EXPECT_EQ(At(62 + 117, 410), sk::kProgressRust);
    EXPECT_EQ(At(62 + 118, 410), sk::kBarOrange);
    player.seekBarOffset = -150;  // 59 - 150 wraps into the bar at 145 rather than leaving it
    PaintFrame(64);
    EXPECT_EQ(At(62 + 144, 410), sk::kProgressRust);
    EXPECT_EQ(At(62 + 145, 410), sk::kBarOrange);
    EXPECT_NE(At(61, 410), sk::kBarOrange);
}

TEST_F(PlayerViewTest, StatePanelsAndAuthoringProgress) {
    player.underrunShown = 1;
    player.keepRunningOnUnderrun = 1;
    player.underrunDisplayFrames = 1;
    for (int paint = 0; paint < 2; ++paint) {
        view->InvalidateAll(false);
        view->PaintPending();
        EXPECT_TRUE(Shows(168, 130, sk::kPanelUnderrun));
    }
    EXPECT_EQ(player.underrunShown, 1);
    view->InvalidateAll(false);
    view->PaintPending();  // was already below 0: the mark goes
    EXPECT_EQ(player.underrunShown, 0);

    player.authoringState = 1;
    player.totalSamples = 44100 * 100;
    player.bytesAuthored = 44100 * 4 * 42;
    view->InvalidateAll(true);
    view->PaintPending();
    int rust = 0;
    for (int y = 194; y < 208; ++y)
        for (int x = 204; x < 320; ++x) rust += At(x, y) == sk::kProgressRust;
    EXPECT_GT(rust, 40);
    EXPECT_EQ(At(170, 132), skin.PixelColour(2, sk::kPanelAuthoring.y + 2));
}

TEST_F(PlayerViewTest, BackgroundsCarryTheLogoAndVersionDigits) {
    for (int engine : {0, 1}) {
        ZBDIBSection bg;
        view->ComposeBackgroundFor(engine, bg);
        ASSERT_EQ(bg.BitsPerPixel(), 8u);
        for (int i = 0; i < 3; ++i) {
            const int code = sk::kVersionDigits[i];
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 7; ++x)
                    ASSERT_EQ(bg.PixelColour(sk::kVersionDigitX[i] + x, 39 + y),
                              skin.PixelColour(7 * (code - 32) + x, sk::kLargeGlyphY + y))
                        << engine << " digit " << i;
        }
        int fmLogoPixels = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 95; ++x)
                fmLogoPixels += bg.PixelColour(x, y) == skin.PixelColour(150 + x, 530 + y) &&
                                bg.PixelColour(x, y) != skin.PixelColour(x, 1126 + y);
        if (engine == 1)
            EXPECT_GT(fmLogoPixels, 500);
        else
            EXPECT_EQ(fmLogoPixels, 0);
    }
}

TEST_F(PlayerViewTest, ResetRecordsClearTheRing) {
    player.ring[7].volume[3] = 99;
    player.ring[7].pan[3] = 0;
    player.ring[7].dotsValid = 1;
    view->ResetDisplayRecords();
    EXPECT_EQ(player.ring[7].volume[3], 0);
    EXPECT_EQ(player.ring[7].pan[3], 64);
    EXPECT_EQ(player.ring[7].dotsValid, 0);
}

TEST(PlayerViewAreas, ClickAreasFollowTheButtonsAndStrips) {
    EXPECT_EQ(HitTestView(133, 21).area, ViewArea::Play);
    EXPECT_EQ(HitTestView(167, 30).area, ViewArea::None);
    EXPECT_EQ(HitTestView(206, 41).area, ViewArea::Speed);
    EXPECT_EQ(HitTestView(300, 30).area, ViewArea::Author);
    EXPECT_EQ(HitTestView(366, 30).area, ViewArea::Preferences);
    EXPECT_EQ(HitTestView(180, 410).area, ViewArea::PositionBar);
    EXPECT_EQ(HitTestView(62, 51).channel, 0);
    EXPECT_EQ(HitTestView(94, 231).channel, 16);
    EXPECT_EQ(HitTestView(62 + 36 * 15, 60).channel, 15);
    EXPECT_EQ(HitTestView(96, 60).area, ViewArea::None);
    EXPECT_TRUE(InLogoArea(1, 1));
    EXPECT_FALSE(InLogoArea(110, 20));
}

TEST(DisplayText, TitlesDecodeAsUtf8ThenShiftJisThenLatin1) {
    EXPECT_EQ(DecodeTitle("Caf\xC3\xA9"), QString::fromUtf8("Café"));
    EXPECT_EQ(DecodeTitle("\x83\x65\x83\x58\x83\x67"), QString::fromUtf8("テスト"));
    EXPECT_EQ(DecodeTitle("\x81\x20"), QString::fromLatin1("\x81\x20"));
}

}  // namespace
}  // namespace zeblo
