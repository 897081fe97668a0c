#include "plot/CursorReadout.h"

#include "base/LocalTime.h"

namespace {

QString temperatureText(double v, bool fahrenheit)
{
    return QString::asprintf(fahrenheit ? "%.1f F" : "%.1f C", v);
}

QString channelText(const RunView& run, int c, int sample)
{
    const bool fahrenheit = run.fahrenheit();
    const float stored = run.value(sample, c);
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

ReadoutTexts cursorReadout(const RunView& run, int sample)
{
    ReadoutTexts t;
    t.time = QStringLiteral("time:") + LocalTime::format(run.timeOf(sample), "%H:%M:%S");
    static constexpr const char* kNames[kChannelCount] = {"AIR:", "WB:", "DP:", "K/IR:", "RH:"};
    for (int c = 0; c < kChannelCount; ++c) {
        if (c > 0)
            t.values += QStringLiteral("    ");
        t.values += QLatin1String(kNames[c]);
        t.values += channelText(run, c, sample);
    }
    return t;
}

namespace plot {

void buildReadout(const RunView& run, int sample, Readout& out)
{
    const bool fahrenheit = run.fahrenheit();
    for (int c = 0; c < kChannelCount; ++c) {
        const float stored = run.value(sample, c);
        if (c == kKir && stored <= kKirDashesAtOrBelow) {
            out.value[c] = QStringLiteral("------");
            continue;
        }
        const float shown = toDisplayUnit(stored, c, fahrenheit);
        // K/IR is cut toward zero; the others are rounded by the format.
        out.value[c] = QString::asprintf("%.1f", c == kKir ? cutToTenth(shown) : double(shown));
    }
    out.time = LocalTime::format(run.timeOf(sample), "%H:%M:%S");
}

void clearReadout(Readout& out)
{
    for (QString& v : out.value)
        v.clear();
    out.time.clear();
}

QString readoutUnit(const RunView& run, int channel)
{
    return channel == kRh ? QStringLiteral("%RH") : run.unit();
}

} // namespace plot
