#pragma once
// Reads a written PDF back as a user's tools see it: the page rasterised by
// pdftoppm and the words with their boxes from pdftotext -bbox, both turned
// into the report's units (0.1 mm from the bottom-right corner of the
// printable area, y up).
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cmath>

struct PdfRun {
    int status = -1;
    QByteArray out, err;
};

inline PdfRun runTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

// One line of pdfinfo about the file ("Pages", "Page size", "Title", ...).
inline QString pdfInfo(const QString& pdf, const QString& key)
{
    const PdfRun r = runTool(QStringLiteral("pdfinfo"), {pdf});
    for (const QString& line : QString::fromUtf8(r.out).split(QLatin1Char('\n'))) {
        if (line.startsWith(key + QLatin1Char(':')))
            return line.mid(key.size() + 1).trimmed();
    }
    return {};
}

// One word of the page: its text and its box in report units.
struct PdfWord {
    QString text;
    double left = 0, right = 0;  // x
    double bottom = 0, top = 0;  // y, bottom < top
};

// Where the printable area sits on the page: margins in millimetres.
struct PrintableFrame {
    double rightMm = 10;
    double bottomMm = 10;
};

class PdfPage {
public:
    // Reads page 1 of the file. ok() tells whether both tools succeeded.
    PdfPage(const QString& pdf, PrintableFrame frame = {})
        : m_frame(frame)
    {
        const PdfRun text = runTool(QStringLiteral("pdftotext"),
                                    {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
                                     QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
        if (text.status != 0)
            return;
        const QString html = QString::fromUtf8(text.out);
        static const QRegularExpression pageRe(QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\""));
        const auto pm = pageRe.match(html);
        if (!pm.hasMatch())
            return;
        m_pageWpt = pm.captured(1).toDouble();
        m_pageHpt = pm.captured(2).toDouble();
        static const QRegularExpression wordRe(QStringLiteral(
            "<word xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" xMax=\"([-0-9.]+)\" yMax=\"([-0-9.]+)\">([^<]*)</word>"));
        for (auto it = wordRe.globalMatch(html); it.hasNext();) {
            const auto m = it.next();
            PdfWord w;
            w.text = m.captured(5);
            w.left = unitX(m.captured(1).toDouble());
            w.right = unitX(m.captured(3).toDouble());
            w.top = unitY(m.captured(2).toDouble());
            w.bottom = unitY(m.captured(4).toDouble());
            m_words << w;
        }
        // 254 dots per inch: one pixel is one unit.
        QTemporaryDir dir;
        const QString prefix = dir.filePath(QStringLiteral("page"));
        const PdfRun raster = runTool(QStringLiteral("pdftoppm"),
                                      {QStringLiteral("-r"), QStringLiteral("254"), QStringLiteral("-f"),
                                       QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                                       QStringLiteral("-singlefile"), pdf, prefix});
        if (raster.status != 0)
            return;
        m_image = QImage(prefix + QStringLiteral(".ppm"));
        m_ok = !m_image.isNull();
    }

    bool ok() const { return m_ok; }
    const QList<PdfWord>& words() const { return m_words; }
    const QImage& image() const { return m_image; }
    double pageWidthPt() const { return m_pageWpt; }
    double pageHeightPt() const { return m_pageHpt; }

    QStringList texts() const
    {
        QStringList t;
        for (const PdfWord& w : m_words)
            t << w.text;
        return t;
    }
    // All words with this text, in reading order.
    QList<PdfWord> find(const QString& text) const
    {
        QList<PdfWord> found;
        for (const PdfWord& w : m_words)
            if (w.text == text)
                found << w;
        return found;
    }

    // The pixel that holds the page point (x, y).
    QColor at(int x, int y) const
    {
        const int px = int(std::floor(m_pageWpt * 254 / 72 - m_frame.rightMm * 10 + x));
        const int py = int(std::floor(m_pageHpt * 254 / 72 - m_frame.bottomMm * 10 - y));
        if (!m_image.rect().contains(px, py))
            return QColor(Qt::white);
        return m_image.pixelColor(px, py);
    }
    // Darkest grey level in the square of +-r units around (x, y).
    int darkest(int x, int y, int r = 1) const
    {
        int best = 255;
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx)
                best = std::min(best, qGray(at(x + dx, y + dy).rgb()));
        return best;
    }
    // Whether a pixel near this colour lies in the square of +-r units.
    bool hasColorNear(int x, int y, const QColor& c, int r = 1, int tolerance = 40) const
    {
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx)
                if (near(at(x + dx, y + dy), c, tolerance))
                    return true;
        return false;
    }
    // Pixels near the colour in the rectangle x0..x1, y0..y1 (units, inclusive).
    int countColor(int x0, int y0, int x1, int y1, const QColor& c, int tolerance = 40) const
    {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                n += near(at(x, y), c, tolerance);
        return n;
    }
    static bool near(const QColor& a, const QColor& b, int tolerance)
    {
        return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
            && std::abs(a.blue() - b.blue()) <= tolerance;
    }

private:
    double unitX(double xPt) const { return (xPt - (m_pageWpt - m_frame.rightMm * 72 / 25.4)) * 254 / 72; }
    double unitY(double yPt) const { return ((m_pageHpt - m_frame.bottomMm * 72 / 25.4) - yPt) * 254 / 72; }

    PrintableFrame m_frame;
    double m_pageWpt = 0, m_pageHpt = 0;
    QList<PdfWord> m_words;
    QImage m_image;
    bool m_ok = false;
};
