// The serial control against the simulated meter on a pseudo-terminal.
#include "QtPrinters.h"
#include "link/CMSComm.h"
#include "link/MeterLink.h"
#include "link/MeterProtocol.h"
#include "link/SimulatedMeter.h"
#include "recorder/ReadingFold.h"
#include "recorder/Recorder.h"

#include <QSignalSpy>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace meter;

namespace {

class SerialLink : public ::testing::Test {
protected:
    std::unique_ptr<SimulatedMeter> sim;
    CMSComm comm;
    RunState run;
    std::unique_ptr<LiveSeries> live = std::make_unique<LiveSeries>();
    ReadingFold fold {run, *live};
    AlarmLimits limits;
    // Bytes buffered at each receive event.
    std::vector<int> bufferedAtEvent;
    QByteArray lastInput;

    void startMeter(SimulatedMeterOptions o = {})
    {
        sim = std::make_unique<SimulatedMeter>(o);
        const Status started = sim->start();
        ASSERT_TRUE(started.ok()) << started.message().toStdString();
        comm.setPinnedDevice(sim->devicePath());
        QObject::connect(&comm, &CMSComm::onComm, [this] {
            if (comm.commEvent() != CMSComm::kEvReceive)
                return;
            bufferedAtEvent.push_back(comm.inBufferCount());
            EXPECT_TRUE(comm.readInput(lastInput).ok());
        });
        ASSERT_TRUE(comm.setInputMode(1).ok());
        ASSERT_TRUE(comm.setSettings("4800,n,8,1").ok());
        comm.setRThreshold(kFrameSize);
        comm.setInputLen(0);
        ASSERT_TRUE(comm.setPortOpen(true).ok());
        ASSERT_TRUE(comm.setInBufferCount(0).ok());
    }

    // Sends `request` and returns what the next receive event handed over
    // (empty when none came within `waitMs`).
    QByteArray exchange(const QByteArray& request, int waitMs = 1000)
    {
        QSignalSpy spy(&comm, &CMSComm::onComm);
        lastInput.clear();
        EXPECT_TRUE(comm.setOutput(request).ok());
        if (!spy.wait(waitMs))
            return {};
        return lastInput;
    }

    // Parses a received buffer and folds its reading into the run; false
    // when it held no valid frame.
    struct Decoded {
        bool valid = false;
    };
    Decoded decode(const QByteArray& b)
    {
        const std::optional<MeterReading> r = parseFrame(b);
        if (!r) {
            fold.foldInvalid();
            return {};
        }
        (void)fold.fold(*r, 0, limits);
        return {true};
    }
    const DisplayTexts& lcdTexts() const { return fold.readout().lcd; }
    QByteArray poll() { return exchange(pollPacket()); }
};

TEST_F(SerialLink, WakeAndPollAreAnsweredWithOneFrame)
{
    startMeter();
    const QByteArray first = exchange(wakePacket());
    ASSERT_EQ(first.size(), kFrameSize);
    EXPECT_TRUE(decode(first).valid);
    for (int i = 0; i < 3; ++i) {
        const QByteArray b = poll();
        ASSERT_EQ(b.size(), kFrameSize);
        EXPECT_TRUE(decode(b).valid);
    }
    EXPECT_EQ(sim->wakesReceived(), 1);
    EXPECT_EQ(sim->pollsReceived(), 3);
    EXPECT_EQ(sim->framesSent(), 4);
    // Drifting room readings with consistent psychrometrics.
    const float air = live->at(kAir, 0), rh = live->at(kRh, 0);
    EXPECT_GT(air, 15.0f);
    EXPECT_LT(air, 30.0f);
    EXPECT_GT(rh, 5.0f);
    EXPECT_LT(rh, 99.0f);
    EXPECT_LT(live->at(kDp, 0), live->at(kWb, 0));
    EXPECT_LT(live->at(kWb, 0), air);
    EXPECT_EQ(lcdTexts().link, "PC-LINK");
}

TEST_F(SerialLink, FailingAccessesReportTheirFailure)
{
    QByteArray in("left over");
    EXPECT_EQ(comm.setOutput(pollPacket()).code(), Status::Code::NotOpen);
    EXPECT_EQ(comm.readInput(in).code(), Status::Code::NotOpen);
    EXPECT_TRUE(in.isEmpty());
    EXPECT_EQ(comm.setInBufferCount(0).code(), Status::Code::NotOpen);
    EXPECT_EQ(comm.setSettings("4800,x,8,1").code(), Status::Code::BadSetting);
    EXPECT_EQ(comm.setSettings("fast").code(), Status::Code::BadSetting);
    EXPECT_EQ(comm.setInputMode(0).code(), Status::Code::BadSetting);
    comm.setPinnedDevice("/nonexistent/ttyUSB0");
    const Status open = comm.setPortOpen(true);
    EXPECT_EQ(open.code(), Status::Code::NoSuchDevice) << open.message().toStdString();
    EXPECT_EQ(comm.devicePath(), "/nonexistent/ttyUSB0");
    EXPECT_FALSE(comm.portOpen());
    startMeter();
    EXPECT_FALSE(comm.setCommPort(3).ok());
    EXPECT_FALSE(comm.setPortOpen(true).ok());
}

TEST_F(SerialLink, SplitFramesRaiseOneEventWithTheWholeFrame)
{
    SimulatedMeterOptions o;
    o.splitFrames = true;
    startMeter(o);
    ASSERT_TRUE(decode(exchange(wakePacket())).valid);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(decode(poll()).valid);
    EXPECT_EQ(bufferedAtEvent, (std::vector<int> {46, 46, 46, 46}));
}

TEST_F(SerialLink, GarbageNeverRaisesAnEventForAShortBuffer)
{
    SimulatedMeterOptions o;
    o.garbageEvery = 1;
    startMeter(o);
    ASSERT_TRUE(comm.setOutput(wakePacket()).ok());
    for (int i = 0; i < 12; ++i) {
        QTest::qWait(110);
        ASSERT_TRUE(comm.setOutput(pollPacket()).ok());
    }
    QTest::qWait(150);
    EXPECT_GT(bufferedAtEvent.size(), 0u); // 13 bursts of 1..90 bytes
    for (int n : bufferedAtEvent)
        EXPECT_GE(n, kFrameSize);
    EXPECT_EQ(sim->framesSent(), 0);
}

TEST_F(SerialLink, LeadByteMakesTheFrameInvalid)
{
    SimulatedMeterOptions o;
    o.leadByte = true;
    startMeter(o);
    const QByteArray b = exchange(wakePacket());
    ASSERT_EQ(b.size(), kFrameSize + 1);
    EXPECT_FALSE(decode(b).valid);
    EXPECT_TRUE(decode(b.mid(1)).valid);
}

TEST_F(SerialLink, RemoteKeysChangeWhatTheMeterReports)
{
    startMeter();
    ASSERT_TRUE(decode(exchange(wakePacket())).valid);
    const DisplayTexts& lcd = lcdTexts();
    EXPECT_EQ(lcd.unitMark, "C");
    EXPECT_EQ(lcd.mode, "IRTEMP");

    struct Step {
        QByteArray packet;
        std::function<bool()> effect;
        const char* what;
    };
    const Step steps[] = {
        {keyPressPacket(RemoteKey::Units), [&] { return lcd.unitMark == "F" && run.m_bFahrenheit; }, "UNITS"},
        {keyDoubleClickPacket(RemoteKey::Units), [&] { return lcd.backlight; }, "backlight"},
        {keyPressPacket(RemoteKey::Irt), [&] { return lcd.mode == "     TYPE-K"; }, "IRT"},
        {keyPressPacket(RemoteKey::MaxMinUp), [&] { return lcd.maxMinA == "MAX"; }, "MAX/MIN"},
        {keyPressPacket(RemoteKey::MaxMinUp), [&] { return lcd.maxMinA == "     MIN"; }, "MAX/MIN again"},
        {keyDoubleClickPacket(RemoteKey::MaxMinUp), [&] { return lcd.maxMinA == "   "; }, "leave MAX/MIN"},
        {keyPressPacket(RemoteKey::Avg), [&] { return lcd.wbDp == "WB"; }, "AVG"},
        {keyPressPacket(RemoteKey::Area), [&] { return lcd.recordA == "REC"; }, "AREA"},
        {keyPressPacket(RemoteKey::HoldDown), [&] { return lcd.holdB == "HOLD"; }, "HOLDD"},
        {keyPressPacket(RemoteKey::HoldUp), [&] { return lcd.holdA == "HOLD"; }, "HOLDUP"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        ASSERT_TRUE(comm.setOutput(s.packet).ok());
        ASSERT_TRUE(decode(poll()).valid);
        EXPECT_TRUE(s.effect());
    }
    // HOLD freezes the upper display while the stored readings go on.
    const QString held = lcd.value1;
    QTest::qWait(50);
    ASSERT_TRUE(decode(poll()).valid);
    EXPECT_EQ(lcd.value1, held);

    // The meter kept every key packet, in order.
    ASSERT_EQ(sim->packets().size(), static_cast<qsizetype>(std::size(steps)) + 1);
    for (size_t i = 0; i < std::size(steps); ++i)
        EXPECT_EQ(sim->packets()[static_cast<qsizetype>(i) + 1], steps[i].packet);
}

TEST_F(SerialLink, PowerOffStopsAnsweringUntilTheNextWake)
{
    startMeter();
    ASSERT_TRUE(decode(exchange(wakePacket())).valid);
    ASSERT_TRUE(comm.setOutput(keyPressPacket(RemoteKey::PowerOff)).ok());
    EXPECT_TRUE(poll().isEmpty());
    EXPECT_FALSE(sim->poweredOn());
    EXPECT_TRUE(decode(exchange(wakePacket())).valid);
    EXPECT_TRUE(decode(poll()).valid);
}

TEST_F(SerialLink, DisappearingDeviceClosesThePort)
{
    startMeter();
    ASSERT_TRUE(decode(exchange(wakePacket())).valid);
    QSignalSpy events(&comm, &CMSComm::onComm);
    sim->stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !comm.portOpen(); }, 2000));
    ASSERT_GE(events.count(), 1);
    EXPECT_EQ(comm.commEvent(), CMSComm::kEvBreak);
    EXPECT_EQ(comm.setOutput(pollPacket()).code(), Status::Code::NotOpen);
}

// With every descriptor in use the meter cannot open its pseudo-terminal: it
// says which step failed and why, holds nothing, and starts once descriptors
// are free again.
TEST(SimulatedMeterStart, AFailureSaysWhichStepAndWhy)
{
    SimulatedMeter sim;
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> held;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        held.push_back(fd);
    const int exhausted = errno;
    const Status started = sim.start();
    for (int fd : held)
        ::close(fd);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);

    ASSERT_EQ(exhausted, EMFILE);
    EXPECT_EQ(started.code(), Status::Code::CannotOpen);
    EXPECT_EQ(started.message(), QStringLiteral("posix_openpt: ") + QString::fromLocal8Bit(std::strerror(EMFILE)));
    EXPECT_TRUE(sim.devicePath().isEmpty());

    const Status again = sim.start();
    ASSERT_TRUE(again.ok()) << again.message().toStdString();
    EXPECT_TRUE(sim.devicePath().startsWith(QStringLiteral("/dev/pts/")));
}

} // namespace

namespace {

// The link's own steps, driven by hand instead of the frame's timers, with
// the recorder folding what it receives (its own timers are not started).
TEST(MeterLinkSteps, UnpluggedMeterClosesThePortAndTheWatchdogRetries)
{
    SimulatedMeter sim;
    ASSERT_TRUE(sim.start().ok());
    LinkOptions o;
    o.portDevice = sim.devicePath();
    auto live = std::make_unique<LiveSeries>();
    Recorder recorder(o, *live);
    MeterLink& link = recorder.link();
    const RunState& run = recorder.run();
    AlarmLimits limits;
    limits.high[kAir] = -50.0f;
    recorder.setAlarmLimits(limits);
    std::vector<AlarmChange> changes;
    QObject::connect(&recorder, &Recorder::alarmChanged, [&](const AlarmChange& c) { changes.push_back(c); });
    link.start();
    QSignalSpy frames(&link, &MeterLink::readingReceived);
    link.scanTick(); // pinned: opens at once and wakes the meter
    ASSERT_TRUE(frames.wait(2000));
    EXPECT_TRUE(recorder.readout().alarms.high[kAir]);
    EXPECT_FALSE(recorder.readout().alarms.high[kWb]);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].channel, kAir);
    EXPECT_EQ(changes[0].bound, AlarmLimitSet::High);
    EXPECT_TRUE(changes[0].on);
    EXPECT_TRUE(link.m_bRequestReady);
    EXPECT_FALSE(link.m_bNoFrame[1]);
    link.pollTick();
    EXPECT_FALSE(link.m_bRequestReady);
    ASSERT_TRUE(frames.wait(2000));
    EXPECT_EQ(changes.size(), 1u) << "an alarm that stays on is not signalled again";

    sim.stop(); // the pseudo-terminal goes away like an unplugged bridge
    ASSERT_TRUE(QTest::qWaitFor([&] { return !link.comm().portOpen(); }, 2000));
    EXPECT_EQ(link.portStatus(), o.portDevice + " was removed; waiting for the meter");
    link.sendPacket(meter::keyPressPacket(meter::RemoteKey::Units)); // discarded
    link.pollTick();
    EXPECT_FALSE(link.m_bRequestReady);

    // Two watchdog periods without a frame: the run state shows no link,
    // the alarm goes off and the failing reopen is named in the status.
    link.watchdogTick();
    EXPECT_FALSE(run.m_bNoLink);
    EXPECT_TRUE(recorder.readout().alarms.high[kAir]);
    link.watchdogTick();
    EXPECT_TRUE(run.m_bNoLink);
    EXPECT_FALSE(recorder.readout().alarms.high[kAir]);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].channel, kAir);
    EXPECT_EQ(changes[1].bound, AlarmLimitSet::High);
    EXPECT_FALSE(changes[1].on);
    EXPECT_FALSE(link.comm().portOpen());
    EXPECT_TRUE(link.portStatus().startsWith("No meter port: " + o.portDevice)) << link.portStatus().toStdString();
}

} // namespace
