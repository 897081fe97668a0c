#pragma once
// The user name and password for the broker, from a file of two lines:
//   user name
//   password
// (a final line end, and CR LF line ends, are fine). They are read from a
// file so that they are never on a command line (where ps shows them) nor
// in a settings file; no message ever repeats them.
#include "base/Status.h"

#include <QByteArray>
#include <QString>

struct MqttCredentials {
    QByteArray user;     // UTF-8, not empty
    QByteArray password; // UTF-8, may be empty
};

// Reads path into credentials. A failure's message names what is wrong
// with the file (cannot be read, a missing or empty user name, more than
// two lines) and never its contents.
[[nodiscard]] Status readMqttCredentials(const QString& path, MqttCredentials& credentials);
