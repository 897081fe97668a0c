// Draws the program's SVG pictures once, when the program is built, each at
// its own size: the program shows these drawings as they are, without
// parsing the SVG and laying out its texts at every start.
//
// Usage: zb740_draw_pictures OUT_DIR PICTURE.svg...
// For each picture it writes OUT_DIR/NAME (NAME without ".svg"): the width
// and the height as two 32-bit numbers, then the pixels as premultiplied
// ARGB, 32 bits each in this machine's order, row by row. The drawing is
// the one the program's SVG renderer makes (src/widgets/Pictures.cpp).
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>

#include <cstdint>
#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: zb740_draw_pictures OUT_DIR PICTURE.svg...\n");
        return 2;
    }
    const QDir out(args[1]);
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "zb740_draw_pictures: cannot make %s\n", qPrintable(args[1]));
        return 1;
    }
    for (qsizetype i = 2; i < args.size(); ++i) {
        QSvgRenderer renderer(args[i]);
        const QSize size = renderer.defaultSize();
        if (!renderer.isValid() || size.isEmpty()) {
            std::fprintf(stderr, "zb740_draw_pictures: %s is no picture\n", qPrintable(args[i]));
            return 1;
        }
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
        }
        const QString path = out.filePath(QFileInfo(args[i]).completeBaseName());
        QSaveFile file(path);
        const uint32_t header[2] = {uint32_t(size.width()), uint32_t(size.height())};
        bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(reinterpret_cast<const char*>(header), sizeof header) == qint64(sizeof header);
        for (int y = 0; written && y < size.height(); ++y) {
            const qint64 row = qint64(size.width()) * 4;
            written = file.write(reinterpret_cast<const char*>(image.constScanLine(y)), row) == row;
        }
        if (!written || !file.commit()) {
            std::fprintf(stderr, "zb740_draw_pictures: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
