#include "link/PortStatus.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace portstatus {

DeviceAccess probeAccess(const QString& devicePath)
{
    DeviceAccess a;
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(devicePath);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return a;
    a.exists = true;
    a.readWrite = ::access(path.constData(), R_OK | W_OK) == 0;
    const struct group* g = ::getgrgid(st.st_gid);
    a.group = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
    a.groupReadWrite = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    a.rootGroup = st.st_gid == 0;
#else
    Q_UNUSED(devicePath);
#endif
    return a;
}

QString permissionText(const QString& devicePath, const DeviceAccess& a)
{
    if (!a.exists)
        return QStringLiteral("Permission denied on %1.").arg(devicePath);
    if (a.readWrite)
        return QStringLiteral("%1 is in use by another program; retrying every 3 seconds.").arg(devicePath);
    if (a.groupReadWrite && !a.rootGroup)
        return QStringLiteral("Permission denied on %1: join group \"%2\" (sudo usermod -aG %2 $USER) and log "
                              "in again.")
            .arg(devicePath, a.group);
    return QStringLiteral("Permission denied on %1: install 60-zb740-cp210x.rules in /etc/udev/rules.d and "
                          "replug the meter.")
        .arg(devicePath);
}

QString missingDeviceText(const QString& devicePath)
{
    return QStringLiteral("No meter port: %1 does not exist. Connect the meter.").arg(devicePath);
}

QString openFailedText(const QString& devicePath, const QString& reason)
{
    return QStringLiteral("Cannot open %1: %2").arg(devicePath, reason);
}

QString connectedText(const QString& devicePath)
{
    return QStringLiteral("Meter connected on %1").arg(devicePath);
}

QString waitingText(const QString& devicePath)
{
    return QStringLiteral("Waiting for the meter on %1").arg(devicePath);
}

QString noAnswerText(const QString& devicePath)
{
    return QStringLiteral("No answer from the meter on %1").arg(devicePath);
}

QString removedText(const QString& devicePath)
{
    return QStringLiteral("%1 was removed; waiting for the meter").arg(devicePath);
}

} // namespace portstatus
