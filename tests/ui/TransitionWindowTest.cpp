#include <gtest/gtest.h>

#include "support/Fnv1a.h"
#include "ui/CPlayerView.h"
#include "ui/PlayerStateRecord.h"
#include "ui/TransitionWindow.h"

namespace zeblo {
namespace {

class NoWaves : public WaveformResolver {
public:
    const int8_t* Samples(uint32_t) const override { return nullptr; }
};

// Shutters, curtains, dark, grey and the fade into the other module's background: every frame
// of the six phases, from the skin as shipped.
TEST(TransitionWindow, EveryFrameOfTheSixPhases) {
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
    std::string phases;
    uint64_t frames = test::Fnv1a({});
    for (int paint = 0; paint < 100 && t.Running(); ++paint) {
        if (!t.Advance()) {
            phases += std::to_string(t.Phase());
            continue;
        }
        phases += '.';
        const ZBDIBSection& s = t.Surface();
        frames = test::Fnv1a({reinterpret_cast<const char*>(s.Bits()), s.ImageSize()}, frames);
    }
    EXPECT_EQ(phases, ".......1....2.........3..........4............55");
    EXPECT_EQ(frames, 0x7d155a78f55ff8edull);
    EXPECT_FALSE(t.isVisible());
}

}  // namespace
}  // namespace zeblo
