#pragma once
// Status-bar texts about the meter's port, for the user to act on.
#include <QString>

namespace portstatus {

// What this user may do with a device node.
struct DeviceAccess {
    bool exists = false;
    bool readWrite = false;        // this user may read and write it
    QString group;                 // the group owning it
    bool groupReadWrite = false;   // that group may read and write it
    bool rootGroup = false;
};
DeviceAccess probeAccess(const QString& devicePath);

// Why `devicePath` could not be opened after a permission failure, and the
// fix: membership of the group owning the device, or the udev rule when no
// group may write to it. A device this user may read and write is held by
// another program.
QString permissionText(const QString& devicePath, const DeviceAccess& access);
inline QString permissionText(const QString& devicePath)
{
    return permissionText(devicePath, probeAccess(devicePath));
}

QString missingDeviceText(const QString& devicePath);
QString openFailedText(const QString& devicePath, const QString& reason);
QString connectedText(const QString& devicePath);
QString waitingText(const QString& devicePath);
QString noAnswerText(const QString& devicePath);
QString removedText(const QString& devicePath);

} // namespace portstatus
