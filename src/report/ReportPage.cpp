#include "report/ReportPage.h"

#include "base/LocalTime.h"
#include "report/CurveFold.h"
#include "report/FullPageLayout.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <QTransform>
#include <cmath>

namespace RL = ReportLayout;

namespace {

constexpr double kUnitsPerInch = 254.0;     // 0.1 mm units
constexpr double kPointsPerUnit = 72.0 / kUnitsPerInch;

// "Arial", 1.5 mm character height, weight 100, upright, sans serif. Where
// Arial is not installed the metric-compatible Liberation Sans takes its
// place; neither has a face lighter than regular, so regular is printed.
QFont reportFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(RL::kFontHeight * kPointsPerUnit);
    font.setWeight(QFont::Thin);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// The page in device coordinates: scale to 0.1 mm, origin at the bottom-right
// corner of the printable area, y up.
class Page {
public:
    Page(QPainter& p, const QRectF& area)
        : m_p(p)
        , m_area(area)
    {
        const QPaintDevice& d = *p.device();
        m_dotsPerUnitX = d.logicalDpiX() / kUnitsPerInch;
        m_dotsPerUnitY = d.logicalDpiY() / kUnitsPerInch;
        m_toDevice = QTransform(m_dotsPerUnitX, 0, 0, -m_dotsPerUnitY, area.right(), area.bottom());
    }

    // Width and height of the printable area in units.
    double width() const { return m_area.width() / m_dotsPerUnitX; }
    double height() const { return m_area.height() / m_dotsPerUnitY; }

    void begin()
    {
        m_p.save();
        // Nothing lands outside the printable area, whatever the device
        // would accept (a PDF page has room in its margins).
        m_p.setClipRect(m_area);
        m_p.setTransform(m_toDevice);
        m_p.setBackgroundMode(Qt::TransparentMode);
        m_p.setRenderHint(QPainter::Antialiasing);
    }
    void end() { m_p.restore(); }

    void setFont(const QFont& font)
    {
        m_p.setFont(font);
        m_ascent = QFontMetricsF(font, m_p.device()).ascent();
    }

    // Text whose line top sits at (x, y). Glyphs are drawn in device
    // orientation, so they stand upright although the page's y runs up.
    void text(int x, int y, const QString& s, const QColor& color)
    {
        const QPointF at = m_toDevice.map(QPointF(x, y));
        m_p.setTransform(QTransform::fromTranslate(at.x(), at.y()));
        m_p.setPen(color);
        m_p.drawText(QPointF(0, m_ascent), s);
        m_p.setTransform(m_toDevice);
    }

    QPainter& painter() { return m_p; }

private:
    QPainter& m_p;
    QRectF m_area;
    double m_dotsPerUnitX = 1, m_dotsPerUnitY = 1;
    QTransform m_toDevice;
    double m_ascent = 0;
};

void drawBox(QPainter& p)
{
    p.setPen(QPen(Qt::black, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawLine(RL::kBoxLeft, RL::kBoxBottom, RL::kBoxRight, RL::kBoxBottom);
    p.drawLine(RL::kBoxRight, RL::kBoxBottom, RL::kBoxRight, RL::kBoxTop);
    p.drawLine(RL::kBoxRight, RL::kBoxTop, RL::kBoxLeft, RL::kBoxTop);
    p.drawLine(RL::kBoxLeft, RL::kBoxTop, RL::kBoxLeft, RL::kBoxBottom);
}

// Page y of sample s of channel c, in the unit it is drawn at; none for a
// reading that is no number or infinite, which leaves a gap in the curve
// as on the screen.
std::optional<int> curveY(const plot::CurveMap& map, const ReportInput& in, int s, int c)
{
    const double v = map.valueOf(c, in.samples.value(s, c), in.fahrenheit);
    if (!std::isfinite(v))
        return std::nullopt;
    return RL::toUnit(map.yOfValue(v));
}

// Each shown curve as polylines joining its samples, split only where a
// reading leaves a gap.
void drawCurves(QPainter& p, const ReportInput& in)
{
    const int n = in.count();
    // A scale without height (an axis never painted) places no value.
    const double range = in.axis[RL::kYLabelCount - 1] - in.axis[0];
    if (n < 2 || range == 0 || !std::isfinite(range))
        return;
    const plot::CurveMap map = RL::curveMap(n, in.axis[0], in.axis[RL::kYLabelCount - 1]);
    QPolygon run;
    run.reserve(n);
    for (int c = 0; c < kChannelCount; ++c) {
        if (!in.shown[c])
            continue;
        p.setPen(QPen(ReportPage::kPrintColor[c], 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        run.clear();
        // x is a whole unit: a column is one unit wide, and the folded
        // curve covers exactly the units the whole one does.
        CurveFold<QPolygon> fold(run, 1.0);
        for (int s = 0; s <= n; ++s) {
            const std::optional<int> y = s < n ? curveY(map, in, s, c) : std::nullopt;
            if (y) {
                fold.add(QPoint(*RL::toUnit(map.x(s)), *y));
                continue;
            }
            fold.flush();
            if (run.size() >= 2)
                p.drawPolyline(run);
            run.clear();
        }
    }
}

} // namespace

Status ReportPage::checkFullArea(QSizeF areaMm)
{
    if (fullScale(areaMm) + 1e-3 >= FullPageLayout::kMinScale)
        return Status::success();
    return Status::failure(Status::Code::BadSetting,
                           QStringLiteral("The printable area of this page (%1 x %2 mm) is smaller than the full "
                                          "test report needs (%3 x %4 mm). Choose a larger paper size.")
                               .arg(areaMm.width(), 0, 'f', 0)
                               .arg(areaMm.height(), 0, 'f', 0)
                               .arg(FullPageLayout::kWidth / 10.0 * FullPageLayout::kMinScale, 0, 'f', 0)
                               .arg(FullPageLayout::kHeight / 10.0 * FullPageLayout::kMinScale, 0, 'f', 0));
}

Status ReportPage::checkArea(QSizeF printableMm)
{
    const double needW = RL::kMinWidth / 10.0, needH = RL::kMinHeight / 10.0;
    // Half a tenth of a millimetre absorbs the rounding of page sizes given
    // in points.
    if (printableMm.width() + 0.05 >= needW && printableMm.height() + 0.05 >= needH)
        return Status::success();
    return Status::failure(Status::Code::BadSetting,
                           QStringLiteral("The printable area of this page (%1 x %2 mm) is smaller than the test "
                                          "report needs (%3 x %4 mm). Choose a larger paper size.")
                               .arg(printableMm.width(), 0, 'f', 0)
                               .arg(printableMm.height(), 0, 'f', 0)
                               .arg(needW, 0, 'f', 0)
                               .arg(needH, 0, 'f', 0));
}

void ReportPage::paint(QPainter& painter, const ReportInput& in, int64_t printedAt)
{
    const QPaintDevice& d = *painter.device();
    paint(painter, in, printedAt, QRectF(0, 0, d.width(), d.height()));
}

void ReportPage::paint(QPainter& painter, const ReportInput& in, int64_t printedAt, const QRectF& printableArea)
{
    Page page(painter, printableArea);
    page.begin();
    QPainter& p = page.painter();

    drawBox(p);
    const int n = in.count();
    if (n >= 1) {
        drawCurves(p, in);

        // Cut whatever left the value range, across the whole width.
        const double w = page.width() + 2, h = page.height() + 2;
        p.fillRect(QRectF(-w, RL::kWhiteAboveFrom, w + 1, h - RL::kWhiteAboveFrom), Qt::white);
        p.fillRect(QRectF(-w, 0, w + 1, RL::kWhiteBelowHeight), Qt::white);

        page.setFont(reportFont());
        page.text(RL::kTitleX, RL::kTitleY, QLatin1String(RL::kTitle), Qt::black);
        for (int c = 0; c < kChannelCount; ++c) {
            if (in.shown[c])
                page.text(RL::kLegendX[c], RL::kLegendY, QLatin1String(kChannelLegend[c]), kPrintColor[c]);
        }
        for (int i = 0; i < RL::kYLabelCount; ++i)
            page.text(RL::kYLabelX, RL::yLabelY(i), QString::asprintf(RL::kYLabelFormat, in.axis[i]), Qt::black);
        for (int k = 0; k < RL::kTimeLabelCount; ++k) {
            const int64_t t = in.timeOf(RL::timeLabelSample(n, k));
            page.text(RL::timeLabelX(k), RL::kTimeLabelY, LocalTime::format(t, RL::kTimeFormat), Qt::black);
        }

        // The grid goes over the curves.
        p.setPen(QPen(kGridColor, 1.0, Qt::DotLine, Qt::FlatCap));
        for (int j = 1; j <= RL::kGridRows; ++j)
            p.drawLine(RL::kGridRight, RL::gridRowY(j), RL::kGridLeft, RL::gridRowY(j));
        for (int x : RL::kGridColumnX)
            p.drawLine(x, RL::kBoxBottom, x, RL::kBoxTop);

        page.text(RL::kDateX, RL::kDateY, LocalTime::format(printedAt, RL::kDateFormat), Qt::black);
    }
    page.end();
}
