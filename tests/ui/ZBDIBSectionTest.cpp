#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ui/SkinLayout.h"
#include "ui/ZBDIBSection.h"

namespace zeblo {
namespace {

void SetPixel(ZBDIBSection& s, int x, int y, uint32_t c) {
    uint8_t* p = s.Row(y) + 3 * x;
    p[0] = static_cast<uint8_t>(c >> 16);
    p[1] = static_cast<uint8_t>(c >> 8);
    p[2] = static_cast<uint8_t>(c);
}

std::vector<uint8_t> InfoBlock(int w, int h, uint16_t bits, std::vector<RgbQuad> table,
                               std::vector<uint8_t> pixels) {
    BitmapInfoHeader hdr;
    hdr.width = w;
    hdr.height = h;
    hdr.bitCount = bits;
    hdr.clrUsed = static_cast<uint32_t>(table.size());
    std::vector<uint8_t> info(sizeof hdr + table.size() * 4 + pixels.size());
    std::memcpy(info.data(), &hdr, sizeof hdr);
    std::memcpy(info.data() + sizeof hdr, table.data(), table.size() * 4);
    std::memcpy(info.data() + sizeof hdr + table.size() * 4, pixels.data(), pixels.size());
    return info;
}

TEST(ZBDIBSection, RowBytesRoundsToWords) {
    EXPECT_EQ(ZBDIBSection::RowBytes(24, 5), 16u);
    EXPECT_EQ(ZBDIBSection::RowBytes(8, 640), 640u);
    EXPECT_EQ(ZBDIBSection::RowBytes(4, 70), 36u);
    EXPECT_EQ(ZBDIBSection::RowBytes(1, 12), 4u);
    EXPECT_EQ(ZBDIBSection::RowBytes(16, 3), 8u);
    EXPECT_EQ(ZBDIBSection::RowBytes(2, 13), 4u);
}

TEST(ZBDIBSection, GeometryOfBottomUpAndTopDownImages) {
    ZBDIBSection s;
    ASSERT_TRUE(s.Create(640, 448, 24));
    EXPECT_EQ(s.Stride(), 1920u);
    EXPECT_EQ(s.RowStep(), -1920);
    EXPECT_EQ(s.ImageSize(), 860160u);
    EXPECT_EQ(s.TopRow(), s.Bits() + 447 * 1920);
    ASSERT_TRUE(s.Create(640, -448, 24));
    EXPECT_EQ(s.RowStep(), 1920);
    EXPECT_EQ(s.TopRow(), s.Bits());
    ASSERT_TRUE(s.Create(70, 3, 4));
    EXPECT_EQ(s.PaletteCount(), 16u);
}

TEST(ZBDIBSection, UnsupportedDepthsLeaveNoImage) {
    ZBDIBSection s;
    ASSERT_TRUE(s.Create(8, 8, 24));
    BitmapInfoHeader h;
    h.width = 8;
    h.height = 8;
    h.bitCount = 32;
    EXPECT_FALSE(s.CreateFromInfo({reinterpret_cast<const uint8_t*>(&h), sizeof h}, false));
    EXPECT_FALSE(s.HasImage());
    ASSERT_TRUE(s.Create(8, 8, 24));
    EXPECT_FALSE(s.Create(8, 8, 32));
    EXPECT_FALSE(s.HasImage());
    EXPECT_EQ(s.Stride(), 0u);
    EXPECT_FALSE(s.Fill(nullptr, 0));
}

TEST(ZBDIBSection, CreateFromInfoCopiesColoursAndRowsAndRefusesShortData) {
    const std::vector<RgbQuad> table = {{0, 0, 255, 0}, {255, 0, 0, 0}};
    // 2 x 2, 8 bits, bottom-up: the first stored row is the bottom one.
    const std::vector<uint8_t> pixels = {1, 0, 0, 0, 0, 1, 0, 0};
    ZBDIBSection s;
    auto info = InfoBlock(2, 2, 8, table, pixels);
    ASSERT_TRUE(s.CreateFromInfo(info, true));
    EXPECT_EQ(s.PaletteCount(), 2u);
    EXPECT_EQ(s.PixelColour(0, 1), 0xFF0000u);  // bottom row: blue, red
    EXPECT_EQ(s.PixelColour(1, 1), 0x0000FFu);
    EXPECT_EQ(s.PixelColour(0, 0), 0x0000FFu);  // top row: red, blue
    EXPECT_EQ(s.PixelColour(1, 0), 0xFF0000u);
    info.resize(info.size() - 1);
    EXPECT_FALSE(s.CreateFromInfo(info, true));
    EXPECT_FALSE(s.HasImage());
    const std::vector<uint8_t> tooShort(20, 0);
    EXPECT_FALSE(s.CreateFromInfo(tooShort, false));
}

TEST(ZBDIBSection, BlendWeightsAreSixteenDotSixteen) {
    ZBDIBSection dst, src;
    ASSERT_TRUE(dst.Create(4, 2, 24));
    ASSERT_TRUE(src.Create(4, 2, 24));
    dst.Fill(nullptr, ColourRgb(200, 100, 0));
    src.Fill(nullptr, ColourRgb(40, 252, 255));
    ASSERT_TRUE(dst.BlendFrom(0, 0, src, 0.0, kDefaultColour, 0, 0, -1, -1));
    EXPECT_EQ(dst.PixelColour(3, 1), ColourRgb(200, 100, 0));
    ASSERT_TRUE(dst.BlendFrom(0, 0, src, 0.25, kDefaultColour, 0, 0, -1, -1));
    // (200 * 49152 + 40 * 16384) >> 16 = 160; (100 * 49152 + 252 * 16384) >> 16 = 138;
    // (0 * 49152 + 255 * 16384) >> 16 = 63.
    EXPECT_EQ(dst.PixelColour(0, 0), ColourRgb(160, 138, 63));
    ASSERT_TRUE(dst.BlendFrom(0, 0, src, 1.0, kDefaultColour, 0, 0, -1, -1));
    EXPECT_EQ(dst.PixelColour(2, 1), ColourRgb(40, 252, 255));
}

TEST(ZBDIBSection, BlendClipsAtNegativeDestinationAndSkipsKey) {
    ZBDIBSection dst, src;
    ASSERT_TRUE(dst.Create(30, 1, 24));
    ASSERT_TRUE(src.Create(20, 1, 24));
    for (int x = 0; x < 20; ++x) SetPixel(src, x, 0, ColourRgb(static_cast<uint8_t>(x), 7, 9));
    dst.Fill(nullptr, ColourRgb(99, 99, 99));
    ASSERT_TRUE(dst.BlendFrom(-10, 0, src, 1.0, kDefaultColour, 0, 0, -1, -1));
    for (int x = 0; x < 10; ++x) EXPECT_EQ(dst.PixelColour(x, 0), ColourRgb(x + 10, 7, 9)) << x;
    for (int x = 10; x < 30; ++x) EXPECT_EQ(dst.PixelColour(x, 0), ColourRgb(99, 99, 99)) << x;
    EXPECT_TRUE(dst.BlendFrom(-20, 0, src, 1.0, kDefaultColour, 0, 0, -1, -1));  // nothing left

    dst.Fill(nullptr, ColourRgb(1, 2, 3));
    SetPixel(src, 4, 0, skin::kKeyMagenta);
    ASSERT_TRUE(dst.BlendFrom(0, 0, src, 1.0, skin::kKeyMagenta, 0, 0, -1, -1));
    EXPECT_EQ(dst.PixelColour(4, 0), ColourRgb(1, 2, 3));
    EXPECT_EQ(dst.PixelColour(5, 0), ColourRgb(5, 7, 9));
    EXPECT_FALSE(dst.BlendFrom(0, 0, src, 1.0, kDefaultColour, 5, 0, 20, 1));  // outside source
}

TEST(ZBDIBSection, RegionLeavesOutEveryKeyPixel) {
    ZBDIBSection s;
    ASSERT_TRUE(s.Create(23, 11, 24));
    s.Fill(nullptr, ColourRgb(10, 20, 30));
    const QPoint keyed[] = {{0, 0}, {1, 0}, {22, 0}, {7, 5}, {8, 5}, {22, 10}, {0, 10}, {13, 3}};
    for (const QPoint& p : keyed) SetPixel(s, p.x(), p.y(), skin::kKeyMagenta);
    const auto region = s.MakeRegion(kDefaultColour);
    ASSERT_TRUE(region.has_value());
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 23; ++x)
            EXPECT_EQ(region->contains(QPoint(x, y)), s.PixelColour(x, y) != skin::kKeyMagenta)
                << x << "," << y;
    ZBDIBSection eight;
    ASSERT_TRUE(eight.Create(4, 4, 8));
    EXPECT_FALSE(eight.MakeRegion(kDefaultColour).has_value());
}

TEST(ZBDIBSection, FillClipsAndPicksTheNearestPaletteEntry) {
    ZBDIBSection s;
    ASSERT_TRUE(s.Create(6, 6, 8));
    const RgbQuad table[3] = {{0, 0, 0, 0}, {0, 0, 200, 0}, {200, 0, 0, 0}};
    ASSERT_TRUE(s.SetColors(table, 0, 3));
    const SurfaceRect r{-5, -5, 3, 2};
    ASSERT_TRUE(s.Fill(&r, ColourRgb(180, 20, 10)));  // nearest: index 1 (red 200)
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(s.Row(y)[x], (x < 3 && y < 2) ? 1 : 0) << x << "," << y;

    ZBDIBSection t;
    ASSERT_TRUE(t.Create(5, -5, 24));
    const SurfaceRect out{3, 3, 40, 40};
    ASSERT_TRUE(t.Fill(&out, 0x123456));
    EXPECT_EQ(t.PixelColour(4, 4), 0x123456u);
    EXPECT_EQ(t.PixelColour(2, 4), 0u);
    EXPECT_EQ(t.PixelColour(4, 2), 0u);
}

TEST(ZBDIBSection, BrightnessClampsAndColoursNeedAPalette) {
    ZBDIBSection s;
    ASSERT_TRUE(s.Create(2, 2, 24));
    s.Fill(nullptr, ColourRgb(250, 10, 128));
    ASSERT_TRUE(s.AddBrightness(nullptr, 28));
    EXPECT_EQ(s.PixelColour(1, 1), ColourRgb(255, 38, 156));
    ASSERT_TRUE(s.AddBrightness(nullptr, -100));
    EXPECT_EQ(s.PixelColour(0, 0), ColourRgb(155, 0, 56));
    const RgbQuad q{1, 2, 3, 0};
    EXPECT_FALSE(s.SetColors(&q, 0, 1));
}

TEST(ZBDIBSection, CopyConvertsThroughThePaletteAndClips) {
    ZBDIBSection pal, rgb;
    ASSERT_TRUE(pal.Create(4, 4, 8));
    const RgbQuad table[2] = {{0, 0, 0, 0}, {30, 20, 10, 0}};
    ASSERT_TRUE(pal.SetColors(table, 0, 2));
    pal.Row(1)[2] = 1;
    ASSERT_TRUE(rgb.Create(3, -3, 24));
    ASSERT_TRUE(pal.CopyTo(rgb, -1, 0, 4, 4, 0, 0));  // column 0 of the source falls off
    EXPECT_EQ(rgb.PixelColour(1, 1), ColourRgb(10, 20, 30));
    EXPECT_EQ(rgb.PixelColour(2, 1), 0u);
}

TEST(ZBDIBSection, TheSkinHasItsLayout) {
    ZBDIBSection s;
    ASSERT_TRUE(s.LoadBitmapResource(":/zeblo/skin.png"));
    EXPECT_EQ(s.Width(), skin::kSkinWidth);
    EXPECT_EQ(s.Height(), skin::kSkinHeight);
    EXPECT_EQ(s.BitsPerPixel(), 8u);
    EXPECT_EQ(s.RowStep(), -640);
    EXPECT_EQ(s.PixelColour(skin::kWindowOutline.x, skin::kWindowOutline.y), skin::kKeyMagenta);
    EXPECT_NE(s.PixelColour(320, skin::kWindowOutline.y + 200), skin::kKeyMagenta);
    for (uint32_t c :
         {skin::kTextPeach, skin::kBarOrange, skin::kProgressRust, skin::kMessageBrown}) {
        const RgbQuad q = s.PaletteEntry(s.NearestPaletteIndex(c));
        EXPECT_EQ(ColourRgb(q.red, q.green, q.blue), c) << std::hex << c;
    }
    EXPECT_FALSE(ZBDIBSection().LoadBitmapResource(":/zeblo/missing.png"));
}

}  // namespace
}  // namespace zeblo
