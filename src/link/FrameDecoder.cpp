#include "link/FrameDecoder.h"

#include "link/MeterProtocol.h"

#include <QLatin1StringView>
#include <algorithm>
#include <cstdio>
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
const QString kDashes = QStringLiteral("----");
const QString kOverHigh = QStringLiteral("+OL");
const QString kOverLow = QStringLiteral("-OL");

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

template <size_t N>
void formatTenth(char (&buf)[N], double v, const char* suffix)
{
    std::snprintf(buf, sizeof buf, "%.1f%s", v, suffix);
}

} // namespace

FrameDecoder::FrameDecoder(RunState& run, LiveSeries& live) : m_run(run), m_live(live)
{
    // The texts that follow the readings get their buffers once, here.
    for (QString* s : {&m_display.value1, &m_display.value2, &m_display.value3})
        s->reserve(16);
    for (int c = 0; c < kChannelCount; ++c) {
        m_minMax.max[c].reserve(24);
        m_minMax.min[c].reserve(24);
    }
}

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
    result.runStarted = m_run.onValidFrame(now);

    const uint8_t flagsA = f[kOffFlagsA];
    const uint8_t flagsB = f[kOffFlagsB];
    const bool fahrenheit = (flagsB & kBFahrenheit) != 0;
    m_run.m_bFahrenheit = fahrenheit;
    bool lcdChanged = shareText(m_display.unitMark, fahrenheit ? kUnitF : kUnitC);
    shareText(m_run.m_strUnit, m_display.unitMark);

    lcdChanged |= applyIndicators(flagsA, flagsB);

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

    lcdChanged |= updateTexts(k, flagsB);
    updateExtremes(v);
    result.alarmsChanged = updateAlarms(v, limits, hiAlarm, lowAlarm);
    result.lcdChanged = lcdChanged;

    m_run.checkRunEnd();
    return result;
}

bool FrameDecoder::applyIndicators(uint8_t a, uint8_t b)
{
    DisplayTexts& d = m_display;
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
    shareText(m_strBattery, (a & kABatteryNormal) ? kNormal : kLow);
    return changed;
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

bool FrameDecoder::updateTexts(float k, uint8_t flagsB)
{
    const bool typeK = (flagsB & kBTypeK) != 0;
    const bool held = (flagsB & kBIrInactive) != 0;
    char buf[kTextBufferSize];
    formatTenth(buf, m_fLcd[0], "");
    bool changed = writeText(m_display.value1, buf);
    formatTenth(buf, m_fLcd[1], "");
    changed |= writeText(m_display.value2, buf);

    // The meter's lower display drops the last digit instead of rounding.
    double v3 = m_fLcd[2];
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
    changed |= writeText(m_display.value3, buf);
    return changed;
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
    char buf[kTextBufferSize];
    for (int c = 0; c < kChannelCount; ++c) {
        const char* suffix = c == kRh ? " %RH" : unit;
        if (m_fMax[c] != -300.0f) {
            const float display = toDisplayUnit(m_fMax[c], c, f);
            const double shown = c == kKir ? cutToTenth(display) : display;
            formatTenth(buf, shown, suffix);
            writeText(m_minMax.max[c], buf);
        }
        if (m_fMin[c] != 6000.0f) {
            const float display = toDisplayUnit(m_fMin[c], c, f);
            const double shown = c == kKir ? cutToTenth(display) : display;
            formatTenth(buf, shown, suffix);
            writeText(m_minMax.min[c], buf);
        }
    }
}

bool FrameDecoder::updateAlarms(const ChannelValues& v, const AlarmLimits& limits, AlarmFlagArray& hi,
    AlarmFlagArray& low) const
{
    bool changed = false;
    for (int c = 0; c < kChannelCount; ++c) {
        const float display = toDisplayUnit(v[c], c, m_run.m_bFahrenheit);
        const double value = c == kKir ? cutToTenth(display) : display;
        const bool h = value >= limits.high[c];
        const bool l = value <= limits.low[c] && value > -200.0;
        changed = changed || h != hi[c] || l != low[c];
        hi[c] = h;
        low[c] = l;
    }
    return changed;
}
