#pragma once
// Data files for the logger tests, written by the program's own writer, and
// helpers to look at the window's pixels.
#include "../data/DataFixtures.h"

#include "data/DataFile.h"
#include "data/ReadingStore.h"
#include "logger/LoggerChrome.h"

#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <functional>
#include <memory>

// A run to store: value(channel, sample) gives the stored reading.
struct RunSpec {
    int count = 10;
    int64_t start = 1700000000;
    int interval = 1;
    bool fahrenheit = false;
    YScaleValues scale {10, 0};
    std::function<float(int, int)> value = [](int c, int s) { return float(20 + 10 * c + (s % 5)); };
};

inline bool writeRun(const QString& path, const RunSpec& spec)
{
    auto live = std::make_unique<LiveSeries>();
    for (int s = 0; s < spec.count; ++s)
        for (int c = 0; c < kChannelCount; ++c)
            live->values[c][s] = spec.value(c, s);
    RunInfo info;
    info.count = spec.count;
    info.start = spec.start;
    info.interval = spec.interval;
    info.fahrenheit = spec.fahrenheit;
    info.unit = spec.fahrenheit ? QStringLiteral("F") : QStringLiteral("C");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return DataFile::write(f, RunView::of(*live, info), spec.scale).ok();
}

// Pixels of a colour inside a rectangle.
inline int countColor(const QImage& img, QRect r, const QColor& c)
{
    int n = 0;
    r = r.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += img.pixelColor(x, y) == c;
    return n;
}

// A text as the plot writes it at (x, y) with a font: black on an opaque
// white cell, on the window's background.
inline QImage textCell(const QString& text, const QFont& font)
{
    const QFontMetrics fm(font);
    QImage cell(fm.horizontalAdvance(text), fm.height(), QImage::Format_RGB32);
    cell.fill(kLoggerBackground);
    QPainter p(&cell);
    p.setFont(font);
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(Qt::white);
    p.setPen(Qt::black);
    p.drawText(QPoint(0, fm.ascent()), text);
    return cell;
}

// True when the image shows exactly that text's cell at (x, y).
inline bool showsTextAt(const QImage& img, int x, int y, const QString& text, const QFont& font)
{
    const QImage cell = textCell(text, font);
    const QImage part = img.copy(x, y, cell.width(), cell.height()).convertToFormat(QImage::Format_RGB32);
    return part == cell;
}

// The picture without the read-out band above the plot, which keeps the
// last read-out across zooms.
inline QImage withoutReadout(QImage img)
{
    img = img.convertToFormat(QImage::Format_RGB32);
    QPainter p(&img);
    p.fillRect(0, 70, img.width(), 20, Qt::magenta);
    return img;
}
