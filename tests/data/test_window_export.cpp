// File > Export of the main window and the logger window's Export button,
// on the offscreen platform: the files are those zb740-cli export writes
// from the run's data file.
#include "DataFixtures.h"
#include "ModalAnswers.h"
#include "ReadingOf.h"
#include "TempDir.h"

#include "app/CMainFrame.h"
#include "app/ExportCommands.h"
#include "data/RunFiles.h"
#include "logger/CLoggerGraphDlg.h"

#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

constexpr int64_t kStart = 1796687155; // 2026-12-07 23:45:55 UTC, 00:45:55 in Berlin

QByteArray cliExport(const QString& data, const char* format)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"), {"export", data, "--format", format, "-o", "-"});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

class WindowExport : public TempDirTest {
protected:
    void SetUp() override
    {
        tz = std::make_unique<ScopedTimeZone>("Europe/Berlin");
        frame = std::make_unique<CMainFrame>(tempOptions());
        frame->resize(1200, 800);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        // The test plays the meter.
        Recorder& r = frame->recorder();
        for (QTimer* t : {&r.watchdogTimer(), &r.scanTimer(), &r.pollTimer()})
            t->stop();
    }
    void TearDown() override
    {
        frame.reset();
        tz.reset();
    }

    // A run of n samples, one a second from kStart, by the recorder's clock.
    void record(int n)
    {
        Recorder& r = frame->recorder();
        auto reading = [&](int i) {
            r.setClockMs([i] { return (kStart + i) * 1000; });
            r.pollTick();
            emit frame->link()->readingReceived(
                readingOf({20.0f + 0.35f * float(i), 15.0f, -0.04f * float(i), i == 1 ? kKirMeterMissing : 30.0f,
                           50.0f}));
        };
        reading(0); // the meter answers: Run is available
        frame->startRun(1, 1000);
        for (int i = 0; i < n; ++i)
            reading(i);
        ASSERT_EQ(frame->run().m_nCount, n);
    }

    std::unique_ptr<ScopedTimeZone> tz;
    std::unique_ptr<CMainFrame> frame;
};

} // namespace

TEST_F(WindowExport, FileExportWritesTheShownRunAsZb740CliWouldFromItsDataFile)
{
    ExportCommands* e = frame->exportCommands();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->menu()->title(), "Export");
    EXPECT_EQ(e->csvAction()->text(), QString::fromUtf8("Spreadsheet (CSV, UTF-8)\u2026"));
    EXPECT_EQ(e->jsonlAction()->text(), QString::fromUtf8("JSON lines\u2026"));
    EXPECT_FALSE(e->csvAction()->isEnabled()) << "no run to export";
    EXPECT_FALSE(e->jsonlAction()->isEnabled());

    record(4);
    EXPECT_TRUE(e->csvAction()->isEnabled());
    EXPECT_TRUE(e->jsonlAction()->isEnabled());
    ASSERT_TRUE(RunFiles::saveRun(path("run.AsmDat"), frame->recorder().view(), {10, 0}).ok());

    ModalAnswers answers;
    answers.saveAs(path("live.csv"));
    e->csvAction()->trigger();
    ASSERT_TRUE(answers.done());
    answers.saveAs(path("live.jsonl"));
    e->jsonlAction()->trigger();
    ASSERT_TRUE(answers.done());
    // The dialog starts in the settings folder offering the run's start.
    ASSERT_EQ(answers.seen.size(), 2);
    EXPECT_EQ(answers.seen[0], "file dialog in " + path("ZB740") + " offering 26-12-08 00.45.55.csv");
    EXPECT_EQ(answers.seen[1], "file dialog in " + path("ZB740") + " offering 26-12-08 00.45.55.jsonl");

    const QByteArray csv = cliExport(path("run.AsmDat"), "csv");
    ASSERT_TRUE(csv.startsWith("time,utc_offset,air_C,"));
    EXPECT_EQ(readAll(path("live.csv")).toStdString(), csv.toStdString());
    const QByteArray jsonl = cliExport(path("run.AsmDat"), "jsonl");
    ASSERT_TRUE(jsonl.startsWith("{\"time\":\"2026-12-08T00:45:55+01:00\","));
    EXPECT_EQ(readAll(path("live.jsonl")).toStdString(), jsonl.toStdString());
    EXPECT_EQ(jsonl.count("\"k_ir\":null"), 1);

    // A file that cannot be written is shown with its reason; nothing is
    // left behind.
    ASSERT_TRUE(writeAll(path("notAFolder"), "x"));
    answers.saveAs(path("notAFolder/x.csv"));
    answers.click("OK");
    e->csvAction()->trigger();
    ASSERT_TRUE(answers.done());
    ASSERT_EQ(answers.seen.size(), 4);
    EXPECT_TRUE(answers.seen[3].startsWith("Could not export \"" + path("notAFolder/x.csv") + "\": "))
        << answers.seen[3].toStdString();
}

TEST_F(WindowExport, TheLoggerWindowExportsTheShownSet)
{
    record(3);
    ASSERT_TRUE(RunFiles::saveRun(path("first.AsmDat"), frame->recorder().view(), {10, 0}).ok());
    CLoggerGraphDlg* w = frame->onOpen();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    QToolButton* button = w->exportButton();
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(w->toolBar()->actions().size(), 10) << "the toolbar keeps its ten faces";
    EXPECT_FALSE(button->geometry().intersects(w->toolBar()->actionGeometry(w->toolBar()->actions().last())))
        << "beside the last face, not over it";
    ASSERT_EQ(w->exportMenu()->actions().size(), 2);

    // Nothing shown yet: nothing to export, no dialog.
    ModalAnswers answers;
    w->exportMenu()->actions()[0]->trigger();
    QTest::qWait(50);
    EXPECT_TRUE(answers.seen.isEmpty());

    ASSERT_TRUE(w->loadFile(path("first.AsmDat")).ok());
    answers.saveAs(path("set.csv"));
    w->exportMenu()->actions()[0]->trigger();
    ASSERT_TRUE(answers.done());
    answers.saveAs(path("set.jsonl"));
    w->exportMenu()->actions()[1]->trigger();
    ASSERT_TRUE(answers.done());
    EXPECT_EQ(readAll(path("set.csv")).toStdString(), cliExport(path("first.AsmDat"), "csv").toStdString());
    EXPECT_EQ(readAll(path("set.jsonl")).toStdString(), cliExport(path("first.AsmDat"), "jsonl").toStdString());
}
