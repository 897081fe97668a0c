#include "link/PortListing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace discovery {

namespace {

// The first line of a small sysfs or lock file, trimmed.
QString firstLine(const QString& path, QString* second = nullptr)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = f.read(4096).split('\n');
    if (second)
        *second = lines.size() > 1 ? QString::fromUtf8(lines[1]).trimmed() : QString();
    return lines.isEmpty() ? QString() : QString::fromUtf8(lines[0]).trimmed();
}

int hexId(const QString& path)
{
    bool ok = false;
    const int id = firstLine(path).toInt(&ok, 16);
    return ok ? id : -1;
}

// The USB device a tty hangs under: the nearest folder above the tty's
// device that has an idVendor (the interface's parent for both ttyUSB and
// ttyACM), or empty.
QString usbDeviceOf(const QString& ttyDevice, const QString& sysfsRoot)
{
    QString dir = QFileInfo(ttyDevice).canonicalFilePath();
    const QString root = QFileInfo(sysfsRoot).canonicalFilePath();
    for (int up = 0; up < 6 && !dir.isEmpty() && dir != root && dir != QLatin1String("/"); ++up) {
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor")))
            return dir;
        dir = QFileInfo(dir).path();
    }
    return {};
}

// The name under <dev>/serial/by-id (else by-path) that links to the device.
QString stableNameOf(const QString& device, const QString& devRoot)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return {};
    for (const char* folder : {"serial/by-id", "serial/by-path"}) {
        const QDir dir(devRoot + QLatin1Char('/') + QLatin1String(folder));
        const QStringList links = dir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& link : links) {
            if (QFileInfo(dir.filePath(link)).canonicalFilePath() == target)
                return dir.filePath(link);
        }
    }
    return {};
}

bool processExists(const QString& procRoot, qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("%1/%2").arg(procRoot).arg(pid));
}

// A live lock file of a serial program: QLockFile's "pid\napp\nhost" or the
// classic lock's pid alone (text).
QString lockHolder(const QString& name, const PortRoots& roots)
{
    for (const QString& dir : roots.lockDirs) {
        const QString lock = dir + QStringLiteral("/LCK..") + name;
        if (!QFileInfo::exists(lock))
            continue;
        QString app;
        bool ok = false;
        const qint64 pid = firstLine(lock, &app).toLongLong(&ok);
        if (ok && processExists(roots.proc, pid))
            return app.isEmpty() ? QStringLiteral("pid %1").arg(pid) : QStringLiteral("pid %1 (%2)").arg(pid).arg(app);
    }
    return {};
}

// A process that has the device open, found through its open files (only
// the processes whose files this user may look at).
QString openHolder(const QString& device, const QString& procRoot)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir proc(procRoot);
    static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
    const QStringList pids = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        if (!number.match(pid).hasMatch())
            continue;
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        const QStringList entries = fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& fd : entries) {
            if (QFile::symLinkTarget(fds.filePath(fd)) == target)
                return QStringLiteral("pid %1").arg(pid);
        }
    }
    return {};
}

// k of "<prefix>k", or -1.
int ttyNumber(const QString& name, QLatin1StringView prefix)
{
    if (!name.startsWith(prefix) || name.size() == prefix.size() || name.size() > prefix.size() + 6)
        return -1;
    bool ok = false;
    const int k = name.mid(prefix.size()).toInt(&ok, 10);
    return ok && k >= 0 ? k : -1;
}

} // namespace

QList<SerialPortEntry> listSerialPorts(const PortRoots& roots)
{
    const QDir ttyDir(roots.sysfs + QStringLiteral("/class/tty"));
    QList<SerialPortEntry> ports;
    const QLatin1StringView kinds[] = {QLatin1StringView("ttyUSB"), QLatin1StringView("ttyACM")};
    for (const QLatin1StringView kind : kinds) {
        const QStringList names = ttyDir.entryList({QString(kind) + QLatin1Char('*')},
                                                   QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot);
        std::vector<std::pair<int, QString>> found;
        for (const QString& name : names) {
            const int k = ttyNumber(name, kind);
            // Only a tty with a device behind it is a port.
            if (k >= 0 && QFileInfo::exists(ttyDir.filePath(name) + QStringLiteral("/device")))
                found.emplace_back(k, name);
        }
        std::sort(found.begin(), found.end());
        for (const auto& [k, name] : found) {
            SerialPortEntry e;
            e.name = name;
            e.device = roots.dev + QLatin1Char('/') + name;
            const QString device = ttyDir.filePath(name) + QStringLiteral("/device");
            const QFileInfo driver(device + QStringLiteral("/driver"));
            if (driver.isSymLink())
                e.driver = QFileInfo(driver.symLinkTarget()).fileName();
            if (const QString usb = usbDeviceOf(device, roots.sysfs); !usb.isEmpty()) {
                e.vendorId = hexId(usb + QStringLiteral("/idVendor"));
                e.productId = hexId(usb + QStringLiteral("/idProduct"));
                e.manufacturer = firstLine(usb + QStringLiteral("/manufacturer"));
                e.product = firstLine(usb + QStringLiteral("/product"));
                e.serial = firstLine(usb + QStringLiteral("/serial"));
            }
            e.stableName = stableNameOf(e.device, roots.dev);
            if (kind == QLatin1StringView("ttyUSB"))
                e.portNumber = k + 1;
            e.holder = lockHolder(name, roots);
            if (e.holder.isEmpty())
                e.holder = openHolder(e.device, roots.proc);
            e.inUse = !e.holder.isEmpty();
            ports.append(e);
        }
    }
    return ports;
}

} // namespace discovery
