// The curve painter keeps per pixel column only the first, lowest, highest
// and last point: its picture must be the picture of drawing every segment,
// pixel for pixel, whatever the run, the width, the zoom and the curves,
// whether it writes a column's span straight into an image or draws it as
// segments through a clipped, translated painter.
#include "ZoomScenes.h"

#include "data/ReadingStore.h"
#include "graph/RealtimeGraph.h"
#include "run/RunState.h"
#include "widgets/CurvePainter.h"

#include <QImage>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace {

enum class Data { Smooth, Noisy, Extremes };

// How the painter meets its picture: an image as it is (spans are written
// into it directly), or a larger image through a translated painter clipped
// to the plot (every column drawn as segments), as a printer or a widget's
// painter would be.
enum class Target { Image, ClippedTranslated };

struct Scene {
    const char* name;
    int samples;
    int clientWidth;
    Data data;
    int zoomLevels;       // 0: auto mode
    CurveSet shown;
    bool fahrenheit;
    Target target = Target::Image;
};

void fill(LiveSeries& s, int n, Data data)
{
    std::mt19937 rng(740);
    std::uniform_real_distribution<float> anywhere(-20.0f, 120.0f);  // beyond the 0..100 scale too
    for (int i = 0; i < n; ++i) {
        const double t = i / double(n);
        for (int c = 0; c < kChannelCount; ++c) {
            float v = 0;
            switch (data) {
            case Data::Smooth:
                v = float(20 + 10 * c + 8 * std::sin(t * 6.283 * (c + 1)) + 0.3 * std::sin(i * 1.7));
                break;
            case Data::Noisy:
                v = anywhere(rng);
                break;
            case Data::Extremes:
                v = i % 97 == 0 ? (i % 2 ? 5.0e6f : -5.0e6f) : anywhere(rng);
                if (c == kKir && i % 13 == 0)
                    v = kKirNoReading;
                break;
            }
            s.values[c][i] = v;
        }
    }
}

// The plot of one scene drawn both ways.
void drawBothWays(const Scene& sc, QImage& decimated, QImage& everySegment)
{
    auto series = std::make_unique<LiveSeries>();
    fill(*series, sc.samples, sc.data);
    RunState run;
    run.m_nCount = sc.samples;
    run.m_nSampleMs = 1000;
    run.m_bFahrenheit = sc.fahrenheit;
    const RunView view = RunView::of(*series, run.info());
    const PlotGeometry geo = PlotGeometry::fromClient(sc.clientWidth, 900);
    auto st = std::make_unique<GraphState>();
    auto frame = std::make_unique<GraphFrame>();
    settleScale(*st, sc.samples, geo.W);
    layoutFrame(*st, geo, view.info(), {}, *frame);
    if (sc.zoomLevels > 0) {
        const int mid = sc.samples / 2;
        const auto [fx, fy] = pointFractions(*frame, kAir, series->values[kAir][mid], mid);
        zoomCentredOn(*st, fx, fy, sc.zoomLevels, 0.9);
        settleScale(*st, sc.samples, geo.W);
        layoutFrame(*st, geo, view.info(), {}, *frame);
    }
    const plot::CurveMap map = curveMap(*frame);
    const ClipBox box {-2.0, -2.0, geo.W + 2.0, geo.H + 2.0};
    CurvePainter painter;
    for (QImage* img : {&decimated, &everySegment}) {
        // Through a translated, clipped painter the plot sits at (kAt, kAt)
        // of a larger image: the picture is the part the clip leaves, and
        // nothing lands outside it.
        constexpr int kAt = 7;
        const bool clipped = sc.target == Target::ClippedTranslated;
        QImage whole(geo.W + (clipped ? 2 * kAt : 0), geo.H + (clipped ? 2 * kAt : 0), QImage::Format_RGB32);
        whole.fill(Qt::black);
        {
            QPainter p(&whole);
            if (clipped) {
                p.translate(kAt, kAt);
                p.setClipRect(0, 0, geo.W, geo.H);
            }
            if (img == &decimated)
                painter.draw(p, view, sc.samples, sc.shown, map, box);
            else
                painter.drawEverySegment(p, view, sc.samples, sc.shown, map, box);
        }
        *img = clipped ? whole.copy(kAt, kAt, geo.W, geo.H) : whole;
        if (clipped) {
            QImage outside = whole;
            {
                QPainter blank(&outside);
                blank.fillRect(kAt, kAt, geo.W, geo.H, Qt::black);
            }
            int lit = 0;
            for (int y = 0; y < outside.height(); ++y)
                for (int x = 0; x < outside.width(); ++x)
                    lit += (outside.pixel(x, y) & 0xffffff) != 0;
            EXPECT_EQ(lit, 0) << "nothing outside the clip";
        }
    }
}

int curvePixels(const QImage& img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            n += (line[x] & 0xffffff) != 0;
    }
    return n;
}

} // namespace

TEST(CurveDecimation, SamePixelsAsDrawingEverySegment)
{
    const CurveSet all = kAllCurves;
    const CurveSet noWb {true, false, true, true, true};
    const Scene scenes[] = {
        {"auto 1000 x 800", 1000, 800, Data::Smooth, 0, all, false},
        {"auto 5000 x 800", 5000, 800, Data::Smooth, 0, all, false},
        {"auto 10000 x 800", 10000, 800, Data::Smooth, 0, all, false},
        {"auto 1000 x 2400", 1000, 2400, Data::Smooth, 0, all, false},
        {"auto 10000 x 2400", 10000, 2400, Data::Smooth, 0, all, false},
        {"noisy 10000 x 800", 10000, 800, Data::Noisy, 0, all, false},
        {"noisy 10000 x 2400", 10000, 2400, Data::Noisy, 0, all, false},
        {"zoom 1 level", 10000, 1200, Data::Smooth, 1, all, false},
        {"zoom 99 levels", 10000, 1200, Data::Smooth, 99, all, false},
        {"zoom 99 levels, noisy", 10000, 1200, Data::Noisy, 99, all, false},
        {"far-off values and missing K/IR", 10000, 1200, Data::Extremes, 0, all, false},
        {"zoom 20 levels, far-off values", 10000, 1200, Data::Extremes, 20, all, false},
        {"WB hidden", 10000, 1200, Data::Smooth, 0, noWb, false},
        {"degrees F", 10000, 1200, Data::Noisy, 0, all, true},
        // Each column as its segments: first, lowest, highest and last.
        {"clipped, translated: noisy 10000 x 800", 10000, 800, Data::Noisy, 0, all, false,
         Target::ClippedTranslated},
        {"clipped, translated: smooth 5000 x 800", 5000, 800, Data::Smooth, 0, all, false,
         Target::ClippedTranslated},
        {"clipped, translated: zoom 20 levels, far-off values", 10000, 1200, Data::Extremes, 20, all, false,
         Target::ClippedTranslated},
    };
    for (const Scene& sc : scenes) {
        SCOPED_TRACE(sc.name);
        QImage decimated, everySegment;
        drawBothWays(sc, decimated, everySegment);
        ASSERT_GT(curvePixels(everySegment), 0) << "the scene draws curves";
        int differing = 0;
        for (int y = 0; y < decimated.height(); ++y)
            for (int x = 0; x < decimated.width(); ++x)
                differing += decimated.pixel(x, y) != everySegment.pixel(x, y);
        EXPECT_EQ(differing, 0);
    }
}
