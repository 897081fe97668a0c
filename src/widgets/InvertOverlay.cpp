#include "widgets/InvertOverlay.h"

#include "widgets/StripPicture.h"

#include <QPainter>
#include <algorithm>

QSize OverlayPicture::size() const
{
    return base ? base->size() : QSize();
}

QRgb OverlayPicture::at(int x, int y) const
{
    if (inset && !inset->isNull()) {
        const int px = x - insetAt.x(), py = y - insetAt.y();
        if (px >= 0 && py >= 0 && px < inset->width() && py < inset->height())
            return inset->pixel(px, py);
    }
    const QSize s = size();
    if (x < 0 || y < 0 || x >= s.width() || y >= s.height())
        return qRgb(0, 0, 0);
    return base->pixel(x, y);
}

void InvertOverlay::drawDots(QPainter& p, QPoint a, QPoint b, const OverlayPicture& pic, QRgb mask)
{
    const QSize size = pic.size();
    if (size.isEmpty() || (a.x() != b.x() && a.y() != b.y()))
        return;
    const bool vertical = a.x() == b.x();
    // Clip to the picture: only its pixels can be inverted.
    const int lo = std::max(vertical ? a.y() : a.x(), 0);
    const int hi = std::min(vertical ? b.y() : b.x(), (vertical ? size.height() : size.width()) - 1);
    const int fixed = vertical ? a.x() : a.y();
    if (hi < lo || fixed < 0 || fixed >= (vertical ? size.width() : size.height()))
        return;
    QImage& buf = vertical ? m_column : m_row;
    const QSize need = vertical ? QSize(1, size.height()) : QSize(size.width(), 1);
    if (buf.size() != need)
        buf = QImage(need, QImage::Format_RGB32);
    const int start = vertical ? a.y() : a.x();
    for (int i = lo; i <= hi; ++i) {
        const QRgb under = vertical ? pic.at(fixed, i) : pic.at(i, fixed);
        const QRgb out = (i - start) % 2 == 0 ? ((under ^ mask) | 0xff000000u) : under;
        if (vertical)
            reinterpret_cast<QRgb*>(buf.scanLine(i - lo))[0] = out;
        else
            reinterpret_cast<QRgb*>(buf.scanLine(0))[i - lo] = out;
    }
    if (vertical)
        p.drawImage(QPoint(fixed, lo), buf, QRect(0, 0, 1, hi - lo + 1));
    else
        p.drawImage(QPoint(lo, fixed), buf, QRect(0, 0, hi - lo + 1, 1));
}

void InvertOverlay::drawBand(QPainter& p, QPoint c1, QPoint c2, const OverlayPicture& pic, QRgb mask)
{
    const int l = std::min(c1.x(), c2.x()), r = std::max(c1.x(), c2.x());
    const int t = std::min(c1.y(), c2.y()), b = std::max(c1.y(), c2.y());
    drawDots(p, QPoint(l, t), QPoint(r, t), pic, mask);
    drawDots(p, QPoint(l, b), QPoint(r, b), pic, mask);
    drawDots(p, QPoint(l, t), QPoint(l, b), pic, mask);
    drawDots(p, QPoint(r, t), QPoint(r, b), pic, mask);
}

QRect InvertOverlay::bandRect(QPoint c1, QPoint c2)
{
    return QRect(QPoint(std::min(c1.x(), c2.x()), std::min(c1.y(), c2.y())),
                 QPoint(std::max(c1.x(), c2.x()), std::max(c1.y(), c2.y())));
}
