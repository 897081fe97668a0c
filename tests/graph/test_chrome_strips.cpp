// The real-time graph keeps its chrome (strips, legend, labels) as strips
// on the button face instead of an image of the whole view: the painted
// view must be the picture of painting that chrome on a whole image, pixel
// for pixel, whatever the size, the frame around the view and the run; and
// the cursor line and the band must invert the same pixels.
#include "data/ReadingStore.h"
#include "graph/RealtimeChrome.h"
#include "run/RunState.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Scene {
    const char* name;
    QSize client;
    int frameTop;      // the frame's client top in view coordinates (<= 0)
    int frameExtra;    // how far the frame's client reaches right of the view
    int samples;
    CurveSet shown;
};

// The view's picture as a whole-image chrome would give it: the button face,
// the chrome painted over all of it, the plot over that.
QImage wholePicture(const PlotRenderer& r, const PlotGeometry& g)
{
    QImage img(std::max(g.R, 1), std::max(g.B, 1), QImage::Format_RGB32);
    img.fill(QApplication::palette().color(QPalette::Button));
    QPainter p(&img);
    r.paintChrome(p);
    if (!r.plot().isNull())
        p.drawImage(g.x0, g.y0, r.plot());
    return img;
}

QImage paintedView(const PlotRenderer& r, const PlotGeometry& g, const GraphState& st)
{
    QImage img(std::max(g.R, 1), std::max(g.B, 1), QImage::Format_RGB32);
    img.fill(qRgb(255, 0, 255));  // shows any pixel the paint left out
    QPainter p(&img);
    r.paint(p, img.rect(), st);
    return img;
}

int differingPixels(const QImage& a, const QImage& b)
{
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

struct Rendered {
    std::unique_ptr<LiveSeries> series = std::make_unique<LiveSeries>();
    std::unique_ptr<GraphState> state = std::make_unique<GraphState>();
    std::unique_ptr<plot::PlotFrame> frame = std::make_unique<plot::PlotFrame>();
    RealtimeChrome chrome {QFont(QStringLiteral("Liberation Sans"), 10)};
    PlotRenderer renderer {chrome};
    PlotGeometry geometry;

    void render(const Scene& sc, const plot::LimitInputs& limits = {})
    {
        RunState run;
        run.m_nCount = sc.samples;
        run.m_nSampleMs = 1000;
        run.m_tStart = 1'700'000'000;
        for (int s = 0; s < sc.samples; ++s)
            for (int c = 0; c < kChannelCount; ++c)
                series->values[c][s] = float(20 + 12 * c + 9 * std::sin(s * 0.02 * (c + 1)));
        chrome.setFrameClient(
            QRect(0, sc.frameTop, sc.client.width() + sc.frameExtra, sc.client.height() - sc.frameTop + 20));
        geometry = chrome.geometry(sc.client);
        layoutAndRender(*state, kRealtimePolicy, sc.client,
                        {RunView::of(*series, run.info()), true, {}, sc.shown, limits}, *frame, renderer);
    }
};

} // namespace

TEST(ChromeStrips, ViewIsThePictureOfAWholeChrome)
{
    const CurveSet all = kAllCurves;
    const CurveSet someHidden {true, false, true, false, true};
    const Scene scenes[] = {
        {"maximised 1600 x 1000, empty run", {1600, 935}, -30, 0, 0, all},
        {"maximised, a long run", {1600, 935}, -30, 0, 5000, all},
        {"curves hidden", {1600, 935}, -30, 0, 300, someHidden},
        {"frame client reaching past the view", {1200, 800}, -58, 11, 120, all},
        {"frame client flush with the view", {1200, 800}, 0, 0, 120, all},
        {"narrow: no right strip", {520, 600}, -30, 0, 60, all},
        {"too small for a plot", {300, 250}, -30, 0, 10, all},
        {"tall and narrow", {700, 1400}, -30, 0, 2000, all},
    };
    for (const Scene& sc : scenes) {
        SCOPED_TRACE(sc.name);
        Rendered r;
        r.render(sc);
        const QImage whole = wholePicture(r.renderer, r.geometry);
        GraphState idle;  // no cursor, no band
        EXPECT_EQ(differingPixels(paintedView(r.renderer, r.geometry, idle), whole), 0);
    }
}

// A renderer that drew other runs before lays the plot a new renderer lays:
// the background its curves and limit lines covered comes back exactly,
// whether the repaint before drew curves, limit lines or nothing over it.
TEST(ChromeStrips, ARepaintLaysTheBackgroundANewRendererLays)
{
    plot::LimitInputs limits;
    limits.channels = kAllCurves;
    limits.high.fill(35.0f);
    limits.low.fill(15.0f);
    struct Step {
        const char* name;
        int samples;
        bool limits;
    };
    const Step steps[] = {{"empty run", 0, false},     {"one sample", 1, false},       {"a run", 300, false},
                          {"limit lines", 300, true},  {"limits, no samples", 0, true}, {"empty again", 0, false},
                          {"one sample again", 1, false}, {"a shorter run", 120, false}};
    Rendered kept;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const Scene scene {step.name, {1600, 935}, -30, 0, step.samples, kAllCurves};
        kept.render(scene, step.limits ? limits : plot::LimitInputs {});
        Rendered fresh;
        fresh.render(scene, step.limits ? limits : plot::LimitInputs {});
        ASSERT_EQ(kept.renderer.plot().size(), fresh.renderer.plot().size());
        EXPECT_EQ(differingPixels(kept.renderer.plot(), fresh.renderer.plot()), 0);
    }
}

TEST(ChromeStrips, ChromeKeepsLessThanAFifthOfTheView)
{
    Rendered r;
    r.render({"maximised", {1600, 935}, -30, 0, 100, kAllCurves});
    const StripPicture& chrome = r.renderer.chrome();
    qint64 kept = 0;
    for (int i = 0; i < chrome.stripCount(); ++i)
        kept += qint64(chrome.strip(i).width()) * chrome.strip(i).height();
    EXPECT_LT(kept * 5, qint64(chrome.size().width()) * chrome.size().height());
}

TEST(ChromeStrips, CursorAndBandInvertThePictureUnderThem)
{
    Rendered r;
    r.render({"maximised", {1600, 935}, -30, 0, 800, kAllCurves});
    const PlotGeometry& g = r.geometry;
    const QImage whole = wholePicture(r.renderer, g);
    // The cursor on the plot's right edge (one past the plot: chrome
    // pixels) and a band reaching the bottom edge.
    GraphState st;
    st.bCursorHidden = 0;
    st.nCursorX = g.x1;
    st.bBandActive = 1;
    st.bBandUnmoved = 0;
    st.ptAnchor = {g.x0 + 100, g.y0 + 50};
    st.ptLast = {g.x0 + 400, g.y1};
    const QImage view = paintedView(r.renderer, g, st);

    // A dotted segment: its first pixel and every other one inverted, the
    // rest the picture's own; segments drawn later win where they cross.
    QImage expected = whole;
    auto invertDots = [&](QPoint a, QPoint b) {
        const bool vertical = a.x() == b.x();
        const int n = vertical ? b.y() - a.y() : b.x() - a.x();
        for (int i = 0; i <= n; ++i) {
            const QPoint at = vertical ? QPoint(a.x(), a.y() + i) : QPoint(a.x() + i, a.y());
            expected.setPixel(at, i % 2 == 0 ? whole.pixel(at) ^ 0x00ffffffu : whole.pixel(at));
        }
    };
    invertDots({g.x1, g.y0}, {g.x1, g.y1});
    const int l = g.x0 + 100, t = g.y0 + 50, rr = g.x0 + 400, b = g.y1;
    invertDots({l, t}, {rr, t});
    invertDots({l, b}, {rr, b});
    invertDots({l, t}, {l, b});
    invertDots({rr, t}, {rr, b});
    EXPECT_EQ(differingPixels(view, expected), 0);
}
