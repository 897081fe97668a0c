#pragma once
// Draws the shown curves of a run into a painter, the one way every graph of
// this program draws them: each sample is placed by a CurveMap and truncated
// to a whole pixel, and consecutive samples are joined by straight segments
// in the curve's colour. Coordinates far off the picture are clipped before
// they become integers, so any zoom depth draws safely.
//
// Fixed storage: the coordinate and segment buffers hold a full run and are
// allocated once; drawing allocates nothing.
#include "data/RunView.h"
#include "plot/CurveMap.h"

#include <QColor>
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

private:
    QPen m_pen[kChannelCount];
    std::unique_ptr<double[]> m_x;     // x of each sample, shared by the curves
    std::unique_ptr<QLine[]> m_lines;  // one curve's segments
};
