#pragma once
// Where the meter link looks for the meter.
#include <QString>

struct LinkOptions {
    // Root of the sysfs tree listing serial devices.
    QString sysfsRoot = QStringLiteral("/sys");
    // A device path pinned on the command line: no discovery.
    QString portDevice;
};
