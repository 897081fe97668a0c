#include "plot/PlotScale.h"

namespace plot {

AxisValues axisValues(YScaleValues scale)
{
    // 32-bit offsets and gains: (2^31 + 10) x 2^31 still fits 63 bits.
    AxisValues a {};
    for (int i = 0; i <= kAxisDivisions; ++i)
        a[size_t(i)] = static_cast<float>((int64_t(scale.offset) + i) * int64_t(scale.gain));
    return a;
}

bool isUsableScale(YScaleValues scale)
{
    if (scale.gain < 1)
        return false;
    // The axis values run monotonically from line 0 to line 10.
    const int64_t bottom = int64_t(scale.offset) * scale.gain;
    const int64_t top = (int64_t(scale.offset) + kAxisDivisions) * scale.gain;
    return bottom >= -kLargestAxisValue && top <= kLargestAxisValue;
}

QString unusableScaleNote(YScaleValues scale)
{
    const YScaleValues fallback;
    return QStringLiteral("The vertical scale stored in the file (gain %1, offset %2) gives no usable axis; "
                          "the default scale (gain %3, offset %4) is used instead.")
        .arg(scale.gain)
        .arg(scale.offset)
        .arg(fallback.gain)
        .arg(fallback.offset);
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
