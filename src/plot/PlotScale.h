#pragma once
// The rules every graph of a run shares, the real-time graph, the logger
// plot and the printed page: the axis values of a Y scale, how a reading is
// quantised before it is plotted, and how Y labels are written and indented.
#include "base/Channel.h"
#include "base/YScale.h"

#include <QString>
#include <array>
#include <cstdint>

namespace plot {

using AxisValues = std::array<float, kAxisDivisions + 1>;

// Level-0 axis values of a scale: (offset + i) x gain, taken in 64 bits so
// that any pair of stored values gives its own products.
AxisValues axisValues(YScaleValues scale);

// The largest axis value a graph labels exactly: the graphs carry axis
// values in single precision, which holds every whole number up to 2^24.
inline constexpr int64_t kLargestAxisValue = int64_t(1) << 24;

// A scale a graph can draw: a gain of at least 1 whose eleven axis values
// all lie within +-kLargestAxisValue. A data file may store any pair of
// 32-bit values; what fails here is shown with the default scale instead.
bool isUsableScale(YScaleValues scale);
// The note given when a file's scale is set aside for the default one.
QString unusableScaleNote(YScaleValues scale);

// How the K/IR channel is brought to tenths before plotting: the real-time
// graph cuts it toward zero as the meter's display does; the logger plot
// rounds it like the other channels.
enum class KirTenths { Cut, Round };

// The reading as a curve shows it: display unit (degrees F when asked,
// never for RH), then whole tenths.
// Inline: the curve painters map a few values of every pixel column.
inline double quantised(int channel, float stored, bool fahrenheit, KirTenths kir)
{
    const float v = toDisplayUnit(stored, channel, fahrenheit);
    return channel == kKir && kir == KirTenths::Cut ? cutToTenth(v) : roundTenthAway(v);
}

// Y labels: "%.2f", right-aligned by an indent in characters of about 7.5
// pixels chosen by the value's magnitude.
QString yLabelText(float value);
int yLabelIndent(float value);

} // namespace plot
