#pragma once
// The program's two settings files and their keys: the per-user ZB740.ini
// that receives everything the program saves, and the read-only logger
// configuration file that supplies the start values of the alarm limits and
// of the sample settings.
#include "settings/ProgramPaths.h"
#include "settings/IniFile.h"
#include "base/Channel.h"
#include "base/YScale.h"

#include <QSize>
#include <QString>
#include <array>

namespace settings {

// Start values of the real-time graph's scale, also used when a stored index
// lies outside its table.
inline constexpr int kViewGainIndex = 3;
inline constexpr int kOffsetIndex = 0;
// The Y scale dialog preselects this gain index when none is stored.
inline constexpr int kDialogGainIndex = 1;

// Path of ZB740.ini; creates its folder (one level) when missing.
QString settingsFilePath(const ProgramPaths& options);
inline IniFile settingsFile(const ProgramPaths& options) { return IniFile(settingsFilePath(options)); }
inline IniFile configFile(const ProgramPaths& options) { return IniFile(options.configFile); }

// "COM num": the port in use. A stored number outside 1..16 is not a port
// the program can name; it falls back to port 1.
int readComPort(const IniFile& settings);

// "GAIN num"/"OFFSET num" as indexes, with the given default when missing.
int readGainIndex(const IniFile& settings, int defaultIndex);
int readOffsetIndex(const IniFile& settings, int defaultIndex);
Status writeYScaleIndexes(const IniFile& settings, int gainIndex, int offsetIndex);

// The logger window's size, under its own section "LoggerWindow" ("Width",
// "Height"). Missing or unusable values (not a number, not positive) give an
// empty size: the window opens at its default size. A write changes those
// two keys only.
QSize readLoggerWindowSize(const IniFile& settings);
Status writeLoggerWindowSize(const IniFile& settings, QSize size);

// Alarm limit keys: "Alarmhi<n>Info"/"Hi<n> limit", "Alarmlow<n>Info"/"Low<n> limit".
QString alarmHighSection(int channel);
QString alarmHighKey(int channel);
QString alarmLowSection(int channel);
QString alarmLowKey(int channel);
// The alarm limits of a missing configuration file, in display units; the
// file's texts for them are their "%.1f" ("140.0", "0.0").
inline constexpr ChannelValues kDefaultHighLimits {140.0f, 140.0f, 140.0f, 2501.0f, 100.0f};
inline constexpr ChannelValues kDefaultLowLimits {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};

struct LimitTexts {
    std::array<QString, kChannelCount> high;
    std::array<QString, kChannelCount> low;
};
// The alarm limits as the logger configuration file gives them.
LimitTexts readConfiguredLimitTexts(const IniFile& config);

// The sample settings offered by the Run dialog (interval in seconds, count).
struct SampleDefaults {
    int rateSeconds = 1;
    int count = 1000;
};
SampleDefaults readSampleDefaults(const IniFile& config);

// Publishing to an MQTT broker, in ZB740.ini's section "MQTT" (keys
// "Broker", "Topic", "Credentials file", "CA file", "Discovery"); an empty
// broker is publishing off. The password is never here: only the path of
// the file that holds it.
struct MqttValues {
    QString broker;
    QString topic;
    QString credentialsFile;
    QString caFile;
    bool discovery = true;
};
inline constexpr char kMqttSection[] = "MQTT";
MqttValues readMqtt(const IniFile& settings);
// Writes every key of the section, also after a write that fails; reports
// the first failure. The file's other sections and keys stay as they are.
Status writeMqtt(const IniFile& settings, const MqttValues& values);

// Everything written to ZB740.ini when the main window closes, in order.
struct CloseValues {
    int comPort = 1;
    LimitTexts limits;
    QString sampleRateText;
    QString sampleDataText;
    int gain = 10;
    int offset = 0;
};
// Tries every key, also after a write that fails; reports the first
// failure.
Status writeAtClose(const IniFile& settings, const CloseValues& values);

} // namespace settings
