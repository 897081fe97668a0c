#pragma once
// Copying a graph's cached picture to the screen: the base (strips, legend,
// labels) around the opaque inset (the plot), then the inset. The base's
// pixels under the inset are not copied, since the inset covers them; that
// halves the bytes a repaint moves when the plot fills most of the view.
#include <QRect>
#include <array>

// The parts of `area` above, below, left and right of `hole` (some may be
// empty); all of `area` when there is no hole.
inline std::array<QRect, 4> aroundHole(const QRect& area, const QRect& hole)
{
    if (hole.isEmpty())
        return {area, QRect(), QRect(), QRect()};
    return {
        area & QRect(QPoint(area.left(), area.top()), QPoint(area.right(), hole.top() - 1)),
        area & QRect(QPoint(area.left(), hole.bottom() + 1), QPoint(area.right(), area.bottom())),
        area & QRect(QPoint(area.left(), hole.top()), QPoint(hole.left() - 1, hole.bottom())),
        area & QRect(QPoint(hole.right() + 1, hole.top()), QPoint(area.right(), hole.bottom())),
    };
}
