#pragma once
// A curve's points folded to the page's resolution before they are drawn.
// Where several samples fall in one column of the page (a 10000-sample run
// across 160 mm puts six in every tenth of a millimetre), the pen covers
// the same ground whether it passes through all of them or only through
// the first, the lowest, the highest and the last: those four are kept, in
// sample order, and the rest dropped. Points on a straight line between
// their neighbours add nothing either, nor, given a slack, points that lie
// within the slack of the line drawn past them. A run of few samples keeps
// them all.
#include <QPointF>
#include <array>
#include <cmath>

template <class Polygon> class CurveFold {
public:
    using Point = typename Polygon::value_type;

    enum class Keep {
        // first, lowest, highest, last of each column: where all points of
        // a column share its x, exactly the ground of the whole curve
        Ends,
        // lowest and highest of each column, and the curve's own first and
        // last point: the curve's envelope at the column's resolution
        Extremes,
    };

    // columnWidth: the width of one column in the polygon's coordinates.
    // slack: how far from the drawn line a dropped point may lie, in the
    // same coordinates; 0 drops only points exactly on it.
    CurveFold(Polygon& out, double columnWidth, Keep keep = Keep::Ends, double slack = 0)
        : m_out(out)
        , m_width(columnWidth)
        , m_keep(keep)
        , m_slack2(slack * slack)
    {
    }

    void add(Point p)
    {
        const double column = std::floor(double(p.x()) / m_width);
        if (m_count > 0 && column != m_column)
            flush();
        if (m_count == 0) {
            m_column = column;
            m_first = m_min = m_max = m_last = p;
            m_minAt = m_maxAt = 0;
        } else {
            if (p.y() < m_min.y())
                m_min = p, m_minAt = m_count;
            if (p.y() > m_max.y())
                m_max = p, m_maxAt = m_count;
            m_last = p;
        }
        ++m_count;
    }

    // Writes the open column. Call with end at a gap and at the curve's end.
    void flush(bool end = false)
    {
        if (m_count == 0)
            return;
        if (m_keep == Keep::Extremes) {
            if (m_out.isEmpty())
                put(m_first);
            const bool minFirst = m_minAt <= m_maxAt;
            put(minFirst ? m_min : m_max);
            put(minFirst ? m_max : m_min);
            if (end)
                put(m_last);
            m_count = 0;
            return;
        }
        put(m_first);
        if (m_count > 1) {
            // The extremes in the order the samples had them.
            const bool minFirst = m_minAt <= m_maxAt;
            const Point a = minFirst ? m_min : m_max, b = minFirst ? m_max : m_min;
            const int aAt = minFirst ? m_minAt : m_maxAt, bAt = minFirst ? m_maxAt : m_minAt;
            if (aAt != 0 && aAt != m_count - 1)
                put(a);
            if (bAt != 0 && bAt != m_count - 1 && bAt != aAt)
                put(b);
            put(m_last);
        }
        m_count = 0;
    }

private:
    // Appends p. The point before it is replaced rather than kept when it,
    // and every point dropped since the last one kept, lies within the
    // slack of the straight way from that last kept point to p.
    void put(Point p)
    {
        const qsizetype n = m_out.size();
        if (n > 0 && m_out[n - 1] == p)
            return;
        if (n >= 2) {
            const Point a = m_out[n - 2], b = m_out[n - 1];
            const double off = offset2(a, p, b);
            // A point exactly on the way needs no later check: whatever lies
            // on a segment from a lies within the slack of a way that holds
            // the segment's far end.
            bool fits = off <= m_slack2 && (off == 0 || m_dropped < kMaxDropped) && p != a;
            for (int i = 0; fits && i < m_dropped; ++i)
                fits = offset2(a, p, m_droppedAt[size_t(i)]) <= m_slack2;
            if (fits) {
                if (off > 0)
                    m_droppedAt[size_t(m_dropped++)] = b;
                m_out[n - 1] = p;
                return;
            }
        }
        m_dropped = 0;
        m_out.append(p);
    }

    // Squared distance of q from the segment a-p.
    static double offset2(Point a, Point p, Point q)
    {
        const double ux = double(p.x() - a.x()), uy = double(p.y() - a.y());
        const double wx = double(q.x() - a.x()), wy = double(q.y() - a.y());
        const double along = ux * wx + uy * wy, length2 = ux * ux + uy * uy;
        if (along <= 0 || length2 == 0)
            return wx * wx + wy * wy;
        if (along >= length2) {
            const double vx = double(q.x() - p.x()), vy = double(q.y() - p.y());
            return vx * vx + vy * vy;
        }
        const double cross = ux * wy - uy * wx;
        return cross * cross / length2;
    }

    // Points dropped off the line, checked again as it grows; past this
    // many a point off the line is kept.
    static constexpr int kMaxDropped = 8;

    Polygon& m_out;
    double m_width;
    Keep m_keep;
    double m_slack2;
    std::array<Point, kMaxDropped> m_droppedAt {};
    int m_dropped = 0;
    double m_column = 0;
    int m_count = 0;
    Point m_first, m_min, m_max, m_last;
    int m_minAt = 0, m_maxAt = 0;
};
