// The main window tells why a run ended and lists the run's events: the
// status bar until the next run, the "Events" list, the events file saved
// beside the run, and POWER asking first during a run. The test plays the
// meter and the clock.
#include "app/CMainFrame.h"
#include "data/EventLog.h"
#include "link/MeterProtocol.h"
#include "panels/CEventList.h"
#include "ModalAnswers.h"
#include "ReadingOf.h"
#include "TempDir.h"

#include <QAction>
#include <QDateTime>
#include <QDockWidget>
#include <QTimeZone>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class RunEvents : public TempDirTest {
protected:
    void SetUp() override
    {
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
        frame = std::make_unique<CMainFrame>(tempOptions());
        frame->resize(1200, 900);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        Recorder& rec = frame->recorder();
        for (QTimer* t : {&rec.pollTimer(), &rec.watchdogTimer(), &rec.scanTimer()})
            t->stop();
        rec.setClockMs([this] { return nowMs; });
    }

    // The poll at the next second and the meter's reply to it.
    void sample(float air)
    {
        nowMs += 1000;
        frame->recorder().pollTick();
        emit frame->link()->readingReceived(readingOf({air, 15.0f, 10.0f, 30.0f, 50.0f}));
    }
    // The watchdog finds the meter silent.
    void silent()
    {
        frame->run().onLinkLost();
        emit frame->link()->linkLost(true);
    }
    QStringList rows() const
    {
        QStringList out;
        for (int i = 0; i < frame->eventList()->rowCount(); ++i)
            out << frame->eventList()->whatText(i);
        return out;
    }

    int64_t nowMs = 1796687155000; // 2026-12-07 23:45:55 UTC
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(RunEvents, TheStatusBarAndTheEventListSayWhyTheRunEnded)
{
    struct Case {
        const char* cause;
        QString why; // after "Run ended at HH:MM:SS: " in the status bar, "Run ended: " in the list
    };
    const QList<Case> cases = {
        {"count", "3 samples recorded"},
        {"stop", "stopped (2 samples kept)"},
        {"link", "the meter stopped answering (2 samples kept)"},
        {"power", "the meter was turned off (2 samples kept)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cause);
        // Every new run starts with an empty list and nothing said.
        frame->recorder().runDiscarded();
        frame->startRun(1, 3);
        EXPECT_EQ(frame->runEndText(), QString());
        EXPECT_EQ(frame->eventList()->rowCount(), 0);
        sample(20.0f);
        sample(20.0f);
        const QString cause = QLatin1String(c.cause);
        if (cause == QLatin1String("count")) {
            sample(20.0f);
        } else if (cause == QLatin1String("stop")) {
            frame->action(CMainFrame::Command::Stop)->trigger();
        } else if (cause == QLatin1String("link")) {
            silent();
        } else {
            QString asked;
            answerMessageBox(QMessageBox::Yes, &asked);
            frame->sendKeyPacket(meter::keyPressPacket(meter::RemoteKey::PowerOff));
            EXPECT_EQ(asked, "This turns the meter off and ends the recording.");
            silent();
        }
        const QString at = QDateTime::fromMSecsSinceEpoch(nowMs, QTimeZone::utc()).toString(QStringLiteral("HH:mm:ss"));
        EXPECT_EQ(frame->runEndText(), QStringLiteral("Run ended at %1: %2").arg(at, c.why));
        ASSERT_GE(frame->eventList()->rowCount(), 1);
        EXPECT_EQ(rows().last(), QStringLiteral("Run ended: ") + c.why);
        EXPECT_TRUE(frame->action(CMainFrame::Command::Save)->isEnabled()) << "the run can be saved as usual";
        // The link comes back for the next case.
        nowMs += 1000;
        emit frame->link()->readingReceived(readingOf({20.0f, 15.0f, 10.0f, 30.0f, 50.0f}));
    }
}

TEST_F(RunEvents, PowerAnsweredNoSendsNothingAndTheRunGoesOn)
{
    frame->startRun(1, 100);
    sample(20.0f);
    QString asked;
    answerMessageBox(QMessageBox::No, &asked);
    frame->sendKeyPacket(meter::keyPressPacket(meter::RemoteKey::PowerOff));
    EXPECT_EQ(asked, "This turns the meter off and ends the recording.");
    sample(20.0f);
    EXPECT_EQ(frame->run().m_nCount, 2);
    EXPECT_EQ(frame->runEndText(), QString());
    // A later silence is the meter's own doing.
    silent();
    EXPECT_TRUE(frame->runEndText().endsWith("the meter stopped answering (2 samples kept)")) << frame->runEndText().toStdString();

    // Outside a run, POWER is not asked about.
    frame->sendKeyPacket(meter::keyPressPacket(meter::RemoteKey::PowerOff));
    QTest::qWait(50);
    EXPECT_FALSE(QApplication::activeModalWidget());
}

TEST_F(RunEvents, AlarmsAndTheLinkAreListedAndSavedBesideTheRun)
{
    AlarmLimits limits = noAlarmLimits();
    limits.high[kAir] = 21.0f;
    frame->recorder().setAlarmLimits(limits);
    frame->startRun(1, 100);
    sample(20.0f);
    sample(21.5f);
    sample(20.5f);
    silent();
    nowMs += 5000;
    emit frame->link()->readingReceived(readingOf({20.0f, 15.0f, 10.0f, 30.0f, 50.0f}));
    EXPECT_EQ(rows(), QStringList({"AIR above its high limit of 21.0 °C: 21.5 °C",
                                   "AIR back within its high limit of 21.0 °C: 20.5 °C",
                                   "Link lost: the meter stopped answering",
                                   "Run ended: the meter stopped answering (3 samples kept)",
                                   "Link back: the meter answers again"}));
    EXPECT_EQ(frame->eventList()->timeText(0), "07/12/26 23:45:57");
    auto* dock = frame->findChild<QDockWidget*>(QStringLiteral("eventsDock"));
    ASSERT_NE(dock, nullptr);
    EXPECT_EQ(dock->windowTitle(), "Events");
    EXPECT_FALSE(dock->isVisible());
    QAction* show = nullptr;
    for (QAction* a : frame->findChildren<QAction*>()) {
        if (a->text() == "&Events")
            show = a;
    }
    ASSERT_NE(show, nullptr);
    show->trigger();
    EXPECT_TRUE(dock->isVisible());
    EXPECT_TRUE(dock->isFloating());

    ModalAnswers answers;
    answers.saveAs(path("cold room.AsmDat"));
    frame->action(CMainFrame::Command::Save)->trigger();
    ASSERT_TRUE(answers.done());
    QList<MonitorEvent> saved;
    ASSERT_TRUE(EventLog::load(path("cold room.events.jsonl"), saved).ok());
    ASSERT_EQ(saved.size(), 5);
    EXPECT_EQ(saved[0].kind, MonitorEvent::Kind::Alarm);
    EXPECT_TRUE(saved[0].on);
    EXPECT_FLOAT_EQ(saved[0].value, 21.5f);
    EXPECT_FLOAT_EQ(saved[0].limit, 21.0f);
    EXPECT_EQ(saved[0].time, 1796687157);
    EXPECT_EQ(saved[3].kind, MonitorEvent::Kind::RunEnded);
    EXPECT_EQ(saved[3].reason, MonitorEvent::Reason::Link);
    EXPECT_EQ(saved[3].samples, 3);
}

} // namespace
