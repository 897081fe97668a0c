// Finding the CP210x bridge on fixture sysfs trees, the device watcher,
// the port number fallback and the permission advice.
#include "QtPrinters.h"
#include "TempDir.h"
#include "link/DeviceWatcher.h"
#include "link/MeterLink.h"
#include "link/PortDiscovery.h"
#include "link/PortListing.h"
#include "link/PortStatus.h"

#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

using namespace discovery;

namespace {

class SysfsTree : public TempDirTest {
protected:
    QString root() const { return m_tmp.path(); }

    // ttyUSB<k> whose device is bound to `driver`, laid out as sysfs does:
    // class/tty/ttyUSBk/device/driver -> bus/usb-serial/drivers/<driver>.
    void addTty(int k, const QString& driver)
    {
        const QString drivers = path(QStringLiteral("bus/usb-serial/drivers/") + driver);
        QDir().mkpath(drivers);
        const QString device = path(QStringLiteral("class/tty/ttyUSB%1/device").arg(k));
        QDir().mkpath(device);
        ASSERT_TRUE(QFile::link(drivers, device + QStringLiteral("/driver")));
    }
    void removeTty(int k) { QDir(path(QStringLiteral("class/tty/ttyUSB%1").arg(k))).removeRecursively(); }
};

TEST_F(SysfsTree, ListsCp210xPortsInAscendingOrder)
{
    EXPECT_TRUE(cp210xPortValues(root()).isEmpty());
    addTty(10, "cp210x");
    addTty(2, "cp210x");
    addTty(0, "ftdi_sio");
    QDir().mkpath(path("class/tty/ttyUSB5")); // no device link
    QDir().mkpath(path("class/tty/ttyS0/device"));
    EXPECT_EQ(cp210xPortValues(root()), (QStringList {"COM3", "COM11"}));
}

TEST_F(SysfsTree, AtMostFiveBridgeEntries)
{
    for (int k = 0; k < 7; ++k)
        addTty(k, "cp210x");
    EXPECT_EQ(cp210xPortValues(root()), (QStringList {"COM1", "COM2", "COM3", "COM4", "COM5"}));
}

TEST(PortValue, Parsing)
{
    const std::pair<const char*, int> cases[] = {
        {"COM12", 12}, {"COM7", 7}, {"COM0", 0}, {"COM", 0}, {"COMX", 0}, {"", 0}, {"MOC3", 3}, {"COM16x", 16},
        {"COM 5", 0}, {"COM99999999999999", INT_MAX}, {"17", 17}};
    for (const auto& [text, n] : cases)
        EXPECT_EQ(parsePortValue(QString::fromLatin1(text)), n) << text;
}

TEST(PortValue, Decisions)
{
    struct Case {
        QStringList values;
        ScanDecision::Kind kind;
        int port;
    };
    const Case cases[] = {
        {{}, ScanDecision::NoBridge, 0},
        {{"COM12"}, ScanDecision::UsePort, 12},
        {{"COM1"}, ScanDecision::UsePort, 1},
        {{"COM16"}, ScanDecision::UsePort, 16},
        {{"COM17"}, ScanDecision::OutOfRange, 17},
        {{"COM0"}, ScanDecision::OutOfRange, 0},
        {{"COMX"}, ScanDecision::OutOfRange, 0},
        {{"COM3", "COM17"}, ScanDecision::UsePort, 3}, // first match wins
        {{"COM17", "COM3"}, ScanDecision::OutOfRange, 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.values.join(',').toStdString());
        const ScanDecision d = decideScan(c.values);
        EXPECT_EQ(d.kind, c.kind);
        EXPECT_EQ(d.port, c.port);
    }
}

// The link's scan step on fixture trees.
class LinkScan : public SysfsTree {
protected:
    RunState run;
    std::unique_ptr<MeterLink> link;

    void makeLink()
    {
        AppOptions o;
        o.sysfsRoot = root();
        link = std::make_unique<MeterLink>(o, run);
        link->setComPort(4);
        link->start();
    }
};

TEST_F(LinkScan, Com12SelectsPort12)
{
    addTty(11, "cp210x");
    makeLink();
    QSignalSpy over16(link.get(), &MeterLink::over16Message);
    link->scanTick();
    EXPECT_EQ(link->m_nComPort, 12);
    EXPECT_EQ(link->devicePath(), "/dev/ttyUSB11");
    EXPECT_EQ(over16.count(), 0);
    // There is no such device here: the failed open is discarded but named.
    EXPECT_FALSE(link->comm().portOpen());
    EXPECT_TRUE(link->portStatus().contains("/dev/ttyUSB11")) << link->portStatus().toStdString();
}

TEST_F(LinkScan, TwoBridgesTakeTheFirst)
{
    addTty(7, "cp210x");
    addTty(2, "cp210x");
    makeLink();
    link->scanTick();
    EXPECT_EQ(link->m_nComPort, 3);
}

TEST_F(LinkScan, OverSixteenShowsTheMessageAndNoLink)
{
    const int ttys[] = {16, 40};
    for (int k : ttys) {
        SCOPED_TRACE(k);
        removeTty(16);
        removeTty(40);
        addTty(k, "cp210x");
        makeLink();
        run.m_bNoLink = false;
        QSignalSpy over16(link.get(), &MeterLink::over16Message);
        QSignalSpy lost(link.get(), &MeterLink::linkLost);
        link->scanTick();
        ASSERT_EQ(over16.count(), 1);
        EXPECT_EQ(over16.at(0).at(0).toString(),
            "The Cp210x driver COM port is over 16!\nPlease close the software panel,and try to change the Cp210x "
            "COM port under 16 at the Device Manager of your computer.");
        EXPECT_TRUE(run.m_bNoLink);
        ASSERT_EQ(lost.count(), 1);
        EXPECT_FALSE(lost.at(0).at(0).toBool()) << "a refused port is no silent meter";
        EXPECT_EQ(link->m_nComPort, 4);
    }
}

TEST_F(LinkScan, NoBridgeChangesNothing)
{
    addTty(0, "ftdi_sio");
    makeLink();
    QSignalSpy status(link.get(), &MeterLink::portStatusChanged);
    link->scanTick();
    EXPECT_EQ(link->m_nComPort, 4);
    EXPECT_FALSE(link->comm().portOpen());
    EXPECT_EQ(status.count(), 0);
    EXPECT_TRUE(link->m_bNoFrame[4]); // the first watchdog tick opens the stored port
}

TEST_F(LinkScan, StoredPortOutsideTheRangeFallsBackToOne)
{
    makeLink();
    const int stored[] = {0, -3, 17, 19, 20, 999, INT_MIN, INT_MAX};
    for (int n : stored) {
        link->setComPort(n);
        EXPECT_EQ(link->m_nComPort, 1) << n;
        link->start();
        link->watchdogTick();
        link->watchdogTick();
        EXPECT_TRUE(link->m_bNoFrame[1]);
    }
    link->setComPort(16);
    EXPECT_EQ(link->m_nComPort, 16);
}

TEST_F(SysfsTree, WatcherReportsDevicesComingAndGoing)
{
    DeviceWatcher watcher(root());
    QSignalSpy changed(&watcher, &DeviceWatcher::devicesChanged);
    watcher.start(60000);
    watcher.check();
    EXPECT_EQ(changed.count(), 0);
    addTty(0, "cp210x");
    watcher.check();
    EXPECT_EQ(changed.count(), 1);
    watcher.check();
    EXPECT_EQ(changed.count(), 1);
    removeTty(0);
    watcher.check();
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(SysfsTree, WatcherPollsOnItsOwn)
{
    AppOptions o;
    o.sysfsRoot = root();
    RunState run;
    MeterLink link(o, run);
    QSignalSpy changed(&link, &MeterLink::devicesChanged);
    link.start();
    addTty(3, "cp210x");
    EXPECT_TRUE(changed.wait(3000));
}

TEST(PortStatus, PermissionAdvice)
{
    using portstatus::DeviceAccess;
    struct Case {
        DeviceAccess access;
        const char* expected;
    };
    const char* const udevAdvice = "Permission denied on /dev/ttyUSB0: install 60-zb740-cp210x.rules in "
                                   "/etc/udev/rules.d and replug the meter.";
    const Case cases[] = {
        {{true, false, "dialout", true, false},
            "Permission denied on /dev/ttyUSB0: join group \"dialout\" (sudo usermod -aG dialout $USER) and log in "
            "again."},
        {{true, false, "uucp", true, false},
            "Permission denied on /dev/ttyUSB0: join group \"uucp\" (sudo usermod -aG uucp $USER) and log in again."},
        {{true, false, "root", true, true}, udevAdvice},
        {{true, false, "dialout", false, false}, udevAdvice},
        {{true, true, "dialout", true, false}, "/dev/ttyUSB0 is in use by another program; retrying every 3 seconds."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(portstatus::permissionText("/dev/ttyUSB0", c.access), QString::fromLatin1(c.expected));
}

TEST_F(SysfsTree, ProbeAccessReadsTheDeviceNode)
{
    const QString node = path("ttyFake");
    QFile f(node);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ASSERT_TRUE(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup));
    const portstatus::DeviceAccess a = portstatus::probeAccess(node);
    EXPECT_TRUE(a.exists);
    EXPECT_TRUE(a.groupReadWrite);
    EXPECT_FALSE(a.group.isEmpty());
    EXPECT_FALSE(portstatus::probeAccess(path("missing")).exists);
}

} // namespace

// The ports listing on a fixture tree laid out as sysfs and /dev are: a
// CP210x bridge with its stable name, a modem-class device, a tty without a
// device, and the ways a port is held.
class PortTree : public TempDirTest {
protected:
    // <sysfs>/class/tty/<name>/device -> the USB interface's port folder,
    // with the USB device (idVendor, idProduct, ...) two folders up.
    void addUsbTty(const QString& name, const QString& driver, const char* vendor, const char* product)
    {
        const QString usb = path(QStringLiteral("sys/devices/usb1/1-%1").arg(name));
        const QString port = usb + QStringLiteral("/1-1:1.0/") + name;
        QDir().mkpath(port);
        const QString drivers = path(QStringLiteral("sys/bus/usb-serial/drivers/") + driver);
        QDir().mkpath(drivers);
        ASSERT_TRUE(QFile::link(drivers, port + QStringLiteral("/driver")));
        write(usb + QStringLiteral("/idVendor"), QByteArray(vendor) + '\n');
        write(usb + QStringLiteral("/idProduct"), QByteArray(product) + '\n');
        write(usb + QStringLiteral("/product"), "Bridge " + name.toUtf8() + '\n');
        QDir().mkpath(path(QStringLiteral("sys/class/tty/") + name));
        ASSERT_TRUE(QFile::link(port, path(QStringLiteral("sys/class/tty/%1/device").arg(name))));
        write(path(QStringLiteral("dev/") + name), "");
    }
    void write(const QString& file, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(file).path());
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    discovery::PortRoots roots() const
    {
        discovery::PortRoots r;
        r.sysfs = path("sys");
        r.dev = path("dev");
        r.lockDirs = {path("lock")};
        return r;
    }
};

TEST_F(PortTree, ListsUsbSerialPortsWithStableNamesIdsAndHolders)
{
    EXPECT_TRUE(discovery::listSerialPorts(roots()).isEmpty());
    addUsbTty("ttyUSB1", "cp210x", "10c4", "ea60");
    addUsbTty("ttyACM0", "cdc_acm", "2341", "0043");
    addUsbTty("ttyUSB0", "ftdi_sio", "0403", "6001");
    QDir().mkpath(path("sys/class/tty/ttyUSB7")); // no device behind it
    QDir().mkpath(path("dev/serial/by-id"));
    ASSERT_TRUE(QFile::link(QStringLiteral("../../ttyUSB1"), path("dev/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0")));
    // ttyUSB0 is locked by this process (alive); ttyACM0 by a process that
    // is gone (a stale lock).
    write(path("lock/LCK..ttyUSB0"), QByteArray::number(QCoreApplication::applicationPid()) + "\nzb740\nhost\n");
    write(path("lock/LCK..ttyACM0"), "999999999\n");

    QList<discovery::SerialPortEntry> ports = discovery::listSerialPorts(roots());
    ASSERT_EQ(ports.size(), 3);
    EXPECT_EQ(ports[0].device, path("dev/ttyUSB0"));
    EXPECT_EQ(ports[0].portNumber, 1);
    EXPECT_EQ(ports[0].vendorId, 0x0403);
    EXPECT_TRUE(ports[0].inUse);
    EXPECT_EQ(ports[0].holder, QStringLiteral("pid %1 (zb740)").arg(QCoreApplication::applicationPid()));
    EXPECT_FALSE(ports[0].isMeterBridge());

    EXPECT_EQ(ports[1].device, path("dev/ttyUSB1"));
    EXPECT_EQ(ports[1].portNumber, 2);
    EXPECT_EQ(ports[1].driver, QStringLiteral("cp210x"));
    EXPECT_EQ(ports[1].vendorId, 0x10C4);
    EXPECT_EQ(ports[1].productId, 0xEA60);
    EXPECT_EQ(ports[1].product, QStringLiteral("Bridge ttyUSB1"));
    EXPECT_EQ(ports[1].stableName, path("dev/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0"));
    EXPECT_TRUE(ports[1].isMeterBridge());
    EXPECT_FALSE(ports[1].inUse);

    EXPECT_EQ(ports[2].device, path("dev/ttyACM0"));
    EXPECT_EQ(ports[2].portNumber, 0);
    EXPECT_FALSE(ports[2].inUse) << "a stale lock holds nothing";

    // A port this process has open, without a lock, is in use too.
    QFile open(path("dev/ttyUSB1"));
    ASSERT_TRUE(open.open(QIODevice::ReadWrite));
    ports = discovery::listSerialPorts(roots());
    EXPECT_TRUE(ports[1].inUse);
    EXPECT_EQ(ports[1].holder, QStringLiteral("pid %1").arg(QCoreApplication::applicationPid()));

    // zb740-cli ports reads the same tree: a table and a JSON array.
    QProcess table;
    table.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"),
                {"ports", "--sysfs-root", path("sys"), "--dev-root", path("dev")});
    ASSERT_TRUE(table.waitForFinished(20000));
    EXPECT_EQ(table.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(table.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith("DEVICE")) << lines[0].toStdString();
    EXPECT_TRUE(lines[2].contains("10c4:ea60*")) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral("yes, pid %1").arg(QCoreApplication::applicationPid())))
        << lines[2].toStdString();
    EXPECT_TRUE(lines[2].endsWith("/dev/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0")) << lines[2].toStdString();
    QProcess json;
    json.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"),
               {"ports", "--json", "--sysfs-root=" + path("sys"), "--dev-root=" + path("dev")});
    ASSERT_TRUE(json.waitForFinished(20000));
    QJsonParseError error;
    const QJsonArray array = QJsonDocument::fromJson(json.readAllStandardOutput(), &error).array();
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    ASSERT_EQ(array.size(), 3);
    const QJsonObject bridge = array[1].toObject();
    EXPECT_EQ(bridge["device"].toString(), path("dev/ttyUSB1"));
    EXPECT_EQ(bridge["vendor_id"].toString(), "10c4");
    EXPECT_EQ(bridge["product_id"].toString(), "ea60");
    EXPECT_EQ(bridge["port"].toInt(), 2);
    EXPECT_TRUE(bridge["meter_bridge"].toBool());
    EXPECT_TRUE(bridge["in_use"].toBool());
    EXPECT_TRUE(array[2].toObject()["stable_name"].isNull());
}
