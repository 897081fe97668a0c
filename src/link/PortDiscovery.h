#pragma once
// Finds the CP210x bridge's port. On Linux the bridge's ports are the
// ttyUSBk entries under <sysfs>/class/tty/ whose device/driver link names
// cp210x; the i-th of them (ascending k, at most five) plays the role of
// the serial-port map value "\Device\Silabser<i>" with the text "COM<k+1>".
#include <QString>
#include <QStringList>

namespace discovery {

inline constexpr int kMaxBridgeEntries = 5;
inline constexpr int kMinPort = 1;
inline constexpr int kMaxPort = 16;

extern const char* const kOver16Message;

// The value texts ("COM<k+1>") of the CP210x ports, in ascending k.
QStringList cp210xPortValues(const QString& sysfsRoot);

// Drops the leading C, O and M characters and reads the decimal number
// that follows; a text without digits gives 0. Numbers too large for an
// int come back as INT_MAX (they are out of range either way).
int parsePortValue(const QString& text);

struct ScanDecision {
    enum Kind { NoBridge, UsePort, OutOfRange } kind = NoBridge;
    int port = 0;
    QString valueText;
};

// The first value found decides; later ones are not examined.
ScanDecision decideScan(const QStringList& values);

} // namespace discovery
