#include "data/AlarmLimitSet.h"

#include "base/DecimalText.h"

#include <charconv>
#include <cmath>

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
