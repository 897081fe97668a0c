#pragma once
// What the recorder publishes, as topics and JSON (UTF-8):
//
//   PREFIX/state          every committed sample, QoS 1: the JSON sample
//                         form of the exports with the data file's name,
//                         {"time":"2026-12-11T02:00:07+01:00","air":22.5,
//                          "wet_bulb":16.3,"dew_point":12.5,"k_ir":29.0,
//                          "rh":53.1,"unit":"C","sample":17,
//                          "file":"room-20261211-020000.AsmDat"}
//   PREFIX/event          one event of the recording (a JSON object), QoS 1
//   PREFIX/availability   "online" (retained) while recording; "offline"
//                         (retained) by the broker's last will when the
//                         process dies, and on a clean stop
//   PREFIX/alarm/CHANNEL_BOUND
//                         "ON" or "OFF" (retained), each alarm flag
//                         (air_high, air_low, ..., rh_low)
//
// and, for Home Assistant's discovery, retained configs of the meter's
// five sensors (temperatures with device class temperature in the run's
// unit, humidity in %) and of a binary sensor per alarm flag, all of one
// device (model ZB740, named after the meter), with the availability topic:
//   homeassistant/sensor/NODE/CHANNEL/config
//   homeassistant/binary_sensor/NODE/CHANNEL_BOUND_alarm/config
// PREFIX defaults to zb740/METER; METER is the meter's id ("simulated", or
// the stable name of its serial port) and NODE that id in the letters a
// discovery topic takes.
#include "base/Status.h"
#include "data/RunView.h"
#include "data/SampleExport.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <vector>

namespace MqttMessages {

// The id of the meter behind a serial device: the name of its link under
// byIdFolder (/dev/serial/by-id), which stays the same whichever ttyUSB
// number the system gives it, or else the device's own name (ttyUSB0).
QString meterIdForDevice(const QString& device, const QString& byIdFolder);
// The id of the simulated meter.
inline constexpr char kSimulatedId[] = "simulated";

// zb740/METER, with the characters a topic level may not hold (+ # /)
// as '_'.
QString defaultTopic(const QString& meterId);
// A topic prefix the user gives: not empty, without the wildcards + and #,
// without an empty level (a leading, trailing or double '/').
[[nodiscard]] Status checkTopicPrefix(const QString& prefix);
// The meter id in the characters of a discovery topic and of Home
// Assistant's ids: letters, digits, '_' and '-'; anything else is '_'.
QString nodeId(const QString& meterId);
// The client id, the same at every connection of the same meter, so the
// broker knows it again: zb740-NODE.
QString clientId(const QString& meterId);

QByteArray stateTopic(const QString& prefix);
QByteArray eventTopic(const QString& prefix);
QByteArray availabilityTopic(const QString& prefix);
QByteArray alarmTopic(const QString& prefix, int channel, int bound);
inline constexpr char kOnline[] = "online";
inline constexpr char kOffline[] = "offline";

// text as a JSON string literal, quotes included (UTF-8; '"', '\' and
// control characters escaped).
QByteArray jsonString(const QString& text);

// Room for a state message whose file name takes at most kMaxFileJson
// bytes as a JSON string.
inline constexpr size_t kMaxFileJson = 1024;
inline constexpr size_t kMaxStateLength = SampleExport::kMaxLineLength + kMaxFileJson + 16;
// Sample `sample` of run (0-based) as its state message into out (room for
// kMaxStateLength), with fileJson (a JSON string, see jsonString) as its
// "file". Returns the length. Allocates nothing.
size_t stateInto(char* out, const RunView& run, int sample, const QByteArray& fileJson);

struct Retained {
    QByteArray topic;
    QByteArray payload;
};
// The discovery configs for the meter whose messages go under prefix, its
// temperatures in degrees F or C.
std::vector<Retained> discoveryConfigs(const QString& meterId, const QString& prefix, bool fahrenheit);

} // namespace MqttMessages
