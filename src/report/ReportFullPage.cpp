// The full test report: header, run facts, the graph across the page, a
// table per shown channel against its limits, operator and notes, the
// signature block and the footer with the data's hash.
#include "report/CurveFold.h"
#include "report/FullPageLayout.h"
#include "report/ReportFacts.h"
#include "report/ReportLayout.h"
#include "report/ReportPage.h"

#include "base/LocalTime.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <QTransform>
#include <algorithm>
#include <cmath>

namespace FL = FullPageLayout;

namespace {

constexpr double kUnitsPerInch = 254.0;

enum class Align { Left, Right, Centre };

// The whole number nearest v, halves away from zero: std::lround without
// the library call, for |v| well within int.
int nearest(double v)
{
    const int whole = int(v);  // toward zero
    const double rest = v - whole;  // exact
    return whole + (rest >= 0.5) - (rest <= -0.5);
}

// The frame on the device: design units (0.1 mm, y down) scaled by one
// factor to fit the area and centred across it. Lines and curves are drawn
// in design units, texts in device units; the painter changes between the
// two only where a text follows a line or a line a text, which keeps the
// page's content short.
class Frame {
public:
    Frame(QPainter& p, const QRectF& area)
        : m_p(p)
    {
        const QPaintDevice& d = *p.device();
        const double dpuX = d.logicalDpiX() / kUnitsPerInch, dpuY = d.logicalDpiY() / kUnitsPerInch;
        m_scale = ReportPage::fullScale(QSizeF(area.width() / dpuX / 10, area.height() / dpuY / 10));
        const double left = area.left() + (area.width() - FL::kWidth * m_scale * dpuX) / 2;
        m_toDevice = QTransform(m_scale * dpuX, 0, 0, m_scale * dpuY, left, area.top());
        m_unitsPerPoint = kUnitsPerInch / 72.0;
        m_dpuX = dpuX;
    }

    // The painter in design units.
    QPainter& painter()
    {
        if (!m_inDesignUnits) {
            m_p.setTransform(m_toDevice);
            m_inDesignUnits = true;
        }
        return m_p;
    }

    QFont font(int height, bool bold = false) const
    {
        QFont f(QStringLiteral("Arial"));
        f.setStyleHint(QFont::SansSerif);
        f.setPointSizeF(height * m_scale / m_unitsPerPoint);
        f.setBold(bold);
        f.setHintingPreference(QFont::PreferNoHinting);
        return f;
    }
    // Width of the text in design units.
    double width(const QFont& f, const QString& s) const
    {
        return QFontMetricsF(f, m_p.device()).horizontalAdvance(s) / (m_dpuX * m_scale);
    }

    // Text whose line top sits at (x, y), drawn upright in device space.
    void text(double x, double y, const QString& s, const QFont& f, Align align = Align::Left,
              const QColor& color = Qt::black)
    {
        if (align != Align::Left) {
            const double w = width(f, s);
            x -= align == Align::Right ? w : w / 2;
        }
        const QPointF at = m_toDevice.map(QPointF(x, y));
        if (m_inDesignUnits) {
            m_p.resetTransform();
            m_inDesignUnits = false;
        }
        m_p.setFont(f);
        m_p.setPen(color);
        m_p.drawText(QPointF(at.x(), at.y() + QFontMetricsF(f, m_p.device()).ascent()), s);
    }

    void line(double x0, double y0, double x1, double y1, const QPen& pen)
    {
        QPainter& p = painter();
        p.setPen(pen);
        p.drawLine(QPointF(x0, y0), QPointF(x1, y1));
    }

private:
    QPainter& m_p;
    QTransform m_toDevice;
    double m_scale = 1, m_unitsPerPoint = 1, m_dpuX = 1;
    bool m_inDesignUnits = false;
};

QString moment(int64_t t, const char* format)
{
    char offset[16];
    const size_t n = LocalTime::formatOffsetInto(offset, sizeof offset, LocalTime::utcOffsetSeconds(t));
    return LocalTime::format(t, format) + QLatin1Char(' ') + QString::fromLatin1(offset, int(n));
}

QString unitText(const ReportInput& in)
{
    return QString::fromUtf8(in.fahrenheit ? "\xC2\xB0""F" : "\xC2\xB0""C");
}

bool spansMidnight(const ReportInput& in)
{
    return in.count() > 0
        && LocalTime::format(in.timeOf(0), "%Y-%m-%d") != LocalTime::format(in.timeOf(in.count() - 1), "%Y-%m-%d");
}

void drawHeader(Frame& f, const ReportInput& in, int64_t printedAt)
{
    f.text(FL::kTitleX, FL::kTitleY, QLatin1String(ReportLayout::kTitle), f.font(FL::kTitleFont, true));
    const QFont text = f.font(FL::kTextFont);
    f.text(FL::kWidth, FL::kIdY, QStringLiteral("Report id ") + ReportFacts::reportId(in.sha256, printedAt), text,
           Align::Right);
    f.text(FL::kWidth, FL::kPageY, QStringLiteral("Page 1 of 1"), text, Align::Right);
    f.line(0, FL::kHeaderRuleY, FL::kWidth, FL::kHeaderRuleY, QPen(Qt::black, 3));
}

void drawFacts(Frame& f, const ReportInput& in)
{
    const QFont label = f.font(FL::kTextFont, true), value = f.font(FL::kTextFont);
    const int n = in.count();
    const QString interval = in.sampleMs % 1000 == 0 ? QStringLiteral("%1 s").arg(in.sampleMs / 1000)
                                                     : QStringLiteral("%1 s").arg(double(in.sampleMs) / 1000.0);
    const QString facts[2][4][2] = {
        {{QStringLiteral("Data file:"), in.dataFile.isEmpty() ? QStringLiteral("unsaved run") : in.dataFile},
         {QStringLiteral("Start:"), n > 0 ? moment(in.timeOf(0), "%Y-%m-%d %H:%M:%S") : QString()},
         {QStringLiteral("End:"), n > 0 ? moment(in.timeOf(n - 1), "%Y-%m-%d %H:%M:%S") : QString()},
         {}},
        {{QStringLiteral("Interval:"), interval},
         {QStringLiteral("Samples:"), QString::number(n)},
         {QStringLiteral("Unit:"), unitText(in) + QStringLiteral(" (RH in %)")},
         {QStringLiteral("Meter:"), in.meter.isEmpty() ? QStringLiteral("not recorded") : in.meter}},
    };
    for (int col = 0; col < 2; ++col) {
        for (int row = 0; row < 4; ++row) {
            if (facts[col][row][0].isEmpty())
                continue;
            f.text(FL::kFactLabelX[col], FL::factY(row), facts[col][row][0], label);
            f.text(FL::kFactValueX[col], FL::factY(row), facts[col][row][1], value);
        }
    }
}

// Each shown curve as polylines split only at its gaps (a value that is no
// number or infinite), clipped to the box.
void drawCurves(Frame& f, const ReportInput& in)
{
    const int n = in.count();
    const double a0 = in.axis.front(), a10 = in.axis.back();
    if (n < 2 || a10 - a0 == 0 || !std::isfinite(a10 - a0))
        return;
    QPainter& p = f.painter();
    p.save();
    p.setClipRect(QRectF(FL::kBoxLeft, FL::kBoxTop, FL::kBoxRight - FL::kBoxLeft, FL::kBoxBottom - FL::kBoxTop));
    // y grows downward here, so the box's bottom is its larger y.
    const plot::CurveMap map = plot::upwardMap(n, FL::kBoxLeft, FL::kBoxRight, FL::kBoxBottom, FL::kBoxTop, a0, a10);
    // Points in whole hundredths of a millimetre, far finer than print:
    // short numbers in the page's content, which the PDF compresses.
    constexpr double kFine = 10;
    // 0.02 mm, less than a dot at the PDF's 1200 dpi and a twentieth of the
    // pen: the line drawn stays within it of every point dropped. About
    // two in five points of a day's curve go.
    constexpr double kSlack = 2;
    p.scale(1 / kFine, 1 / kFine);
    QPolygon run;
    run.reserve(n);
    constexpr double kFar = 1e6;  // far off the page, still a number
    for (int c = 0; c < kChannelCount; ++c) {
        if (!in.shown[size_t(c)])
            continue;
        p.setPen(QPen(ReportPage::kPrintColor[size_t(c)], 4.0 * kFine, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        run.clear();
        // Columns as wide as the pen (0.4 mm): each keeps its lowest and
        // highest point where they lie, so peaks keep their height and
        // place, and the pen covers the curve's envelope. A point within
        // kSlack of the line drawn past it is dropped as well.
        CurveFold<QPolygon> fold(run, 4 * kFine, CurveFold<QPolygon>::Keep::Extremes, kSlack);
        const auto flush = [&] {
            fold.flush(true);
            if (run.size() >= 2)
                p.drawPolyline(run);
            run.clear();
        };
        for (int s = 0; s < n; ++s) {
            const double v = map.valueOf(c, in.samples.value(s, c), in.fahrenheit);
            if (!std::isfinite(v)) {
                flush();
                continue;
            }
            fold.add(QPoint(nearest(map.x(s) * kFine), nearest(std::clamp(map.yOfValue(v), -kFar, kFar) * kFine)));
        }
        flush();
    }
    p.restore();
}

void drawGraph(Frame& f, const ReportInput& in)
{
    const QFont small = f.font(FL::kSmallFont), text = f.font(FL::kTextFont);
    f.text(FL::kAxisLabelX, FL::kLegendY, unitText(in) + QStringLiteral(" / %RH"), text);
    int slot = 0;
    for (int c = 0; c < kChannelCount; ++c) {
        if (in.shown[size_t(c)])
            f.text(FL::kLegendX + FL::kLegendPitch * slot++, FL::kLegendY, QLatin1String(kChannelLegend[size_t(c)]),
                   f.font(FL::kTextFont, true), Align::Left, ReportPage::kPrintColor[size_t(c)]);
    }

    drawCurves(f, in);

    // The grid over the curves, the box around them.
    const QPen grid(ReportPage::kGridColor, 2, Qt::DotLine, Qt::FlatCap);
    for (int i = 1; i < FL::kDivisions; ++i)
        f.line(FL::kBoxLeft, FL::divisionY(i), FL::kBoxRight, FL::divisionY(i), grid);
    for (int x : FL::kGridColumnX)
        f.line(x, FL::kBoxTop, x, FL::kBoxBottom, grid);
    f.painter().setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    f.painter().setBrush(Qt::NoBrush);
    f.painter().drawRect(QRectF(FL::kBoxLeft, FL::kBoxTop, FL::kBoxRight - FL::kBoxLeft, FL::kBoxBottom - FL::kBoxTop));

    for (int i = 0; i <= FL::kDivisions; ++i)
        f.text(FL::kYLabelRight, FL::divisionY(i) - FL::kSmallFont / 2.0,
               QString::asprintf(ReportLayout::kYLabelFormat, in.axis[size_t(i)]), small, Align::Right);
    const int n = in.count();
    if (n <= 0)
        return;
    const bool dates = spansMidnight(in);
    for (int k = 0; k < FL::kTimeLabelCount; ++k) {
        const int64_t t = in.timeOf(ReportLayout::timeLabelSample(n, k));
        f.text(FL::timeLabelCentre(k), FL::kTimeLabelY, LocalTime::format(t, ReportLayout::kTimeFormat), small,
               Align::Centre);
        if (dates)
            f.text(FL::timeLabelCentre(k), FL::kDateLabelY, LocalTime::format(t, "%Y-%m-%d"), small, Align::Centre);
    }
}

QString valueAt(const ReportInput& in, double v, int sample, bool dates)
{
    return QStringLiteral("%1 at %2")
        .arg(v, 0, 'f', 2)
        .arg(LocalTime::format(in.timeOf(sample), dates ? "%m-%d %H:%M:%S" : "%H:%M:%S"));
}

void drawTable(Frame& f, const ReportInput& in)
{
    const QFont head = f.font(FL::kSmallFont, true), cell = f.font(FL::kSmallFont);
    const char* headers[FL::kColumnCount] = {"Channel", "Min", "Max", "Mean", "Low limit", "High limit", "Outside"};
    for (int col = 0; col < FL::kColumnCount; ++col)
        f.text(FL::kColumnX[col], FL::kTableY, QLatin1String(headers[col]), head);
    f.line(0, FL::kRowsY - 8, FL::kWidth, FL::kRowsY - 8, QPen(Qt::black, 2));

    const ReportFacts::Facts facts = ReportFacts::facts(in);
    const bool dates = spansMidnight(in);
    const QString dash = QStringLiteral("\u2014");
    int row = 0;
    for (int c = 0; c < kChannelCount; ++c) {
        if (!in.shown[size_t(c)])
            continue;
        const ReportFacts::ChannelFacts& fc = facts[size_t(c)];
        const std::optional<LimitPair>& limit = in.limits[size_t(c)];
        const ChannelStats& s = fc.stats;
        const bool any = s.count > 0;
        const QString cells[FL::kColumnCount] = {
            QLatin1String(kChannelLegend[size_t(c)]),
            any ? valueAt(in, s.min, s.minSample, dates) : dash,
            any ? valueAt(in, s.max, s.maxSample, dates) : dash,
            any ? QString::number(s.mean, 'f', 2) : dash,
            limit ? ReportFacts::limitText(limit->lo) : dash,
            limit ? ReportFacts::limitText(limit->hi) : dash,
            limit ? QString::number(fc.outside) : dash,
        };
        const int y = FL::rowY(row++);
        for (int col = 0; col < FL::kColumnCount; ++col)
            f.text(FL::kColumnX[col], y, cells[col], col == FL::kChannelCol ? head : cell, Align::Left,
                   col == FL::kChannelCol ? ReportPage::kPrintColor[size_t(c)] : QColor(Qt::black));
        f.text(FL::kVerdictX, y + FL::kRowSecondLine, ReportFacts::verdict(fc, limit), head);
        const QString range = fc.above == 0 && fc.below == 0
                                ? QStringLiteral("all samples within the Y range")
                                : QStringLiteral("%1 above, %2 below the Y range").arg(fc.above).arg(fc.below);
        f.text(FL::kRangeX, y + FL::kRowSecondLine, range, cell);
    }
    f.text(0, FL::kRuleY,
           QStringLiteral("Decision rule: PASS when no sample lies below the low or above the high limit; "
                          "a sample equal to a limit passes."),
           cell);
}

// Notes wrapped at word boundaries within the width from x; a word longer
// than a line is cut. At most kNoteLines lines; "\u2026" ends a cut text.
QStringList wrapped(Frame& f, const QFont& font, const QString& notes, double width)
{
    QStringList lines;
    for (const QString& para : notes.split(QLatin1Char('\n'))) {
        QString line;
        for (const QString& word : para.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString tried = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (f.width(font, tried) <= width || line.isEmpty()) {
                line = tried;
                continue;
            }
            lines << line;
            line = word;
        }
        lines << line;
    }
    for (QString& l : lines) {
        while (l.size() > 1 && f.width(font, l) > width)
            l.chop(1);
    }
    if (lines.size() > FL::kNoteLines) {
        lines = lines.mid(0, FL::kNoteLines);
        lines.last() += QStringLiteral("\u2026");
    }
    return lines;
}

void drawPeople(Frame& f, const ReportInput& in)
{
    const QFont label = f.font(FL::kTextFont, true), value = f.font(FL::kTextFont);
    f.text(0, FL::kOperatorY, QStringLiteral("Operator:"), label);
    f.text(FL::kValueX, FL::kOperatorY, in.options.operatorName, value);
    f.text(0, FL::kNotesY, QStringLiteral("Notes:"), label);
    const QStringList lines = wrapped(f, value, in.options.notes, FL::kWidth - FL::kValueX);
    for (int i = 0; i < lines.size(); ++i)
        f.text(FL::kValueX, FL::kNotesY + FL::kNotePitch * i, lines[i], value);

    const char* captions[3] = {"Checked by", "Date", "Signature"};
    for (int i = 0; i < 3; ++i) {
        f.line(FL::kSignX[i], FL::kSignLineY, FL::kSignX[i] + FL::kSignWidth, FL::kSignLineY, QPen(Qt::black, 2));
        f.text(FL::kSignX[i], FL::kSignCaptionY, QLatin1String(captions[i]), value);
    }
}

void drawFooter(Frame& f, const ReportInput& in, int64_t printedAt)
{
    const QFont small = f.font(FL::kSmallFont);
    f.line(0, FL::kFooterRuleY, FL::kWidth, FL::kFooterRuleY, QPen(Qt::black, 2));
    f.text(0, FL::kHashY,
           in.sha256.isEmpty() ? QLatin1String(ReportFacts::kNoHashText)
                               : QLatin1String(ReportFacts::kHashLabel) + ReportFacts::hashText(in.sha256),
           small);
    f.text(0, FL::kPrintedY, QStringLiteral("Printed ") + moment(printedAt, "%Y-%m-%d %H:%M:%S"), small);
}

} // namespace

double ReportPage::fullScale(QSizeF areaMm)
{
    return std::min(areaMm.width() * 10 / FL::kWidth, areaMm.height() * 10 / FL::kHeight);
}

QRectF ReportPage::fullArea(const QRectF& paper, const QRectF& printable, double dotsPerMm)
{
    const double m = FL::kMarginMm * dotsPerMm;
    return paper.adjusted(m, m, -m, -m).intersected(printable);
}

void ReportPage::paintFull(QPainter& painter, const ReportInput& in, int64_t printedAt, const QRectF& area)
{
    painter.save();
    painter.setClipRect(area);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.resetTransform();
    Frame f(painter, area);
    drawHeader(f, in, printedAt);
    drawFacts(f, in);
    drawGraph(f, in);
    drawTable(f, in);
    drawPeople(f, in);
    drawFooter(f, in, printedAt);
    painter.restore();
}
