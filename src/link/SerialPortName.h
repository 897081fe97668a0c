#pragma once
// Maps the program's numbered serial ports (1..16, as stored in the settings
// and found by discovery) to system device names.
#include <QString>

// Port number n names /dev/ttyUSB{n-1} on Linux and COMn on Windows.
QString serialDeviceForPort(int portNumber);
