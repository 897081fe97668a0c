// The main window on the offscreen platform: its commands, the Run dialog
// round, the close sequence and the panel layout.
#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "app/CSampleRateDlg.h"
#include "panels/CCurveBar.h"
#include "widgets/StatusPane.h"
#include "DataFixtures.h"
#include "FileNodes.h"
#include "ModalAnswers.h"
#include "ReadingOf.h"
#include "TempDir.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>

namespace {

class MainFrameTest : public TempDirTest {
protected:
    void SetUp() override
    {
        options = tempOptions();
    }

    std::unique_ptr<CMainFrame> makeFrame()
    {
        auto f = std::make_unique<CMainFrame>(options);
        f->resize(1200, 800);
        f->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        return f;
    }

    // Pretends the meter answered, as a folded reading leaves the run.
    static void meterAnswers(CMainFrame& f)
    {
        f.run().onValidFrame(1000);
        f.updateCommands();
    }

    // Triggers Run and answers the dialog with the given interval text.
    static void runWith(CMainFrame& f, const QString& interval)
    {
        whenModalAppears([interval](QWidget* w) {
            auto* dlg = qobject_cast<CSampleRateDlg*>(w);
            ASSERT_NE(dlg, nullptr);
            dlg->rateEdit()->setText(interval);
            dlg->okButton()->click();
        });
        f.action(CMainFrame::Command::Run)->trigger();
    }

    AppOptions options;
};

QStringList menuTexts(QMenuBar* bar)
{
    QStringList texts;
    for (QAction* menu : bar->actions()) {
        texts << menu->text();
        for (QAction* a : menu->menu()->actions())
            if (!a->isSeparator())
                texts << a->text();
    }
    return texts;
}

} // namespace

TEST_F(MainFrameTest, WindowMenusToolbarAndStatusBar)
{
    auto f = makeFrame();
    EXPECT_EQ(f->windowTitle(), "ZB740 \u2014 unsaved run[*]");
    EXPECT_EQ(menuTexts(f->menuBar()),
              QStringList({"&File", "&Save", "&Open", "&Print", "Export Report as PDF\u2026", "Export",
                           "Publish to &MQTT\u2026", "&Exit", "&RealTime", "&Run", "&Stop",
                           "&UndoZoom", "&Events", "&Help", "&About ZB740...", "&Contents"}));
    auto* bar = f->findChild<QToolBar*>("mainToolBar");
    ASSERT_NE(bar, nullptr);
    QStringList tips;
    int separators = 0;
    for (QAction* a : bar->actions()) {
        if (a->isSeparator())
            ++separators;
        else
            tips << a->toolTip();
    }
    EXPECT_EQ(tips, QStringList({"Save", "Open", "Start", "Stop", "Print", "UndoZoom", "Help"}));
    EXPECT_EQ(separators, 6);
    EXPECT_EQ(f->action(CMainFrame::Command::Save)->shortcut(), QKeySequence(QKeySequence::Save));
}

TEST_F(MainFrameTest, CommandsFollowTheRunFlags)
{
    auto f = makeFrame();
    using C = CMainFrame::Command;
    EXPECT_FALSE(f->action(C::Run)->isEnabled()) << "Run waits for the first valid frame";
    EXPECT_FALSE(f->action(C::Stop)->isEnabled());
    EXPECT_FALSE(f->action(C::Save)->isEnabled());
    EXPECT_FALSE(f->action(C::UndoZoom)->isEnabled());
    EXPECT_TRUE(f->action(C::Exit)->isEnabled());
    EXPECT_TRUE(f->action(C::About)->isEnabled());

    meterAnswers(*f);
    EXPECT_TRUE(f->action(C::Run)->isEnabled());

    runWith(*f, "0");
    RunState& r = f->run();
    EXPECT_EQ(r.m_nSampleMs, 1000) << "interval 0 becomes 1000 ms";
    EXPECT_TRUE(r.m_bRunning && r.m_bStartPending && r.m_bIdle) << "armed";
    EXPECT_TRUE(r.m_bHasRun);
    EXPECT_FALSE(f->action(C::Run)->isEnabled());
    EXPECT_TRUE(f->action(C::Stop)->isEnabled());

    f->action(C::Stop)->trigger();
    EXPECT_FALSE(f->action(C::Stop)->isEnabled());
    EXPECT_FALSE(r.m_bRunning);

    r.m_nCount = 1;
    f->updateCommands();
    EXPECT_TRUE(f->action(C::Save)->isEnabled());
}

TEST_F(MainFrameTest, SecondRunAsksToSaveAndCancelKeepsTheState)
{
    auto f = makeFrame();
    meterAnswers(*f);
    runWith(*f, "2");
    RunState& r = f->run();
    r.onValidFrame(2000); // the run starts
    ASSERT_TRUE(r.commit()); // with a sample to save
    r.stop();
    r.onValidFrame(3000);
    f->updateCommands();
    ASSERT_TRUE(f->action(CMainFrame::Command::Run)->isEnabled());

    QString question;
    whenModalAppears([&question](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        question = box->text();
        box->button(QMessageBox::No)->click();
        // then the Run dialog: the seeded values, closed with the close box
        whenModalAppears([](QWidget* d) {
            auto* dlg = qobject_cast<CSampleRateDlg*>(d);
            ASSERT_NE(dlg, nullptr);
            EXPECT_EQ(dlg->rateEdit()->text(), "2");
            dlg->reject();
        });
    });
    f->action(CMainFrame::Command::Run)->trigger();
    EXPECT_EQ(question, "Do you want to save the existing graph data before continuing?");
    EXPECT_FALSE(r.m_bRunning) << "cancel leaves the run state";
    EXPECT_EQ(r.m_nSampleMs, 2000);
}

TEST_F(MainFrameTest, TheReadingThatStartsARunIsItsFirstSampleAndTheHeaderShowsItAtOnce)
{
    ScopedTimeZone tz("UTC0");
    auto f = makeFrame();
    RunState& r = f->run();
    Recorder& rec = f->recorder();
    // The test plays the meter and the clock.
    for (QTimer* t : {&rec.pollTimer(), &rec.watchdogTimer(), &rec.scanTimer()})
        t->stop();
    int64_t nowMs = 1796687155000; // 2026-12-07 23:45:55 UTC
    rec.setClockMs([&nowMs] { return nowMs; });
    auto reading = [&](float air) { emit f->link()->readingReceived(readingOf({air, 15.0f, 10.0f, 30.0f, 50.0f})); };
    reading(20.0f);
    EXPECT_EQ(r.m_nCount, 0) << "not running";

    // A run of the previous hour, shown in the header.
    runWith(*f, "5000");
    nowMs -= 3600 * 1000;
    reading(19.0f);
    ASSERT_EQ(r.m_nCount, 1);
    f->action(CMainFrame::Command::Stop)->trigger();
    reading(19.5f); // Run is available again
    CCurveBar* bar = f->view()->curveBar();
    EXPECT_EQ(bar->field(CCurveBar::StartTime)->text(), "07/12/26 22:45:55");

    // With an interval of 5000 s the new run's header is there at its
    // first reading, not an interval later.
    nowMs += 3600 * 1000;
    ModalAnswers answers;
    answers.click("No");
    answers.then<CSampleRateDlg>([](CSampleRateDlg* dlg) {
        dlg->rateEdit()->setText("5000");
        dlg->okButton()->click();
    });
    f->action(CMainFrame::Command::Run)->trigger();
    ASSERT_TRUE(answers.done());
    EXPECT_EQ(r.m_nCount, 1) << "armed: nothing yet";
    nowMs += 400;
    reading(21.5f);
    EXPECT_EQ(r.m_nCount, 1);
    EXPECT_EQ(r.m_tStart, 1796687155);
    EXPECT_EQ(f->recorder().live().at(kAir, 0), 21.5f);
    EXPECT_EQ(bar->field(CCurveBar::StartTime)->text(), "07/12/26 23:45:55");
    EXPECT_EQ(bar->field(CCurveBar::DataNo)->text(), "1");
    EXPECT_TRUE(f->action(CMainFrame::Command::Save)->isEnabled());

    // Readings between the samples' moments are no samples.
    nowMs += 1000;
    rec.pollTick();
    reading(22.0f);
    EXPECT_EQ(r.m_nCount, 1);
}

TEST_F(MainFrameTest, CloseWritesSettingsAndAsksOnlyForTwoOrMoreSamples)
{
    for (int count : {1, 2}) {
        auto f = makeFrame();
        f->run().m_nCount = count;
        QString question;
        if (count >= 2)
            answerMessageBox(QMessageBox::No, &question);
        f->action(CMainFrame::Command::Exit)->trigger();
        QTest::qWait(20);
        EXPECT_FALSE(f->isVisible());
        EXPECT_EQ(question, count >= 2 ? "Do you want to save the data before closing?" : "") << count;
    }
    QFile ini(path("ZB740/ZB740.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    for (const char* line : {"COM num=1", "Hi1 limit=140.0", "Hi4 limit=2501.0", "Hi5 limit=100.0",
                             "Low3 limit=0.0", "Samprate=\n", "Sampdata=\n", "Gain=10", "Offset=0"})
        EXPECT_TRUE(text.contains(line)) << line;
}

TEST_F(MainFrameTest, SettingsFilesThatAreFifosDoNotHoldUpTheStart)
{
    // Both settings files are FIFOs nobody writes to: the window comes up
    // at once with the built-in values, and closing does not replace them.
    ASSERT_TRUE(QDir().mkpath(options.settingsDir));
    const QString settingsIni = QDir(options.settingsDir).filePath("ZB740.ini");
    ASSERT_TRUE(makeFifo(options.configFile));
    ASSERT_TRUE(makeFifo(settingsIni));
    FifoUnblocker configGuard(options.configFile);
    FifoUnblocker settingsGuard(settingsIni);
    auto f = makeFrame();
    EXPECT_EQ(f->view()->alarmPanel()->limitTexts().high[4], "100.0");
    f->action(CMainFrame::Command::Exit)->trigger();
    QTest::qWait(20);
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(configGuard.done(), 0) << "the start blocked on " << options.configFile.toStdString();
    EXPECT_EQ(settingsGuard.done(), 0) << "the start blocked on " << settingsIni.toStdString();
    EXPECT_EQ(fileTypeOf(options.configFile), mode_t(S_IFIFO));
    EXPECT_EQ(fileTypeOf(settingsIni), mode_t(S_IFIFO));
}

TEST_F(MainFrameTest, PanelsFollowTheLayoutTable)
{
    auto f = makeFrame();
    CKMView* v = f->view();
    const QRect client = f->clientRectInView();
    const int T = client.top(), R = client.right() + 1, B = client.bottom() + 1;
    EXPECT_EQ(v->curveBar()->geometry(), QRect(228, T + 30, R - 230, 95));
    EXPECT_EQ(v->alarmPanel()->geometry(), QRect(228, B - 170, R - 230, 150));
    EXPECT_EQ(v->meterPanel()->geometry(), QRect(0, T + 31, 228, B - T - 50));
    EXPECT_EQ(v->scrollStrip()->geometry(), QRect(228, B - 192, R - 230, 25));
    EXPECT_TRUE(v->alarmPanel()->isVisible());

    // Too low for the alarm panel and the strip: both keep their places.
    const QRect alarmBefore = v->alarmPanel()->geometry();
    const QRect stripBefore = v->scrollStrip()->geometry();
    f->resize(1200, f->height() - v->height() + 100);
    QTest::qWait(20);
    EXPECT_EQ(v->alarmPanel()->geometry(), alarmBefore);
    EXPECT_EQ(v->scrollStrip()->geometry(), stripBefore);
    EXPECT_EQ(v->meterPanel()->height(), f->clientRectInView().height() - 50);
}

TEST_F(MainFrameTest, PortStatusIsReadableInFull)
{
    auto f = makeFrame();
    const QString text = QStringLiteral(
        "Permission denied on /dev/ttyUSB0: join group \"dialout\" (sudo usermod -aG dialout $USER) and log in again.");
    f->setPortStatus(text);
    auto* pane = f->findChild<StatusPane*>(QStringLiteral("portStatusPane"));
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(f->paneText(0), pane->text());
    EXPECT_LT(pane->text().size(), text.size()) << "cut to the pane's 150 pixels";
    EXPECT_EQ(pane->toolTip(), text);
    // A click on the pane shows the whole text.
    QString shown;
    answerMessageBox(QMessageBox::Ok, &shown);
    QTest::mouseClick(pane, Qt::LeftButton);
    EXPECT_EQ(shown, text);
}
