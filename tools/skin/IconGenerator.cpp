// Paints the program's icon in the sizes a desktop's icon theme asks for.
// Usage: zeblo_icongen OUTPUT_DIR NAME SIZE...   (writes OUTPUT_DIR/SIZExSIZE/apps/NAME.png)
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>

#include "SkinArt.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: zeblo_icongen OUTPUT_DIR NAME SIZE...\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) {
            std::fprintf(stderr, "zeblo_icongen: not a size: %s\n", argv[i]);
            return 2;
        }
        QImage icon(size, size, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        {
            QPainter p(&icon);
            zeblo::skintool::DrawIcon(p, QRectF(0, 0, size, size));
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        if (!QDir().mkpath(folder) || !icon.save(folder + "/" + name + ".png")) {
            std::fprintf(stderr, "zeblo_icongen: cannot write into %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
