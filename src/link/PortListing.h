#pragma once
// The serial ports where a meter could be: every USB serial port the system
// lists (ttyUSBk of a USB serial bridge such as the meter's CP210x, ttyACMk
// of a modem-class device), with what a user needs to pick one: its device,
// its stable name under /dev/serial/by-id (kept across replugging), the USB
// vendor and product, the driver, and whether a program holds it.
//
// Everything is read from folders given by the caller, so a test lays out a
// fixture tree: sysfs (<sysfs>/class/tty/<name>/device, the USB device's
// idVendor, idProduct, manufacturer, product and serial files above it), the
// device folder (<dev>/<name>, <dev>/serial/by-id/* links) and the lock
// folders serial programs write "LCK..<name>" into.
#include <QString>
#include <QStringList>

namespace discovery {

struct PortRoots {
    QString sysfs = QStringLiteral("/sys");
    QString dev = QStringLiteral("/dev");
    // Where serial programs (Qt's serial port among them) leave their lock
    // files; the first ones of the usual list.
    QStringList lockDirs = {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")};
    // The process table, to tell a live lock from a stale one and to find
    // a port open in a process that took no lock.
    QString proc = QStringLiteral("/proc");
};

struct SerialPortEntry {
    QString name;       // "ttyUSB0"
    QString device;     // "<dev>/ttyUSB0"
    QString stableName; // "<dev>/serial/by-id/usb-...-port0", or empty
    QString driver;     // "cp210x", "cdc_acm", ...
    int vendorId = -1;  // USB idVendor, -1 when unknown
    int productId = -1; // USB idProduct, -1 when unknown
    QString manufacturer, product, serial;
    // The program's port number of a ttyUSBk (k + 1), as "COM num" stores
    // it; 0 for other ports.
    int portNumber = 0;
    bool inUse = false;
    // Who holds it, when known: "pid 1234" or a lock's "pid 1234 (zb740)".
    QString holder;

    // The CP210x bridge the meter is built with.
    bool isMeterBridge() const { return driver == QLatin1String("cp210x") || vendorId == 0x10C4; }
};

// The USB serial ports, ttyACM after ttyUSB, each in ascending number.
QList<SerialPortEntry> listSerialPorts(const PortRoots& roots = {});

} // namespace discovery
