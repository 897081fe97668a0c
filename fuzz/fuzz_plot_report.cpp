// A data file drawn as the logger window and zb740-cli draw it: loaded by
// the logger's session (which sets aside a scale no graph can draw), the
// plot laid out and rendered unzoomed, one level deep, scrolled and under
// the cursor, with limit lines at any value, and the printed page painted; then the same with the file's
// own scale, whatever it is. Readings that are no number, infinities, any
// 32-bit scale and any start the file can name must all draw without
// undefined behaviour. Only this program's code is instrumented, not Qt's.
#include "data/DataFile.h"
#include "logger/LoggerChrome.h"
#include "logger/LoggerSession.h"
#include "plot/PlotScale.h"
#include "report/ReportInput.h"
#include "report/ReportPage.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// Small pictures: the plot at its smallest client size and a page just
// larger than the printable area the report needs (at 96 dpi).
constexpr QSize kClient(368 + 32, 152 + 48);
constexpr QSize kPage(330, 440);

struct Drawing {
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<ReviewRecord> record = std::make_unique<ReviewRecord>();
    std::unique_ptr<ReviewRecord> raw = std::make_unique<ReviewRecord>();
    std::unique_ptr<LoggerSession> session = std::make_unique<LoggerSession>(*record);
    std::unique_ptr<LoggerDrawing> picture = std::make_unique<LoggerDrawing>();
    QImage client {kClient, QImage::Format_RGB32};
    QImage page {kPage, QImage::Format_RGB32};
};

Drawing* drawing = nullptr;

// A point of the plot chosen by the input, so that zooms and cursor
// positions vary with it.
QPoint pointIn(const plot::PlotRect& g, uint32_t seed)
{
    const int w = std::max(g.width, 1), h = std::max(g.height, 1);
    return {g.left + int(seed % uint32_t(w)), g.top + int((seed / 7919) % uint32_t(h))};
}

void drawPlot(LoggerSession& session, uint32_t seed)
{
    Drawing& d = *drawing;
    plot::undoZoom(session.display);
    session.showCurve = kAllCurves;
    // Limit lines at the set's first and last readings (any float the file
    // holds) and at values the input picks.
    const RunView run = session.run();
    session.limitMarks.channels = kAllCurves;
    for (int c = 0; c < kChannelCount; ++c) {
        session.limitMarks.high[size_t(c)] = run.count() > 0 ? run.value(0, c) : float(seed);
        session.limitMarks.low[size_t(c)] = run.count() > 0 ? run.value(run.count() - 1, c) : -float(seed >> 5);
    }
    LoggerDrawing& picture = *d.picture;
    picture.layoutAndRender(session, kClient);
    check(picture.renderer().picture().size() == kClient);
    const auto linesInPicture = [&picture] {
        const plot::PlotFrame& f = picture.frame();
        check(f.nLimits >= 0 && f.nLimits <= plot::kMaxLimitLines);
        for (int i = 0; i < f.nLimits; ++i)
            check(f.limits[i].row >= 0 && f.limits[i].row < f.image.height);
    };
    linesInPicture();

    // A drag as the window takes it, one level deeper when it is accepted,
    // then the thumb moved, the cursor over the plot and one level back.
    const plot::PlotFrame& f = picture.frame();
    const plot::PlotRect g = f.plot;
    const QPoint a = pointIn(g, seed), b = pointIn(g, seed * 2654435761u + 1);
    plot::bandPress(session.display, f, a);
    plot::bandMove(session.display, f, b);
    if (plot::bandRelease(session.display, f, kLoggerPolicy, b))
        picture.layoutAndRender(session, kClient);
    plot::scrollTo(session.display, int(seed % uint32_t(std::max(f.count, 1) + 1)));
    picture.layoutAndRender(session, kClient);
    session.moveCursor(f, pointIn(g, seed >> 3).x());
    picture.renderReadout(session);
    QPainter p(&d.client);
    picture.renderer().paint(p, QRect(QPoint(0, 0), kClient), session.display);
    p.end();
    linesInPicture();
    plot::stepBack(session.display);
    picture.layoutAndRender(session, kClient);
    linesInPicture();
}

void drawPage(const ReviewRecord& record, YScaleValues scale)
{
    Drawing& d = *drawing;
    const ReportInput input = ReportInputs::ofReviewRecord(record, kAllCurves, scale);
    d.page.fill(Qt::white);
    QPainter p(&d.page);
    ReportPage::paint(p, input, 1'700'000'000);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Text and pictures need the GUI library, never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_plot_report";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);  // lives as long as the process
    drawing = new Drawing;
    check(drawing->dir.isValid());
    drawing->path = drawing->dir.filePath(QStringLiteral("run.AsmDat"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Drawing& d = *drawing;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // The file's own scale, as the reader gives it.
    YScaleValues fileScale;
    {
        QBuffer in;
        in.setData(bytes);
        in.open(QIODevice::ReadOnly);
        if (!DataFile::read(in, *d.raw, fileScale).ok())
            return 0;
    }

    // The session loads the file from disk, as zb740-cli plot does.
    {
        QFile out(d.path);
        check(out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size());
    }
    LoggerSession& session = *d.session;
    session.m_bLoggerOpen = true;
    if (!session.load(d.path).ok()) {
        // Only a file far larger than any data file is refused unread.
        check(size > 1024 * 1024);
        return 0;
    }
    (void)session.appendPending();
    check(plot::isUsableScale(session.scale()));
    check(session.loadNote().isEmpty() == plot::isUsableScale(fileScale));
    check(session.record().startTime == DataFile::startOf(session.record()));

    uint32_t seed = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        seed = (seed ^ data[i]) * 16777619u;

    drawPlot(session, seed);
    drawPage(session.record(), session.scale());

    // The file's own scale, drawable or not.
    if (!(fileScale == session.scale())) {
        session.setScale(fileScale);
        drawPlot(session, seed ^ 0x9e3779b9u);
        drawPage(session.record(), fileScale);
    }
    return 0;
}
