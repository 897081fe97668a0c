#pragma once
// Draws the shown curves of a run into a painter, the one way every graph of
// this program draws them: each sample is placed by a CurveMap and truncated
// to a whole pixel, and consecutive samples are joined by straight segments
// in the curve's colour. Coordinates far off the picture are clipped before
// they become integers, so any zoom depth draws safely.
//
// A picture has far fewer pixel columns than a run has samples. Every
// sample's x is a whole pixel, so the segments between samples of one
// column are vertical and together cover the column from its lowest to its
// highest point. draw() therefore keeps, per column, the first, lowest,
// highest and last point in sample order and joins only those, plus the
// segments from one column to the next exactly as before: the same pixels
// as drawing every segment (drawEverySegment(), which the tests compare it
// with), for a fraction of the work. Samples whose segments lie wholly left
// or right of the picture are not looked at.
//
// A reading that maps to no number (a NaN or an infinity in a damaged file)
// is a gap in its curve: neither segment that touches it is drawn, so a
// column is cut into the parts between its gaps.
//
// When the painter draws onto an image as it is (untransformed, unclipped),
// the column spans and the connectors from one column to the next are
// written into the image's pixels directly, following the rule Qt's raster
// engine draws those lines by (NeighbourConnector); only the segments that
// rule does not cover go to Qt.
//
// Fixed storage: the coordinate and segment buffers hold a full run and are
// allocated once; drawing allocates nothing.
#include "data/RunView.h"
#include "plot/CurveMap.h"

#include <QColor>
#include <QImage>
#include <QLine>
#include <QPen>
#include <QPoint>
#include <algorithm>
#include <array>
#include <memory>
#include <vector>

class QPainter;

// The rows a draw wrote in each pixel column of the image it drew on, per
// curve: what must be laid again to take its curves off, usually a few rows
// a column.
class ColumnInk {
public:
    static constexpr int kCurves = kChannelCount;

    // An image of this size, nothing written yet.
    void reset(int width, int height);
    // Nothing written since.
    void clear();
    // Curve c wrote rows top..bottom of columns left..right; cut to the image.
    void mark(int c, int left, int right, int top, int bottom);
    // Curve c wrote rows top..bottom of column x, already inside the image.
    void markColumn(int c, int x, int top, int bottom)
    {
        const size_t i = size_t(c) * size_t(m_width) + size_t(x);
        m_top[i] = std::min(m_top[i], top);
        m_bottom[i] = std::max(m_bottom[i], bottom);
    }
    // Any pixel may have been written (through a transform or a clip).
    void markAll() { m_all = true; }

    bool all() const { return m_all; }
    int width() const { return m_width; }
    // Curve c's ink in column x: rows top..bottom; none when top > bottom.
    int top(int c, int x) const { return m_top[size_t(c) * size_t(m_width) + size_t(x)]; }
    int bottom(int c, int x) const { return m_bottom[size_t(c) * size_t(m_width) + size_t(x)]; }
    // The pixels inside the marked rows of every curve and column.
    qint64 area() const;

private:
    std::vector<int> m_top, m_bottom;  // curve by curve, column by column
    int m_width = 0, m_height = 0;
    bool m_all = false;
};

inline const QColor kCurveScreenColor[kChannelCount] = {
    QColor(255, 0, 0), QColor(255, 255, 0), QColor(0, 255, 255), QColor(200, 100, 200), QColor(0, 255, 0)};

// The box segments with far-off ends are clipped to, in the map's
// coordinates; a little larger than the picture so that clipped ends never
// show.
struct ClipBox {
    double xLo = 0, yLo = 0, xHi = 0, yHi = 0;
};

// The pixels Qt's raster engine sets for an aliased line of a cosmetic pen
// from (x, y0) to (x + 1, y1) with both columns inside the image: in column
// x the rows from y0 toward y1, y1 itself not included (y0 alone when the
// line is flat), and in column x + 1 the row y1 alone. Rows outside the
// image are simply not set, whatever the line's length beyond it.
//
// The rule holds for every upward line tried, and for downward lines up to
// kMaxDown rows: on longer ones Qt's fixed-point stepping now and then keeps
// the last row in column x. known() says which lines may be written by the
// rule; the others are left to Qt. The decimation tests check the rule
// against Qt's own drawLine over this whole range.
struct NeighbourConnector {
    static constexpr int kMaxDown = 189;
    static constexpr int kMaxUp = 2560;
    int lo = 0, hi = 0;  // the rows set in column x, lo <= hi; column x + 1: y1

    static constexpr bool known(int y0, int y1) { return y1 - y0 <= kMaxDown && y0 - y1 <= kMaxUp; }
    static constexpr NeighbourConnector of(int y0, int y1)
    {
        return {y1 < y0 ? y1 + 1 : y0, y1 > y0 ? y1 - 1 : y0};
    }
};

class CurvePainter {
public:
    CurvePainter();
    CurvePainter(const CurvePainter&) = delete;
    CurvePainter& operator=(const CurvePainter&) = delete;

    // Draws samples 0..count-1 of the shown curves. The map's coordinates
    // are truncated to whole pixels, then `origin` is subtracted: the pixel
    // of the painter's device that the map's (origin.x, origin.y) stands for
    // is (0, 0).
    // When ink is given, the rows written in each column are marked in it.
    void draw(QPainter& p, const RunView& run, int count, const CurveSet& shown, const plot::CurveMap& map,
              const ClipBox& box, QPoint origin = {}, ColumnInk* ink = nullptr);
    // The same picture drawn the plain way: every segment between two
    // consecutive samples.
    void drawEverySegment(QPainter& p, const RunView& run, int count, const CurveSet& shown,
                          const plot::CurveMap& map, const ClipBox& box, QPoint origin = {});
    // The segments the last draw handed to Qt rather than writing them.
    int qtSegments() const { return m_qtSegments; }

private:
    // Appends the segment from a to b, clipped when an end is far off.
    QLine* addSegment(QLine* out, double xa, double ya, double xb, double yb, const ClipBox& box, QPoint origin) const;
    void finishCurve(QPainter& p, int channel, const QLine* end, ColumnInk* ink);
    // draw() onto the image a painter draws on as it is.
    void drawDirect(QPainter& p, QImage& image, const RunView& run, int n, const CurveSet& shown,
                    const plot::CurveMap& map, const ClipBox& box, QPoint origin, float plainBound, ColumnInk* ink);
    // The image a painter draws on when spans may be written into it directly.
    static QImage* writableImage(QPainter& p);

    // An image's pixels as drawing writes them, and one curve's colour.
    struct Pixels {
        QRgb* bits = nullptr;
        qsizetype stride = 0;  // in pixels
        int width = 0, height = 0;
        QRgb colour = 0;
        ColumnInk* ink = nullptr;  // marks what is written, when given
        int curve = 0;             // the curve being drawn, for the ink
        // Rows top..bottom of column x, cut to the image's rows; x inside.
        void column(int x, int top, int bottom) const;
    };
    static void writeSpan(const Pixels& px, double x, double yLow, double yHigh, const ClipBox& box, QPoint origin);

    QPen m_pen[kChannelCount];
    // x of each sample, shared by the curves; when drawing straight into
    // the image, x of each pixel column drawn
    std::unique_ptr<double[]> m_x;
    std::unique_ptr<int[]> m_columnStart;  // the first sample of each pixel column drawn
    // Raw storage: QLine's constructor would zero all of it up front, making
    // every page resident though a repaint uses a few thousand segments.
    struct RawDelete {
        void operator()(QLine* lines) const { ::operator delete[](lines); }
    };
    std::unique_ptr<QLine[], RawDelete> m_lines;  // one curve's segments
    // Rows of readings placed lately, by the reading's bits.
    struct RowMemo {
        float value;
        double row;
    };
    static constexpr int kRowMemoBits = 9;
    std::array<RowMemo, 1 << kRowMemoBits> m_rowMemo {};
    int m_qtSegments = 0;
};
