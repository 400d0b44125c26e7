#include "ui/DisplayText.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStringDecoder>
#include <QTextLayout>

namespace zeblo {

namespace {
constexpr int kDisplayFontPixels = 12;
constexpr int kTabColumns = 8;
}  // namespace

QFont MakeDisplayFont() {
    QFont f;
    f.setFamilies({"DejaVu Sans", "VL PGothic", "VL Gothic"});
    f.setPixelSize(kDisplayFontPixels);
    f.setWeight(QFont::Normal);
    f.setStyleStrategy(QFont::NoAntialias);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

QString DecodeTitle(const std::string& bytes) {
    const QByteArray raw(bytes.data(), static_cast<qsizetype>(bytes.size()));
    {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString s = utf8.decode(raw);
        if (!utf8.hasError()) return s;
    }
    QStringDecoder sjis("Shift_JIS", QStringDecoder::Flag::Stateless);
    if (sjis.isValid()) {
        const QString s = sjis.decode(raw);
        if (!sjis.hasError()) return s;
    }
    return QString::fromLatin1(raw);
}

void DrawWrappedText(QPainter& p, const QRect& r, const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QFontMetrics fm(p.font());
    const int lineHeight = fm.height();
    const int maxLines = std::max(1, r.height() / lineHeight);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(kTabColumns * fm.horizontalAdvance(QLatin1Char('x')));

    QStringList lines;
    bool more = false;
    const QStringList paragraphs = t.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < paragraphs.size() && !more; ++i) {
        QTextLayout layout(paragraphs[i], p.font());
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(r.width());
            if (lines.size() == maxLines) {
                more = true;
                break;
            }
            lines << paragraphs[i].mid(line.textStart(), line.textLength());
        }
        layout.endLayout();
        if (lines.size() == maxLines && i + 1 < paragraphs.size()) more = true;
    }
    if (more && !lines.isEmpty()) {
        const QString ellipsis(QChar(0x2026));
        QString last = lines.last();
        while (!last.isEmpty() && fm.horizontalAdvance(last + ellipsis) > r.width()) last.chop(1);
        lines.last() = last + ellipsis;
    }
    for (qsizetype i = 0; i < lines.size(); ++i)
        p.drawText(
            QRect(r.left(), r.top() + static_cast<int>(i) * lineHeight, r.width(), lineHeight),
            Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs | Qt::TextSingleLine,
            lines[i].trimmed().isEmpty() ? QString() : lines[i]);
}

void DrawSongLine(QPainter& p, const QRect& r, const QString& text, bool isPath) {
    const QFontMetrics fm(p.font());
    const QString shown = fm.elidedText(text, isPath ? Qt::ElideMiddle : Qt::ElideRight, r.width(),
                                        Qt::TextExpandTabs);
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextExpandTabs,
               shown);
}

}  // namespace zeblo
