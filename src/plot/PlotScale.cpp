#include "plot/PlotScale.h"

namespace plot {

AxisValues axisValues(YScaleValues scale)
{
    AxisValues a {};
    for (int i = 0; i <= kAxisDivisions; ++i)
        a[size_t(i)] = static_cast<float>((scale.offset + i) * scale.gain);
    return a;
}

double quantised(int channel, float stored, bool fahrenheit, KirTenths kir)
{
    const float v = toDisplayUnit(stored, channel, fahrenheit);
    return channel == kKir && kir == KirTenths::Cut ? cutToTenth(v) : roundTenthAway(v);
}

QString yLabelText(float value)
{
    return QString::asprintf("%.2f", double(value));
}

int yLabelIndent(float v)
{
    if (v >= 0)
        return v < 10 ? 4 : v < 100 ? 3 : v < 1000 ? 2 : 1;
    return v > -10 ? 3 : v > -100 ? 2 : v > -1000 ? 1 : 0;
}

} // namespace plot
