#pragma once
// Publishing a recording to an MQTT broker from zb740-cli: the options
// (read by a function of their own, for every command that records) and
// the object that ties a publisher to a recorder. A broker that cannot be
// reached, refuses the credentials or fails TLS, and an address that is no
// address, are each said once on standard error; the recording goes on
// and its exit status does not change. Without libmosquitto, which is
// loaded only for --mqtt, nothing is recorded (checkMqttLibrary).
#include "base/CommandLine.h"
#include "data/MonitorEvent.h"
#include "publish/MqttPublisher.h"

#include <QObject>
#include <QString>
#include <functional>

class Recorder;

namespace cli {

struct MqttCliOptions {
    bool enabled = false; // --mqtt was given
    MqttSettings settings;
};

// The options' lines of a command's help.
extern const char kMqttUsage[];

// Adds --mqtt URL, --mqtt-topic PREFIX, --mqtt-credentials FILE,
// --mqtt-cafile FILE and --no-discovery to line.
void addMqttOptions(CommandLine& line);
// Reads them after line.process(); -1 to go on, else the exit status of a
// usage error (an option of publishing without --mqtt). The address, the
// topic and the files are checked when publishing starts.
int readMqttOptions(const CommandLine& line, MqttCliOptions& options);

// With --mqtt, loads libmosquitto before anything is recorded; -1 to go
// on, else the exit status (1) after saying why it cannot be loaded.
int checkMqttLibrary(const MqttCliOptions& options);

// The meter's id for the default topic and the client id: "simulated", or
// the stable name of the serial device.
QString meterIdFor(bool simulated, const QString& device);

// Publishes what a recorder records: each committed sample of each part,
// the alarm flags, the events. Its messages go to say (a line) and warn (a
// line about the broker at an address).
class RecordPublishing : public QObject {
public:
    using Say = std::function<void(const QString& line)>;
    using Warn = std::function<void(const QString& where, const QString& message)>;
    // A part begins with each run the recorder starts, to be saved as
    // partPath(); without partPath, the owner begins the parts
    // (beginPart).
    RecordPublishing(const MqttCliOptions& options, Recorder& recorder, const QString& meterId,
                     std::function<QString()> partPath, Say say, Warn warn);

    // Begins connecting; a setting that cannot be used is said once and
    // nothing is published.
    void start();
    // The current part ended; its journal (when it was not saved) is at
    // journalPath.
    void partEnded(const QString& journalPath);
    // A part begins with the run just started, to be saved as dataPath.
    void beginPart(const QString& dataPath);
    // The events go to PREFIX/event; those not acknowledged are read back
    // from log (where each event is logged before event() is called).
    void eventsKeptIn(const EventLog* log) { m_publisher.eventsKeptIn(log); }
    // One event of the recording to PREFIX/event, in its JSON form.
    void publishEvent(const MonitorEvent& e);
    // What is not acknowledged yet goes (for a while), then "offline".
    void stop();

    MqttPublisher& publisher() { return m_publisher; }

private:
    MqttCliOptions m_options;
    Recorder& m_recorder;
    QString m_meterId;
    std::function<QString()> m_partPath;
    Say m_say;
    Warn m_warn;
    MqttPublisher m_publisher;
};

} // namespace cli
