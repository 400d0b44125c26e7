#include "ui/ZBDIBSection.h"

#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstring>

namespace zeblo {

namespace {

// Larger requests are refused like a failed allocation: a damaged header must not make us
// reserve gigabytes.
constexpr int32_t kMaxDimension = 32768;
constexpr uint64_t kMaxImageBytes = 256u << 20;

bool SupportedDepth(uint32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24;
}

uint8_t Clamp255(int32_t v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

}  // namespace

uint32_t ZBDIBSection::RowBytes(uint32_t bitCount, int32_t width) {
    const uint32_t w = width > 0 ? static_cast<uint32_t>(width) : 0;
    uint32_t bytes;
    switch (bitCount) {
        case 1:
            bytes = (w + 7) / 8;
            break;
        case 2:
            bytes = (w + 3) / 4;
            break;
        case 4:
            bytes = (w + 1) / 2;
            break;
        case 16:
            bytes = 2 * w;
            break;
        case 24:
            bytes = 3 * w;
            break;
        case 32:
            bytes = 4 * w;
            break;
        default:
            bytes = w;
            break;
    }
    return (bytes + 3) & ~3u;
}

void ZBDIBSection::Release() {
    storage_.clear();
    storage_.shrink_to_fit();
    bits_ = nullptr;
    topRow_ = nullptr;
    imageSize_ = 0;
    bitsPerPixel_ = 0;
    stride_ = 0;
    rowStep_ = 0;
    paletteCount_ = 0;
    header_ = BitmapInfoHeader{};
    nearestCacheColour_ = -1;
}

bool ZBDIBSection::Create(int32_t width, int32_t height, uint32_t bitCount) {
    BitmapInfoHeader h;
    h.width = width;
    h.height = height;
    h.bitCount = static_cast<uint16_t>(bitCount);
    if (!CreateFromInfo({reinterpret_cast<const uint8_t*>(&h), sizeof h}, false)) {
        Release();
        return false;
    }
    return true;
}

bool ZBDIBSection::CreateFromInfo(std::span<const uint8_t> info, bool withData) {
    Release();
    BitmapInfoHeader h;
    if (info.size() < sizeof h) return false;
    std::memcpy(&h, info.data(), sizeof h);
    if (h.size < sizeof h || h.size > info.size()) return false;
    if (!SupportedDepth(h.bitCount)) return false;

    uint32_t count = h.clrUsed;
    if (count == 0 && h.bitCount <= 8) count = 1u << h.bitCount;
    count = std::min<uint32_t>(count, 256);

    const std::size_t tableOffset = h.size;
    const std::size_t tableBytes = std::size_t{count} * sizeof(RgbQuad);
    if (withData && info.size() < tableOffset + tableBytes) return false;

    if (h.width <= 0 || h.width > kMaxDimension || h.height == 0 || h.height < -kMaxDimension ||
        h.height > kMaxDimension || h.compression != 0)
        return false;
    const uint32_t stride = RowBytes(h.bitCount, h.width);
    const uint32_t rows = static_cast<uint32_t>(h.height < 0 ? -h.height : h.height);
    const uint64_t size = uint64_t{stride} * rows;
    if (size > kMaxImageBytes) return false;
    if (withData && info.size() < tableOffset + tableBytes + size) return false;

    header_ = h;
    header_.size = sizeof(BitmapInfoHeader);
    storage_.assign(size, 0);
    bits_ = storage_.data();
    bitsPerPixel_ = h.bitCount;
    stride_ = stride;
    rowStep_ = h.height > 0 ? -static_cast<int32_t>(stride) : static_cast<int32_t>(stride);
    imageSize_ = static_cast<uint32_t>(size);
    if (withData) std::memcpy(bits_, info.data() + tableOffset + tableBytes, size);

    paletteCount_ = count;
    palette_.fill(RgbQuad{});
    if (count != 0 && withData) {
        std::array<RgbQuad, 256> table{};
        std::memcpy(table.data(), info.data() + tableOffset, tableBytes);
        if (!SetColors(table.data(), 0, count)) {
            Release();
            return false;
        }
    }
    topRow_ = h.height > 0 ? bits_ + std::size_t{rows - 1} * stride : bits_;
    return true;
}

bool ZBDIBSection::LoadBitmapResource(const QString& path) {
    Release();
    QImage img(path);
    if (img.isNull() || img.colorCount() == 0 || img.depth() > 8) return false;
    img = img.convertToFormat(QImage::Format_Indexed8);
    const QList<QRgb> colours = img.colorTable();
    const uint32_t count = static_cast<uint32_t>(std::min<qsizetype>(colours.size(), 256));
    if (count == 0) return false;

    BitmapInfoHeader h;
    h.width = img.width();
    h.height = img.height();  // bottom-up, as a bitmap resource stores it
    h.bitCount = 8;
    h.clrUsed = count;
    const uint32_t stride = RowBytes(8, h.width);
    std::vector<uint8_t> info(sizeof h + count * sizeof(RgbQuad) + std::size_t{stride} * h.height);
    std::memcpy(info.data(), &h, sizeof h);
    auto* table = info.data() + sizeof h;
    for (uint32_t i = 0; i < count; ++i) {
        const RgbQuad q{static_cast<uint8_t>(qBlue(colours[i])),
                        static_cast<uint8_t>(qGreen(colours[i])),
                        static_cast<uint8_t>(qRed(colours[i])), 0};
        std::memcpy(table + i * sizeof q, &q, sizeof q);
    }
    uint8_t* pixels = table + count * sizeof(RgbQuad);
    for (int32_t y = 0; y < h.height; ++y)
        std::memcpy(pixels + std::size_t(h.height - 1 - y) * stride, img.constScanLine(y), h.width);
    return CreateFromInfo(info, true);
}

bool ZBDIBSection::SetColors(const RgbQuad* table, uint32_t first, uint32_t count) {
    if (!bits_ || bitsPerPixel_ > 8 || table == nullptr || first >= 256 || count > 256 - first)
        return false;
    for (uint32_t i = 0; i < count; ++i)
        palette_[first + i] = RgbQuad{table[i].blue, table[i].green, table[i].red, 0};
    paletteCount_ = count;
    nearestCacheColour_ = -1;
    return true;
}

bool ZBDIBSection::CopyColorsFrom(const ZBDIBSection& other) {
    const uint32_t n = std::min<uint32_t>(other.paletteCount_, 256);
    if (n == 0) return false;
    const std::array<RgbQuad, 256> copy = other.palette_;
    return SetColors(copy.data(), 0, n);
}

bool ZBDIBSection::ClipRect(const SurfaceRect* rect, SurfaceRect& out) const {
    out = rect ? *rect : SurfaceRect{0, 0, Width(), Height()};
    out.left = std::max(out.left, 0);
    out.top = std::max(out.top, 0);
    out.right = std::min(out.right, Width());
    out.bottom = std::min(out.bottom, Height());
    return out.left < out.right && out.top < out.bottom;
}

uint8_t ZBDIBSection::NearestPaletteIndex(uint32_t colour) const {
    if (nearestCacheColour_ == static_cast<int64_t>(colour)) return nearestCacheIndex_;
    const int32_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    int32_t best = 0;
    int64_t bestDistance = INT64_MAX;
    for (uint32_t i = 0; i < paletteCount_; ++i) {
        const int32_t dr = palette_[i].red - r, dg = palette_[i].green - g,
                      db = palette_[i].blue - b;
        const int64_t d = int64_t{dr} * dr + int64_t{dg} * dg + int64_t{db} * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int32_t>(i);
        }
    }
    nearestCacheColour_ = colour;
    nearestCacheIndex_ = static_cast<uint8_t>(best);
    return nearestCacheIndex_;
}

bool ZBDIBSection::Fill(const SurfaceRect* rect, uint32_t colour) {
    if (!bits_ || (bitsPerPixel_ != 8 && bitsPerPixel_ != 24)) return false;
    SurfaceRect r;
    if (!ClipRect(rect, r)) return true;
    if (bitsPerPixel_ == 8) {
        const uint8_t index = NearestPaletteIndex(colour);
        for (int32_t y = r.top; y < r.bottom; ++y)
            std::memset(Row(y) + r.left, index, r.right - r.left);
        return true;
    }
    const uint8_t bgr[3] = {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
                            static_cast<uint8_t>(colour)};
    for (int32_t y = r.top; y < r.bottom; ++y) {
        uint8_t* p = Row(y) + 3 * r.left;
        for (int32_t x = r.left; x < r.right; ++x, p += 3) std::memcpy(p, bgr, 3);
    }
    return true;
}

bool ZBDIBSection::AddBrightness(const SurfaceRect* rect, int32_t delta) {
    if (!bits_ || bitsPerPixel_ != 24) return false;
    SurfaceRect r;
    if (!ClipRect(rect, r)) return true;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        uint8_t* p = Row(y) + 3 * r.left;
        for (int32_t i = 0; i < 3 * (r.right - r.left); ++i) p[i] = Clamp255(p[i] + delta);
    }
    return true;
}

bool ZBDIBSection::BlendFrom(int32_t dstX, int32_t dstY, const ZBDIBSection& source, double alpha,
                             int32_t keyColour, int32_t srcX, int32_t srcY, int32_t width,
                             int32_t height) {
    if (!bits_ || !source.bits_ || bitsPerPixel_ != 24 || source.bitsPerPixel_ != 24) return false;
    if (width == -1) width = source.Width();
    if (height == -1) height = source.Height();
    if (dstX < 0) {
        width += dstX;
        srcX -= dstX;
        dstX = 0;
    }
    if (dstY < 0) {
        height += dstY;
        srcY -= dstY;
        dstY = 0;
    }
    width = std::min(width, Width() - dstX);
    height = std::min(height, Height() - dstY);
    if (width <= 0 || height <= 0) return true;
    if (srcX < 0 || srcY < 0 || srcX + width > source.Width() || srcY + height > source.Height())
        return false;

    const uint32_t a = static_cast<uint32_t>(alpha * 65536.0);
    const uint32_t b = 65536 - a;
    const bool keyed = keyColour != kDefaultColour;
    const uint8_t kb = static_cast<uint8_t>(keyColour >> 16),
                  kg = static_cast<uint8_t>(keyColour >> 8), kr = static_cast<uint8_t>(keyColour);
    uint8_t* d = Row(dstY) + 3 * dstX;
    const uint8_t* s = source.Row(srcY) + 3 * srcX;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x, d += 3, s += 3) {
            if (keyed && s[0] == kb && s[1] == kg && s[2] == kr) continue;
            for (int i = 0; i < 3; ++i)
                d[i] = static_cast<uint8_t>((uint32_t{d[i]} * b + uint32_t{s[i]} * a) >> 16);
        }
        d += rowStep_ - 3 * width;
        s += source.rowStep_ - 3 * width;
    }
    return true;
}

uint32_t ZBDIBSection::PixelColour(int32_t x, int32_t y) const {
    if (!bits_ || x < 0 || y < 0 || x >= Width() || y >= Height()) return 0;
    const uint8_t* row = Row(y);
    auto fromPalette = [&](uint32_t i) {
        const RgbQuad q = i < 256 ? palette_[i] : RgbQuad{};
        return ColourRgb(q.red, q.green, q.blue);
    };
    switch (bitsPerPixel_) {
        case 1:
            return fromPalette((row[x >> 3] >> (7 - (x & 7))) & 1);
        case 4:
            return fromPalette((x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4);
        case 8:
            return fromPalette(row[x]);
        case 16: {
            const uint16_t v = static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
            auto expand = [](uint32_t c5) { return static_cast<uint8_t>((c5 << 3) | (c5 >> 2)); };
            return ColourRgb(expand((v >> 10) & 31), expand((v >> 5) & 31), expand(v & 31));
        }
        default:
            return ColourRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    }
}

bool ZBDIBSection::CopyTo(ZBDIBSection& dest, int32_t x, int32_t y, int32_t width, int32_t height,
                          int32_t srcX, int32_t srcY) const {
    if (!bits_ || !dest.bits_) return false;
    if (width == -1) width = Width();
    if (height == -1) height = Height();
    if (srcX < 0) {
        width += srcX;
        x -= srcX;
        srcX = 0;
    }
    if (srcY < 0) {
        height += srcY;
        y -= srcY;
        srcY = 0;
    }
    if (x < 0) {
        width += x;
        srcX -= x;
        x = 0;
    }
    if (y < 0) {
        height += y;
        srcY -= y;
        y = 0;
    }
    width = std::min({width, Width() - srcX, dest.Width() - x});
    height = std::min({height, Height() - srcY, dest.Height() - y});
    if (width <= 0 || height <= 0) return true;

    if (bitsPerPixel_ == dest.bitsPerPixel_ && (bitsPerPixel_ == 8 || bitsPerPixel_ == 24)) {
        const int32_t bpp = bitsPerPixel_ / 8;
        for (int32_t r = 0; r < height; ++r)
            std::memcpy(dest.Row(y + r) + bpp * x, Row(srcY + r) + bpp * srcX, bpp * width);
        return true;
    }
    if (dest.bitsPerPixel_ == 24 && bitsPerPixel_ == 8) {
        std::array<uint8_t, 256 * 3> lut;
        for (int i = 0; i < 256; ++i) {
            lut[3 * i] = palette_[i].blue;
            lut[3 * i + 1] = palette_[i].green;
            lut[3 * i + 2] = palette_[i].red;
        }
        for (int32_t r = 0; r < height; ++r) {
            const uint8_t* s = Row(srcY + r) + srcX;
            uint8_t* d = dest.Row(y + r) + 3 * x;
            for (int32_t i = 0; i < width; ++i, d += 3) std::memcpy(d, &lut[3 * s[i]], 3);
        }
        return true;
    }
    if (dest.bitsPerPixel_ == 24 || dest.bitsPerPixel_ == 8) {
        for (int32_t r = 0; r < height; ++r) {
            for (int32_t i = 0; i < width; ++i) {
                const uint32_t c = PixelColour(srcX + i, srcY + r);
                if (dest.bitsPerPixel_ == 8) {
                    dest.Row(y + r)[x + i] = dest.NearestPaletteIndex(c);
                } else {
                    uint8_t* d = dest.Row(y + r) + 3 * (x + i);
                    d[0] = static_cast<uint8_t>(c >> 16);
                    d[1] = static_cast<uint8_t>(c >> 8);
                    d[2] = static_cast<uint8_t>(c);
                }
            }
        }
        return true;
    }
    return false;
}

QImage ZBDIBSection::Picture() const {
    if (!bits_) return {};
    const bool topDown = header_.height < 0;
    if (bitsPerPixel_ == 24 && topDown)
        return QImage(bits_, Width(), Height(), stride_, QImage::Format_BGR888);
    if (bitsPerPixel_ == 8 && topDown) {
        QImage img(bits_, Width(), Height(), stride_, QImage::Format_Indexed8);
        QList<QRgb> table(256);
        for (int i = 0; i < 256; ++i)
            table[i] = qRgb(palette_[i].red, palette_[i].green, palette_[i].blue);
        img.setColorTable(table);
        return img;
    }
    QImage img(Width(), Height(), QImage::Format_RGB32);
    for (int32_t yy = 0; yy < Height(); ++yy) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(yy));
        for (int32_t xx = 0; xx < Width(); ++xx) {
            const uint32_t c = PixelColour(xx, yy);
            line[xx] = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
        }
    }
    return img;
}

QImage ZBDIBSection::PaintTarget() {
    if (!bits_ || bitsPerPixel_ != 24 || header_.height > 0) return {};
    return QImage(bits_, Width(), Height(), stride_, QImage::Format_BGR888);
}

bool ZBDIBSection::BlitTo(QPainter& dest, int32_t x, int32_t y, int32_t width, int32_t height,
                          int32_t srcX, int32_t srcY) const {
    if (!bits_) return false;
    if (width == -1) width = Width();
    if (height == -1) height = Height();
    const QImage picture = Picture();
    dest.drawImage(QPoint(x, y), picture, QRect(srcX, srcY, width, height));
    return true;
}

std::optional<QRegion> ZBDIBSection::MakeRegion(int32_t keyColour) const {
    if (!bits_ || bitsPerPixel_ != 24) return std::nullopt;
    const uint32_t key =
        keyColour == kDefaultColour ? PixelColour(0, 0) : static_cast<uint32_t>(keyColour);
    const uint8_t kb = static_cast<uint8_t>(key >> 16), kg = static_cast<uint8_t>(key >> 8),
                  kr = static_cast<uint8_t>(key);
    QList<QRect> runs;
    for (int32_t y = 0; y < Height(); ++y) {
        const uint8_t* p = Row(y);
        bool inRun = false;
        int32_t x0 = 0;
        for (int32_t x = 0; x < Width(); ++x, p += 3) {
            const bool isKey = p[0] == kb && p[1] == kg && p[2] == kr;
            if (!isKey && !inRun) {
                inRun = true;
                x0 = x;
            } else if (isKey && inRun) {
                inRun = false;
                runs.append(QRect(x0, y, x - x0, 1));
            }
        }
        if (inRun) runs.append(QRect(x0, y, Width() - x0, 1));
    }
    QRegion region;
    region.setRects(runs.constData(), static_cast<int>(runs.size()));
    return region;
}

}  // namespace zeblo
