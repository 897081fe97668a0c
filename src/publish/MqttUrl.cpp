#include "publish/MqttUrl.h"

namespace {

constexpr int kPlainPort = 1883;
constexpr int kTlsPort = 8883;

Status malformed(const QString& shown, const QString& why)
{
    return Status::failure(Status::Code::BadSetting,
                           QStringLiteral("'%1' is not a broker address (%2): give mqtt://host[:port] or "
                                          "mqtts://host[:port]")
                               .arg(shown, why));
}

bool hostCharacter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
        || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char('.')
        || c == QLatin1Char('_');
}

} // namespace

QString MqttUrl::text() const
{
    const QString shownHost = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return (tls ? QStringLiteral("mqtts://") : QStringLiteral("mqtt://")) + shownHost + QLatin1Char(':')
        + QString::number(port);
}

Status parseMqttUrl(const QString& text, MqttUrl& url)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return malformed(text, QStringLiteral("it is empty"));
    const qsizetype schemeEnd = trimmed.indexOf(QStringLiteral("://"));
    if (schemeEnd < 0)
        return malformed(trimmed, QStringLiteral("no mqtt:// or mqtts:// in front"));
    const QString scheme = trimmed.left(schemeEnd).toLower();
    QString rest = trimmed.mid(schemeEnd + 3);
    // A user name or password in the address: it is not repeated in the
    // message, and goes in the credentials file instead.
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        return malformed(trimmed.left(schemeEnd + 3) + QStringLiteral("...@") + rest.mid(at + 1),
                         QStringLiteral("a user name or password does not go in the address; put them in the "
                                        "credentials file"));
    }
    MqttUrl out;
    if (scheme == QLatin1String("mqtt"))
        out.tls = false;
    else if (scheme == QLatin1String("mqtts"))
        out.tls = true;
    else
        return malformed(trimmed, QStringLiteral("'%1://' is not mqtt:// or mqtts://").arg(trimmed.left(schemeEnd)));
    if (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    if (rest.contains(QLatin1Char('/')) || rest.contains(QLatin1Char('?')) || rest.contains(QLatin1Char('#')))
        return malformed(trimmed, QStringLiteral("a broker address has no path"));

    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return malformed(trimmed, QStringLiteral("the [ of an IPv6 address is not closed"));
        out.host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':')))
                return malformed(trimmed, QStringLiteral("something follows the IPv6 address"));
            portText = after.mid(1);
            if (portText.isEmpty())
                return malformed(trimmed, QStringLiteral("the port after ':' is missing"));
        }
        for (QChar c : out.host) {
            if (!(c.isDigit() || c == QLatin1Char(':') || c == QLatin1Char('.')
                  || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'))))
                return malformed(trimmed, QStringLiteral("'%1' is not an IPv6 address").arg(out.host));
        }
    } else {
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        out.host = colon < 0 ? rest : rest.left(colon);
        if (colon >= 0) {
            portText = rest.mid(colon + 1);
            if (portText.isEmpty())
                return malformed(trimmed, QStringLiteral("the port after ':' is missing"));
        }
        for (QChar c : out.host) {
            if (!hostCharacter(c))
                return malformed(trimmed, QStringLiteral("'%1' is not a host name").arg(out.host));
        }
    }
    if (out.host.isEmpty())
        return malformed(trimmed, QStringLiteral("the host is missing"));
    out.port = out.tls ? kTlsPort : kPlainPort;
    if (!portText.isEmpty()) {
        bool ok = false;
        const int port = portText.toInt(&ok);
        bool digits = true;
        for (QChar c : portText)
            digits = digits && c.isDigit();
        if (!ok || !digits || port < 1 || port > 65535)
            return malformed(trimmed, QStringLiteral("the port '%1' is not a number 1..65535").arg(portText));
        out.port = port;
    }
    url = out;
    return Status::success();
}
