// A drawing surface whose pixels the program works on directly: 1, 4, 8 (with palette), 16 or
// 24 bits per pixel, rows bottom-up for a positive height and top-down for a negative one.
// Everything the player shows is composed on such surfaces and only then copied to the screen.
//
// Threads: user-interface thread only (every operation).
#pragma once

#include <QImage>
#include <QRegion>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class QPainter;
class QString;

namespace zeblo {

// The in-memory layout of a device-independent bitmap's header, as a bitmap file carries it.
struct BitmapInfoHeader {
    uint32_t size = 40;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 1;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

struct RgbQuad {
    uint8_t blue = 0;
    uint8_t green = 0;
    uint8_t red = 0;
    uint8_t reserved = 0;
};
static_assert(sizeof(RgbQuad) == 4);

// Left, top inclusive; right, bottom exclusive.
struct SurfaceRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Colours are 0x00BBGGRR; -1 asks for the default an operation states.
inline constexpr int32_t kDefaultColour = -1;

inline constexpr uint32_t ColourRgb(uint8_t r, uint8_t g, uint8_t b) {
    return r | (uint32_t{g} << 8) | (uint32_t{b} << 16);
}

class ZBDIBSection {
public:
    ZBDIBSection() = default;
    virtual ~ZBDIBSection() = default;
    ZBDIBSection(const ZBDIBSection&) = delete;
    ZBDIBSection& operator=(const ZBDIBSection&) = delete;

    // Bytes per row for a bit depth, rounded up to a multiple of 4.
    static uint32_t RowBytes(uint32_t bitCount, int32_t width);

    void Release();
    bool Create(int32_t width, int32_t height, uint32_t bitCount);
    // info: a header, its colour table and (withData) the pixel rows, as a bitmap file holds them
    // after its 14-byte file header. Nothing outside the span is read.
    bool CreateFromInfo(std::span<const uint8_t> info, bool withData);
    // An image file of at most 8 bits per pixel with a colour table (the skin), by Qt path.
    bool LoadBitmapResource(const QString& path);

    bool SetColors(const RgbQuad* table, uint32_t first, uint32_t count);
    bool CopyColorsFrom(const ZBDIBSection& other);

    bool Fill(const SurfaceRect* rect, uint32_t colour);
    bool AddBrightness(const SurfaceRect* rect, int32_t delta);
    bool BlendFrom(int32_t dstX, int32_t dstY, const ZBDIBSection& source, double alpha,
                   int32_t keyColour, int32_t srcX, int32_t srcY, int32_t width, int32_t height);

    // Copies a rectangle of this surface onto another surface (converting through the palette
    // when the depths differ), clipped to both; the memory-to-memory block copy.
    bool CopyTo(ZBDIBSection& dest, int32_t x, int32_t y, int32_t width, int32_t height,
                int32_t srcX, int32_t srcY) const;
    // Copies to a Qt paint device (the screen); width/height -1 = the whole image.
    bool BlitTo(QPainter& dest, int32_t x, int32_t y, int32_t width = -1, int32_t height = -1,
                int32_t srcX = 0, int32_t srcY = 0) const;

    // The union of the one-row runs whose colour differs from the key (-1: the top-left pixel).
    std::optional<QRegion> MakeRegion(int32_t keyColour) const;

    // The image as Qt sees it (rows top-down); a shallow view for top-down 8- and 24-bit images.
    QImage Picture() const;
    // A QImage sharing this surface's bytes, for QPainter text; only top-down 24-bit surfaces.
    QImage PaintTarget();

    bool HasImage() const { return bits_ != nullptr; }
    int32_t Width() const { return header_.width; }
    int32_t Height() const { return header_.height < 0 ? -header_.height : header_.height; }
    uint32_t BitsPerPixel() const { return bitsPerPixel_; }
    uint32_t Stride() const { return stride_; }
    int32_t RowStep() const { return rowStep_; }
    uint32_t ImageSize() const { return imageSize_; }
    uint8_t* Bits() { return bits_; }
    const uint8_t* Bits() const { return bits_; }
    uint8_t* TopRow() { return topRow_; }
    const uint8_t* TopRow() const { return topRow_; }
    const BitmapInfoHeader& Header() const { return header_; }
    uint32_t PaletteCount() const { return paletteCount_; }
    RgbQuad PaletteEntry(uint32_t i) const { return i < 256 ? palette_[i] : RgbQuad{}; }

    uint8_t* Row(int32_t y) { return topRow_ + static_cast<intptr_t>(y) * rowStep_; }
    const uint8_t* Row(int32_t y) const { return topRow_ + static_cast<intptr_t>(y) * rowStep_; }
    // The 0x00BBGGRR colour of pixel (x, y) counted from the top, at any depth; 0 outside.
    uint32_t PixelColour(int32_t x, int32_t y) const;
    // The palette index nearest to a colour (squared RGB distance, first of equals).
    uint8_t NearestPaletteIndex(uint32_t colour) const;

private:
    bool ClipRect(const SurfaceRect* rect, SurfaceRect& out) const;

    BitmapInfoHeader header_{};
    std::vector<uint8_t> storage_;
    uint8_t* bits_ = nullptr;
    uint32_t imageSize_ = 0;
    uint32_t bitsPerPixel_ = 0;
    uint32_t stride_ = 0;
    int32_t rowStep_ = 0;
    uint8_t* topRow_ = nullptr;
    uint32_t paletteCount_ = 0;
    std::array<RgbQuad, 256> palette_{};
    // Repeated fills ask for the same colour; remember the last answer.
    mutable int64_t nearestCacheColour_ = -1;
    mutable uint8_t nearestCacheIndex_ = 0;
};

}  // namespace zeblo
