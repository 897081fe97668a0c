#pragma once
// The floors of the repaint benchmarks: every segment of a picture drawn the
// plain way, one QPainter::drawLine per segment, as a careful caller would.
//
// On processors with AVX, Qt's line drawing leaves the upper halves of the
// vector registers dirty, and the next call pays for that on some of them
// (a few times the cost of the line on AVX-512 machines). A careful caller
// clears that state after each line, as the curve painter does after each
// of its Qt calls; the floors do the same, so that they measure lines, not
// the processor's transition penalty. Elsewhere clearing is a no-op.
#include "plot/PlotFrame.h"

#include <QImage>
#include <QPainter>
#include <QPoint>
#include <cmath>
#include <vector>
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace bench {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("avx"))) inline void zeroUpperVectorState() { _mm256_zeroupper(); }
inline const bool kHasAvx = __builtin_cpu_supports("avx");
inline void clearUpperVectorState()
{
    if (kHasAvx)
        zeroUpperVectorState();
}
#else
inline void clearUpperVectorState() {}
#endif

// The integer ends of a frame's segments, curve by curve, in the plot
// picture's pixels: each sample truncated to a whole pixel by the frame's
// map, less the map's origin, as the curve painter places them.
struct BareCurves {
    int samples = 0;
    std::vector<QPoint> points[kChannelCount];

    template <typename ValueOf>
    BareCurves(const plot::PlotFrame& f, int count, ValueOf valueOf) : samples(count)
    {
        for (int c = 0; c < kChannelCount; ++c) {
            points[c].resize(size_t(count));
            for (int s = 0; s < count; ++s)
                points[c][size_t(s)] = QPoint(int(std::trunc(f.map.x(s))) - f.mapOrigin.x(),
                                              int(std::trunc(f.map.y(c, valueOf(c, s), false))) - f.mapOrigin.y());
        }
    }

    // Every segment with its own drawLine, the vector state cleared after each.
    void draw(QPainter& p, const QColor* colours) const
    {
        for (int c = 0; c < kChannelCount; ++c) {
            p.setPen(QPen(colours[c], 0));
            const QPoint* pt = points[c].data();
            for (int s = 1; s < samples; ++s) {
                p.drawLine(pt[s - 1], pt[s]);
                clearUpperVectorState();
            }
        }
    }
};

} // namespace bench
