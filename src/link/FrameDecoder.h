#pragma once
// Decodes the meter's replies. Every valid frame updates, in one pass: the
// slot being filled in the live series, the run state, the texts mirroring
// the meter's LCD, the battery text, the running extremes and the alarm
// flags. The decoder keeps what must outlive a frame (last K/IR reading,
// zero fix, extremes, previous LCD texts) as its own members.
#include "run/RunState.h"
#include "data/ReadingStore.h"
#include "link/MeterTypes.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

// What one received buffer changed, so the widgets repaint only that.
struct DecodeResult {
    bool valid = false;
    bool runStarted = false;    // the run started on this frame: redraw the views
    bool lcdChanged = false;    // an LCD text or the backlight differs from the previous frame
    bool alarmsChanged = false; // a high or low alarm flag changed
};

using AlarmFlagArray = bool[kChannelCount];

class FrameDecoder {
public:
    FrameDecoder(RunState& run, LiveSeries& live);

    // Decodes the first frame of `buffer`; bytes after it are dropped.
    // Buffers that are too short or carry a wrong header are not decoded:
    // only the run-end check runs. `now` is seconds since 1970.
    DecodeResult decode(const QByteArray& buffer, int64_t now, const AlarmLimits& limits, AlarmFlagArray& hiAlarm,
        AlarmFlagArray& lowAlarm);

    const DisplayTexts& displayTexts() const { return m_display; }
    const QString& batteryText() const { return m_strBattery; }
    const MinMaxTexts& minMaxTexts() const { return m_minMax; }
    // The slot the last valid frame was written to.
    int lastSlot() const { return m_nLastSlot; }

    // Running extremes in degrees C (never reset while the program runs).
    float maxValue(int channel) const { return m_fMax[channel]; }
    float minValue(int channel) const { return m_fMin[channel]; }

private:
    // These two return whether an LCD text or the backlight changed.
    bool applyIndicators(uint8_t flagsA, uint8_t flagsB);
    float limitKir(float k, uint8_t marker, uint8_t flagsB);
    bool updateTexts(float k, uint8_t flagsB);
    void updateExtremes(const ChannelValues& v);
    bool updateAlarms(const ChannelValues& v, const AlarmLimits& limits, AlarmFlagArray& hi, AlarmFlagArray& low) const;

    RunState& m_run;
    LiveSeries& m_live;

    DisplayTexts m_display;
    QString m_strBattery;
    MinMaxTexts m_minMax;
    int m_nLastSlot = 0;

    float m_fLastKir = kKirNoReading;
    float m_fLastNonZeroKir = 0.0f;
    uint8_t m_nZeroFix = 2;
    // Room for any formatted reading ("%.1f" of a float, with its unit).
    static constexpr int kTextBufferSize = 48;
    char m_cLastValue3[kTextBufferSize] = {};
    float m_fLcd[3] = {0.0f, 0.0f, 0.0f};
    float m_fMax[kChannelCount] = {-300.0f, -300.0f, -300.0f, -300.0f, -300.0f};
    float m_fMin[kChannelCount] = {6000.0f, 6000.0f, 6000.0f, 6000.0f, 6000.0f};
};
