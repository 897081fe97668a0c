// The logger allocates nothing per repaint once its picture exists, nor per
// appended data set: every heap allocation is counted, Qt's own (malloc)
// included.
#include "LoggerFixtures.h"
#include "TempDir.h"

#include "logger/LoggerChrome.h"
#include "logger/LoggerSession.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include "CountingAllocator.h"

namespace {

class LoggerAlloc : public TempDirTest {
protected:
    void SetUp() override
    {
#ifndef ZB740_COUNT_MALLOC
        GTEST_SKIP() << "allocations are counted with glibc only";
#endif
        RunSpec s;
        s.count = kMaxSamples;
        s.value = [](int c, int i) { return float(20 + 8 * c + 5 * std::sin(i * 0.003 + c)); };
        ASSERT_TRUE(writeRun(path("full.AsmDat"), s));
        session.m_bLoggerOpen = true;
        ASSERT_TRUE(session.load(path("full.AsmDat")).ok());
        ASSERT_TRUE(session.appendPending());
    }
    // One repaint as the window does it: layout, render, copy to the
    // screen with the overlays. Returns the allocations it made.
    long long repaint()
    {
        const long long before = g_allocations.load();
        picture.layoutAndRender(session, QSize(946, 598));
        picture.renderer().paint(screenPainter, screen.rect(), session.display);
        return g_allocations.load() - before;
    }

    std::unique_ptr<ReviewRecord> record = std::make_unique<ReviewRecord>();
    LoggerSession session {*record};
    LoggerDrawing picture;
    QImage screen {946, 598, QImage::Format_RGB32};
    QPainter screenPainter {&screen};
};

} // namespace

TEST_F(LoggerAlloc, RepaintsAllocateNothingOnceThePictureExists)
{
    session.display.bCursorHidden = false;
    session.display.nCursorX = 500;
    repaint();  // the first: images, fonts, labels
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(repaint(), 0) << i;

    // The deepest level, scrolled, with a rubber band.
    session.display.bAutoMode = 0;
    for (int j = 0; j < plot::kMaxZoomDepth; ++j)
        session.display.zoomStack[size_t(j)] = plot::ZoomStep {0.002, 0.0, 0.998, 1.0};
    session.display.nZoomLevel = plot::kMaxZoomDepth;
    session.display.bFirstVisibleSet = 0;
    repaint();  // new labels and time grid
    session.display.nScrollShift = 0;
    EXPECT_EQ(repaint(), 0);
    session.display.bBandActive = 1;
    session.display.bBandUnmoved = 0;
    session.display.ptAnchor = {400, 150};
    session.display.ptLast = {600, 400};
    repaint();  // the band's first row buffer
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(repaint(), 0) << i;
}

TEST_F(LoggerAlloc, LimitLinesAllocateNothing)
{
    session.limitMarks.channels = kAllCurves;
    session.limitMarks.high = {30, 40, 50, 60, 70};
    session.limitMarks.low = {15, 25, 35, 45, 55};
    repaint();
    ASSERT_EQ(picture.frame().nLimits, plot::kMaxLimitLines);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(repaint(), 0) << i;
}

TEST_F(LoggerAlloc, AppendingSetsAllocatesNothing)
{
    const long long before = g_allocations.load();
    for (int i = 0; i < 2 * LoggerSetTable::kSlots + 7; ++i) {
        session.m_bAppendPending = true;
        ASSERT_TRUE(session.appendPending());
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
    EXPECT_EQ(session.table().lastIndex(), 7);
}
