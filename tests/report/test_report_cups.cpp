// The report on a real print queue: a private cupsd with a cups-pdf queue,
// printed through Qt exactly as the Print command prints, the PDF the queue
// wrote read back. Where cupsd cannot run the test says so, and fails when
// CI is set, so the real path cannot quietly stop being tested.
#include "CupsServer.h"
#include "ModalAnswers.h"
#include "ReportFixtures.h"

#include "report/ReportPrinter.h"

#include <QComboBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <gtest/gtest.h>

namespace {

const QString kQueue = QStringLiteral("ZB740_Report_Test");

CupsServer* g_server = nullptr;

// One scheduler for the whole program, started by the first test: CUPS
// remembers the server it was pointed at the first time it is used.
CupsServer* server()
{
    static QString why;
    static bool tried = false;
    if (!tried) {
        tried = true;
        auto* candidate = new CupsServer;
        if (candidate->start(&why)) {
            qputenv("CUPS_SERVER", candidate->socketPath().toLocal8Bit());
            g_server = candidate;
        } else {
            delete candidate;
        }
    }
    if (!g_server)
        std::printf("No private CUPS scheduler here: %s\n", qPrintable(why));
    return g_server;
}

// Stops the scheduler when the program ends.
class StopServer : public ::testing::Environment {
public:
    void TearDown() override
    {
        delete g_server;  // stops it
        g_server = nullptr;
    }
};
const auto* const kStopServer = ::testing::AddGlobalTestEnvironment(new StopServer);

} // namespace

class CupsReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cups = server();
        if (!cups) {
            if (qEnvironmentVariableIsSet("CI"))
                FAIL() << "cupsd must run in CI: the real print path is not tested";
            GTEST_SKIP() << "cupsd cannot be started here, so the real print path is not tested";
        }
        QString why;
        ASSERT_TRUE(cups->addPdfQueue(kQueue, &why)) << why.toStdString();
        ASSERT_TRUE(QPrinterInfo::availablePrinterNames().contains(kQueue))
            << QPrinterInfo::availablePrinterNames().join(' ').toStdString();
        printer.setReporter([this](QWidget*, const QString& text) { messages << text; });
        printer.setClock(&printedMoment);
        outFolder = CupsServer::pdfFolderOf(kQueue);
        hadOutFolder = QFileInfo::exists(outFolder);
        before = QDir(outFolder).entryList({QStringLiteral("*.pdf")}, QDir::Files);
    }
    void TearDown() override
    {
        if (!cups)
            return;
        // Only what this test printed is removed, and the folder if it was
        // made for it.
        for (const QString& f : written())
            QFile::remove(QDir(outFolder).filePath(f));
        if (!hadOutFolder)
            QDir().rmdir(outFolder);
        (void)cups->removeQueue(kQueue);
    }
    QStringList written() const
    {
        QStringList now = QDir(outFolder).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        for (const QString& f : before)
            now.removeAll(f);
        return now;
    }

    ScopedTimeZone tz {"UTC0"};
    CupsServer* cups = nullptr;
    ReportPrinter printer;
    QStringList messages;
    QString outFolder;
    bool hadOutFolder = false;
    QStringList before;
    SavedRun run {5, 10};
};

TEST_F(CupsReportTest, PrintsToTheQueueChosenInThePrintDialog)
{
    ModalAnswers answers;
    answers.then<QPrintDialog>([](QPrintDialog* d) {
        auto* printers = d->findChild<QComboBox*>(QStringLiteral("printers"));
        ASSERT_NE(printers, nullptr);
        const int queue = printers->findText(kQueue);
        ASSERT_GE(queue, 0) << "the queue is offered";
        ASSERT_GE(printers->findText(QStringLiteral("Print to File (PDF)")), 0) << "and so is a file";
        printers->setCurrentIndex(queue);
        QMetaObject::invokeMethod(d, "accept");
    });
    const Status s = printer.PrintTestReport(nullptr, run.input());
    ASSERT_TRUE(s.ok()) << s.message().toStdString();
    EXPECT_EQ(answers.seen, QStringList {"other dialog"});
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();

    ASSERT_TRUE(cups->waitForJobs(kQueue, 1)) << cups->errorLog().toStdString();
    const QStringList files = written();
    ASSERT_EQ(files.size(), 1) << "in " << outFolder.toStdString() << "\n" << cups->errorLog().toStdString();
    // cups-pdf names the file after the job: the document name.
    EXPECT_TRUE(files[0].startsWith("client___print")) << files[0].toStdString();

    // The page the queue produced, measured from the printable corner the
    // queue's printer reports.
    QPrinter same(QPrinter::HighResolution);
    same.setPrinterName(kQueue);
    const QMarginsF margins = same.pageLayout().margins(QPageLayout::Millimeter);
    const PdfPage page(QDir(outFolder).filePath(files[0]), PrintableFrame {margins.right(), margins.bottom()});
    ASSERT_TRUE(page.ok());
    EXPECT_LT(page.darkest(-750, 200, 2), 100);
    EXPECT_LT(page.darkest(-10, 1000, 2), 100);
    // The queue's converter keeps the glyphs but not always their letters:
    // the title's and the date's ink hang from their positions, between
    // the baseline and the capital height of the 1.5 mm font.
    const auto ink = [&](int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                n += qGray(page.at(x, y).rgb()) < 128;
        return n;
    };
    EXPECT_GT(ink(-750, 1108, -700, 1116), 20) << "title";
    EXPECT_EQ(ink(-770, 1119, -550, 1140), 0) << "nothing above the title";
    EXPECT_EQ(ink(-770, 1100, -752, 1120), 0) << "nothing left of the title";
    EXPECT_GT(ink(-200, 88, -150, 96), 20) << "date";
    EXPECT_EQ(ink(-220, 99, -100, 120), 0) << "nothing above the date";
    EXPECT_TRUE(page.hasColorNear(-300, 600, kAirPrint, 2));
}

TEST_F(CupsReportTest, AQueueGoneSinceTheDialogMeansPrinterIsBusy)
{
    printer.setDialogRunner([this](QPrinter& p, QWidget*) {
        p.setPrinterName(kQueue);
        EXPECT_EQ(p.printerName(), kQueue);
        (void)cups->removeQueue(kQueue);  // taken away while the dialog was open
        return true;
    });
    EXPECT_FALSE(printer.PrintTestReport(nullptr, run.input()).ok());
    EXPECT_EQ(messages, QStringList {QLatin1String(kPrinterBusyText)});
    EXPECT_TRUE(written().isEmpty());
}

TEST_F(CupsReportTest, AQueueRefusingJobsIsReported)
{
    ASSERT_TRUE(cups->command(QStringLiteral("cupsreject"), {kQueue}));
    printer.setDialogRunner([](QPrinter& p, QWidget*) {
        p.setPrinterName(kQueue);
        return true;
    });
    EXPECT_FALSE(printer.PrintTestReport(nullptr, run.input()).ok());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QLatin1String(kNotDeliveredText))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains("not accepting jobs")) << messages[0].toStdString();
    EXPECT_TRUE(written().isEmpty());
}

TEST_F(CupsReportTest, AJobThatCannotStartSaysInitialError)
{
    // The job's spool file goes to TMPDIR; there is no such folder.
    const QByteArray old = qgetenv("TMPDIR");
    qputenv("TMPDIR", "/nonexistent/zb740");
    printer.setDialogRunner([](QPrinter& p, QWidget*) {
        p.setPrinterName(kQueue);
        return true;
    });
    const Status s = printer.PrintTestReport(nullptr, run.input());
    if (old.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", old);
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(messages, QStringList {QLatin1String(kInitialErrorText)});
    EXPECT_TRUE(written().isEmpty());
}
