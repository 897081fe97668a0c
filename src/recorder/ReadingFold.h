#pragma once
// Folds the meter's readings into the run, one valid frame at a time: the
// run's start step and unit, the store slot being filled, the texts of the
// meter's LCD and the battery, the running extremes and their texts, and
// the alarm flags. The reading itself is a value (meter::parseFrame); what
// depends on the frames before it lives here: the last K/IR reading and
// its zero fix, the last lower-display text, the extremes (never reset
// while the program runs) and the texts as they stood.
//
// Nothing here allocates per frame: the texts get their buffers once and
// are rewritten in place, and the indicator texts are shared constants.
#include "data/AlarmLimitSet.h"
#include "data/ReadingStore.h"
#include "link/MeterProtocol.h"
#include "link/MeterTypes.h"
#include "run/RunState.h"

#include <cstdint>

// What folding one reading changed. A value of fixed size, so signalling
// it costs nothing.
struct ReadingUpdate {
    meter::MeterReading reading;  // as the meter sent it
    // As stored: degrees C and percent; K/IR after its range limits, the
    // infrared hold and the zero fix.
    ChannelValues values {};
    int slot = 0;              // the store slot they were written to
    int64_t time = 0;          // when the frame came, seconds since 1970
    bool runStarted = false;   // the run started on this frame: redraw the views
    bool lcdChanged = false;   // an LCD text or the backlight differs from the previous frame
    bool alarmsChanged = false; // a high or low alarm flag changed
};

// One alarm flag going on or off.
struct AlarmChange {
    int channel = 0;
    AlarmLimitSet::Bound bound = AlarmLimitSet::High;
    bool on = false;
    int64_t time = 0;  // seconds since 1970
};

class ReadingFold {
public:
    ReadingFold(RunState& run, LiveSeries& live);

    // A valid frame's reading, received at `now`: runs the run's start
    // step, writes the slot, updates texts, extremes and alarm flags
    // (compared with `limits`, in display units) and ends the run at its
    // sample limit.
    ReadingUpdate fold(const meter::MeterReading& reading, int64_t now, const AlarmLimits& limits);
    // A receive event without a valid frame: only the run-end check.
    void foldInvalid() { m_run.checkRunEnd(); }
    // The meter fell silent: every alarm goes off.
    void clearAlarms() { m_readout.alarms = {}; }

    const MeterReadout& readout() const { return m_readout; }

private:
    // These two return whether an LCD text or the backlight changed.
    bool applyIndicators(uint8_t flagsA, uint8_t flagsB);
    bool updateTexts(const meter::MeterReading& r, float k);
    float limitKir(float k, uint8_t marker, bool typeK, bool held);
    void updateExtremes(const ChannelValues& v, bool fahrenheit);
    bool updateAlarms(const ChannelValues& v, bool fahrenheit, const AlarmLimits& limits);

    RunState& m_run;
    LiveSeries& m_live;
    MeterReadout m_readout;

    float m_fLastKir = kKirNoReading;
    float m_fLastNonZeroKir = 0.0f;
    uint8_t m_nZeroFix = 2;
    // Room for any formatted reading with its unit, and the terminator.
    static constexpr int kTextBufferSize = 64;
    char m_cLastValue3[kTextBufferSize] = {};
    float m_fMax[kChannelCount] = {-300.0f, -300.0f, -300.0f, -300.0f, -300.0f};
    float m_fMin[kChannelCount] = {6000.0f, 6000.0f, 6000.0f, 6000.0f, 6000.0f};
};
