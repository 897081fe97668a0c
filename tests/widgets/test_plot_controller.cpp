// The shared mouse, scroll and zoom handling of both graphs, against a host
// that lays out the logger's policy over a plain run: the mouse does
// nothing without samples, a band zooms and repaints, the scroll bar
// follows the zoomed frame and scrolls it, one step back and UndoZoom.
#include "data/ReadingStore.h"
#include "logger/LoggerPolicy.h"
#include "widgets/PlotController.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

namespace {

class Host : public PlotController::Host {
public:
    explicit Host(int count, bool hasRun = true)
        : hasRun(hasRun)
    {
        info.count = count;
        info.start = 1700000000;
        info.interval = 1;
        layout();
    }
    void layout()
    {
        plot::layoutFrame(state, kLoggerPolicy.defaultWindow, hasRun ? &info : nullptr, {10, 0}, kLoggerPolicy,
                          *frame);
        plot::keepFirstVisible(state, *frame);
    }
    const plot::PlotFrame& currentFrame() override { return *frame; }
    const plot::PlotFrame& lastFrame() const override { return *frame; }
    void repaintNow() override
    {
        ++repaints;
        layout();
    }
    void repaintOverlay(const QRect& area) override { overlays |= area; }
    void cursorMoved() override { ++cursorMoves; }

    bool hasRun;
    RunInfo info;
    plot::ViewState state;
    std::unique_ptr<plot::PlotFrame> frame = std::make_unique<plot::PlotFrame>();
    int repaints = 0;
    int cursorMoves = 0;
    QRect overlays;
};

// Plot 306..885 x 90..537 at the logger's size.
constexpr QPoint kInside(400, 150), kFarther(600, 400);

} // namespace

TEST(PlotController, WithoutSamplesTheMouseDoesNothing)
{
    // No run at all (the logger's empty table), and a run of no sample.
    for (bool hasRun : {false, true}) {
        Host host(0, hasRun);
        PlotController c(nullptr, host, host.state, kLoggerPolicy);
        c.mousePress(kInside);
        c.mouseMove(kFarther);
        c.mouseRelease(kFarther);
        EXPECT_FALSE(c.bandWatchRunning());
        EXPECT_TRUE(host.state.bAutoMode);
        EXPECT_TRUE(host.state.bCursorHidden);
        EXPECT_EQ(host.cursorMoves, 0);
        EXPECT_EQ(host.repaints, 0);
        EXPECT_TRUE(host.overlays.isEmpty());
    }
}

TEST(PlotController, ABandZoomsAndTheScrollBarFollowsTheZoomedFrame)
{
    Host host(1000);
    PlotController c(nullptr, host, host.state, kLoggerPolicy);
    QScrollBar bar(Qt::Horizontal);
    c.setScrollBar(&bar);
    EXPECT_FALSE(bar.isEnabled());
    QSignalSpy zoomed(&c, &PlotController::zoomChanged);

    c.mousePress(kInside);
    EXPECT_TRUE(c.bandWatchRunning());
    c.mouseMove(kFarther);
    EXPECT_EQ(host.cursorMoves, 1);
    EXPECT_EQ(host.state.nCursorX, kFarther.x());
    // The cursor line and the band repaint over the picture, nothing more.
    EXPECT_TRUE(host.overlays.contains(QRect(kInside, kFarther)));
    EXPECT_EQ(host.repaints, 0);
    c.mouseRelease(kFarther);
    EXPECT_FALSE(c.bandWatchRunning());
    EXPECT_EQ(host.repaints, 1);
    EXPECT_EQ(zoomed.count(), 1);
    ASSERT_EQ(host.state.nZoomLevel, 1);

    c.syncScrollBar();
    ASSERT_TRUE(bar.isEnabled());
    EXPECT_EQ(bar.maximum(), 1000);
    const int first = host.state.nFirstVisible;
    EXPECT_EQ(bar.value(), first);
    EXPECT_EQ(bar.pageStep(), int(host.frame->plot.width / host.frame->tf.dx));
    bar.setValue(first + 12);
    EXPECT_EQ(host.state.nScrollShift, -12);
    EXPECT_EQ(host.repaints, 2);

    c.undoZoom();
    EXPECT_TRUE(host.state.bAutoMode);
    EXPECT_EQ(host.state.nScrollShift, 0);
    EXPECT_FALSE(bar.isEnabled());
    EXPECT_EQ(zoomed.count(), 2);
}

TEST(PlotController, StepBackLeavesOneLevelAndThenTheZoomedPicture)
{
    Host host(1000);
    PlotController c(nullptr, host, host.state, kLoggerPolicy);
    QScrollBar bar(Qt::Horizontal);
    c.setScrollBar(&bar);
    for (int i = 0; i < 2; ++i) {
        c.mousePress(kInside);
        c.mouseMove(kFarther);
        c.mouseRelease(kFarther);
    }
    ASSERT_EQ(host.state.nZoomLevel, 2);
    c.stepBack();
    EXPECT_EQ(host.state.nZoomLevel, 1);
    EXPECT_EQ(host.frame->level, 1) << "repainted at once";
    c.syncScrollBar();
    EXPECT_TRUE(bar.isEnabled());
    c.stepBack();
    c.stepBack();
    EXPECT_TRUE(host.state.bAutoMode);
    EXPECT_FALSE(bar.isEnabled());
}

TEST(PlotController, TheWatchCancelsABandThatLeftItsBox)
{
    Host host(100);
    PlotController c(nullptr, host, host.state, kLoggerPolicy);
    c.mousePress(kInside);
    c.mouseMove(kFarther);
    c.watchBand();
    EXPECT_TRUE(host.state.bBandActive) << "inside the box";
    c.mouseMove({600, 577});  // 40 below the plot: outside
    c.watchBand();
    EXPECT_FALSE(host.state.bBandActive);
    EXPECT_FALSE(c.bandWatchRunning());
    c.mouseRelease({600, 400});
    EXPECT_TRUE(host.state.bAutoMode) << "releasing after the cancel does not zoom";
}
