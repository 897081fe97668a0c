#pragma once
// A picture that is one colour except in a few rectangles, kept as just
// those rectangles: the strips, bands and labels around a graph's plot,
// without an image the size of the whole view under a plot that covers most
// of it.
//
// Each strip is painted by the same paint function, on a painter in picture
// coordinates clipped to the strip, after a fill with the picture's colour.
// A strip therefore holds exactly the pixels one paint of the whole picture
// would give it, and strips that overlap agree where they overlap. Whatever
// the function paints outside every strip is not kept: the strips must
// cover all of it but what an opaque inset covers (a graph's plot, which
// the plot renderer keeps as its own picture). A strip that comes out one
// colour keeps just that colour.
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <array>
#include <span>

class StripPicture {
public:
    static constexpr int kMaxStrips = 8;

    // The picture's size, its colour outside the strips, and the strips
    // (clipped to the picture; empty ones are dropped, at most kMaxStrips
    // are kept). Paint them next.
    void reset(QSize size, QRgb background, std::span<const QRect> strips);

    // Paints every strip with paint(QPainter&) in picture coordinates.
    template <class Paint>
    void paint(const Paint& paint)
    {
        for (int i = 0; i < m_count; ++i) {
            Strip& s = m_strips[size_t(i)];
            if (s.image.size() != s.rect.size())
                s.image = QImage(s.rect.size(), QImage::Format_RGB32);
            s.image.fill(m_background);
            {
                QPainter p(&s.image);
                p.translate(-s.rect.topLeft());
                p.setClipRect(s.rect);
                paint(p);
            }
            keepFlatAsColour(s);
        }
    }

    // Copies the exposed part to a painter: the colour, then the strips.
    // The hole is left alone (an opaque inset drawn next covers it).
    void draw(QPainter& p, const QRect& exposed, const QRect& hole) const;

    // The picture's pixel at (x, y), which must lie inside it.
    QRgb pixel(int x, int y) const;

    QSize size() const { return m_size; }
    bool isNull() const { return m_size.isEmpty(); }
    int stripCount() const { return m_count; }
    QRect strip(int i) const { return m_strips[size_t(i)].rect; }
    // Whether strip i keeps an image (false: it came out one colour).
    bool hasImage(int i) const { return !m_strips[size_t(i)].image.isNull(); }

private:
    struct Strip {
        QRect rect;
        QImage image;  // null when the strip is one colour
        QRgb colour = 0;
    };
    // The parts of the picture no strip covers: only they are filled with
    // the picture's colour when it is drawn, the strips cover the rest.
    static constexpr int kMaxBare = 4 * kMaxStrips + 4;
    static void keepFlatAsColour(Strip& s);
    std::array<Strip, kMaxStrips> m_strips;
    int m_count = 0;
    std::array<QRect, kMaxBare> m_bare {};
    int m_bareCount = 0;
    QSize m_size;
    QRgb m_background = 0xff000000u;
};
