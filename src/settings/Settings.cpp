#include "settings/Settings.h"

#include "run/RunState.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <utility>
#include <vector>

ProgramPaths ProgramPaths::defaults()
{
    ProgramPaths o;
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    o.settingsDir = QDir(docs.isEmpty() ? QDir::homePath() : docs).filePath(QStringLiteral("ZB740"));
    o.homeDir = QDir::homePath();
#ifdef Q_OS_WIN
    const QString windir = qEnvironmentVariable("WINDIR", QStringLiteral("C:/Windows"));
    o.configFile = QDir(windir).filePath(QStringLiteral("KM4471config.ini"));
#else
    o.configFile = QStringLiteral("/etc/KM4471config.ini");
#endif
    return o;
}

namespace settings {

QString settingsFilePath(const ProgramPaths& options)
{
    QDir().mkdir(options.settingsDir); // one level; failure shows later as a failed write
    return QDir(options.settingsDir).filePath(QStringLiteral("ZB740.ini"));
}

int readComPort(const IniFile& settings)
{
    const int port = settings.readInt(QStringLiteral("COMInfo"), QStringLiteral("COM num"), 1);
    return port >= 1 && port <= 16 ? port : 1;
}

QSize readLoggerWindowSize(const IniFile& settings)
{
    const QString section = QStringLiteral("LoggerWindow");
    const int width = settings.readInt(section, QStringLiteral("Width"), 0);
    const int height = settings.readInt(section, QStringLiteral("Height"), 0);
    return width > 0 && height > 0 ? QSize(width, height) : QSize();
}

Status writeLoggerWindowSize(const IniFile& settings, QSize size)
{
    const QString section = QStringLiteral("LoggerWindow");
    const Status w = settings.writeText(section, QStringLiteral("Width"), QString::number(size.width()));
    const Status h = settings.writeText(section, QStringLiteral("Height"), QString::number(size.height()));
    return w.ok() ? h : w;
}

int readGainIndex(const IniFile& settings, int defaultIndex)
{
    return settings.readInt(QStringLiteral("YGAINInfo"), QStringLiteral("GAIN num"), defaultIndex);
}

int readOffsetIndex(const IniFile& settings, int defaultIndex)
{
    return settings.readInt(QStringLiteral("YOFFSETInfo"), QStringLiteral("OFFSET num"), defaultIndex);
}

Status writeYScaleIndexes(const IniFile& settings, int gainIndex, int offsetIndex)
{
    if (Status s = settings.writeText(QStringLiteral("YGAINInfo"), QStringLiteral("GAIN num"), QString::number(gainIndex));
        !s.ok())
        return s;
    return settings.writeText(QStringLiteral("YOFFSETInfo"), QStringLiteral("OFFSET num"), QString::number(offsetIndex));
}

QString alarmHighSection(int channel) { return QStringLiteral("Alarmhi%1Info").arg(channel + 1); }
QString alarmHighKey(int channel) { return QStringLiteral("Hi%1 limit").arg(channel + 1); }
QString alarmLowSection(int channel) { return QStringLiteral("Alarmlow%1Info").arg(channel + 1); }
QString alarmLowKey(int channel) { return QStringLiteral("Low%1 limit").arg(channel + 1); }

LimitTexts readConfiguredLimitTexts(const IniFile& config)
{
    LimitTexts t;
    for (int c = 0; c < kChannelCount; ++c) {
        // QString::number writes a dot in every locale.
        t.high[c] = config.readText(alarmHighSection(c), alarmHighKey(c),
                                    QString::number(double(kDefaultHighLimits[size_t(c)]), 'f', 1));
        t.low[c] = config.readText(alarmLowSection(c), alarmLowKey(c),
                                   QString::number(double(kDefaultLowLimits[size_t(c)]), 'f', 1));
    }
    return t;
}

SampleDefaults readSampleDefaults(const IniFile& config)
{
    SampleDefaults d;
    // Any integer can stand in the file; an interval is at most what a run
    // can hold in milliseconds.
    d.rateSeconds = std::min(config.readInt(QStringLiteral("SamprateInfo"), QStringLiteral("Samprate"), 1),
                             RunState::kMaxIntervalSeconds);
    d.count = config.readInt(QStringLiteral("SampdataInfo"), QStringLiteral("Sampdata"), 1000);
    return d;
}

Status writeAtClose(const IniFile& settings, const CloseValues& v)
{
    struct Entry {
        QString section, key, value;
    };
    std::vector<Entry> entries;
    entries.push_back({QStringLiteral("COMInfo"), QStringLiteral("COM num"), QString::number(v.comPort)});
    for (int c = 0; c < kChannelCount; ++c)
        entries.push_back({alarmHighSection(c), alarmHighKey(c), v.limits.high[c]});
    for (int c = 0; c < kChannelCount; ++c)
        entries.push_back({alarmLowSection(c), alarmLowKey(c), v.limits.low[c]});
    entries.push_back({QStringLiteral("SamprateInfo"), QStringLiteral("Samprate"), v.sampleRateText});
    entries.push_back({QStringLiteral("SampdataInfo"), QStringLiteral("Sampdata"), v.sampleDataText});
    entries.push_back({QStringLiteral("GainInfo"), QStringLiteral("Gain"), QString::number(v.gain)});
    entries.push_back({QStringLiteral("OffsetInfo"), QStringLiteral("Offset"), QString::number(v.offset)});
    // Every key is tried: one that cannot be written (its value too long
    // for the space left, say) does not keep the others from their file.
    Status first = Status::success();
    for (const Entry& e : entries) {
        if (Status s = settings.writeText(e.section, e.key, e.value); !s.ok() && first.ok())
            first = s.prefixed(QStringLiteral("Could not write \"%1\": ").arg(settings.path()));
    }
    return first;
}

MqttValues readMqtt(const IniFile& settings)
{
    const QString section = QLatin1String(kMqttSection);
    MqttValues v;
    v.broker = settings.readText(section, QStringLiteral("Broker"), QString());
    v.topic = settings.readText(section, QStringLiteral("Topic"), QString());
    v.credentialsFile = settings.readText(section, QStringLiteral("Credentials file"), QString());
    v.caFile = settings.readText(section, QStringLiteral("CA file"), QString());
    v.discovery = settings.readInt(section, QStringLiteral("Discovery"), 1) != 0;
    return v;
}

Status writeMqtt(const IniFile& settings, const MqttValues& values)
{
    const QString section = QLatin1String(kMqttSection);
    const std::pair<const char*, QString> keys[] = {
        {"Broker", values.broker},
        {"Topic", values.topic},
        {"Credentials file", values.credentialsFile},
        {"CA file", values.caFile},
        {"Discovery", values.discovery ? QStringLiteral("1") : QStringLiteral("0")},
    };
    Status first;
    for (const auto& [key, value] : keys) {
        if (Status s = settings.writeText(section, QLatin1String(key), value); !s.ok() && first.ok())
            first = s;
    }
    return first;
}

} // namespace settings
