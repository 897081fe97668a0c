#include "link/MeterTypes.h"

#include <cstdlib>

namespace {

float leadingNumber(const QString& text)
{
    const QByteArray latin = text.trimmed().toLatin1();
    return static_cast<float>(std::strtod(latin.constData(), nullptr));
}

} // namespace

AlarmLimits alarmLimitsFromTexts(const std::array<QString, kChannelCount>& high,
    const std::array<QString, kChannelCount>& low)
{
    AlarmLimits limits;
    for (int c = 0; c < kChannelCount; ++c) {
        limits.high[c] = leadingNumber(high[c]);
        limits.low[c] = leadingNumber(low[c]);
    }
    return limits;
}
