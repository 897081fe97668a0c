#pragma once
// The broker's address as the user gives it:
//   mqtt://host[:port]    plain TCP, port 1883 unless given
//   mqtts://host[:port]   TLS, port 8883 unless given
// host is a name, an IPv4 address or an IPv6 address in brackets
// ([::1]:1883). Nothing else belongs in it: no path, no query, and no
// user name or password (those come from a credentials file, so they are
// never on a command line nor in a settings file).
#include "base/Status.h"

#include <QString>

struct MqttUrl {
    QString host;    // without the brackets of an IPv6 address
    int port = 1883;
    bool tls = false;

    // As messages show it: mqtt://host:port.
    QString text() const;
};

// Reads text into url; a failure's message says what is wrong in one
// sentence and never repeats a password the text may hold.
[[nodiscard]] Status parseMqttUrl(const QString& text, MqttUrl& url);
