#include "recorder/ReadingFold.h"

#include "base/TenthsText.h"

#include <QLatin1StringView>
#include <algorithm>
#include <cstring>

namespace {

using namespace meter;

const QString kBlank2 = QStringLiteral("  ");
const QString kBlank3 = QStringLiteral("   ");
const QString kBlank4 = QStringLiteral("    ");
const QString kBlank5 = QStringLiteral("     ");
const QString kBlank7 = QStringLiteral("       ");
const QString kBlank12 = QStringLiteral("            ");
const QString kMax = QStringLiteral("MAX");
const QString kMinA = QStringLiteral("     MIN");
const QString kMinB = QStringLiteral("      MIN");
const QString kHold = QStringLiteral("HOLD");
const QString kRec = QStringLiteral("REC");
const QString kPcLink = QStringLiteral("PC-LINK");
const QString kWbText = QStringLiteral("WB");
const QString kDpText = QStringLiteral("DP");
const QString kTypeK = QStringLiteral("     TYPE-K");
const QString kIrTemp = QStringLiteral("IRTEMP");
const QString kUnitC = QStringLiteral("C");
const QString kUnitF = QStringLiteral("F");
const QString kNormal = QStringLiteral("Normal");
const QString kLow = QStringLiteral("Low");

// Writes `text` into `dst` in place when `dst` owns a large enough buffer,
// so changing readings allocate nothing; returns whether the text changed.
bool writeText(QString& dst, const char* text)
{
    const QLatin1StringView t(text);
    if (dst == t)
        return false;
    if (dst.isDetached() && dst.capacity() >= t.size()) {
        dst.resize(t.size());
        QChar* out = dst.data();
        for (qsizetype i = 0; i < t.size(); ++i)
            out[i] = QLatin1Char(t[i]);
    } else {
        QString fresh;
        fresh.reserve(std::max<qsizetype>(t.size(), 16));
        fresh.append(t);
        dst = std::move(fresh);
    }
    return true;
}

// Indicator texts are constants: sharing them allocates nothing.
bool shareText(QString& dst, const QString& text)
{
    if (dst == text)
        return false;
    dst = text;
    return true;
}

// "%.1f" of a reading followed by `suffix`, terminated; the same under any
// locale (printf would write a decimal comma under some).
template <size_t N>
void formatTenth(char (&buf)[N], float v, const char* suffix)
{
    static_assert(N >= TenthsText::kMaxLength + 8);
    const int n = TenthsText::formatFloat(buf, v);
    std::strcpy(buf + n, suffix);
}

template <size_t N>
void formatTenth(char (&buf)[N], double v, const char* suffix)
{
    static_assert(N >= TenthsText::kMaxLength + 8);
    const int n = TenthsText::formatDouble(buf, v);
    std::strcpy(buf + n, suffix);
}

} // namespace

ReadingFold::ReadingFold(RunState& run, LiveSeries& live) : m_run(run), m_live(live)
{
    // The texts that follow the readings get their buffers once, here.
    for (QString* s : {&m_readout.lcd.value1, &m_readout.lcd.value2, &m_readout.lcd.value3})
        s->reserve(16);
    for (int c = 0; c < kChannelCount; ++c) {
        m_readout.minMax.max[c].reserve(24);
        m_readout.minMax.min[c].reserve(24);
    }
}

ReadingUpdate ReadingFold::fold(const MeterReading& r, int64_t now, const AlarmLimits& limits)
{
    ReadingUpdate u;
    u.reading = r;
    u.time = now;
    u.runStarted = m_run.onValidFrame(now);

    const bool fahrenheit = r.fahrenheit();
    m_run.m_bFahrenheit = fahrenheit;
    DisplayTexts& lcd = m_readout.lcd;
    bool lcdChanged = shareText(lcd.unitMark, fahrenheit ? kUnitF : kUnitC);
    shareText(m_run.m_strUnit, lcd.unitMark);

    lcdChanged |= applyIndicators(r.flagsA, r.flagsB);

    // The run never exceeds the store; the spare slots on top absorb a
    // frame arriving after the last commit.
    u.slot = std::clamp(m_run.m_nCount, 0, kMaxSamples - 1);
    ChannelValues& v = u.values;
    v[kAir] = r.air;
    v[kWb] = r.wb;
    v[kDp] = r.dp;
    const float k = limitKir(r.kir, r.rangeMarker, r.typeK(), r.irInactive());
    v[kKir] = k;
    v[kRh] = r.rh;
    m_live.writeSlot(u.slot, v);

    lcdChanged |= updateTexts(r, k);
    updateExtremes(v, fahrenheit);
    u.alarmsChanged = updateAlarms(v, fahrenheit, limits);
    u.lcdChanged = lcdChanged;

    m_run.checkRunEnd();
    return u;
}

bool ReadingFold::applyIndicators(uint8_t a, uint8_t b)
{
    DisplayTexts& d = m_readout.lcd;
    // Later flags win, as on the meter's own display.
    bool changed = shareText(d.maxMinA, (a & kAMin) ? kMinA : (a & kAMax) ? kMax : kBlank3);
    changed |= shareText(d.maxMinB, (b & kBMin) ? kMinB : (b & kBMax) ? kMax : kBlank3);
    changed |= shareText(d.holdA, (a & kAHold) ? kHold : kBlank4);
    changed |= shareText(d.holdB, (b & kBHold) ? kHold : kBlank4);
    changed |= shareText(d.recordA, (a & kARec) ? kRec : kBlank5);
    changed |= shareText(d.recordB, (b & kBRec) ? kRec : kBlank5);
    changed |= shareText(d.link, (a & kAPcLink) ? kPcLink : kBlank7);
    changed |= shareText(d.wbDp, (a & kADp) ? kDpText : (a & kAWb) ? kWbText : kBlank2);
    const bool typeK = (b & kBTypeK) != 0;
    changed |= shareText(d.mode, typeK ? kTypeK : (b & kBIrInactive) ? kBlank12 : kIrTemp);
    const bool backlight = (b & kBBacklight) != 0;
    changed |= backlight != d.backlight;
    d.backlight = backlight;
    shareText(m_readout.battery, (a & kABatteryNormal) ? kNormal : kLow);
    return changed;
}

float ReadingFold::limitKir(float k, uint8_t marker, bool typeK, bool held)
{
    const float high = typeK ? kTypeKHigh : kIrHigh;
    const float low = typeK ? kTypeKLow : kIrLow;
    if (marker == kRangeHigh) {
        if (k > high || (k < low && k != kKirMeterMissing))
            k = high;
    } else if (marker == kRangeLow) {
        if (k < low && k != kKirMeterMissing)
            k = low;
    }
    if (!held)
        m_fLastKir = k;
    else if (!typeK)
        k = m_fLastKir;
    if (k == kKirMeterMissing)
        k = kKirNoReading;
    if (k != 0.0f)
        m_fLastNonZeroKir = k;
    // An infrared frame right after type-K frames may read 0.0 while the
    // sensor settles: it shows the last real reading instead, once.
    if (typeK) {
        m_nZeroFix = 0;
    } else if (m_nZeroFix == 0 && m_fLastNonZeroKir != 0.0f) {
        k = m_fLastNonZeroKir;
        ++m_nZeroFix;
    }
    return k;
}

bool ReadingFold::updateTexts(const MeterReading& r, float k)
{
    const bool typeK = r.typeK();
    const bool held = r.irInactive();
    DisplayTexts& lcd = m_readout.lcd;
    char buf[kTextBufferSize];
    formatTenth(buf, r.lcd1, "");
    bool changed = writeText(lcd.value1, buf);
    formatTenth(buf, r.lcd2, "");
    changed |= writeText(lcd.value2, buf);

    // The meter's lower display drops the last digit instead of rounding.
    double v3 = r.lcd3;
    if (v3 >= 0.05)
        v3 -= 0.05;
    else if (v3 <= -0.05)
        v3 += 0.05;
    formatTenth(buf, v3, "");
    if (k < -1000.0f)
        std::strcpy(buf, "----");
    if (k == (typeK ? kTypeKHigh : kIrHigh))
        std::strcpy(buf, "+OL");
    if (k == (typeK ? kTypeKLow : kIrLow))
        std::strcpy(buf, "-OL");
    if (!held)
        std::memcpy(m_cLastValue3, buf, sizeof buf);
    else if (!typeK)
        std::memcpy(buf, m_cLastValue3, sizeof buf);
    changed |= writeText(lcd.value3, buf);
    return changed;
}

void ReadingFold::updateExtremes(const ChannelValues& v, bool f)
{
    for (int c = 0; c < kChannelCount; ++c) {
        if (v[c] >= m_fMax[c])
            m_fMax[c] = v[c];
        if (v[c] <= m_fMin[c] && v[c] > -100.0f)
            m_fMin[c] = v[c];
    }
    const char* unit = f ? "F" : "C";
    char buf[kTextBufferSize];
    // K/IR is cut to tenths toward zero; the others are rounded.
    auto format = [&](float stored, int c, const char* suffix) {
        const float display = toDisplayUnit(stored, c, f);
        if (c == kKir)
            formatTenth(buf, cutToTenth(display), suffix);
        else
            formatTenth(buf, display, suffix);
    };
    MinMaxTexts& mm = m_readout.minMax;
    for (int c = 0; c < kChannelCount; ++c) {
        const char* suffix = c == kRh ? " %RH" : unit;
        if (m_fMax[c] != -300.0f) {
            format(m_fMax[c], c, suffix);
            writeText(mm.max[c], buf);
        }
        if (m_fMin[c] != 6000.0f) {
            format(m_fMin[c], c, suffix);
            writeText(mm.min[c], buf);
        }
    }
}

bool ReadingFold::updateAlarms(const ChannelValues& v, bool fahrenheit, const AlarmLimits& limits)
{
    AlarmFlags& flags = m_readout.alarms;
    bool changed = false;
    for (int c = 0; c < kChannelCount; ++c) {
        const float display = toDisplayUnit(v[c], c, fahrenheit);
        const double value = c == kKir ? cutToTenth(display) : display;
        const bool h = value >= limits.high[c];
        const bool l = value <= limits.low[c] && value > -200.0;
        changed = changed || h != flags.high[c] || l != flags.low[c];
        flags.high[c] = h;
        flags.low[c] = l;
    }
    return changed;
}
