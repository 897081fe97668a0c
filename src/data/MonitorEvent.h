#pragma once
// What happens to a recording that someone watching it wants to know:
// alarm changes, the link going and coming back, a data file completed,
// journals recovered, the recording starting and stopping, the reason a
// run ended, and a command for an alarm that failed. One value type with
// one JSON form, written to the events log beside the data, shown in the
// window's event list and on standard error, and handed to whoever passes
// events on.
//
// JSON form, one object a line, the time first with its UTC offset as in
// the JSON sample form (SampleExport):
//   {"time":"2026-12-11T02:00:07+01:00","event":"alarm","channel":"air",
//    "bound":"high","state":"on","value":31.2,"limit":30.0,"unit":"C"}
//   {"time":...,"event":"link_lost"}          {"time":...,"event":"link_back"}
//   {"time":...,"event":"file","file":"room-20261211-000000.AsmDat",
//    "samples":10000,"reason":"count"}        (count, midnight, dropout, stop)
//   {"time":...,"event":"recovered","file":"...","samples":17}
//   {"time":...,"event":"start"}              {"time":...,"event":"stop","samples":123}
//   {"time":...,"event":"run_ended","reason":"link","samples":17}
//                                              (count, stop, power, link)
//   {"time":...,"event":"command_failed","message":"..."}
// Channel keys are those of the JSON sample form (air, wet_bulb, dew_point,
// k_ir, rh); values are in the unit given, with one decimal; a value that
// is not known is null.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <limits>

struct MonitorEvent {
    enum class Kind { Start, Stop, Alarm, LinkLost, LinkBack, File, Recovered, RunEnded, CommandFailed };
    // Why a data file was completed, or why a run ended.
    enum class Reason { None, Count, Midnight, Dropout, Stop, Power, Link };

    Kind kind = Kind::Start;
    int64_t time = 0; // seconds since 1970
    // Alarm: the channel, its bound (0 high, 1 low as AlarmLimitSet), on or
    // off, the reading and the limit in the display unit.
    int channel = 0;
    int bound = 0;
    bool on = false;
    float value = std::numeric_limits<float>::quiet_NaN();
    float limit = std::numeric_limits<float>::quiet_NaN();
    bool fahrenheit = false;
    // File, Recovered: the data file's name (no folder); Stop, RunEnded,
    // File, Recovered: samples.
    QString file;
    int samples = 0;
    Reason reason = Reason::None;
    // CommandFailed: what went wrong.
    QString message;

    static MonitorEvent alarm(int64_t time, int channel, int bound, bool on, float value, float limit,
                              bool fahrenheit);
    static MonitorEvent simple(Kind kind, int64_t time);
    static MonitorEvent ofFile(Kind kind, int64_t time, const QString& name, int samples, Reason reason);
};

namespace MonitorEvents {

// "alarm", "link_lost", ...
const char* kindName(MonitorEvent::Kind kind);
// "count", "midnight", ... ("" for None).
const char* reasonName(MonitorEvent::Reason reason);
// "high" or "low".
const char* boundName(int bound);

// The event as its JSON line, without the line end; utc writes the time
// in UTC with a final Z.
QByteArray json(const MonitorEvent& event, bool utc = false);

// The event read back from its JSON line (false when it is not one).
bool fromJson(const QByteArray& line, MonitorEvent& event);

// What happened, in words, without the time ("AIR above its high limit of
// 30.0 °C: 31.2 °C", "Link lost: the meter stopped answering").
QString describe(const MonitorEvent& event);

// A value with one decimal and its unit ("31.2 °C", "65.0 %").
QString valueText(float value, int channel, bool fahrenheit);

} // namespace MonitorEvents
