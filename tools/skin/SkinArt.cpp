#include "SkinArt.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPath>

#include "PixelFont.h"

namespace zeblo::skintool {

int PixelTextWidth(const QString& text, int scale) {
    return text.isEmpty() ? 0 : (6 * static_cast<int>(text.size()) - 1) * scale;
}

void DrawPixelGlyph(QPainter& p, int x, int y, char c, const QColor& colour, int scale) {
    const Glyph5x7* g = FindGlyph(c);
    if (!g) return;
    for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
            if (g->rows[row][col] == '#')
                p.fillRect(x + col * scale, y + row * scale, scale, scale, colour);
}

void DrawPixelText(QPainter& p, int x, int y, const QString& text, const QColor& colour,
                   int scale) {
    for (QChar ch : text) {
        DrawPixelGlyph(p, x, y, static_cast<char>(ch.toLatin1()), colour, scale);
        x += 6 * scale;
    }
}

void DrawSmallDigit(QPainter& p, int x, int y, int digit, const QColor& colour) {
    const auto& rows = kDigits4x6[digit];
    for (int row = 0; row < 6; ++row)
        for (int col = 0; col < 4; ++col)
            if (rows[row][col] == '#') p.fillRect(x + col, y + row, 1, 1, colour);
}

void Bevel(QPainter& p, const QRect& r, bool raised, const QColor& face) {
    p.fillRect(r, face);
    const QColor light = raised ? ink::kHighlight : ink::kShadow;
    const QColor dark = raised ? ink::kShadow : ink::kHighlight;
    p.fillRect(r.left(), r.top(), r.width(), 1, light);
    p.fillRect(r.left(), r.top(), 1, r.height(), light);
    p.fillRect(r.left(), r.bottom(), r.width(), 1, dark);
    p.fillRect(r.right(), r.top(), 1, r.height(), dark);
}

void Well(QPainter& p, const QRect& r) {
    p.fillRect(r, ink::kWell);
    p.fillRect(r.left(), r.top(), r.width(), 1, ink::kWellEdge);
    p.fillRect(r.left(), r.top(), 1, r.height(), ink::kWellEdge);
    p.fillRect(r.left(), r.bottom(), r.width(), 1, ink::kHighlight);
    p.fillRect(r.right(), r.top(), 1, r.height(), ink::kHighlight);
}

void Lamp(QPainter& p, const QRect& r, bool lit, const QString& label) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(r, ink::kShadow);
    const QRect face = r.adjusted(2, 2, -2, -2);
    if (lit) {
        QLinearGradient g(face.topLeft(), face.bottomLeft());
        g.setColorAt(0, ink::kPeach);
        g.setColorAt(0.5, ink::kAmber);
        g.setColorAt(1, ink::kOrange);
        p.fillRect(face, g);
        p.fillRect(face.left(), face.top(), face.width(), 1, ink::kCream);
    } else {
        p.fillRect(face, ink::kUnlit);
        p.fillRect(face.left(), face.top(), face.width(), 1, QColor(0x4a, 0x26, 0x16));
    }
    p.fillRect(r.left() + 1, r.top() + 1, r.width() - 2, 1, ink::kHighlight);
    const QColor text = lit ? ink::kBrown : QColor(0x7a, 0x40, 0x26);
    const int w = PixelTextWidth(label);
    DrawPixelText(p, r.left() + (r.width() - w) / 2, r.top() + (r.height() - 7) / 2, label, text);
    p.restore();
}

void DrawWords(QPainter& p, const QRect& r, const QString& text, const QColor& colour,
               int pixelSize, bool bold, int flags) {
    QFont f("DejaVu Sans");
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(r, flags, text);
    p.restore();
}

void DrawIcon(QPainter& p, const QRectF& r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const double s = r.width() / 64.0;
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, ink::kAmber);
    g.setColorAt(1, ink::kRust);
    p.setPen(QPen(ink::kBrown, 2 * s));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(s, s, -s, -s), 12 * s, 12 * s);
    QPainterPath wave;
    const double y0 = r.top() + 40 * s, y1 = r.top() + 24 * s;
    wave.moveTo(r.left() + 8 * s, y0);
    for (int i = 0; i < 4; ++i) {
        const double x = r.left() + (8 + 12 * i) * s;
        wave.lineTo(x, i % 2 ? y0 : y1);
        wave.lineTo(x + 12 * s, i % 2 ? y0 : y1);
    }
    p.setPen(QPen(ink::kCream, 5 * s, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.setPen(QPen(ink::kBrown, 2 * s));
    p.drawLine(QPointF(r.left() + 10 * s, r.top() + 52 * s),
               QPointF(r.right() - 10 * s, r.top() + 52 * s));
    p.restore();
}

}  // namespace zeblo::skintool
