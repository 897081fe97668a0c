#pragma once
// The options of zb740-cli record, shared by the recording of one run (or
// a few parts) and the continuous recording into rotating files.
#include "CliMqtt.h"
#include "data/AlarmLimitSet.h"
#include "data/MonitorEvent.h"
#include "link/SimulatedMeter.h"

#include <QString>

struct RecordOptions {
    QString device;
    bool simulate = false;
    int interval = 1;
    int count = 1000;
    QString output;
    QString jsonl; // the JSON lines stream, "-" for standard output; empty: none
    bool utc = false;
    SimulatedMeterOptions meter;
    bool meterFaults = false;
    // Alarms: the limits (none raise an alarm unless given), and the
    // command run for each change.
    AlarmLimits limits = noAlarmLimits();
    bool limitsGiven = false;
    QString onAlarm;
    // --continuous: -o DIR/PREFIX, files of fileSamples, a new one at
    // midnight with daily.
    bool continuous = false;
    int fileSamples = 10000;
    bool daily = false;
    // Publishing to an MQTT broker (--mqtt and its companions).
    cli::MqttCliOptions mqtt;
};

namespace cli {
// An event as a line of its own on standard error: its time with the UTC
// offset, and what happened.
QString eventLine(const MonitorEvent& event);

// The continuous recording from device (the simulated meter's, or the
// port given), until SIGINT or SIGTERM; the exit status.
int runContinuousRecording(const RecordOptions& options, const QString& device);
} // namespace cli
