#include "link/SerialPortName.h"

QString serialDeviceForPort(int portNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyUSB%1").arg(portNumber - 1);
#endif
}
