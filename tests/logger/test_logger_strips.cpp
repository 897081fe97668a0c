// The logger keeps its chrome as strips over one colour instead of an image
// of the whole window: what a paint shows must be the picture of painting
// the chrome on a whole image, pixel for pixel, whatever the size, the
// scale, the zoom, the read-out and the curves shown.
#include "LoggerFixtures.h"
#include "TempDir.h"

#include "logger/LoggerChrome.h"
#include "logger/LoggerSession.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

// The picture a whole-image chrome would give: the chrome painted over all
// of the window, the plot's picture over that.
QImage wholePicture(const PlotRenderer& r)
{
    QImage img(r.chrome().size(), QImage::Format_RGB32);
    img.fill(qRgb(0, 255, 255));
    QPainter p(&img);
    r.paintChrome(p);
    p.setClipping(false);  // the chrome's paint may leave its clip behind
    if (!r.plot().isNull())
        p.drawImage(r.plotRect().topLeft(), r.plot());
    return img;
}

QImage paintedView(const PlotRenderer& r)
{
    QImage img(r.chrome().size(), QImage::Format_RGB32);
    img.fill(qRgb(255, 0, 255));  // shows any pixel the paint left out
    QPainter p(&img);
    plot::ViewState noOverlay;  // no cursor line, no band
    r.paint(p, img.rect(), noOverlay);
    return img;
}

int differingPixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return -1;
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

class LoggerStrips : public TempDirTest {
protected:
    void load(const RunSpec& spec)
    {
        const QString p = path(QStringLiteral("run%1.AsmDat").arg(++files));
        ASSERT_TRUE(writeRun(p, spec));
        ASSERT_TRUE(session.load(p).ok());
        ASSERT_TRUE(session.appendPending());
    }
    void expectWholePicture(QSize client)
    {
        picture.layoutAndRender(session, client);
        EXPECT_EQ(differingPixels(paintedView(picture.renderer()), wholePicture(picture.renderer())), 0);
    }
    void zoomDeep()
    {
        session.display.bAutoMode = 0;
        for (int j = 0; j < 6; ++j)
            session.display.zoomStack[size_t(j)] = plot::ZoomStep {0.3, 0.1, 0.7, 0.9};
        session.display.nZoomLevel = 6;
        session.display.bFirstVisibleSet = 0;
    }

    std::unique_ptr<ReviewRecord> record = std::make_unique<ReviewRecord>();
    LoggerSession session {*record};
    LoggerDrawing picture;
    int files = 0;
};

const QSize kSizes[] = {{946, 598}, {1600, 1000}, {640, 360}, {3000, 700}, {700, 1400}, {300, 200}, {120, 80}};

} // namespace

TEST_F(LoggerStrips, AnEmptyTableIsThePictureOfAWholeChrome)
{
    for (const QSize size : kSizes) {
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        expectWholePicture(size);
    }
}

TEST_F(LoggerStrips, ASetIsThePictureOfAWholeChromeInEveryView)
{
    RunSpec s;
    s.count = kMaxSamples;
    s.value = [](int c, int i) { return float(15 + 9 * c + 12 * std::sin(i * 0.004 + c)); };
    load(s);
    struct View {
        const char* name;
        std::function<void()> set;
    };
    const View views[] = {
        {"the full view", [] {}},
        {"a read-out", [this] {
             session.display.nCursorSample = 4321;
             session.followCursor();
         }},
        {"some curves hidden", [this] { session.showCurve = CurveSet {false, true, false, true, true}; }},
        {"a negative offset", [this] { session.setScale({5, -7}); }},
        {"a wide scale", [this] { session.setScale({200, 3}); }},
        {"zoomed in", [this] { zoomDeep(); }},
    };
    // Each view adds to the ones before it.
    for (const View& v : views) {
        v.set();
        for (const QSize size : kSizes) {
            SCOPED_TRACE(testing::Message() << v.name << ", " << size.width() << " x " << size.height());
            expectWholePicture(size);
        }
    }
}

TEST_F(LoggerStrips, AFahrenheitSetWithAReadoutIsThePictureOfAWholeChrome)
{
    RunSpec s;
    s.count = 500;
    s.fahrenheit = true;
    s.interval = 3600;
    s.value = [](int c, int i) { return float(-40 + 30 * c + (i % 17)); };
    load(s);
    session.display.nCursorSample = 499;
    session.followCursor();
    for (const QSize size : kSizes) {
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        expectWholePicture(size);
    }
}

// Most of the window around the plot is one colour: that costs no image.
TEST_F(LoggerStrips, TheStripsKeepLessThanAThirdOfTheWindow)
{
    RunSpec s;
    s.count = kMaxSamples;
    load(s);
    session.display.nCursorSample = 100;
    session.followCursor();
    picture.layoutAndRender(session, QSize(946, 598));
    const StripPicture& chrome = picture.renderer().chrome();
    qint64 kept = 0;
    for (int i = 0; i < chrome.stripCount(); ++i) {
        if (chrome.hasImage(i))
            kept += qint64(chrome.strip(i).width()) * chrome.strip(i).height();
    }
    EXPECT_LT(kept * 3, qint64(chrome.size().width()) * chrome.size().height());
}
