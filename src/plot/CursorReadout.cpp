#include "plot/CursorReadout.h"
#include "base/LocalTime.h"

#include "run/RunState.h"
#include "data/ReadingStore.h"

namespace {

QString temperatureText(double v, bool fahrenheit)
{
    return QString::asprintf(fahrenheit ? "%.1f F" : "%.1f C", v);
}

QString channelText(const LiveSeries& series, int c, int sample, bool fahrenheit)
{
    const float stored = series.at(c, sample);
    switch (c) {
    case kRh:
        return QString::asprintf("%.1f %%RH", double(stored));
    case kKir:
        if (stored <= kKirDashesAtOrBelow)
            return QStringLiteral("----");
        // Cut toward zero, not rounded by the format.
        return temperatureText(cutToTenth(toDisplayUnit(stored, c, fahrenheit)), fahrenheit);
    default:
        return temperatureText(toDisplayUnit(stored, c, fahrenheit), fahrenheit);
    }
}

} // namespace

ReadoutTexts cursorReadout(const LiveSeries& series, int sample, int64_t tStart, int sampleMs,
                           bool fahrenheit)
{
    ReadoutTexts t;
    const int64_t at = tStart + (int64_t(sampleMs) * sample) / 1000;
    t.time = QStringLiteral("time:") + LocalTime::format(at, "%H:%M:%S");
    static constexpr const char* kNames[kChannelCount] = {"AIR:", "WB:", "DP:", "K/IR:", "RH:"};
    for (int c = 0; c < kChannelCount; ++c) {
        if (c > 0)
            t.values += QStringLiteral("    ");
        t.values += QLatin1String(kNames[c]);
        t.values += channelText(series, c, sample, fahrenheit);
    }
    return t;
}
