// The program's frame, view and meter link on the offscreen platform, over
// the real serial layer, against the simulated meter on a pseudo-terminal.
// These wait on the real timers (poll 1 s, watchdog 3 s), so there are few.
#include "ModalAnswers.h"
#include "QtPrinters.h"
#include "MeterAndFrame.h"
#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "app/CSampleRateDlg.h"
#include "link/MeterLink.h"
#include "link/MeterProtocol.h"
#include "link/PortDiscovery.h"
#include "link/SimulatedMeter.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

class LinkEndToEnd : public MeterAndFrameTest {
protected:
    void makeFrame()
    {
        MeterAndFrameTest::makeFrame(QSize(1200, 800));
        QObject::connect(m_frame->link(), &MeterLink::readingReceived, [this] {
            validFrames += 1;
            sinceValid.start();
        });
        QObject::connect(m_frame->link(), &MeterLink::bufferRejected, [this] { invalidBuffers += 1; });
    }

    // Run, answered with an interval of one second (and "No" to saving the
    // previous run, which is asked first).
    void run()
    {
        auto answerDialog = [] {
            whenModalAppears([](QWidget* w) {
                auto* dlg = qobject_cast<CSampleRateDlg*>(w);
                ASSERT_NE(dlg, nullptr);
                dlg->rateEdit()->setText("1");
                dlg->okButton()->click();
            });
        };
        if (m_frame->run().m_bHasRun) {
            whenModalAppears([answerDialog](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                ASSERT_NE(box, nullptr);
                answerDialog();
                box->button(QMessageBox::No)->click();
            });
        } else {
            answerDialog();
        }
        ASSERT_TRUE(m_frame->action(CMainFrame::Command::Run)->isEnabled());
        m_frame->action(CMainFrame::Command::Run)->trigger();
        ASSERT_TRUE(m_frame->run().m_bRunning);
    }

    RunState& state() { return m_frame->run(); }
    // Replies the meter sent as garbage instead of a frame.
    int garbageReplies() const
    {
        return m_meter->wakesReceived() + m_meter->pollsReceived() - m_meter->framesSent();
    }
    QString status() const { return m_frame->portStatusText(); }

    int validFrames = 0;
    int invalidBuffers = 0;
    QElapsedTimer sinceValid;
};

TEST_F(LinkEndToEnd, RunSurvivesASilentMeterAndComesBack)
{
    SimulatedMeterOptions o;
    o.silentAfterFrames = 6;
    o.silentForMs = 7000;
    startMeter(o);
    makeFrame();
    QElapsedTimer clock;
    clock.start();

    // The scan opens the pinned port and sends the wake packet; the meter
    // answers it without a poll, and Run becomes available.
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().m_bRunEnabled; }, 3000));
    EXPECT_EQ(m_meter->wakesReceived(), 1);
    EXPECT_EQ(m_meter->pollsReceived(), 0);
    EXPECT_FALSE(state().m_bNoLink);
    EXPECT_EQ(m_frame->recorder().readout().lcd.link, "PC-LINK");
    EXPECT_EQ(status(), "Meter connected on " + m_meter->devicePath());
    QTest::qWait(150); // let the frame refresh its commands
    EXPECT_TRUE(m_frame->action(CMainFrame::Command::Run)->isEnabled());

    // A confirmed Run starts on the next valid frame, its first sample, and
    // commits samples.
    run();
    EXPECT_TRUE(state().m_bIdle);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !state().m_bIdle; }, 2000));
    EXPECT_EQ(state().m_nCount, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().m_nCount >= 2; }, 3500));
    // One poll a second at most, each answered.
    const double seconds = clock.elapsed() / 1000.0;
    EXPECT_GE(m_meter->pollsReceived(), 2);
    EXPECT_LE(m_meter->pollsReceived(), static_cast<int>(seconds) + 1);
    EXPECT_EQ(validFrames, m_meter->framesSent());

    // The meter falls silent: the watchdog ends the run within 6 s of its
    // last frame, shows the no-link state and reopens the port.
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_meter->silent(); }, 6000));
    const int countAtSilence = state().m_nCount;
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().m_bNoLink; }, 7000));
    // Under 6 s by the watchdog's arithmetic; coarse 3 s timers may each
    // drift by 5 %.
    EXPECT_LE(sinceValid.elapsed(), 6500);
    EXPECT_FALSE(state().m_bRunning);
    EXPECT_TRUE(state().m_bIdle);
    EXPECT_FALSE(state().m_bRunEnabled);
    EXPECT_FALSE(state().m_bStopEnabled);
    EXPECT_LE(state().m_nCount, countAtSilence + 1);
    EXPECT_EQ(status(), "No answer from the meter on " + m_meter->devicePath());
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_meter->wakesReceived() >= 2; }, 500));
    const int wakes = m_meter->wakesReceived();
    const int countAfterLoss = state().m_nCount;

    // Every 3 s another open with a wake packet, until the meter answers.
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_meter->wakesReceived() > wakes; }, 3500));
    EXPECT_EQ(state().m_nCount, countAfterLoss);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !state().m_bNoLink; }, 8000));
    EXPECT_TRUE(state().m_bRunEnabled);
    EXPECT_EQ(status(), "Meter connected on " + m_meter->devicePath());

    // Run is back.
    QTest::qWait(150);
    run();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !state().m_bIdle && state().m_nCount >= 1; }, 3500));
    EXPECT_EQ(invalidBuffers, 0);
}

TEST_F(LinkEndToEnd, GarbageAndSplitFramesCostOnlyTheirReplies)
{
    SimulatedMeterOptions o;
    o.garbageEvery = 3;
    o.splitFrames = true;
    startMeter(o);
    makeFrame();
    QSignalSpy lost(m_frame->link(), &MeterLink::linkLost);
    // Every third reply is garbage: it costs that reply, and the next poll
    // goes out at the next tick. The port is never reopened for it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return validFrames >= 5; }, 12000));
    EXPECT_EQ(m_meter->wakesReceived(), 1);
    EXPECT_EQ(lost.count(), 0);
    EXPECT_FALSE(state().m_bNoLink);
    // Garbage shorter than a frame never raises a receive event, so an
    // invalid buffer is seen only for some garbage replies.
    EXPECT_LE(invalidBuffers, garbageReplies());
}

TEST_F(LinkEndToEnd, RunKeepsRecordingThroughBadReplies)
{
    SimulatedMeterOptions o;
    o.garbageEvery = 4;
    startMeter(o);
    makeFrame();
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().m_bRunEnabled; }, 3000));
    QTest::qWait(150);
    run();
    // A bad reply costs at most its sample; the run goes on.
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().m_nCount >= 5; }, 12000)) << state().m_nCount;
    EXPECT_TRUE(state().m_bRunning);
    EXPECT_FALSE(state().m_bIdle);
    EXPECT_GE(garbageReplies(), 1);
}

TEST_F(LinkEndToEnd, StrayByteBeforeEachFrameIsSkipped)
{
    SimulatedMeterOptions o;
    o.leadByte = true;
    startMeter(o);
    makeFrame();
    // The link finds each frame's header behind the stray byte.
    ASSERT_TRUE(QTest::qWaitFor([&] { return validFrames >= 3; }, 6000));
    EXPECT_EQ(invalidBuffers, 0);
    EXPECT_EQ(m_meter->wakesReceived(), 1);
    EXPECT_FALSE(state().m_bNoLink);
}

TEST_F(LinkEndToEnd, SimulateStartsTheMeterInProcess)
{
    options.simulate = true;
    makeFrame();
    SimulatedMeter* meter = m_frame->simulatedMeter();
    ASSERT_NE(meter, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().m_bRunEnabled; }, 3000));
    EXPECT_EQ(m_frame->link()->devicePath(), meter->devicePath());
    // A remote key reaches the meter and shows in the next frame.
    m_frame->link()->sendPacket(meter::keyPressPacket(meter::RemoteKey::Units));
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().m_strUnit == "F"; }, 2500));
    EXPECT_EQ(m_frame->recorder().readout().lcd.unitMark, "F");
    ASSERT_FALSE(meter->packets().isEmpty());
    EXPECT_EQ(meter->packets().last(), meter::keyPressPacket(meter::RemoteKey::Units));
}

TEST_F(LinkEndToEnd, BridgeAboveCom16ShowsTheMessage)
{
    const QString drivers = path("sys/bus/usb-serial/drivers/cp210x");
    QDir().mkpath(drivers);
    QDir().mkpath(path("sys/class/tty/ttyUSB16/device"));
    ASSERT_TRUE(QFile::link(drivers, path("sys/class/tty/ttyUSB16/device/driver")));
    QString seen;
    answerMessageBox(QMessageBox::Ok, &seen);
    makeFrame();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !seen.isEmpty(); }, 3000));
    EXPECT_EQ(seen, QString::fromLatin1(discovery::kOver16Message));
    EXPECT_TRUE(state().m_bNoLink);
}

} // namespace
