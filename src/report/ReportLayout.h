#pragma once
// Where everything sits on the printed "ZB740 Test Report", in 0.1 mm units
// measured from the bottom-right corner of the printable area with y growing
// upward: every point of the page has x <= 0 and y >= 0. The layout does not
// adapt to the paper; it needs a printable area of kMinWidth x kMinHeight.
#include "base/Channel.h"
#include "plot/CurveMap.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace ReportLayout {

// The frame around the curves: 740 x 800 units.
inline constexpr int kBoxLeft = -750;
inline constexpr int kBoxRight = -10;
inline constexpr int kBoxBottom = 200;
inline constexpr int kBoxTop = 1000;
inline constexpr int kBoxWidth = kBoxRight - kBoxLeft;
inline constexpr int kBoxHeight = kBoxTop - kBoxBottom;

// Curves that leave the value range are cut by white fills across the whole
// width: above the box from kWhiteAboveFrom up, below it from 0 to
// kWhiteBelowHeight.
inline constexpr int kWhiteAboveFrom = 1001;
inline constexpr int kWhiteBelowHeight = 198;

// Texts are placed by the top-left corner of their line: they hang down
// from their position. All use one font, 15 units (1.5 mm) high.
inline constexpr int kFontHeight = 15;
inline constexpr int kTitleX = -750, kTitleY = 1120;
inline constexpr int kLegendY = 1025;
inline constexpr std::array<int, kChannelCount> kLegendX = {-750, -650, -550, -450, -350};
inline constexpr int kYLabelX = -800;
inline constexpr int kYLabelCount = 11;
inline constexpr int yLabelY(int division) { return 210 + 80 * division; }
inline constexpr int kTimeLabelCount = 5;
inline constexpr int kTimeLabelY = 195;
inline constexpr int timeLabelX(int k) { return -750 + 170 * k; }
inline constexpr int kDateX = -200, kDateY = 100;

// Dotted grid: nine rows between the box's bottom and top, three columns.
inline constexpr int kGridLeft = -755, kGridRight = -10;
inline constexpr int kGridRows = 9;
inline constexpr int gridRowY(int j) { return kBoxBottom + 80 * j; }
inline constexpr std::array<int, 3> kGridColumnX = {-565, -380, -195};

// Printable area the layout needs: the Y labels reach 80 mm left of the
// right edge and the title 112 mm above the bottom edge.
inline constexpr int kMinWidth = 850;
inline constexpr int kMinHeight = 1150;

inline constexpr const char* kTitle = "ZB740 Test Report";
inline constexpr const char* kYLabelFormat = "%.1f";
inline constexpr const char* kTimeFormat = "%H:%M:%S";
inline constexpr const char* kDateFormat = "%Y-%m-%d  %H:%M";

// Sample whose time time label k shows: the one that stands under it, as
// the curve spans the box from the first sample to the last, so
// round(k (count - 1) / 4), halves rounded up. count >= 1.
inline constexpr int timeLabelSample(int count, int k) { return (2 * k * (count - 1) + 4) / 8; }

// Where the curves lie on the page: the graphs' own map at page resolution,
// count samples across the box (count >= 2), the axis from a0 at the box's
// bottom to a10 at its top, readings as they are (not brought to tenths).
inline plot::CurveMap curveMap(int count, double a0, double a10)
{
    return plot::upwardMap(count, kBoxLeft, kBoxRight, kBoxBottom, kBoxTop, a0, a10);
}

// A page coordinate as the whole unit it is drawn at (cut toward zero).
// Values far off the page are held at a distance that still lies off it;
// a value that is no number has no place at all.
inline std::optional<int> toUnit(double v)
{
    constexpr double kFar = 1e6;
    if (std::isnan(v))
        return std::nullopt;
    return static_cast<int>(std::trunc(std::clamp(v, -kFar, kFar)));
}

} // namespace ReportLayout
