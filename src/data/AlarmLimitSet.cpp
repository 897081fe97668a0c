#include "data/AlarmLimitSet.h"

#include "base/DecimalText.h"
#include "data/SampleExport.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {
// Spin column and text column per channel: AIR, WB, DP, K/IR, RH.
constexpr std::array<AlarmLimitSet::Range, kChannelCount> kSpin = {{
    {-20.0f, 140.0f}, {-22.0f, 140.0f}, {-91.0f, 140.0f}, {-148.0f, 2501.0f}, {0.0f, 100.0f}}};
constexpr std::array<AlarmLimitSet::Range, kChannelCount> kText = {{
    {-10.0f, 140.0f}, {-60.0f, 500.0f}, {0.0f, 5900.0f}, {-148.0f, 2501.0f}, {0.0f, 100.0f}}};
// "%.1f" of the exact value, whatever the process locale.
QString formatted(float v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, double(v), std::chars_format::fixed, 1);
    return QString::fromLatin1(buf, r.ptr - buf);
}
} // namespace

AlarmLimitSet::Range AlarmLimitSet::spinRange(int channel) { return kSpin[size_t(channel)]; }
AlarmLimitSet::Range AlarmLimitSet::textRange(int channel) { return kText[size_t(channel)]; }

void AlarmLimitSet::load(const settings::LimitTexts& texts)
{
    for (int c = 0; c < kChannelCount; ++c) {
        m_text[High][size_t(c)] = texts.high[size_t(c)];
        m_text[Low][size_t(c)] = texts.low[size_t(c)];
        m_value[High][size_t(c)] = float(decimal::parseLeading(texts.high[size_t(c)]));
        m_value[Low][size_t(c)] = float(decimal::parseLeading(texts.low[size_t(c)]));
    }
}

settings::LimitTexts AlarmLimitSet::texts() const
{
    settings::LimitTexts t;
    t.high = m_text[High];
    t.low = m_text[Low];
    return t;
}

void AlarmLimitSet::setValue(int channel, Bound bound, double v, Range range)
{
    if (v < range.lo)
        v = range.lo;
    if (v > range.hi)
        v = range.hi;
    float value = float(v);
    const size_t c = size_t(channel);
    if (bound == High && value < m_value[Low][c])
        value = m_value[Low][c];
    if (bound == Low && value > m_value[High][c])
        value = m_value[High][c];
    m_value[bound][c] = value;
    m_text[bound][c] = formatted(value);
}

void AlarmLimitSet::spin(int channel, Bound bound, int step)
{
    setValue(channel, bound, double(value(channel, bound)) + step, spinRange(channel));
}

QString AlarmLimitSet::applyText(int channel, Bound bound, const QString& text)
{
    setValue(channel, bound, decimal::parseLeading(text), textRange(channel));
    return m_text[bound][size_t(channel)];
}

AlarmLimits AlarmLimitSet::limits() const
{
    AlarmLimits l;
    l.high = m_value[High];
    l.low = m_value[Low];
    return l;
}

AlarmLimits alarmLimitsFromTexts(const std::array<QString, kChannelCount>& high,
                                 const std::array<QString, kChannelCount>& low)
{
    AlarmLimitSet set;
    settings::LimitTexts texts;
    texts.high = high;
    texts.low = low;
    set.load(texts);
    return set.limits();
}

AlarmLimits noAlarmLimits()
{
    AlarmLimits limits;
    limits.high.fill(std::numeric_limits<float>::infinity());
    limits.low.fill(-std::numeric_limits<float>::infinity());
    return limits;
}

bool applyLimitOption(const QString& text, AlarmLimits& limits, QString& error)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    const qsizetype dots = text.indexOf(QLatin1String(".."), colon + 1);
    if (colon <= 0 || dots < 0) {
        error = QStringLiteral("'%1' is not CHANNEL:LOW..HIGH").arg(text);
        return false;
    }
    const QString name = text.left(colon);
    int channel = -1;
    for (int c = 0; c < kChannelCount; ++c) {
        if (name == QLatin1String(SampleExport::channelKey(c)))
            channel = c;
    }
    if (channel < 0) {
        error = QStringLiteral("'%1' is no channel (air, wet_bulb, dew_point, k_ir, rh)").arg(name);
        return false;
    }
    const AlarmLimitSet::Range range = AlarmLimitSet::textRange(channel);
    float bounds[2] = {limits.low[size_t(channel)], limits.high[size_t(channel)]};
    const QString sides[2] = {text.mid(colon + 1, dots - colon - 1), text.mid(dots + 2)};
    if (sides[0].isEmpty() && sides[1].isEmpty()) {
        error = QStringLiteral("'%1' gives no limit").arg(text);
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        if (sides[i].isEmpty())
            continue;
        bool ok = false;
        const double v = sides[i].toDouble(&ok);
        if (!ok || !std::isfinite(v) || v < range.lo || v > range.hi) {
            error = QStringLiteral("'%1': %2 takes limits from %3 to %4")
                        .arg(text, name, QString::number(double(range.lo), 'f', 1),
                             QString::number(double(range.hi), 'f', 1));
            return false;
        }
        bounds[i] = float(v);
    }
    if (!(bounds[0] < bounds[1])) {
        error = QStringLiteral("'%1': the low limit must be below the high one").arg(text);
        return false;
    }
    limits.low[size_t(channel)] = bounds[0];
    limits.high[size_t(channel)] = bounds[1];
    return true;
}
