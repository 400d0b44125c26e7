// Drawing helpers shared by the skin's pictures: the colour scheme, bevels, lamps and lettering.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>

namespace zeblo::skintool {

// The scheme of a warm front panel; the display colours of the program are among them exactly.
namespace ink {
inline const QColor kPanelTop{0x2a, 0x23, 0x1d};
inline const QColor kPanelBottom{0x15, 0x11, 0x0e};
inline const QColor kModule{0x22, 0x1c, 0x17};
inline const QColor kHighlight{0x4a, 0x3c, 0x30};
inline const QColor kShadow{0x08, 0x06, 0x05};
inline const QColor kWell{0x1c, 0x0e, 0x07};
inline const QColor kWellEdge{0x0a, 0x05, 0x03};
inline const QColor kLabel{0xd6, 0xa2, 0x74};
inline const QColor kLabelDim{0x8a, 0x66, 0x4a};
inline const QColor kAmber{0xff, 0xb0, 0x40};
inline const QColor kPeach{0xff, 0xd2, 0xa2};   // 0xA2D2FF
inline const QColor kOrange{0xdf, 0x82, 0x5f};  // 0x5F82DF
inline const QColor kRust{0xb2, 0x59, 0x3f};    // 0x3F59B2
inline const QColor kBrown{0x5c, 0x1f, 0x09};   // 0x091F5C
inline const QColor kRed{0xff, 0x5a, 0x3c};
inline const QColor kUnlit{0x3a, 0x1c, 0x10};
inline const QColor kLogoPlate{0x10, 0x0c, 0x09};
inline const QColor kCream{0xfb, 0xea, 0xcc};
inline const QColor kCreamShade{0xe6, 0xc6, 0x98};
inline const QColor kKey{0xff, 0x00, 0xff};
}  // namespace ink

// 5 x 7 pixel lettering, 6 pixels per character (scale multiplies both).
int PixelTextWidth(const QString& text, int scale = 1);
void DrawPixelText(QPainter& p, int x, int y, const QString& text, const QColor& colour,
                   int scale = 1);
void DrawPixelGlyph(QPainter& p, int x, int y, char c, const QColor& colour, int scale = 1);
void DrawSmallDigit(QPainter& p, int x, int y, int digit, const QColor& colour);

// A rectangle with a lit top-left and a dark bottom-right edge (raised) or the reverse (sunken).
void Bevel(QPainter& p, const QRect& r, bool raised, const QColor& face);
// A recessed display well.
void Well(QPainter& p, const QRect& r);
// A soft round-cornered lamp, lit or dark, with centred lettering.
void Lamp(QPainter& p, const QRect& r, bool lit, const QString& label);
// Text in a proportional face (for large words), anti-aliased.
void DrawWords(QPainter& p, const QRect& r, const QString& text, const QColor& colour,
               int pixelSize, bool bold, int flags);

// The program's icon, drawn to fill `r` (designed on a 64-pixel grid, scaled to any size).
void DrawIcon(QPainter& p, const QRectF& r);

}  // namespace zeblo::skintool
