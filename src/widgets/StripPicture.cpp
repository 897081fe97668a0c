#include "widgets/StripPicture.h"

#include "widgets/InsetPicture.h"

#include <QRegion>
#include <algorithm>

void StripPicture::reset(QSize size, QRgb background, std::span<const QRect> strips)
{
    m_size = size;
    m_background = background | 0xff000000u;
    const QRect whole(QPoint(0, 0), size);
    int n = 0;
    for (const QRect& r : strips) {
        const QRect kept = r & whole;
        if (kept.isEmpty() || n == kMaxStrips)
            continue;
        Strip& s = m_strips[size_t(n++)];
        s.rect = kept;
        s.colour = m_background;
    }
    // Strips no longer used give their memory back.
    for (int i = n; i < m_count; ++i)
        m_strips[size_t(i)] = Strip {};
    m_count = n;

    QRegion bare(whole);
    for (int i = 0; i < m_count; ++i)
        bare -= m_strips[size_t(i)].rect;
    m_bareCount = 0;
    if (bare.rectCount() > kMaxBare) {
        // Too scattered to keep: the whole picture is filled first.
        m_bare[0] = whole;
        m_bareCount = 1;
        return;
    }
    for (const QRect& r : bare)
        m_bare[size_t(m_bareCount++)] = r;
}

void StripPicture::keepFlatAsColour(Strip& s)
{
    // The sizes are read once: QImage's accessors are calls into Qt, too
    // dear for every pixel of a strip.
    const int width = s.image.width(), height = s.image.height();
    const QRgb first = reinterpret_cast<const QRgb*>(s.image.constScanLine(0))[0];
    for (int y = 0; y < height; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(s.image.constScanLine(y));
        if (std::find_if(line, line + width, [first](QRgb c) { return c != first; }) != line + width)
            return;
    }
    s.colour = first;
    s.image = QImage();
}

void StripPicture::draw(QPainter& p, const QRect& exposed, const QRect& hole) const
{
    const QRect area = exposed & QRect(QPoint(0, 0), m_size);
    if (area.isEmpty())
        return;
    const QColor background = QColor::fromRgb(m_background);
    for (int i = 0; i < m_bareCount; ++i)
        for (const QRect& part : aroundHole(m_bare[size_t(i)] & area, hole)) {
            if (!part.isEmpty())
                p.fillRect(part, background);
        }
    for (int i = 0; i < m_count; ++i) {
        const Strip& s = m_strips[size_t(i)];
        const QRect part = s.rect & area;
        if (part.isEmpty())
            continue;
        if (s.image.isNull())
            p.fillRect(part, QColor::fromRgb(s.colour));
        else
            p.drawImage(part.topLeft(), s.image, part.translated(-s.rect.topLeft()));
    }
}

QRgb StripPicture::pixel(int x, int y) const
{
    // The last strip painted over the point holds its pixel; overlapping
    // strips agree anyway.
    for (int i = m_count - 1; i >= 0; --i) {
        const Strip& s = m_strips[size_t(i)];
        if (s.rect.contains(x, y))
            return s.image.isNull() ? s.colour : s.image.pixel(x - s.rect.x(), y - s.rect.y());
    }
    return m_background;
}
