// zb740-render-icon: renders the program's SVG icon into the PNG sizes of the
// freedesktop icon theme, with the same SVG renderer the program uses for its
// window icon. Runs at build time.
//
// Usage: zb740-render-icon SOURCE.svg OUTDIR NAME SIZE...
// writes OUTDIR/<SIZE>x<SIZE>/apps/NAME.png for every SIZE.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv)
{
    // No display at build time; the icon's text still needs the font system.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "Usage: zb740-render-icon SOURCE.svg OUTDIR NAME SIZE...\n");
        return 2;
    }
    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "zb740-render-icon: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    const QDir outDir(args.at(2));
    const QString name = args.at(3);
    for (qsizetype i = 4; i < args.size(); ++i) {
        bool ok = false;
        const int size = args.at(i).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "zb740-render-icon: bad size '%s'\n", qPrintable(args.at(i)));
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing
                                   | QPainter::SmoothPixmapTransform);
            renderer.render(&painter, QRectF(0, 0, size, size));
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = outDir.filePath(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
        if (!outDir.mkpath(folder) || !image.save(path, "PNG")) {
            std::fprintf(stderr, "zb740-render-icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
