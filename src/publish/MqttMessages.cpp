#include "publish/MqttMessages.h"

#include "base/Channel.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kSensorNames[kChannelCount] = {"Air temperature", "Wet-bulb temperature", "Dew point",
                                                     "K/IR temperature", "Relative humidity"};
constexpr const char* kAlarmNames[kChannelCount] = {"Air", "Wet-bulb", "Dew point", "K/IR", "Humidity"};
constexpr const char* kBoundKeys[2] = {"high", "low"};

QString sanitized(const QString& text, bool topicLevel)
{
    QString out = text;
    for (QChar& c : out) {
        if (topicLevel) {
            if (c == QLatin1Char('+') || c == QLatin1Char('#') || c == QLatin1Char('/') || c.unicode() < 0x20)
                c = QLatin1Char('_');
        } else if (!((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                     || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_')
                     || c == QLatin1Char('-'))) {
            c = QLatin1Char('_');
        }
    }
    return out.isEmpty() ? QStringLiteral("meter") : out;
}

QByteArray compact(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

} // namespace

QString MqttMessages::meterIdForDevice(const QString& device, const QString& byIdFolder)
{
    const QFileInfo given(device);
    const QString folder = QDir::cleanPath(byIdFolder);
    if (QDir::cleanPath(given.absolutePath()) == folder)
        return given.fileName();
    const QString target = given.canonicalFilePath();
    if (!target.isEmpty()) {
        const QFileInfoList links = QDir(folder).entryInfoList(QDir::System | QDir::Files, QDir::Name);
        for (const QFileInfo& link : links) {
            if (link.isSymLink() && link.canonicalFilePath() == target)
                return link.fileName();
        }
    }
    return given.fileName();
}

QString MqttMessages::defaultTopic(const QString& meterId)
{
    return QStringLiteral("zb740/") + sanitized(meterId, true);
}

Status MqttMessages::checkTopicPrefix(const QString& prefix)
{
    auto bad = [&](const QString& why) {
        return Status::failure(Status::Code::BadSetting, QStringLiteral("'%1' is no topic prefix: %2").arg(prefix, why));
    };
    if (prefix.isEmpty())
        return bad(QStringLiteral("it is empty"));
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
        return bad(QStringLiteral("+ and # are wildcards, not names"));
    if (prefix.startsWith(QLatin1Char('/')) || prefix.endsWith(QLatin1Char('/'))
        || prefix.contains(QStringLiteral("//")))
        return bad(QStringLiteral("it has an empty level (a '/' at an end, or two together)"));
    if (prefix.toUtf8().size() > 1024)
        return bad(QStringLiteral("longer than 1024 bytes"));
    for (QChar c : prefix) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return bad(QStringLiteral("it holds a control character"));
    }
    return Status::success();
}

QString MqttMessages::nodeId(const QString& meterId) { return sanitized(meterId, false); }

QString MqttMessages::clientId(const QString& meterId) { return QStringLiteral("zb740-") + nodeId(meterId); }

QByteArray MqttMessages::stateTopic(const QString& prefix) { return (prefix + QStringLiteral("/state")).toUtf8(); }
QByteArray MqttMessages::eventTopic(const QString& prefix) { return (prefix + QStringLiteral("/event")).toUtf8(); }
QByteArray MqttMessages::availabilityTopic(const QString& prefix)
{
    return (prefix + QStringLiteral("/availability")).toUtf8();
}
QByteArray MqttMessages::alarmTopic(const QString& prefix, int channel, int bound)
{
    return (prefix + QStringLiteral("/alarm/") + QLatin1String(SampleExport::channelKey(channel)) + QLatin1Char('_')
            + QLatin1String(kBoundKeys[bound & 1]))
        .toUtf8();
}

QByteArray MqttMessages::jsonString(const QString& text)
{
    QByteArray out("\"");
    const QByteArray utf8 = text.toUtf8();
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            out += escaped;
        } else {
            out += char(c);
        }
    }
    out += '"';
    return out;
}

size_t MqttMessages::stateInto(char* out, const RunView& run, int sample, const QByteArray& fileJson)
{
    size_t n = SampleExport::jsonLine(out, run, sample, false);
    // The line ends "}\n": the file goes in before the brace.
    if (n >= 2)
        n -= 2;
    auto put = [&](const char* text, size_t len) {
        const size_t room = kMaxStateLength - n;
        const size_t take = len < room ? len : room;
        std::memcpy(out + n, text, take);
        n += take;
    };
    put(",\"file\":", 8);
    const size_t fileLength = size_t(fileJson.size()) < kMaxFileJson ? size_t(fileJson.size()) : 0;
    if (fileLength > 0)
        put(fileJson.constData(), fileLength);
    else
        put("null", 4);
    put("}", 1);
    return n;
}

std::vector<MqttMessages::Retained> MqttMessages::discoveryConfigs(const QString& meterId, const QString& prefix,
                                                                   bool fahrenheit)
{
    const QString node = nodeId(meterId);
    const QString base = QStringLiteral("zb740_") + node;
    QJsonObject device;
    device[QStringLiteral("identifiers")] = QJsonArray {base};
    device[QStringLiteral("name")] = QStringLiteral("ZB740 ") + meterId;
    device[QStringLiteral("model")] = QStringLiteral("ZB740");
    const QString availability = QString::fromUtf8(availabilityTopic(prefix));
    auto common = [&](QJsonObject& o, const QString& name, const QString& id) {
        o[QStringLiteral("name")] = name;
        o[QStringLiteral("unique_id")] = base + QLatin1Char('_') + id;
        o[QStringLiteral("object_id")] = base + QLatin1Char('_') + id;
        o[QStringLiteral("availability_topic")] = availability;
        o[QStringLiteral("payload_available")] = QLatin1String(kOnline);
        o[QStringLiteral("payload_not_available")] = QLatin1String(kOffline);
        o[QStringLiteral("device")] = device;
    };

    std::vector<Retained> out;
    const QString state = QString::fromUtf8(stateTopic(prefix));
    for (int c = 0; c < kChannelCount; ++c) {
        const QString key = QLatin1String(SampleExport::channelKey(c));
        QJsonObject o;
        common(o, QLatin1String(kSensorNames[c]), key);
        o[QStringLiteral("state_topic")] = state;
        o[QStringLiteral("value_template")] = QStringLiteral("{{ value_json.%1 }}").arg(key);
        o[QStringLiteral("state_class")] = QStringLiteral("measurement");
        if (c == kRh) {
            o[QStringLiteral("device_class")] = QStringLiteral("humidity");
            o[QStringLiteral("unit_of_measurement")] = QStringLiteral("%");
        } else {
            o[QStringLiteral("device_class")] = QStringLiteral("temperature");
            o[QStringLiteral("unit_of_measurement")] = fahrenheit ? QStringLiteral("°F") : QStringLiteral("°C");
        }
        out.push_back({QStringLiteral("homeassistant/sensor/%1/%2/config").arg(node, key).toUtf8(), compact(o)});
    }
    for (int c = 0; c < kChannelCount; ++c) {
        for (int b = 0; b < 2; ++b) {
            const QString id = QLatin1String(SampleExport::channelKey(c)) + QLatin1Char('_')
                + QLatin1String(kBoundKeys[b]) + QStringLiteral("_alarm");
            QJsonObject o;
            common(o, QStringLiteral("%1 %2 alarm").arg(QLatin1String(kAlarmNames[c]), QLatin1String(kBoundKeys[b])),
                   id);
            o[QStringLiteral("state_topic")] = QString::fromUtf8(alarmTopic(prefix, c, b));
            o[QStringLiteral("payload_on")] = QStringLiteral("ON");
            o[QStringLiteral("payload_off")] = QStringLiteral("OFF");
            o[QStringLiteral("device_class")] = QStringLiteral("problem");
            out.push_back({QStringLiteral("homeassistant/binary_sensor/%1/%2/config").arg(node, id).toUtf8(),
                           compact(o)});
        }
    }
    return out;
}
