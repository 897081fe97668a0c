#pragma once
// Paints the one-page "ZB740 Test Report" on any paint device: a printer, a
// PDF writer or an image. Window-free: it reads its input and the device's
// size and resolution, nothing else.
#include "base/Status.h"
#include "report/ReportInput.h"

#include <QColor>
#include <QRectF>
#include <QSizeF>
#include <array>
#include <cstdint>

class QPainter;

namespace ReportPage {

// Curve and legend colours on paper, darker than on screen.
inline const std::array<QColor, kChannelCount> kPrintColor = {
    QColor(155, 0, 0), QColor(155, 155, 0), QColor(0, 155, 155), QColor(136, 52, 178), QColor(0, 155, 0)};
inline const QColor kGridColor(220, 220, 220);

// Ok when a printable area of this size (millimetres) holds the whole
// layout; otherwise a failure that says what the page lacks.
Status checkArea(QSizeF printableMm);

// Paints the page with the painter, which is active on a device whose
// coordinates span the printable area (a printer or PDF writer outside
// full-page mode, or an image). printedAt is the moment printed as the date.
void paint(QPainter& painter, const ReportInput& input, int64_t printedAt);
// The same on a device whose printable area is the given rectangle of its
// coordinates (a page painted in full-page mode).
void paint(QPainter& painter, const ReportInput& input, int64_t printedAt, const QRectF& printableArea);

// The full test report (input.options.style Full) on the area of the
// device's coordinates that its frame fills: the paper less 15 mm on every
// side, within the printable area (fullArea()). The frame of 180 x 267 mm
// is scaled by fullScale() to fit and centred across.
void paintFull(QPainter& painter, const ReportInput& input, int64_t printedAt, const QRectF& area);
double fullScale(QSizeF areaMm);
QRectF fullArea(const QRectF& paper, const QRectF& printable, double dotsPerMm);
// Ok when an area of this size (millimetres) holds the full page at a
// readable scale; otherwise a failure that says what the page lacks.
Status checkFullArea(QSizeF areaMm);

} // namespace ReportPage
