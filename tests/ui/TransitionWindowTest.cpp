#include <gtest/gtest.h>

#include "ui/CPlayerView.h"
#include "ui/PlayerStateRecord.h"
#include "ui/TransitionWindow.h"

namespace zeblo {
namespace {

class NoWaves : public WaveformResolver {
public:
    const int8_t* Samples(uint32_t) const override { return nullptr; }
};

TEST(TransitionWindow, SixPhasesWithTheirFrameCounts) {
    ZBDIBSection skin;
    ASSERT_TRUE(skin.LoadBitmapResource(":/zeblo/skin.png"));
    PlayerStateRecord player(1000);
    NoWaves waves;
    CPlayerView view(nullptr, skin, player, waves, nullptr);
    TransitionWindow& t = *view.Transition();
    int sounds = 0;
    t.SetSound([&] { ++sounds; });
    t.show();
    t.StartTransition();
    EXPECT_EQ(sounds, 1);
    EXPECT_EQ(t.Surface().PixelColour(5, 400), view.Background().PixelColour(5, 400));

    // Drawing paints per phase: 7 shutters, 4 curtains, 9 dark, 10 grey, 12 fades; one
    // paint more ends each phase.
    const int drawn[5] = {7, 4, 9, 10, 12};
    for (int phase = 0; phase < 5; ++phase) {
        for (int f = 0; f < drawn[phase]; ++f) {
            ASSERT_TRUE(t.Advance()) << phase << " " << f;
            if (phase == 3 && f == 3) {
                EXPECT_EQ(t.Surface().PixelColour(300, 200), 0x646464u);
            }
            if (phase == 1 && f == 3) {  // the curtains meet at row 224
                EXPECT_EQ(t.Surface().PixelColour(320, 224), 0u);
            }
        }
        EXPECT_FALSE(t.Advance());
        EXPECT_EQ(t.Phase(), phase + 1);
    }
    // After twelve quarter blends the grey 250 is within 250 * 0.75^12 < 8 of the FM background.
    ZBDIBSection fm;
    view.ComposeBackgroundFor(1, fm);
    for (int y = 0; y < 448; y += 37)
        for (int x = 0; x < 640; x += 41) {
            const uint32_t a = t.Surface().PixelColour(x, y), b = fm.PixelColour(x, y);
            for (int shift : {0, 8, 16})
                EXPECT_LE(std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)), 8);
        }
    EXPECT_TRUE(t.Running());
    EXPECT_FALSE(t.Advance());
    EXPECT_FALSE(t.Running());
    EXPECT_FALSE(t.isVisible());
}

TEST(TransitionWindow, FirstFrameBrightensUnderRoundedShutters) {
    ZBDIBSection skin;
    ASSERT_TRUE(skin.LoadBitmapResource(":/zeblo/skin.png"));
    PlayerStateRecord player(1000);
    NoWaves waves;
    CPlayerView view(nullptr, skin, player, waves, nullptr);
    TransitionWindow& t = *view.Transition();
    t.StartTransition();
    ASSERT_TRUE(t.Advance());
    // Between the four shutters (x 318 ... 321) the old background shows, 28 brighter.
    const uint32_t before = view.Background().PixelColour(319, 100);
    const uint32_t after = t.Surface().PixelColour(319, 100);
    EXPECT_EQ(after & 0xFF, std::min<uint32_t>((before & 0xFF) + 28, 255));
    EXPECT_EQ(t.Surface().PixelColour(100, 100), 0u);  // under a shutter
}

}  // namespace
}  // namespace zeblo
