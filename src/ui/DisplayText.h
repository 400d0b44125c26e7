// Text of the display: the font, title decoding and the few layouts the display uses.
//
// Threads: user-interface thread.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <string>

class QPainter;

namespace zeblo {

// A sans face at 12 pixels with a Japanese-capable fallback, drawn without smoothing so that
// text written again over itself stays the same.
QFont MakeDisplayFont();

// Raw title bytes as UTF-8 when valid, else Shift-JIS (CP932), else Latin-1.
QString DecodeTitle(const std::string& bytes);

// Word-wrapped text in a rectangle; the last line that fits ends with an ellipsis when more
// text follows. Tabs expand; CR LF, CR and LF break lines.
void DrawWrappedText(QPainter& p, const QRect& r, const QString& text);

// One line, vertically centred, tabs expanded: titles elided at the end, paths in the middle.
void DrawSongLine(QPainter& p, const QRect& r, const QString& text, bool isPath);

}  // namespace zeblo
