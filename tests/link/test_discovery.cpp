// Finding the CP210x bridge on fixture sysfs trees, the device watcher,
// the port number fallback and the permission advice.
#include "QtPrinters.h"
#include "TempDir.h"
#include "link/DeviceWatcher.h"
#include "link/MeterLink.h"
#include "link/PortDiscovery.h"
#include "link/PortStatus.h"

#include <QDir>
#include <QFile>
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
