#pragma once
// Copies a graph's cached picture to the screen: the base image (strips,
// legend, labels) around the opaque inset (the plot), then the inset. The
// base's pixels under the inset are not copied, since the inset covers them;
// that halves the bytes a repaint moves when the plot fills most of the view.
#include <QImage>
#include <QPainter>
#include <QRect>

inline void drawWithInset(QPainter& p, const QRect& exposed, const QImage& base, const QImage& inset, QPoint insetAt)
{
    if (inset.isNull()) {
        p.drawImage(exposed.topLeft(), base, exposed);
        return;
    }
    const QRect area = exposed & base.rect();
    const QRect hole(insetAt, inset.size());
    const QRect around[4] = {
        QRect(QPoint(area.left(), area.top()), QPoint(area.right(), hole.top() - 1)),
        QRect(QPoint(area.left(), hole.bottom() + 1), QPoint(area.right(), area.bottom())),
        QRect(QPoint(area.left(), hole.top()), QPoint(hole.left() - 1, hole.bottom())),
        QRect(QPoint(hole.right() + 1, hole.top()), QPoint(area.right(), hole.bottom())),
    };
    for (const QRect& r : around) {
        const QRect part = r & area;
        if (!part.isEmpty())
            p.drawImage(part.topLeft(), base, part);
    }
    p.drawImage(insetAt, inset);
}
