// Paints the player's skin (an 8-bit palette image with the layout the view reads) and its icon.
// Usage: zeblo_skingen OUTPUT_DIR   (writes skin.png and icon.png)
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <vector>

#include "SkinArt.h"
#include "ui/SkinLayout.h"

using namespace zeblo;
using namespace zeblo::skintool;
namespace sk = zeblo::skin;

namespace {

QRect R(const sk::Rect& r) {
    return QRect(r.x, r.y, r.w, r.h);
}

// ---------------------------------------------------------------- palette
void Ramp(std::vector<QRgb>& out, std::initializer_list<QColor> stops, int count) {
    std::vector<QColor> s(stops);
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / (count - 1) * (s.size() - 1);
        const int k = std::min(static_cast<int>(t), static_cast<int>(s.size()) - 2);
        const double f = t - k;
        auto mix = [&](int a, int b) { return static_cast<int>(a + (b - a) * f + 0.5); };
        out.push_back(qRgb(mix(s[k].red(), s[k + 1].red()), mix(s[k].green(), s[k + 1].green()),
                           mix(s[k].blue(), s[k + 1].blue())));
    }
}

QList<QRgb> SkinPalette() {
    std::vector<QRgb> p;
    for (const QColor& c : {ink::kKey, ink::kPeach, ink::kOrange, ink::kRust, ink::kBrown,
                            QColor(Qt::white), QColor(Qt::black), ink::kAmber, ink::kCream,
                            ink::kWell, ink::kLogoPlate, ink::kUnlit, ink::kLabel, ink::kRed})
        p.push_back(c.rgb());
    Ramp(p,
         {Qt::black, QColor(0x1a, 0x10, 0x0a), QColor(0x3a, 0x22, 0x12), ink::kBrown, ink::kRust,
          ink::kOrange, ink::kAmber, ink::kPeach, ink::kCream, Qt::white},
         96);
    Ramp(p,
         {QColor(0x06, 0x05, 0x04), QColor(0x2a, 0x23, 0x1d), QColor(0x5a, 0x4c, 0x40),
          QColor(0xb0, 0xa4, 0x98), QColor(0xf0, 0xec, 0xe8)},
         56);
    Ramp(p, {QColor(0x30, 0x08, 0x04), ink::kRed, QColor(0xff, 0xb0, 0x98)}, 16);
    Ramp(p, {ink::kCreamShade, ink::kCream}, 12);
    Ramp(p, {QColor(0x40, 0x30, 0x10), QColor(0xff, 0xe0, 0x60)}, 12);
    for (int r = 0; r < 4; ++r)
        for (int g = 0; g < 4; ++g)
            for (int b = 0; b < 3; ++b) p.push_back(qRgb(r * 85, g * 85, b * 127));
    p.resize(256, qRgb(0, 0, 0));
    return QList<QRgb>(p.begin(), p.end());
}

// ---------------------------------------------------------------- small pictures
void TransportSymbol(QPainter& p, const QRect& r, int which, const QColor& c, bool highest) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const int cx = r.center().x(), cy = r.center().y();
    auto tri = [&](int x) {
        const QPoint pts[3] = {QPoint(x, cy - 4), QPoint(x, cy + 4), QPoint(x + 5, cy)};
        p.drawPolygon(pts, 3);
    };
    switch (which) {
        case 0:
            tri(cx - 2);
            break;
        case 1:
            if (highest) {
                tri(cx - 8), tri(cx - 3), tri(cx + 2);
            } else {
                tri(cx - 5), tri(cx);
            }
            break;
        case 2:
            p.drawRect(cx - 4, cy - 4, 8, 8);
            break;
        case 3:
            p.drawRect(cx - 4, cy - 4, 3, 9);
            p.drawRect(cx + 1, cy - 4, 3, 9);
            break;
        case 4:
            p.setRenderHint(QPainter::Antialiasing, true);
            p.drawEllipse(QPoint(cx - 7, cy), 3, 3);
            p.setRenderHint(QPainter::Antialiasing, false);
            DrawPixelText(p, cx - 3, cy - 3, "WAV", c);
            break;
        default:
            for (int i = 0; i < 3; ++i) {
                p.fillRect(cx - 7, cy - 4 + 4 * i, 14, 1, c);
                p.fillRect(cx - 5 + 5 * i, cy - 5 + 4 * i, 3, 3, c);
            }
            break;
    }
    p.restore();
}

void Button(QPainter& p, int x, int y, int which, bool lit, bool highest = false) {
    const QRect r(x, y, sk::kButtonW, sk::kButtonH);
    p.fillRect(r, ink::kShadow);
    const QRect face = r.adjusted(1, 1, -1, -1);
    QLinearGradient g(face.topLeft(), face.bottomLeft());
    if (lit) {
        g.setColorAt(0, highest ? QColor(0xff, 0x9a, 0x70) : QColor(0x7a, 0x48, 0x22));
        g.setColorAt(1, highest ? QColor(0x9a, 0x2a, 0x14) : QColor(0x40, 0x22, 0x10));
    } else {
        g.setColorAt(0, QColor(0x3c, 0x32, 0x2a));
        g.setColorAt(1, QColor(0x1c, 0x17, 0x13));
    }
    p.fillRect(face, g);
    p.fillRect(face.left(), face.top(), face.width(), 1, lit ? ink::kAmber : ink::kHighlight);
    const QColor sym = lit ? (highest ? ink::kCream : ink::kPeach) : ink::kLabelDim;
    TransportSymbol(p, face, which, sym, highest);
    if (lit) {
        // The lamp of a lit button: a small bar along the bottom edge.
        p.fillRect(face.left() + 4, face.bottom() - 1, face.width() - 8, 1,
                   highest ? ink::kRed : ink::kAmber);
    }
}

void NarrowOrWideMeter(QPainter& p, int x, int y, int w, int level) {
    p.fillRect(x, y, w, sk::kMeterH, ink::kWell);
    for (int s = 1; s <= 15; ++s) {
        const int top = y + sk::kMeterH - 3 * s;
        QColor c = ink::kUnlit;
        if (s <= level)
            c = s > 13 ? ink::kRed : s > 10 ? ink::kPeach : s > 5 ? ink::kAmber : ink::kOrange;
        p.fillRect(x, top, w, 2, c);
    }
}

void Gauge(QPainter& p, int x, int y, int n) {
    p.fillRect(x, y, sk::kGaugeW, sk::kGaugeH, ink::kWell);
    for (int t = 0; t <= 32; t += 4) p.fillRect(x + t, y + 7, 1, 1, ink::kLabelDim);
    p.fillRect(x + 16, y + 6, 1, 3, ink::kLabel);
    const int m = 2 * n;
    const int a = std::min(m, 16), b = std::max(m, 16);
    p.fillRect(x + a, y + 2, b - a + 1, 3, ink::kRust);
    p.fillRect(x + std::max(m - 1, 0), y + 1, m == 0 || m == 32 ? 2 : 3, 5, ink::kPeach);
    p.fillRect(x + m, y + 1, 1, 5, ink::kCream);
}

void Led(QPainter& p, const QRect& r, const QColor& on, bool lit) {
    p.fillRect(r, ink::kShadow);
    const QRect face = r.adjusted(1, 1, -1, -1);
    p.fillRect(face, lit ? on : ink::kUnlit);
    if (lit)
        p.fillRect(face.left() + 1, face.top() + 1, std::max(1, face.width() - 3), 1, ink::kCream);
}

void VoicePips(QPainter& p, int x, int y, int n) {
    p.fillRect(x, y, sk::kVoiceLampW, sk::kVoiceLampH, ink::kShadow);
    for (int i = 0; i < 6; ++i) {
        const int col = i % 3, row = 1 - i / 3;
        const QColor c = i < n ? (n >= 6 ? ink::kPeach : ink::kAmber) : ink::kUnlit;
        p.fillRect(x + 1 + 5 * col, y + 1 + 4 * row + (row ? 0 : 0), 4, 3, c);
    }
}

void DrumIcon(QPainter& p, int x, int y, bool alternative) {
    p.fillRect(x, y, sk::kIconW, sk::kIconH, ink::kOrange);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor body = alternative ? ink::kCream : ink::kPeach;
    p.fillRect(x + 5, y + 6, 16, 7, ink::kRust);
    p.fillRect(x + 5, y + 6, 16, 1, body);
    p.fillRect(x + 5, y + 12, 16, 1, body);
    for (int i = 0; i < 4; ++i) p.fillRect(x + 7 + 4 * i, y + 7, 1, 5, body);
    p.setPen(ink::kBrown);
    p.drawLine(x + 15, y + 5, x + 25, y + 1);
    p.drawLine(x + 17, y + 5, x + 29, y + 3);
    if (alternative) DrawSmallDigit(p, x + 25, y + 8, 2, ink::kBrown);
    p.restore();
}

void FmIcon(QPainter& p, int x, int y, int i) {
    static const char* kNames[16] = {"USR", "VLN", "GTR", "PNO", "FLT", "CLA", "OBO", "TPT",
                                     "ORG", "HRN", "SYN", "HPS", "VIB", "SBS", "WBS", "EGT"};
    p.fillRect(x, y, sk::kIconW, sk::kIconH, ink::kRust);
    p.fillRect(x, y, sk::kIconW, 1, ink::kOrange);
    p.fillRect(x, y + 15, sk::kIconW, 1, ink::kBrown);
    DrawPixelText(p, x + 7, y + 2, kNames[i], ink::kCream);
    if (i >= 10) DrawSmallDigit(p, x + 8, y + 10, i / 10, ink::kPeach);
    DrawSmallDigit(p, x + (i >= 10 ? 13 : 11), y + 10, i % 10, ink::kPeach);
    p.fillRect(x + 18, y + 12, 10, 1, ink::kOrange);
}

// ---------------------------------------------------------------- panels
void PanelBase(QPainter& p, int y) {
    const QRect r(0, y, 304, 80);
    p.fillRect(r, ink::kBrown);
    const QRect face = r.adjusted(2, 2, -2, -2);
    QLinearGradient g(face.topLeft(), face.bottomLeft());
    g.setColorAt(0, ink::kCream);
    g.setColorAt(1, ink::kCreamShade);
    p.fillRect(face, g);
    p.fillRect(face.left(), face.top(), face.width(), 1, Qt::white);
    p.fillRect(r.adjusted(4, 4, -4, -4).left(), y + 75, 296, 1, ink::kCreamShade);
}

void Badge(QPainter& p, QPoint c, const QString& symbol, const QColor& fill) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(ink::kBrown, 2));
    p.setBrush(fill);
    p.drawEllipse(c, 22, 22);
    p.restore();
    DrawWords(p, QRect(c.x() - 22, c.y() - 22, 44, 44), symbol, ink::kCream, 28, true,
              Qt::AlignCenter);
}

void Panels(QPainter& p) {
    PanelBase(p, sk::kPanelEmpty.y);
    Badge(p, QPoint(44, sk::kPanelEmpty.y + 40), "i", ink::kRust);

    PanelBase(p, sk::kPanelBuffering.y);
    Badge(p, QPoint(44, sk::kPanelBuffering.y + 40), "\u231B", ink::kOrange);
    DrawWords(p, QRect(86, sk::kPanelBuffering.y + 12, 210, 30), "BUFFERING", ink::kBrown, 22, true,
              Qt::AlignLeft | Qt::AlignVCenter);
    DrawWords(p, QRect(88, sk::kPanelBuffering.y + 44, 210, 22), "please wait...", ink::kRust, 15,
              false, Qt::AlignLeft | Qt::AlignVCenter);

    PanelBase(p, sk::kPanelUnderrun.y);
    Badge(p, QPoint(44, sk::kPanelUnderrun.y + 40), "!", ink::kRed);
    DrawWords(p, QRect(86, sk::kPanelUnderrun.y + 10, 210, 30), "BUFFER", ink::kBrown, 22, true,
              Qt::AlignLeft | Qt::AlignVCenter);
    DrawWords(p, QRect(86, sk::kPanelUnderrun.y + 38, 210, 30), "UNDERRUN", ink::kBrown, 22, true,
              Qt::AlignLeft | Qt::AlignVCenter);

    // The progress text is written at (36, 64) of this panel: keep that line clear.
    PanelBase(p, sk::kPanelAuthoring.y);
    Badge(p, QPoint(268, sk::kPanelAuthoring.y + 36), "\u25CF", ink::kRust);
    DrawWords(p, QRect(14, sk::kPanelAuthoring.y + 6, 230, 28), "AUTHORING", ink::kBrown, 22, true,
              Qt::AlignLeft | Qt::AlignVCenter);
    DrawWords(p, QRect(16, sk::kPanelAuthoring.y + 34, 230, 20), "please wait... writing WAV",
              ink::kRust, 13, false, Qt::AlignLeft | Qt::AlignVCenter);
    p.fillRect(32, sk::kPanelAuthoring.y + 60, 200, 16, ink::kCreamShade);
    p.fillRect(32, sk::kPanelAuthoring.y + 60, 200, 1, ink::kRust);
}

// ---------------------------------------------------------------- logo
void Logo(QPainter& p, int x, int y, bool fm) {
    const QRect r(x, y, 115, 48);
    p.fillRect(r, ink::kLogoPlate);
    p.fillRect(r.left(), r.bottom(), r.width(), 1, ink::kHighlight);
    p.fillRect(r.right(), r.top(), 1, r.height(), ink::kHighlight);
    QFont f("DejaVu Sans");
    f.setPixelSize(24);
    f.setBold(true);
    f.setItalic(true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, -1);
    QPainterPath path;
    path.addText(x + 6, y + 25, f, "ZEBLO");
    QLinearGradient g(x, y + 6, x, y + 26);
    if (fm) {
        g.setColorAt(0, ink::kCream);
        g.setColorAt(1, ink::kRed);
    } else {
        g.setColorAt(0, ink::kPeach);
        g.setColorAt(1, ink::kOrange);
    }
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.fillPath(path, g);
    p.restore();
    if (fm) {
        p.fillRect(x + 84, y + 7, 26, 13, ink::kRed);
        DrawPixelText(p, x + 91, y + 10, "FM", ink::kLogoPlate);
        DrawPixelText(p, x + 6, y + 30, "FM SOUND x5", ink::kLabel);
    } else {
        for (int i = 0; i < 26; ++i) {
            const int h = (i % 8) < 4 ? 3 : -3;
            p.fillRect(x + 84 + i, y + 13 - (h > 0 ? h : 0), 1, 1 + std::abs(h), ink::kAmber);
        }
        DrawPixelText(p, x + 6, y + 30, "WAVETABLE", ink::kLabel);
    }
    DrawPixelText(p, x + 74, y + 39, "VER", ink::kLabelDim);
}

void LargeGlyph(QPainter& p, int x, int y, int code) {
    p.fillRect(x, y, 7, 7, ink::kLogoPlate);
    DrawPixelGlyph(p, x + 1, y, static_cast<char>(code), ink::kAmber);
}

// ---------------------------------------------------------------- title bars
void TitleBar(QPainter& p, int y, bool active) {
    const QRect r(0, y, sk::kFrameWidth, sk::kTitleHeight);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, active ? QColor(0x4a, 0x36, 0x28) : QColor(0x30, 0x2a, 0x26));
    g.setColorAt(1, active ? QColor(0x1e, 0x16, 0x11) : QColor(0x1a, 0x17, 0x15));
    p.fillRect(r, g);
    p.fillRect(0, y, 640, 1, active ? ink::kOrange : ink::kHighlight);
    p.fillRect(0, y + 21, 640, 1, ink::kShadow);
    DrawIcon(p, QRectF(5, y + 3, 16, 16));
    // Grooves between the title and the buttons.
    for (int i = 0; i < 3; ++i) {
        p.fillRect(360, y + 7 + 3 * i, 210, 1, ink::kShadow);
        p.fillRect(360, y + 8 + 3 * i, 210, 1, active ? ink::kRust : ink::kHighlight);
    }
    const QColor sym = active ? ink::kPeach : ink::kLabelDim;
    for (int bx : {582, 618}) {
        const QRect b(bx, y + 6, 14, 13);
        Bevel(p, b, true, active ? QColor(0x3a, 0x2c, 0x22) : QColor(0x2a, 0x25, 0x21));
        if (bx == 618) {
            for (int i = 0; i < 7; ++i) {
                p.fillRect(bx + 3 + i, y + 9 + i, 2, 1, sym);
                p.fillRect(bx + 9 - i, y + 9 + i, 2, 1, sym);
            }
        } else {
            p.fillRect(bx + 3, y + 14, 8, 2, sym);
        }
    }
}

// ---------------------------------------------------------------- view background
void Grain(QPainter& p, const QRect& r) {
    uint32_t seed = 12345;
    for (int yy = r.top(); yy <= r.bottom(); ++yy) {
        seed = seed * 1103515245u + 12345u;
        const int v = static_cast<int>((seed >> 16) % 5);
        if (v == 0) p.fillRect(r.left(), yy, r.width(), 1, QColor(0x2e, 0x26, 0x20, 60));
        if (v == 1) p.fillRect(r.left(), yy, r.width(), 1, QColor(0x0c, 0x0a, 0x08, 60));
    }
}

void Strip(QPainter& p, int ox, int oy, int column, int block) {
    const int x0 = ox + sk::kStripLeft + sk::kStripPitch * column;
    const int y = oy + sk::kStripBaseY[block];
    Bevel(p, QRect(x0 - 1, y - 27, 35, 166), true, ink::kModule);
    Led(p, QRect(x0, y + sk::kMuteDy, 11, 14), ink::kRed, false);
    VoicePips(p, x0 + 16, y + sk::kVoiceDy, 0);
    for (int dx : {2, 7, 12}) NarrowOrWideMeter(p, x0 + dx, y, sk::kNarrowMeterW, 0);
    NarrowOrWideMeter(p, x0 + 17, y, sk::kWideMeterW, 0);
    Gauge(p, x0, y + sk::kBendDy, 8);
    Gauge(p, x0, y + sk::kPanDy, 8);
    Well(p, QRect(x0 + 14, y + sk::kProgramDy - 1, 20, 8));
    Well(p, QRect(x0 + 14, y + sk::kBankDy - 1, 20, 8));
    DrawPixelText(p, x0 + 1, y + sk::kProgramDy - 1, "P", ink::kLabelDim);
    DrawPixelText(p, x0 + 1, y + sk::kBankDy - 1, "B", ink::kLabelDim);
    Well(p, QRect(x0, y + sk::kPictureDy - 1, 34, 18));
    Well(p, QRect(x0 + 2, y + sk::kFrequencyDy - 1, 32, 8));
    Led(p, QRect(x0, y + sk::kHoldDy, 16, 10), ink::kAmber, false);
    const int ch = 16 * block + column + 1;
    DrawSmallDigit(p, x0 + 21, y + sk::kHoldDy + 2, ch / 10, ink::kLabel);
    DrawSmallDigit(p, x0 + 27, y + sk::kHoldDy + 2, ch % 10, ink::kLabel);
}

void StripBlock(QPainter& p, int ox, int oy, int block) {
    const int y = oy + sk::kStripBaseY[block];
    Bevel(p, QRect(ox + 2, y - 27, 56, 166), false, QColor(0x1a, 0x15, 0x11));
    p.fillRect(ox + 6, y - 23, 11, 11, ink::kRust);
    DrawPixelText(p, ox + 9, y - 21, block ? "B" : "A", ink::kCream);
    DrawPixelText(p, ox + 21, y - 21, "MUTE", ink::kLabel);
    const char* meters[4] = {"VOL", "EXP", "ENV", "OUT"};
    for (int i = 0; i < 4; ++i) {
        DrawPixelText(p, ox + 8, y + 4 + 11 * i, meters[i], ink::kLabel);
        p.fillRect(ox + 28, y + 7 + 11 * i, 24, 1, ink::kLabelDim);
    }
    DrawPixelText(p, ox + 8, y + sk::kBendDy + 1, "BEND", ink::kLabel);
    DrawPixelText(p, ox + 8, y + sk::kPanDy + 1, "PAN", ink::kLabel);
    DrawPixelText(p, ox + 8, y + sk::kProgramDy - 1, "PROG", ink::kLabel);
    DrawPixelText(p, ox + 8, y + sk::kBankDy - 1, "BANK", ink::kLabel);
    DrawPixelText(p, ox + 8, y + sk::kPictureDy + 4, "INST", ink::kLabel);
    DrawPixelText(p, ox + 8, y + sk::kFrequencyDy - 1, "FREQ", ink::kLabel);
    DrawPixelText(p, ox + 8, y + sk::kHoldDy + 2, "HOLD", ink::kLabel);
    for (int c = 0; c < 16; ++c) Strip(p, ox, oy, c, block);
}

void DotCell(QPainter& p, int x, int y, bool on) {
    p.fillRect(x, y, 4, 2, ink::kWell);
    p.fillRect(x, y, 3, 1, on ? ink::kAmber : ink::kUnlit);
    p.fillRect(x, y + 1, 3, 1, on ? ink::kOrange : QColor(0x2a, 0x14, 0x0b));
}

void ViewBackground(QPainter& p, int oy) {
    const QRect r(0, oy, sk::kViewWidth, sk::kViewHeight);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, ink::kPanelTop);
    g.setColorAt(1, ink::kPanelBottom);
    p.fillRect(r, g);
    Grain(p, r);

    Logo(p, 0, oy, false);

    const char* names[6] = {"PLAY", "FAST", "STOP", "PAUSE", "REC", "PREF"};
    for (int i = 0; i < 6; ++i) {
        const int bx = sk::kButtonDestX[i];
        DrawPixelText(p, bx + (sk::kButtonW - PixelTextWidth(names[i])) / 2, oy + 9, names[i],
                      ink::kLabel);
        Button(p, bx, oy + sk::kButtonDestY, i, false);
    }

    DrawPixelText(p, 634 - PixelTextWidth("32CH MIDI SOUND MODULE"), oy + 6,
                  "32CH MIDI SOUND MODULE", ink::kLabelDim);
    DrawPixelText(p, 376, oy + 35, "BUF", ink::kLabel);
    Well(p, QRect(414, oy + 32, 222, 12));
    p.fillRect(sk::kBufferMeterLeft, oy + 34, 218, 8, ink::kUnlit);
    const struct {
        const char* word;
        double at;
        QColor c;
    } scale[4] = {{"OUT", 0.0, ink::kRed},
                  {"DANGER", 0.16, ink::kOrange},
                  {"GOOD", 0.45, ink::kAmber},
                  {"GREAT", 0.8, ink::kPeach}};
    for (const auto& s : scale) {
        const int sx = sk::kBufferMeterLeft + static_cast<int>(s.at * 218);
        DrawPixelText(p, sx, oy + 22, s.word, s.c);
        p.fillRect(sx, oy + 30, 1, 2, s.c);
    }
    p.fillRect(120, oy + 47, 516, 1, ink::kShadow);
    p.fillRect(120, oy + 48, 516, 1, ink::kHighlight);

    StripBlock(p, 0, oy, 0);
    StripBlock(p, 0, oy, 1);

    // Song line, position bar, the fields of the bottom left.
    DrawPixelText(p, 10, oy + 389, "SONG", ink::kLabel);
    Well(p, QRect(60, oy + 383, 527, 18));
    DrawPixelText(p, 6, oy + 408, "POSITION", ink::kLabel);
    Well(p, QRect(60, oy + 402, 240, 19));
    p.fillRect(sk::kPositionLeft, oy + 404, 236, 15, ink::kUnlit);
    const struct {
        const char* label;
        int x, w;
    } fields[3] = {{"TICK", 6, 66}, {"BPM", 106, 44}, {"TB", 190, 44}};
    for (const auto& f : fields) {
        DrawPixelText(p, f.x, oy + 430, f.label, ink::kLabel);
        const int wx = f.x + PixelTextWidth(f.label) + 5;
        Well(p, QRect(wx, oy + 426, f.w, 15));
    }

    // Dot display with its bezel; no data = every dot dark.
    Bevel(p, QRect(312, oy + 405, 72, 40), false, ink::kShadow);
    for (int row = 0; row < 16; ++row)
        for (int col = 0; col < 16; ++col)
            DotCell(p, sk::kDotsX + 4 * col, oy + sk::kDotsY + 2 * row, false);

    const char* lamps[3] = {"GM", "GS", "ZWAVE"};
    for (int i = 0; i < 3; ++i)
        Lamp(p, QRect(sk::kLampDestX[i], oy + sk::kLampDestY, sk::kLampW[i], sk::kLampH), false,
             lamps[i]);
    for (int gy = 0; gy < 5; ++gy)
        for (int gx = 0; gx < 9; ++gx)
            p.fillRect(488 + 5 * gx + (gy % 2) * 2, oy + 416 + 5 * gy, 2, 2, ink::kShadow);
    DrawPixelText(p, 600, oy + 416, "PWR", ink::kLabel);
    Led(p, QRect(603, oy + 427, 12, 6), ink::kAmber, true);
}

// Pixels outside the rounded outline take the key colour.
void KeyCorners(QImage& img, int top, int height, bool bottom) {
    const int radius = 7;
    for (int dy = 0; dy < radius; ++dy)
        for (int dx = 0; dx < radius; ++dx) {
            const double ex = radius - dx - 0.5, ey = radius - dy - 0.5;
            if (ex * ex + ey * ey <= radius * radius) continue;
            for (int xx : {dx, sk::kFrameWidth - 1 - dx}) {
                img.setPixel(xx, top + dy, ink::kKey.rgb());
                if (bottom) img.setPixel(xx, top + height - 1 - dy, ink::kKey.rgb());
            }
        }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: zeblo_skingen OUTPUT_DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);

    QImage art(sk::kSkinWidth, sk::kSkinHeight, QImage::Format_RGB32);
    art.fill(Qt::black);
    {
        QPainter p(&art);
        for (int i = 0; i < 6; ++i) {
            Button(p, sk::kButtonStep * i, sk::kButtonOffY, i, false);
            Button(p, sk::kButtonStep * i, sk::kButtonLitY, i, true);
        }
        Button(p, sk::kFastHighest.x, sk::kFastHighest.y, 1, true, true);
        for (int n = 0; n < sk::kGaugePositions; ++n) Gauge(p, sk::kGaugeStep * n, sk::kGaugeY, n);
        for (int code = sk::kFirstGlyphCode; code <= sk::kLastGlyphCode; ++code)
            LargeGlyph(p, 7 * (code - 32), sk::kLargeGlyphY, code);
        for (int d = 0; d < 10; ++d) {
            const int x = 6 * (d + 16);
            p.fillRect(x, sk::kSmallDigitY, 6, 6, ink::kWell);
            DrawSmallDigit(p, x + 1, sk::kSmallDigitY, d, ink::kPeach);
        }
        const char* lamps[3] = {"GM", "GS", "ZWAVE"};
        for (int i = 0; i < 3; ++i) {
            Lamp(p, QRect(sk::kLampX[i], sk::kLampLitY, sk::kLampW[i], sk::kLampH), true, lamps[i]);
            Lamp(p, QRect(sk::kLampX[i], sk::kLampUnlitY, sk::kLampW[i], sk::kLampH), false,
                 lamps[i]);
        }
        Logo(p, sk::kFmLogo.x, sk::kFmLogo.y, true);
        DotCell(p, sk::kDotOff.x, sk::kDotOff.y, false);
        DotCell(p, sk::kDotOn.x, sk::kDotOn.y, true);
        DrumIcon(p, 0, sk::kIconY, false);
        DrumIcon(p, 32, sk::kIconY, true);
        for (int i = 0; i < sk::kFmIcons; ++i) FmIcon(p, 32 * (i + 2), sk::kIconY, i);
        Led(p, R(sk::kMuteOn), ink::kRed, true);
        Led(p, R(sk::kMuteOff), ink::kRed, false);
        Led(p, R(sk::kHoldOn), ink::kAmber, true);
        Led(p, R(sk::kHoldOff), ink::kAmber, false);
        for (int n = 0; n <= 6; ++n)
            VoicePips(p, sk::kVoiceLampX + sk::kVoiceLampStep * n, sk::kVoiceLampY, n);
        Panels(p);
        for (int k = 0; k < sk::kMeterLevels; ++k) {
            NarrowOrWideMeter(p, sk::kNarrowMeterX + sk::kNarrowMeterStep * k, sk::kMeterY,
                              sk::kNarrowMeterW, k);
            NarrowOrWideMeter(p, sk::kWideMeterStep * k, sk::kMeterY, sk::kWideMeterW, k);
        }
        TitleBar(p, sk::kTitleInactive.y, false);
        TitleBar(p, sk::kTitleActive.y, true);
        ViewBackground(p, sk::kViewBackground.y);
    }
    // The FM logo is copied over the version digits: it carries them itself.
    for (int i = 0; i < 3; ++i) {
        const int code = sk::kVersionDigits[i];
        const QImage glyph = art.copy(7 * (code - 32), sk::kLargeGlyphY, 7, 7);
        QPainter p(&art);
        p.drawImage(sk::kFmLogo.x + sk::kVersionDigitX[i], sk::kFmLogo.y + sk::kVersionDigitY,
                    glyph);
    }
    // The window outline: the active title bar over the view background, corners keyed out.
    {
        QPainter p(&art);
        p.fillRect(0, sk::kWindowOutline.y, 1, sk::kFrameHeight, ink::kHighlight);
        p.fillRect(639, sk::kWindowOutline.y, 1, sk::kFrameHeight, ink::kShadow);
        p.fillRect(0, sk::kWindowOutline.y + sk::kFrameHeight - 1, 640, 1, ink::kShadow);
    }
    KeyCorners(art, sk::kWindowOutline.y, sk::kFrameHeight, true);
    KeyCorners(art, sk::kTitleInactive.y, sk::kTitleHeight, false);

    const QImage skin = art.convertToFormat(QImage::Format_Indexed8, SkinPalette(),
                                            Qt::ThresholdDither | Qt::AvoidDither);
    if (!skin.save(dir + "/skin.png")) {
        std::fprintf(stderr, "cannot write %s/skin.png\n", argv[1]);
        return 1;
    }

    QImage icon(64, 64, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    {
        QPainter p(&icon);
        DrawIcon(p, QRectF(0, 0, 64, 64));
    }
    if (!icon.save(dir + "/icon.png")) {
        std::fprintf(stderr, "cannot write %s/icon.png\n", argv[1]);
        return 1;
    }
    return 0;
}
