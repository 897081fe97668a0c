#include "data/MonitorEvent.h"

#include "base/Channel.h"
#include "base/LocalTime.h"
#include "data/SampleExport.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <array>
#include <cmath>
#include <cstdio>

namespace {

using Kind = MonitorEvent::Kind;
using Reason = MonitorEvent::Reason;

constexpr std::array<const char*, 9> kKindNames = {"start",     "stop", "alarm",    "link_lost",     "link_back",
                                                   "file",      "recovered", "run_ended", "command_failed"};
constexpr std::array<const char*, 7> kReasonNames = {"", "count", "midnight", "dropout", "stop", "power", "link"};

// A JSON string: quotes, backslashes and control characters escaped.
void putString(QByteArray& out, const QString& text)
{
    out.append('"');
    for (const char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.append('\\').append(c);
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out.append(escaped);
        } else {
            out.append(c);
        }
    }
    out.append('"');
}

void putKey(QByteArray& out, const char* key)
{
    out.append(",\"").append(key).append("\":");
}

// One decimal, never -0.0; null when there is no number.
void putValue(QByteArray& out, float value)
{
    if (!std::isfinite(value)) {
        out.append("null");
        return;
    }
    const double tenths = std::round(double(value) * 10.0) / 10.0;
    out.append(QByteArray::number(tenths == 0.0 ? 0.0 : tenths, 'f', 1));
}

template <size_t N>
int indexOf(const std::array<const char*, N>& names, const QString& name)
{
    for (size_t i = 0; i < N; ++i) {
        if (name == QLatin1String(names[i]))
            return int(i);
    }
    return -1;
}

} // namespace

MonitorEvent MonitorEvent::alarm(int64_t time, int channel, int bound, bool on, float value, float limit,
                                 bool fahrenheit)
{
    MonitorEvent e;
    e.kind = Kind::Alarm;
    e.time = time;
    e.channel = channel;
    e.bound = bound;
    e.on = on;
    e.value = value;
    e.limit = limit;
    e.fahrenheit = fahrenheit;
    return e;
}

MonitorEvent MonitorEvent::simple(Kind kind, int64_t time)
{
    MonitorEvent e;
    e.kind = kind;
    e.time = time;
    return e;
}

MonitorEvent MonitorEvent::ofFile(Kind kind, int64_t time, const QString& name, int samples, Reason reason)
{
    MonitorEvent e;
    e.kind = kind;
    e.time = time;
    e.file = name;
    e.samples = samples;
    e.reason = reason;
    return e;
}

const char* MonitorEvents::kindName(Kind kind) { return kKindNames[size_t(kind)]; }
const char* MonitorEvents::reasonName(Reason reason) { return kReasonNames[size_t(reason)]; }
const char* MonitorEvents::boundName(int bound) { return bound == 0 ? "high" : "low"; }

QByteArray MonitorEvents::json(const MonitorEvent& e, bool utc)
{
    QByteArray out;
    out.reserve(160);
    char time[64];
    size_t n = utc ? LocalTime::formatUtcInto(time, sizeof time, e.time, "%Y-%m-%dT%H:%M:%S")
                   : LocalTime::formatInto(time, sizeof time, e.time, "%Y-%m-%dT%H:%M:%S");
    out.append("{\"time\":\"").append(time, qsizetype(n));
    if (utc) {
        out.append('Z');
    } else {
        char offset[16];
        n = LocalTime::formatOffsetInto(offset, sizeof offset, LocalTime::utcOffsetSeconds(e.time));
        out.append(offset, qsizetype(n));
    }
    out.append("\",\"event\":\"").append(kindName(e.kind)).append('"');
    switch (e.kind) {
    case Kind::Alarm:
        putKey(out, "channel");
        out.append('"').append(SampleExport::channelKey(e.channel)).append('"');
        putKey(out, "bound");
        out.append('"').append(boundName(e.bound)).append('"');
        putKey(out, "state");
        out.append(e.on ? "\"on\"" : "\"off\"");
        putKey(out, "value");
        putValue(out, e.value);
        putKey(out, "limit");
        putValue(out, e.limit);
        putKey(out, "unit");
        out.append(e.fahrenheit ? "\"F\"" : "\"C\"");
        break;
    case Kind::File:
    case Kind::Recovered:
        putKey(out, "file");
        putString(out, e.file);
        putKey(out, "samples");
        out.append(QByteArray::number(e.samples));
        if (e.reason != Reason::None) {
            putKey(out, "reason");
            out.append('"').append(reasonName(e.reason)).append('"');
        }
        break;
    case Kind::Stop:
        putKey(out, "samples");
        out.append(QByteArray::number(e.samples));
        break;
    case Kind::RunEnded:
        putKey(out, "reason");
        out.append('"').append(reasonName(e.reason)).append('"');
        putKey(out, "samples");
        out.append(QByteArray::number(e.samples));
        break;
    case Kind::CommandFailed:
        putKey(out, "message");
        putString(out, e.message);
        break;
    case Kind::Start:
    case Kind::LinkLost:
    case Kind::LinkBack:
        break;
    }
    out.append('}');
    return out;
}

bool MonitorEvents::fromJson(const QByteArray& line, MonitorEvent& e)
{
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject o = doc.object();
    const QDateTime time = QDateTime::fromString(o.value(QLatin1String("time")).toString(), Qt::ISODate);
    const int kind = indexOf(kKindNames, o.value(QLatin1String("event")).toString());
    if (!time.isValid() || kind < 0)
        return false;
    e = MonitorEvent {};
    e.kind = Kind(kind);
    e.time = time.toSecsSinceEpoch();
    const auto number = [&o](const char* key) {
        const QJsonValue v = o.value(QLatin1String(key));
        return v.isDouble() ? float(v.toDouble()) : std::numeric_limits<float>::quiet_NaN();
    };
    if (e.kind == Kind::Alarm) {
        e.channel = -1;
        for (int c = 0; c < kChannelCount; ++c) {
            if (o.value(QLatin1String("channel")).toString() == QLatin1String(SampleExport::channelKey(c)))
                e.channel = c;
        }
        const QString bound = o.value(QLatin1String("bound")).toString();
        const QString state = o.value(QLatin1String("state")).toString();
        if (e.channel < 0 || (bound != QLatin1String("high") && bound != QLatin1String("low"))
            || (state != QLatin1String("on") && state != QLatin1String("off")))
            return false;
        e.bound = bound == QLatin1String("high") ? 0 : 1;
        e.on = state == QLatin1String("on");
        e.value = number("value");
        e.limit = number("limit");
        e.fahrenheit = o.value(QLatin1String("unit")).toString() == QLatin1String("F");
    }
    e.file = o.value(QLatin1String("file")).toString();
    e.samples = o.value(QLatin1String("samples")).toInt();
    e.message = o.value(QLatin1String("message")).toString();
    const int reason = indexOf(kReasonNames, o.value(QLatin1String("reason")).toString());
    e.reason = reason < 0 ? Reason::None : Reason(reason);
    return true;
}

QString MonitorEvents::valueText(float value, int channel, bool fahrenheit)
{
    if (!std::isfinite(value))
        return QStringLiteral("no reading");
    const QString unit = channel == kRh ? QStringLiteral(" %") : fahrenheit ? QStringLiteral(" °F") : QStringLiteral(" °C");
    const double tenths = std::round(double(value) * 10.0) / 10.0;
    return QString::number(tenths == 0.0 ? 0.0 : tenths, 'f', 1) + unit;
}

QString MonitorEvents::describe(const MonitorEvent& e)
{
    switch (e.kind) {
    case Kind::Start:
        return QStringLiteral("Recording started");
    case Kind::Stop:
        return QStringLiteral("Recording stopped (%1 samples)").arg(e.samples);
    case Kind::Alarm: {
        const QString name = QLatin1String(kChannelLegend[size_t(e.channel)]);
        const QString limit = valueText(e.limit, e.channel, e.fahrenheit);
        const QString value = valueText(e.value, e.channel, e.fahrenheit);
        if (e.on)
            return QStringLiteral("%1 %2 its %3 limit of %4: %5")
                .arg(name, e.bound == 0 ? QStringLiteral("above") : QStringLiteral("below"),
                     QLatin1String(boundName(e.bound)), limit, value);
        return QStringLiteral("%1 back within its %2 limit of %3: %4")
            .arg(name, QLatin1String(boundName(e.bound)), limit, value);
    }
    case Kind::LinkLost:
        return QStringLiteral("Link lost: the meter stopped answering");
    case Kind::LinkBack:
        return QStringLiteral("Link back: the meter answers again");
    case Kind::File: {
        QString why;
        switch (e.reason) {
        case Reason::Count: why = QStringLiteral("the file is full"); break;
        case Reason::Midnight: why = QStringLiteral("midnight"); break;
        case Reason::Dropout: why = QStringLiteral("the meter stopped answering"); break;
        case Reason::Stop: why = QStringLiteral("recording stopped"); break;
        default: why = QStringLiteral("done"); break;
        }
        return QStringLiteral("File %1 complete: %2 samples (%3)").arg(e.file).arg(e.samples).arg(why);
    }
    case Kind::Recovered:
        return QStringLiteral("Recovered %1 samples into %2 from its journal").arg(e.samples).arg(e.file);
    case Kind::RunEnded: {
        switch (e.reason) {
        case Reason::Link:
            return QStringLiteral("Run ended: the meter stopped answering (%1 samples kept)").arg(e.samples);
        case Reason::Power:
            return QStringLiteral("Run ended: the meter was turned off (%1 samples kept)").arg(e.samples);
        case Reason::Stop:
            return QStringLiteral("Run ended: stopped (%1 samples kept)").arg(e.samples);
        default:
            return QStringLiteral("Run ended: %1 samples recorded").arg(e.samples);
        }
    }
    case Kind::CommandFailed:
        return QStringLiteral("Alarm command failed: %1").arg(e.message);
    }
    return {};
}
