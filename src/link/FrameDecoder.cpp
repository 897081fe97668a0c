#include "link/FrameDecoder.h"

#include "link/MeterProtocol.h"

#include <QLatin1StringView>
#include <algorithm>
#include <cstdio>

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
const QString kDashes = QStringLiteral("----");
const QString kOverHigh = QStringLiteral("+OL");
const QString kOverLow = QStringLiteral("-OL");

// Assigns only when the text differs, so a steady reading allocates nothing.
void setText(QString& dst, const char* text)
{
    if (dst != QLatin1StringView(text))
        dst = QString::fromLatin1(text);
}

void formatTenth(char (&buf)[48], double v, const char* suffix)
{
    std::snprintf(buf, sizeof buf, "%.1f%s", v, suffix);
}

} // namespace

FrameDecoder::FrameDecoder(RunState& run, LiveSeries& live) : m_run(run), m_live(live) {}

DecodeResult FrameDecoder::decode(const QByteArray& buffer, int64_t now, const AlarmLimits& limits,
    AlarmFlagArray& hiAlarm, AlarmFlagArray& lowAlarm)
{
    DecodeResult result;
    const auto* f = reinterpret_cast<const uint8_t*>(buffer.constData());
    if (!isValidFrame(f, buffer.size())) {
        m_run.checkRunEnd();
        return result;
    }
    result.valid = true;
    const DisplayTexts previous = m_display; // shares, does not copy the texts

    result.runStarted = m_run.onValidFrame(now);

    const uint8_t flagsA = f[kOffFlagsA];
    const uint8_t flagsB = f[kOffFlagsB];
    const bool fahrenheit = (flagsB & kBFahrenheit) != 0;
    m_run.m_bFahrenheit = fahrenheit;
    m_display.unitMark = fahrenheit ? kUnitF : kUnitC;
    m_run.m_strUnit = m_display.unitMark;

    applyIndicators(flagsA, flagsB);

    // The run never exceeds the store; the spare slots on top absorb a
    // frame arriving after the last commit.
    const int slot = std::clamp(m_run.m_nCount, 0, kMaxSamples - 1);
    m_nLastSlot = slot;
    ChannelValues v;
    v[kAir] = readFloat(f, kOffAir);
    v[kWb] = readFloat(f, kOffWb);
    v[kDp] = readFloat(f, kOffDp);
    const float k = limitKir(readFloat(f, kOffKir), f[kOffRangeMarker], flagsB);
    v[kKir] = k;
    v[kRh] = readFloat(f, kOffRh);
    m_live.writeSlot(slot, v);
    m_fLcd[0] = readFloat(f, kOffLcd1);
    m_fLcd[1] = readFloat(f, kOffLcd2);
    m_fLcd[2] = readFloat(f, kOffLcd3);

    updateTexts(k, flagsB);
    updateExtremes(v);
    result.alarmsChanged = updateAlarms(v, limits, hiAlarm, lowAlarm);
    result.lcdChanged = !(m_display == previous);

    m_run.checkRunEnd();
    return result;
}

void FrameDecoder::applyIndicators(uint8_t a, uint8_t b)
{
    DisplayTexts& d = m_display;
    d.maxMinA = kBlank3;
    d.maxMinB = kBlank3;
    d.holdA = kBlank4;
    d.holdB = kBlank4;
    d.recordA = kBlank5;
    d.recordB = kBlank5;
    d.link = kBlank7;
    d.wbDp = kBlank2;
    // Later assignments win, as the meter's own display does.
    if (a & kAMax) d.maxMinA = kMax;
    if (a & kAMin) d.maxMinA = kMinA;
    if (b & kBMax) d.maxMinB = kMax;
    if (b & kBMin) d.maxMinB = kMinB;
    if (a & kAHold) d.holdA = kHold;
    if (b & kBHold) d.holdB = kHold;
    if (a & kARec) d.recordA = kRec;
    if (b & kBRec) d.recordB = kRec;
    if (a & kAPcLink) d.link = kPcLink;
    if (a & kAWb) d.wbDp = kWbText;
    if (a & kADp) d.wbDp = kDpText;
    d.mode = (b & kBTypeK) ? kTypeK : kIrTemp;
    if ((b & kBIrInactive) && !(b & kBTypeK))
        d.mode = kBlank12;
    d.backlight = (b & kBBacklight) != 0;
    m_strBattery = (a & kABatteryNormal) ? kNormal : kLow;
}

float FrameDecoder::limitKir(float k, uint8_t marker, uint8_t flagsB)
{
    const bool typeK = (flagsB & kBTypeK) != 0;
    const bool held = (flagsB & kBIrInactive) != 0;
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

void FrameDecoder::updateTexts(float k, uint8_t flagsB)
{
    const bool typeK = (flagsB & kBTypeK) != 0;
    const bool held = (flagsB & kBIrInactive) != 0;
    char buf[48];
    formatTenth(buf, m_fLcd[0], "");
    setText(m_display.value1, buf);
    formatTenth(buf, m_fLcd[1], "");
    setText(m_display.value2, buf);

    // The meter's lower display drops the last digit instead of rounding.
    double v3 = m_fLcd[2];
    if (v3 >= 0.05)
        v3 -= 0.05;
    else if (v3 <= -0.05)
        v3 += 0.05;
    formatTenth(buf, v3, "");
    setText(m_display.value3, buf);
    if (k < -1000.0f)
        m_display.value3 = kDashes;
    if (k == (typeK ? kTypeKHigh : kIrHigh))
        m_display.value3 = kOverHigh;
    if (k == (typeK ? kTypeKLow : kIrLow))
        m_display.value3 = kOverLow;
    if (!held)
        m_strLastValue3 = m_display.value3;
    else if (!typeK)
        m_display.value3 = m_strLastValue3;
}

void FrameDecoder::updateExtremes(const ChannelValues& v)
{
    for (int c = 0; c < kChannelCount; ++c) {
        if (v[c] >= m_fMax[c])
            m_fMax[c] = v[c];
        if (v[c] <= m_fMin[c] && v[c] > -100.0f)
            m_fMin[c] = v[c];
    }
    const bool f = m_run.m_bFahrenheit;
    const char* unit = f ? "F" : "C";
    char buf[48];
    for (int c = 0; c < kChannelCount; ++c) {
        const char* suffix = c == kRh ? " %RH" : unit;
        if (m_fMax[c] != -300.0f) {
            double shown = toDisplayUnit(m_fMax[c], c, f);
            if (c == kKir)
                shown = cutToTenth(shown);
            formatTenth(buf, shown, suffix);
            setText(m_minMax.max[c], buf);
        }
        if (m_fMin[c] != 6000.0f) {
            double shown = toDisplayUnit(m_fMin[c], c, f);
            if (c == kKir)
                shown = cutToTenth(shown);
            formatTenth(buf, shown, suffix);
            setText(m_minMax.min[c], buf);
        }
    }
}

bool FrameDecoder::updateAlarms(const ChannelValues& v, const AlarmLimits& limits, AlarmFlagArray& hi,
    AlarmFlagArray& low) const
{
    bool changed = false;
    for (int c = 0; c < kChannelCount; ++c) {
        double value = toDisplayUnit(v[c], c, m_run.m_bFahrenheit);
        if (c == kKir)
            value = cutToTenth(value);
        const bool h = value >= limits.high[c];
        const bool l = value <= limits.low[c] && value > -200.0;
        changed = changed || h != hi[c] || l != low[c];
        hi[c] = h;
        low[c] = l;
    }
    return changed;
}
