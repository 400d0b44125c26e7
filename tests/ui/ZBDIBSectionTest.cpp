#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/Fnv1a.h"
#include "ui/SkinLayout.h"
#include "ui/ZBDIBSection.h"

namespace zeblo {
namespace {

uint64_t Hash(const ZBDIBSection& s) {
    return test::Fnv1a({reinterpret_cast<const char*>(s.Bits()), s.ImageSize()});
}

void Dot(ZBDIBSection& s, int x, int y, uint32_t colour) {
    const SurfaceRect r{x, y, x + 1, y + 1};
    ASSERT_TRUE(s.Fill(&r, colour));
}

TEST(ZBDIBSection, GeometryAndWhatItRefuses) {
    const uint16_t rowBytes[][3] = {{24, 5, 16}, {8, 640, 640}, {4, 70, 36},
                                    {1, 12, 4},  {16, 3, 8},    {2, 13, 4}};
    for (const auto& [bits, width, bytes] : rowBytes)
        EXPECT_EQ(ZBDIBSection::RowBytes(bits, width), bytes) << bits << " x " << width;
    ZBDIBSection s;
    ASSERT_TRUE(s.Create(640, 448, 24));  // bottom-up
    EXPECT_EQ(std::pair(s.TopRow(), s.RowStep()), std::pair(s.Bits() + 447 * 1920, -1920));
    ASSERT_TRUE(s.Create(640, -448, 24));
    EXPECT_EQ(std::pair(s.TopRow(), s.RowStep()), std::pair(s.Bits(), 1920));
    const RgbQuad q{1, 2, 3, 0};
    EXPECT_FALSE(s.SetColors(&q, 0, 1)) << "colours need a palette";
    EXPECT_FALSE(s.Create(8, 8, 32) || s.HasImage() || s.Fill(nullptr, 0));
    BitmapInfoHeader h;
    h.width = h.height = 8;
    h.bitCount = 32;
    EXPECT_FALSE(s.CreateFromInfo({reinterpret_cast<const uint8_t*>(&h), sizeof h}, false));
    EXPECT_FALSE(s.CreateFromInfo(std::vector<uint8_t>(20, 0), false));
    EXPECT_FALSE(s.LoadBitmapResource(":/zeblo/missing.png"));
}

// Blends with 16.16 weights, clipping, the key colour, brightness clamps, the nearest palette
// entry and copies through a palette, all into one picture.
TEST(ZBDIBSection, DrawingOperations) {
    ZBDIBSection dst, src;
    ASSERT_TRUE(dst.Create(30, 8, 24));
    ASSERT_TRUE(src.Create(20, 3, 24));
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 3; ++y) Dot(src, x, y, ColourRgb(x * 12, 7 + y * 80, 255 - x));
    Dot(src, 4, 1, skin::kKeyMagenta);
    dst.Fill(nullptr, ColourRgb(200, 100, 0));
    ASSERT_TRUE(dst.BlendFrom(-10, 0, src, 0.25, kDefaultColour, 0, 0, -1, -1));
    ASSERT_TRUE(dst.BlendFrom(12, 6, src, 1.0, skin::kKeyMagenta, 0, 0, -1, -1));
    EXPECT_FALSE(dst.BlendFrom(0, 0, src, 1.0, kDefaultColour, 5, 0, 20, 1)) << "outside";
    const SurfaceRect lit{-5, -5, 8, 3};
    ASSERT_TRUE(dst.AddBrightness(&lit, 28));
    ASSERT_TRUE(dst.AddBrightness(nullptr, -30));

    ZBDIBSection pal;
    ASSERT_TRUE(pal.Create(6, 6, 8));
    const RgbQuad table[3] = {{0, 0, 0, 0}, {0, 0, 200, 0}, {200, 0, 0, 0}};
    ASSERT_TRUE(pal.SetColors(table, 0, 3));
    const SurfaceRect corner{-5, -5, 3, 2};
    ASSERT_TRUE(pal.Fill(&corner, ColourRgb(180, 20, 10)));  // nearest: red 200
    ASSERT_TRUE(pal.CopyTo(dst, 27, 1, 6, 6, -1, 0));

    // 2 x 2, 8 bits, bottom-up: the first stored row is the bottom one.
    BitmapInfoHeader h;
    h.width = h.height = 2;
    h.bitCount = 8;
    h.clrUsed = 2;
    std::vector<uint8_t> info(sizeof h);
    std::memcpy(info.data(), &h, sizeof h);
    info.insert(info.end(), {0, 0, 255, 0, 255, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0});
    ZBDIBSection tiny;
    ASSERT_TRUE(tiny.CreateFromInfo(info, true));
    EXPECT_EQ(tiny.PixelColour(0, 1), ColourRgb(0, 0, 255));
    ASSERT_TRUE(tiny.CopyTo(dst, 0, 6, 2, 2, 0, 0));
    info.pop_back();
    EXPECT_FALSE(tiny.CreateFromInfo(info, true)) << "short data";

    EXPECT_EQ(Hash(dst), 0xbbffe585dde29a69ull);
}

TEST(ZBDIBSection, RegionLeavesOutEveryKeyPixel) {
    ZBDIBSection s;
    ASSERT_TRUE(s.Create(23, 11, 24));
    s.Fill(nullptr, ColourRgb(10, 20, 30));
    const QPoint keyed[] = {{0, 0}, {1, 0}, {22, 0}, {7, 5}, {8, 5}, {22, 10}, {0, 10}, {13, 3}};
    for (const QPoint& p : keyed) Dot(s, p.x(), p.y(), skin::kKeyMagenta);
    const auto region = s.MakeRegion(kDefaultColour);
    ASSERT_TRUE(region.has_value());
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 23; ++x)
            EXPECT_EQ(region->contains(QPoint(x, y)), s.PixelColour(x, y) != skin::kKeyMagenta)
                << x << "," << y;
    ASSERT_TRUE(s.Create(4, 4, 8));
    EXPECT_FALSE(s.MakeRegion(kDefaultColour).has_value());
}

}  // namespace
}  // namespace zeblo
