#pragma once
// The rules every graph of a run shares, the real-time graph, the logger
// plot and the printed page: the axis values of a Y scale, how a reading is
// quantised before it is plotted, and how Y labels are written and indented.
#include "base/Channel.h"
#include "base/YScale.h"

#include <QString>
#include <array>

namespace plot {

using AxisValues = std::array<float, kAxisDivisions + 1>;

// Level-0 axis values of a scale: (offset + i) x gain.
AxisValues axisValues(YScaleValues scale);

// How the K/IR channel is brought to tenths before plotting: the real-time
// graph cuts it toward zero as the meter's display does; the logger plot
// rounds it like the other channels.
enum class KirTenths { Cut, Round };

// The reading as a curve shows it: display unit (degrees F when asked,
// never for RH), then whole tenths.
double quantised(int channel, float stored, bool fahrenheit, KirTenths kir);

// Y labels: "%.2f", right-aligned by an indent in characters of about 7.5
// pixels chosen by the value's magnitude.
QString yLabelText(float value);
int yLabelIndent(float value);

} // namespace plot
