#pragma once
// Where everything sits on the full test report, in 0.1 mm units of a
// 180 x 267 mm frame (A4 less 15 mm on every side), measured from the
// frame's top-left corner with y growing downward. Texts are placed by the
// top of their line. On other paper the frame is scaled by one factor to
// fit the printable area and centred across it.
#include "base/Channel.h"

#include <array>

namespace FullPageLayout {

inline constexpr double kMarginMm = 15;
inline constexpr int kWidth = 1800, kHeight = 2670;
// The smallest scale the frame is printed at: below it the texts would be
// too small to read (about 108 x 160 mm of printable area).
inline constexpr double kMinScale = 0.6;

// Font heights.
inline constexpr int kTitleFont = 50, kTextFont = 28, kSmallFont = 24;

// Header: the title on the left; the id and the page count on the right.
inline constexpr int kTitleX = 0, kTitleY = 0;
inline constexpr int kIdY = 0, kPageY = 40;  // right-aligned at kWidth
inline constexpr int kHeaderRuleY = 90;

// Run facts: two columns of label and value.
inline constexpr int kFactsY = 115, kFactPitch = 40;
inline constexpr int kFactLabelX[2] = {0, 950};
inline constexpr int kFactValueX[2] = {230, 1180};
inline constexpr int factY(int row) { return kFactsY + kFactPitch * row; }

// The graph: the axis label and the legend above the box, the Y labels
// right-aligned left of it, the time labels centred under their division.
inline constexpr int kAxisLabelX = 0, kLegendY = 300;
inline constexpr int kLegendX = 400, kLegendPitch = 160;
inline constexpr int kBoxLeft = 140, kBoxRight = 1720, kBoxTop = 360, kBoxBottom = 1360;
inline constexpr int kDivisions = 10;
inline constexpr int divisionY(int i) { return kBoxBottom - (kBoxBottom - kBoxTop) * i / kDivisions; }
inline constexpr int kYLabelRight = 125;
inline constexpr int kTimeLabelCount = 5;
inline constexpr int timeLabelCentre(int k) { return kBoxLeft + (kBoxRight - kBoxLeft) * k / 4; }
inline constexpr int kTimeLabelY = 1375, kDateLabelY = 1410;
inline constexpr std::array<int, 3> kGridColumnX = {kBoxLeft + 395, kBoxLeft + 790, kBoxLeft + 1185};

// The table: a header line, then two lines per shown channel (figures;
// verdict and Y range), then the decision rule.
inline constexpr int kTableY = 1480;
inline constexpr int kRowsY = 1525, kRowPitch = 80, kRowSecondLine = 36;
inline constexpr int rowY(int row) { return kRowsY + kRowPitch * row; }
enum Column { kChannelCol, kMinCol, kMaxCol, kMeanCol, kLowCol, kHighCol, kOutsideCol, kColumnCount };
inline constexpr int kColumnX[kColumnCount] = {0, 140, 520, 900, 1060, 1220, 1390};
inline constexpr int kVerdictX = 140, kRangeX = 900;
inline constexpr int kRuleY = rowY(kChannelCount) + 10;

// Operator and notes; notes wrap within the width, at most kNoteLines.
inline constexpr int kOperatorY = 2010, kNotesY = 2050, kNotePitch = 36, kNoteLines = 5;
inline constexpr int kValueX = 230;

// Signature block: three lines with their captions under them.
inline constexpr int kSignLineY = 2370, kSignCaptionY = 2385;
inline constexpr int kSignX[3] = {0, 620, 1240};
inline constexpr int kSignWidth = 560;

// Footer.
inline constexpr int kFooterRuleY = 2540, kHashY = 2560, kPrintedY = 2600;

} // namespace FullPageLayout
