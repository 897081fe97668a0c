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
// Fixed storage: the coordinate and segment buffers hold a full run and are
// allocated once; drawing allocates nothing.
#include "data/RunView.h"
#include "plot/CurveMap.h"

#include <QColor>
#include <QImage>
#include <QLine>
#include <QPen>
#include <QPoint>
#include <memory>

class QPainter;

inline const QColor kCurveScreenColor[kChannelCount] = {
    QColor(255, 0, 0), QColor(255, 255, 0), QColor(0, 255, 255), QColor(200, 100, 200), QColor(0, 255, 0)};

// The box segments with far-off ends are clipped to, in the map's
// coordinates; a little larger than the picture so that clipped ends never
// show.
struct ClipBox {
    double xLo = 0, yLo = 0, xHi = 0, yHi = 0;
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
    void draw(QPainter& p, const RunView& run, int count, const CurveSet& shown, const plot::CurveMap& map,
              const ClipBox& box, QPoint origin = {});
    // The same picture drawn the plain way: every segment between two
    // consecutive samples.
    void drawEverySegment(QPainter& p, const RunView& run, int count, const CurveSet& shown,
                          const plot::CurveMap& map, const ClipBox& box, QPoint origin = {});

private:
    // Appends the segment from a to b, clipped when an end is far off.
    QLine* addSegment(QLine* out, double xa, double ya, double xb, double yb, const ClipBox& box, QPoint origin) const;
    void finishCurve(QPainter& p, int channel, const QLine* end);
    // The image a painter draws on when spans may be written into it directly.
    static QImage* writableImage(QPainter& p);
    void writeSpan(QImage& image, int channel, double x, double yLow, double yHigh, const ClipBox& box,
                   QPoint origin) const;

    QPen m_pen[kChannelCount];
    std::unique_ptr<double[]> m_x;     // x of each sample, shared by the curves
    std::unique_ptr<double[]> m_y;     // y of each sample of one curve
    // Raw storage: QLine's constructor would zero all of it up front, making
    // every page resident though a repaint uses a few thousand segments.
    struct RawDelete {
        void operator()(QLine* lines) const { ::operator delete[](lines); }
    };
    std::unique_ptr<QLine[], RawDelete> m_lines;  // one curve's segments
};
