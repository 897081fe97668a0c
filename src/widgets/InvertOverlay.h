#pragma once
// The cursor line and the rubber band of both graphs, drawn over a cached
// picture in place of drawing by inversion on the screen. A dot's pixel is
// the picture's pixel XOR a mask:
//   - the not-XOR of a black dotted pen inverts (mask white);
//   - the not-XOR of a pen of colour P gives dst XOR ~P (mask ~P), so the
//     logger's (150, 50, 50) cursor turns black into (105, 205, 205).
// The pixels under the dots come from the cached picture, so nothing is read
// back from the screen, and drawing the overlay again with the picture
// unchanged gives the same pixels: the overlay is state, not a mark.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

class QPainter;
class StripPicture;

// The picture under the overlay in view coordinates: a base at (0, 0) kept
// as strips, and optionally an inset image over it (the plot).
struct OverlayPicture {
    const StripPicture* base = nullptr;
    const QImage* inset = nullptr;
    QPoint insetAt;

    // The base's size; empty without a base.
    QSize size() const;
    QRgb at(int x, int y) const;
};

inline constexpr QRgb kInvertMask = 0x00ffffffu;

// The mask that gives the not-XOR of a pen of the given colour.
inline constexpr QRgb notXorMask(int red, int green, int blue)
{
    return ~((QRgb(red) << 16) | (QRgb(green) << 8) | QRgb(blue)) & 0x00ffffffu;
}

class InvertOverlay {
public:
    // A dotted line from a to b (horizontal or vertical, a before b): a's
    // pixel and every other one after it are the picture's XOR mask. Only
    // pixels of the base are drawn.
    void drawDots(QPainter& p, QPoint a, QPoint b, const OverlayPicture& picture, QRgb mask = kInvertMask);
    // The one-pixel frame of the rectangle spanned by two corners, in any
    // order.
    void drawBand(QPainter& p, QPoint corner1, QPoint corner2, const OverlayPicture& picture,
                  QRgb mask = kInvertMask);

    // The rectangle drawBand covers, for repainting just that.
    static QRect bandRect(QPoint corner1, QPoint corner2);

private:
    // One segment at a time: a column and a row of the base's size.
    QImage m_column;
    QImage m_row;
};
