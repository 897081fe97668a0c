// A run recorded from the simulated meter through the real main window and
// serial layer, printed with Ctrl+P to the print dialog's PDF destination.
#include "MeterAndFrame.h"
#include "ModalAnswers.h"
#include "ReportFixtures.h"

#include "app/CKMView.h"
#include "app/CSampleRateDlg.h"
#include "graph/RealtimeGraph.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <gtest/gtest.h>

using ReportEndToEndTest = MeterAndFrameTest;

TEST_F(ReportEndToEndTest, ARecordedRunPrintsWithCtrlP)
{
    ScopedTimeZone tz("UTC0");
    startMeter();
    makeFrame();
    RunState& run = m_frame->run();
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.m_bRunEnabled; }, 15000));
    QAction* print = m_frame->action(CMainFrame::Command::Print);
    EXPECT_FALSE(print->isEnabled()) << "nothing recorded yet";

    {
        ModalAnswers answers;
        answers.then<CSampleRateDlg>([](CSampleRateDlg* dlg) {
            dlg->rateEdit()->setText(QStringLiteral("1"));
            dlg->okButton()->click();
        });
        m_frame->onRun();
        ASSERT_TRUE(answers.done());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.m_nCount >= 3; }, 20000));
    m_frame->onStop();
    QTRY_VERIFY(print->isEnabled());
    m_frame->view()->graph()->repaintNow();

    ModalAnswers answers;
    answers.then<QDialog>([this](QDialog* d) {
        auto* printers = d->findChild<QComboBox*>(QStringLiteral("printers"));
        ASSERT_NE(printers, nullptr);
        printers->setCurrentIndex(printers->findText(QStringLiteral("Print to File (PDF)")));
        d->findChild<QLineEdit*>(QStringLiteral("filename"))->setText(path("recorded.pdf"));
        QMetaObject::invokeMethod(d, "accept");
    });
    QTest::keyClick(m_frame.get(), Qt::Key_P, Qt::ControlModifier);
    QTRY_COMPARE(answers.seen, QStringList {"other dialog"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(path("recorded.pdf")); }, 5000));

    const QPageLayout layout = QPrinter(QPrinter::HighResolution).pageLayout();
    const QMarginsF m = layout.margins(QPageLayout::Millimeter);
    const PdfPage page(path("recorded.pdf"), PrintableFrame {m.right(), m.bottom()});
    ASSERT_TRUE(page.ok());
    // The run's start under the first time label, the graph's own scale.
    const QString start = LocalTime::format(run.m_tStart, "%H:%M:%S");
    ASSERT_FALSE(page.find(start).isEmpty()) << page.texts().join(' ').toStdString();
    EXPECT_NEAR(page.find(start)[0].left, ReportLayout::timeLabelX(0), 1.5);
    const plot::AxisValues& axis = m_frame->view()->graph()->frame().axis[0];
    EXPECT_EQ(page.find(QString::asprintf("%.1f", double(axis[10]))).size(), 1);
    // The recorded air temperature of the first sample, where it belongs.
    const double air = m_frame->doc().live().at(kAir, 0);
    const int y = int(ReportLayout::curveMap(2, axis[0], axis[10]).yOfValue(air));
    ASSERT_TRUE(y > 205 && y < 995) << "the simulated air lies inside the default scale: " << air;
    EXPECT_TRUE(page.hasColorNear(-748, y, kAirPrint, 3)) << "AIR " << air << " at " << y;
}
