#include "CliMqtt.h"

#include "CliOutput.h"
#include "publish/MosquittoLibrary.h"
#include "publish/MqttMessages.h"
#include "recorder/Recorder.h"

namespace {

QString sentence(const QString& message)
{
    return message.endsWith(QLatin1Char('.')) ? message : message + QLatin1Char('.');
}

} // namespace

const char cli::kMqttUsage[] =
    "Publishing to an MQTT broker (see the manual page for the topics):\n"
    "  --mqtt URL           publish each sample, the alarm flags, the events\n"
    "                       and whether the recording is online to the\n"
    "                       broker at mqtt://host[:port] or\n"
    "                       mqtts://host[:port] (TLS)\n"
    "  --mqtt-topic PREFIX  the topics' prefix (default zb740/METER, METER\n"
    "                       the port's stable name or simulated)\n"
    "  --mqtt-credentials FILE\n"
    "                       user name and password, one a line\n"
    "  --mqtt-cafile FILE   certificate authorities for mqtts:// (default:\n"
    "                       the system's)\n"
    "  --no-discovery       no Home Assistant discovery configs\n";

void cli::addMqttOptions(CommandLine& line)
{
    const int once = CommandLine::Once | CommandLine::NotEmpty;
    line.addValue(QStringLiteral("mqtt"), QStringLiteral("URL"), once);
    line.addValue(QStringLiteral("mqtt-topic"), QStringLiteral("PREFIX"), once);
    line.addValue(QStringLiteral("mqtt-credentials"), QStringLiteral("FILE"), once);
    line.addValue(QStringLiteral("mqtt-cafile"), QStringLiteral("FILE"), once);
    line.addSwitch(QStringLiteral("no-discovery"));
}

int cli::readMqttOptions(const CommandLine& line, MqttCliOptions& options)
{
    const auto url = line.value(QStringLiteral("mqtt"));
    options.enabled = url.has_value();
    options.settings.url = url.value_or(QString());
    options.settings.topic = line.value(QStringLiteral("mqtt-topic")).value_or(QString());
    options.settings.credentialsFile = line.value(QStringLiteral("mqtt-credentials")).value_or(QString());
    options.settings.caFile = line.value(QStringLiteral("mqtt-cafile")).value_or(QString());
    options.settings.discovery = !line.isSet(QStringLiteral("no-discovery"));
    if (!options.enabled) {
        for (const char* name : {"mqtt-topic", "mqtt-credentials", "mqtt-cafile", "no-discovery"}) {
            if (line.isSet(QLatin1String(name)))
                return line.usageError(QStringLiteral("--%1 goes with --mqtt").arg(QLatin1String(name)));
        }
    }
    return -1;
}

int cli::checkMqttLibrary(const MqttCliOptions& options)
{
    if (!options.enabled)
        return -1;
    const Status loaded = MosquittoLibrary::shared().status();
    if (loaded.ok())
        return -1;
    return fail(QStringLiteral("--mqtt"), loaded.message() + QStringLiteral("; nothing recorded"));
}

QString cli::meterIdFor(bool simulated, const QString& device)
{
    if (simulated)
        return QLatin1String(MqttMessages::kSimulatedId);
    return MqttMessages::meterIdForDevice(device, QStringLiteral("/dev/serial/by-id"));
}

cli::RecordPublishing::RecordPublishing(const MqttCliOptions& options, Recorder& recorder, const QString& meterId,
                                        std::function<QString()> partPath, Say say, Warn warn)
    : m_options(options)
    , m_recorder(recorder)
    , m_meterId(meterId)
    , m_partPath(std::move(partPath))
    , m_say(std::move(say))
    , m_warn(std::move(warn))
{
    if (!m_options.enabled)
        return;
    // Connected before the recording's own handlers: a sample reaches the
    // publisher before the recording may end its part.
    if (m_partPath) {
        connect(&m_recorder, &Recorder::readingDecoded, this, [this](const ReadingUpdate& r) {
            if (r.runStarted && m_recorder.run().m_bRunning)
                beginPart(m_partPath());
        });
    }
    connect(&m_recorder, &Recorder::sampleCommitted, this, [this](int count) { m_publisher.committed(count); });
    connect(&m_recorder, &Recorder::alarmChanged, this,
            [this](const AlarmChange& c) { m_publisher.alarmChanged(c.channel, int(c.bound), c.on); });
    connect(&m_publisher, &MqttPublisher::note, this, [this](const QString& line) { m_say(line); });
    connect(&m_publisher, &MqttPublisher::problem, this,
            [this](const QString& where, const QString& message) { m_warn(where, sentence(message)); });
}

void cli::RecordPublishing::start()
{
    if (!m_options.enabled)
        return;
    if (const Status s = m_publisher.start(m_options.settings, m_meterId); !s.ok())
        m_warn(QStringLiteral("--mqtt"),
               sentence(s.message()) + QStringLiteral(" Recording goes on without publishing."));
}

void cli::RecordPublishing::beginPart(const QString& dataPath)
{
    m_publisher.beginPart(dataPath, [this] { return m_recorder.view(); });
}

void cli::RecordPublishing::publishEvent(const MonitorEvent& e)
{
    if (m_options.enabled)
        m_publisher.publishEvent(MonitorEvents::json(e));
}

void cli::RecordPublishing::partEnded(const QString& journalPath) { m_publisher.partEnded(journalPath); }

void cli::RecordPublishing::stop() { m_publisher.stop(); }
