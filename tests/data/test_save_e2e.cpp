// A run recorded from the simulated meter over a pseudo-terminal, through
// the real main window and serial layer, saved with the Save command and
// read back.
#include "DataFixtures.h"
#include "MeterAndFrame.h"
#include "ModalAnswers.h"

#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "app/CSampleRateDlg.h"
#include "data/TextExport.h"
#include "link/SimulatedMeter.h"

#include <QAction>
#include <QBuffer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using SaveEndToEndTest = MeterAndFrameTest;

TEST_F(SaveEndToEndTest, RecordedRunSavesAndLoadsBackUnchanged)
{
    ScopedTimeZone tz("Europe/Berlin");
    startMeter();
    makeFrame();
    RunState& run = m_frame->run();
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.m_bRunEnabled; }, 15000));

    // Run at one sample a second, stop after three samples.
    {
        ModalAnswers answers;
        answers.then<CSampleRateDlg>([](CSampleRateDlg* dlg) {
            dlg->rateEdit()->setText(QStringLiteral("1"));
            dlg->okButton()->click();
        });
        m_frame->onRun();
        ASSERT_TRUE(answers.done());
    }
    ASSERT_TRUE(run.m_bRunning);
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.m_nCount >= 3; }, 20000));
    m_frame->onStop();
    const int n = run.m_nCount;
    m_frame->view()->m_nYGain = 20;
    m_frame->view()->m_nYOffset = -5;

    ModalAnswers answers;
    answers.saveAs(path("Sim run"));
    m_frame->action(CMainFrame::Command::Save)->trigger();
    ASSERT_EQ(answers.seen.size(), 1);

    auto rec = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    const Status res = DataFile::load(path("Sim run.AsmDat"), *rec, scale);
    ASSERT_TRUE(res.ok()) << res.message().toStdString();
    const LiveSeries& live = m_frame->doc().live();
    ASSERT_EQ(rec->count, n);
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < kChannelCount; ++c)
            EXPECT_EQ(rec->at(i, c), live.at(c, i)) << "sample " << i << " channel " << c;
    EXPECT_EQ(DataFile::startOf(*rec), run.m_tStart);
    EXPECT_EQ(rec->interval, 1);
    EXPECT_EQ(rec->unitFlag, run.m_bFahrenheit ? 1 : 0);
    EXPECT_EQ(rec->unitText, QStringLiteral("C"));
    EXPECT_EQ(scale, (YScaleValues {20, -5}));

    // The table beside it is what the export of the live run gives, and
    // what the command-line tool makes of the data file.
    QBuffer expected;
    expected.open(QIODevice::WriteOnly);
    ASSERT_TRUE(TextExport::write(expected, RunView::of(live, run.info())).ok());
    const QByteArray saved = readAll(path("Sim run.csv"));
    EXPECT_EQ(saved, expected.data());
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(saved.constData() + 2), (saved.size() - 2) / 2)
                  .count(QStringLiteral("\r\n")),
              n + 1);

    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"),
              {QStringLiteral("export"), path("Sim run.AsmDat"), QStringLiteral("-o"), path("cli.csv")});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_EQ(readAll(path("cli.csv")), saved);
}
