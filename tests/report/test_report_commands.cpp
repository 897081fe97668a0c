// The Print and Export commands: the print dialog (Qt's own, driven as a
// user would, or a stand-in), the printer's failures and their messages,
// the file destination, and the main window's wiring.
#include "FakePrinter.h"
#include "ModalAnswers.h"
#include "ReportFixtures.h"
#include "TempDir.h"

#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "app/RunSaver.h"
#include "graph/RealtimeGraph.h"
#include "report/ReportCommands.h"
#include "report/ReportFacts.h"
#include "report/ReportOptionsTab.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "report/ReportPrinter.h"

#include <QAction>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QPrintDialog>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

namespace {

// Chooses "Print to File (PDF)" in Qt's print dialog, names the file and
// presses Print.
void printToFile(QDialog* dialog, const QString& file)
{
    auto* printers = dialog->findChild<QComboBox*>(QStringLiteral("printers"));
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
    ASSERT_TRUE(printers && name) << "the print dialog's destination and file boxes";
    const int toFile = printers->findText(QStringLiteral("Print to File (PDF)"));
    ASSERT_GE(toFile, 0) << "printing to a file is on offer";
    printers->setCurrentIndex(toFile);
    name->setText(file);
    QMetaObject::invokeMethod(dialog, "accept");
}

} // namespace

class ReportPrinterTest : public TempDirTest {
protected:
    void SetUp() override
    {
        printer.setReporter([this](QWidget*, const QString& text) { messages << text; });
        printer.setClock(&printedMoment);
        printer.setPrinterFactory([this] { return std::make_unique<FakePrinter>(&engine); });
    }
    // The dialog accepts after setup() changed the printer as a user would.
    void acceptDialog(std::function<void(QPrinter&)> setup = {})
    {
        printer.setDialogRunner([this, setup](QPrinter& p, QWidget*) {
            ++dialogs;
            rangeOffered = p.printRange();
            if (setup)
                setup(p);
            return true;
        });
    }

    ScopedTimeZone tz {"UTC0"};
    SavedRun run {5, 10};
    FakePrintEngine engine;
    ReportPrinter printer;
    QStringList messages;
    int dialogs = 0;
    QPrinter::PrintRange rangeOffered = QPrinter::Selection;
};

TEST_F(ReportPrinterTest, PrintsThePageAsTheDocumentClientPrint)
{
    acceptDialog();
    const Status s = printer.PrintTestReport(nullptr, run.input());
    EXPECT_TRUE(s.ok()) << s.message().toStdString();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(rangeOffered, QPrinter::AllPages);
    EXPECT_EQ(engine.documentName(), QStringLiteral("client   print"));
    EXPECT_TRUE(engine.began && engine.ended);
    EXPECT_FALSE(engine.aborted);
    EXPECT_GT(engine.drawn, 20);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
}

TEST_F(ReportPrinterTest, CancelPrintsNothingAndSaysNothing)
{
    printer.setDialogRunner([this](QPrinter&, QWidget*) {
        ++dialogs;
        return false;
    });
    EXPECT_TRUE(printer.PrintTestReport(nullptr, run.input()).isCancelled());
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(engine.began);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ReportPrinterTest, EachPrinterFailureShowsItsMessage)
{
    struct Case {
        const char* name;
        std::function<void(FakePrintEngine&)> fault;
        const char* message;
        bool began, aborted, painted;
    } cases[] = {
        {"printer in error", [](FakePrintEngine& e) { e.setStateBeforeTheJob(QPrinter::Error); }, kPrinterBusyText,
         false, false, false},
        {"job does not start", [](FakePrintEngine& e) { e.beginSucceeds = false; }, kInitialErrorText, true, false,
         false},
        {"page does not start", [](FakePrintEngine& e) { e.stateAfterBegin = QPrinter::Error; }, kCannotStartText,
         true, true, false},
        {"job not finished", [](FakePrintEngine& e) { e.endSucceeds = false; }, kNotDeliveredText, true, false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePrintEngine fresh;
        c.fault(fresh);
        printer.setPrinterFactory([&fresh] { return std::make_unique<FakePrinter>(&fresh); });
        messages.clear();
        acceptDialog();
        const Status s = printer.PrintTestReport(nullptr, run.input());
        EXPECT_FALSE(s.ok());
        EXPECT_EQ(messages, QStringList {QLatin1String(c.message)});
        EXPECT_EQ(fresh.began, c.began);
        EXPECT_EQ(fresh.aborted, c.aborted);
        EXPECT_EQ(fresh.drawn > 0, c.painted);
    }
}

TEST_F(ReportPrinterTest, APageTooSmallIsRefusedBeforeTheJob)
{
    acceptDialog([](QPrinter& p) {
        p.setPageLayout(QPageLayout(QPageSize(QPageSize::A7), QPageLayout::Portrait, QMarginsF(5, 5, 5, 5),
                                    QPageLayout::Millimeter));
    });
    EXPECT_FALSE(printer.PrintTestReport(nullptr, run.input()).ok());
    EXPECT_FALSE(engine.began) << "nothing was sent";
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("(64 x 95 mm) is smaller than the test report needs (85 x 115 mm)"))
        << messages[0].toStdString();
}

TEST_F(ReportPrinterTest, TheFullPageGoesToThePrinterOrIsRefusedOnSmallPaper)
{
    printer.setOptions({ReportStyle::Full, QStringLiteral("Gus"), QString()});
    const struct {
        QPageSize::PageSizeId size;
        bool fits;
    } cases[] = {{QPageSize::A4, true}, {QPageSize::Letter, true}, {QPageSize::A5, true}, {QPageSize::A6, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(QPageSize(c.size).name().toStdString());
        FakePrintEngine fresh;
        printer.setPrinterFactory([&fresh] { return std::make_unique<FakePrinter>(&fresh); });
        acceptDialog([&c](QPrinter& p) {
            p.setPageLayout(QPageLayout(QPageSize(c.size), QPageLayout::Portrait, QMarginsF(5, 5, 5, 5),
                                        QPageLayout::Millimeter));
        });
        messages.clear();
        EXPECT_EQ(printer.PrintTestReport(nullptr, run.input()).ok(), c.fits);
        EXPECT_EQ(fresh.began, c.fits);
        if (c.fits) {
            EXPECT_GT(fresh.drawn, 100) << "texts, lines and curves of the full page";
            EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
        } else {
            ASSERT_EQ(messages.size(), 1);
            EXPECT_TRUE(messages[0].contains("smaller than the full test report needs (108 x 160 mm)"))
                << messages[0].toStdString();
        }
    }
}

TEST_F(ReportPrinterTest, LoggerPrintDoesNothingForAnEmptySet)
{
    acceptDialog();
    SavedRun empty(0, 10);
    EXPECT_TRUE(printer.printLoggerSet(nullptr, empty.input()).ok());
    EXPECT_EQ(dialogs, 0) << "no dialog for an empty set";
    EXPECT_FALSE(engine.began);
    EXPECT_TRUE(messages.isEmpty());

    EXPECT_TRUE(printer.printLoggerSet(nullptr, run.input()).ok());
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(engine.ended);
}

// --- Qt's own print dialog, driven as a user would ---

class PrintDialogTest : public ReportPrinterTest {
protected:
    void SetUp() override
    {
        ReportPrinterTest::SetUp();
        printer.setPrinterFactory(&ReportPrinter::makePrinter);
    }
};

TEST_F(PrintDialogTest, TheDialogOffersAFileAndWritesThePdfThere)
{
    ModalAnswers answers;
    QPrintDialog::PrintDialogOptions options;
    QAbstractPrintDialog::PrintRange range = QAbstractPrintDialog::CurrentPage;
    answers.then<QPrintDialog>([&](QPrintDialog* dialog) {
        options = dialog->options();
        range = dialog->printRange();
        printToFile(dialog, path("printed.pdf"));
    });
    const Status s = printer.PrintTestReport(nullptr, run.input());
    EXPECT_TRUE(s.ok()) << s.message().toStdString();
    EXPECT_EQ(answers.seen, QStringList {"other dialog"});
    EXPECT_TRUE(options.testFlag(QAbstractPrintDialog::PrintToFile));
    EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintPageRange)) << "no page numbers";
    EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintSelection));
    EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintCurrentPage));
    EXPECT_EQ(range, QAbstractPrintDialog::AllPages);

    const PdfPage page(path("printed.pdf"), PrintableFrame {0, 0});
    ASSERT_TRUE(page.ok());
    EXPECT_EQ(page.find("ZB740").size(), 1);
    EXPECT_EQ(pdfInfo(path("printed.pdf"), "Title"), "client   print");
    EXPECT_EQ(pdfInfo(path("printed.pdf"), "Pages"), "1");
}

TEST_F(PrintDialogTest, CancellingTheDialogLeavesNoFileAndNoMessage)
{
    ModalAnswers answers; // cancels the dialog
    EXPECT_TRUE(printer.PrintTestReport(nullptr, run.input()).isCancelled());
    EXPECT_EQ(answers.seen, QStringList {"other dialog"});
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(QDir(m_tmp.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(PrintDialogTest, AFileThatCannotBeWrittenIsReportedAndTheOldOneKept)
{
    // The chosen file is in a folder that is a file; the other exists.
    ASSERT_TRUE(writeAll(path("notAFolder"), "x"));
    ModalAnswers answers;
    answers.then<QPrintDialog>([&](QPrintDialog* d) { printToFile(d, path("notAFolder/r.pdf")); });
    EXPECT_FALSE(printer.PrintTestReport(nullptr, run.input()).ok());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], QStringLiteral("Could not save \"%1\": Not a directory").arg(path("notAFolder/r.pdf")));
    EXPECT_EQ(readAll(path("notAFolder")), "x");
}

// --- The Report tab: which page, who printed it, notes; kept in ZB740.ini ---

namespace {

// The Report tab inside a dialog, with its tab title.
ReportOptionsTab* reportTab(QWidget* dialog, QString* title = nullptr)
{
    auto* tab = dialog->findChild<ReportOptionsTab*>();
    // A tab widget keeps its pages in a stack of its own.
    QWidget* stack = tab ? tab->parentWidget() : nullptr;
    if (auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr; tabs && title)
        *title = tabs->tabText(tabs->indexOf(tab));
    return tab;
}

void chooseInTab(ReportOptionsTab* tab, int layout, const QString& who, const QString& notes)
{
    tab->findChild<QComboBox*>(QStringLiteral("reportLayout"))->setCurrentIndex(layout);
    tab->findChild<QLineEdit*>(QStringLiteral("reportOperator"))->setText(who);
    tab->findChild<QPlainTextEdit*>(QStringLiteral("reportNotes"))->setPlainText(notes);
}

} // namespace

TEST_F(PrintDialogTest, TheReportTabChoosesTheFullPageAndTheChoiceIsKept)
{
    printer.setSettingsFile(path("ZB740.ini"));
    ModalAnswers answers;
    QString title;
    answers.then<QPrintDialog>([&](QPrintDialog* dialog) {
        ReportOptionsTab* tab = reportTab(dialog, &title);
        ASSERT_NE(tab, nullptr) << "a Report tab in the print dialog";
        EXPECT_EQ(tab->options(), ReportOptions {}) << "classic, nobody, no notes at first";
        chooseInTab(tab, 1, QStringLiteral("Carol Checker"), QStringLiteral("line one\nC:\\data\\n is not a break"));
        printToFile(dialog, path("printed.pdf"));
    });
    const Status s = printer.PrintTestReport(nullptr, run.input());
    ASSERT_TRUE(s.ok()) << s.message().toStdString();
    EXPECT_EQ(title, QStringLiteral("Report"));
    EXPECT_EQ(pdfInfo(path("printed.pdf"), "Title"), "ZB740 Test Report");
    const QString text = QString::fromUtf8(
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path("printed.pdf"), QStringLiteral("-")}).out);
    EXPECT_TRUE(text.contains("Carol Checker")) << text.toStdString();
    EXPECT_TRUE(text.contains("C:\\data\\n is not a break")) << text.toStdString();
    EXPECT_TRUE(readAll(path("ZB740.ini")).contains("[Report]")) << readAll(path("ZB740.ini")).toStdString();

    // The next print offers the same choice, read back from the file.
    ReportOptions offered;
    answers.then<QPrintDialog>([&](QPrintDialog* dialog) {
        if (ReportOptionsTab* tab = reportTab(dialog))
            offered = tab->options();
        dialog->reject();
    });
    EXPECT_TRUE(printer.PrintTestReport(nullptr, run.input()).isCancelled());
    EXPECT_EQ(offered.style, ReportStyle::Full);
    EXPECT_EQ(offered.operatorName, QStringLiteral("Carol Checker"));
    EXPECT_EQ(offered.notes, QStringLiteral("line one\nC:\\data\\n is not a break"));
}

TEST(ReportOptionsStoreTest, OptionsSurviveTheSettingsFile)
{
    QTemporaryDir dir;
    const QString ini = QDir(dir.path()).filePath(QStringLiteral("ZB740.ini"));
    EXPECT_EQ(ReportOptionsStore::load(ini), ReportOptions {}) << "no file: the classic page";
    const ReportOptions cases[] = {
        {ReportStyle::Full, QStringLiteral("Dana"), QStringLiteral("two\nlines")},
        {ReportStyle::Classic, QString(), QStringLiteral("a \\ backslash, a \\n that is text\n\nand an empty line")},
        {ReportStyle::Full, QString::fromUtf8("J\xC3\xBCrgen M\xC3\xBCller"), QString()},
    };
    for (const ReportOptions& o : cases) {
        ASSERT_TRUE(ReportOptionsStore::save(ini, o).ok());
        EXPECT_EQ(ReportOptionsStore::load(ini), o) << o.notes.toStdString();
    }
    // Other sections stay as they were.
    ASSERT_TRUE(IniFile(ini).writeText(QStringLiteral("COMInfo"), QStringLiteral("COM num"), QStringLiteral("3")).ok());
    ASSERT_TRUE(ReportOptionsStore::save(ini, cases[0]).ok());
    EXPECT_EQ(IniFile(ini).readText(QStringLiteral("COMInfo"), QStringLiteral("COM num"), QString()), "3");
}

TEST_F(ReportPrinterTest, AnEmptyGraphIsAskedAboutBeforeAnyDialog)
{
    // AIR alone at 50 with the scale at 0 .. 20.
    const ReportInput warm = run.input({true, false, false, false, false}, {2, 0});
    const QString question =
        QString::fromUtf8("None of the shown curves lies within the Y scale 0.0\u201320.0. Print anyway?");
    acceptDialog();
    printer.setPathChooser([this](QWidget*, const QString&, const QString&) {
        ++dialogs;
        return path("warm.pdf");
    });
    QStringList asked;
    QList<int> dialogsBefore;
    for (bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        printer.setConfirmer([&](QWidget*, const QString& q) {
            asked << q;
            dialogsBefore << dialogs;
            return yes;
        });
        dialogs = 0;
        asked.clear();
        dialogsBefore.clear();
        EXPECT_EQ(printer.PrintTestReport(nullptr, warm).isCancelled(), !yes);
        EXPECT_EQ(printer.exportPdf(nullptr, warm, m_tmp.path()).isCancelled(), !yes);
        EXPECT_EQ(asked, QStringList({question, question}));
        // Each command asks before its own dialog.
        EXPECT_EQ(dialogsBefore, QList<int>({0, yes ? 1 : 0}));
        EXPECT_EQ(dialogs, yes ? 2 : 0);
        EXPECT_EQ(QFile::exists(path("warm.pdf")), yes);
    }
    // A curve within the scale: no question.
    asked.clear();
    EXPECT_TRUE(printer.PrintTestReport(nullptr, run.input({true, false, false, false, true}, {2, 0})).ok());
    EXPECT_TRUE(asked.isEmpty());

    // The question as the user sees it: No is the default, and cancels.
    printer.setConfirmer(&ReportPrinter::askYesNo);
    ModalAnswers answers;
    answers.press(QMessageBox::No);
    dialogs = 0;
    EXPECT_TRUE(printer.PrintTestReport(nullptr, warm).isCancelled());
    EXPECT_EQ(answers.seen, QStringList {question});
    EXPECT_EQ(dialogs, 0);
}

// --- Export Report as PDF ---

TEST_F(ReportPrinterTest, ExportProposesTheStartAndWritesTheA4Page)
{
    ModalAnswers answers;
    answers.saveAs(path("exported.pdf"));
    const Status s = printer.exportPdf(nullptr, run.input(), path("ZB740"));
    EXPECT_TRUE(s.ok()) << s.message().toStdString();
    EXPECT_EQ(answers.seen, QStringList {"file dialog in " + path("ZB740") + " offering 26-12-07 13.45.00.pdf"});
    const PdfPage page(path("exported.pdf"));
    ASSERT_TRUE(page.ok());
    EXPECT_LT(page.darkest(-750, 200), 100);
    EXPECT_EQ(page.find("2026-12-08").size(), 1);
    EXPECT_EQ(ReportPrinter::proposedPdfName(run.input().start), QStringLiteral("26-12-07 13.45.00"));
}

TEST_F(ReportPrinterTest, TheExportDialogCarriesTheReportTab)
{
    ReportPrinter printer;  // with its own dialogs
    printer.setReporter([this](QWidget*, const QString& text) { messages << text; });
    printer.setClock(&printedMoment);
    printer.setSettingsFile(path("ZB740.ini"));
    ModalAnswers answers;
    QString title;
    answers.then<QFileDialog>([&](QFileDialog* dlg) {
        ReportOptionsTab* tab = reportTab(dlg, &title);
        ASSERT_NE(tab, nullptr) << "a Report tab under the save dialog";
        chooseInTab(tab, 1, QStringLiteral("Erin Exporter"), QStringLiteral("exported"));
        ModalAnswers::choosing(path("full.pdf"))(dlg);
    });
    const Status s = printer.exportPdf(nullptr, run.input(), path("ZB740"));
    ASSERT_TRUE(s.ok()) << s.message().toStdString();
    EXPECT_EQ(title, QStringLiteral("Report"));
    EXPECT_EQ(pdfInfo(path("full.pdf"), "Title"), "ZB740 Test Report");
    // The full page's own margins: 15 mm.
    const PdfPage page(path("full.pdf"), PrintableFrame {15, 15});
    ASSERT_TRUE(page.ok());
    EXPECT_NEAR(page.find("ZB740").value(0).left, -1800, 3);
    EXPECT_EQ(page.find("Erin").size(), 1);
    EXPECT_EQ(ReportOptionsStore::load(path("ZB740.ini")).operatorName, QStringLiteral("Erin Exporter"));
}

// Save and Export Report as PDF share one dialog; each offers its own type.
TEST_F(ReportPrinterTest, SaveDialogsOfferTheirTypeAndAddTheExtension)
{
    using Chooser = QString (*)(QWidget*, const QString&, const QString&);
    struct Case {
        const char* name;
        Chooser choose;
        QString title, filter, suffix;
    };
    const Case cases[] = {
        // Qt titles a save dialog without a title of its own "Save As".
        {"Save", &RunSaver::askWithDialog, "Save As", "DataLogger Files (*.AsmDat)", "AsmDat"},
        {"Export Report as PDF", &ReportPrinter::askPdfPath, "Export Report as PDF", "PDF Files (*.pdf)", "pdf"},
    };
    const QString dir = path("ZB740");
    ASSERT_TRUE(QDir().mkpath(dir));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString seenTitle, seenFilter, seenSuffix, seenDir, seenName;
        bool confirms = false, accepts = false;
        ModalAnswers answers;
        answers.then<QFileDialog>([&](QFileDialog* dlg) {
            seenTitle = dlg->windowTitle();
            seenFilter = dlg->nameFilters().join(QLatin1Char('|'));
            seenSuffix = dlg->defaultSuffix();
            seenDir = dlg->directory().absolutePath();
            confirms = !dlg->testOption(QFileDialog::DontConfirmOverwrite);
            accepts = dlg->acceptMode() == QFileDialog::AcceptSave;
            auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            seenName = name->text();
            name->setText(QStringLiteral("Run7")); // typed without extension
            QMetaObject::invokeMethod(dlg, "accept");
        });
        const QString chosen = c.choose(nullptr, dir, QStringLiteral("26-12-07 23.45.55"));
        EXPECT_EQ(seenTitle, c.title);
        EXPECT_EQ(seenFilter, c.filter);
        EXPECT_EQ(seenSuffix, c.suffix);
        EXPECT_EQ(seenDir, QDir(dir).absolutePath());
        EXPECT_TRUE(confirms);
        EXPECT_TRUE(accepts);
        EXPECT_EQ(seenName, "26-12-07 23.45.55." + c.suffix);
        EXPECT_EQ(chosen, QDir(dir).absoluteFilePath("Run7." + c.suffix));
    }
    EXPECT_EQ(RunSaver::proposedName(run.input().start), ReportPrinter::proposedPdfName(run.input().start));
}

TEST_F(ReportPrinterTest, ExportCancelledOrFailingKeepsWhatWasThere)
{
    ASSERT_TRUE(writeAll(path("old.pdf"), "old"));
    printer.setPathChooser([](QWidget*, const QString&, const QString&) { return QString(); });
    EXPECT_TRUE(printer.exportPdf(nullptr, run.input(), m_tmp.path()).isCancelled());
    EXPECT_TRUE(messages.isEmpty());

    ASSERT_TRUE(writeAll(path("notAFolder"), "x"));
    printer.setPathChooser([this](QWidget*, const QString&, const QString&) { return path("notAFolder/r.pdf"); });
    EXPECT_FALSE(printer.exportPdf(nullptr, run.input(), m_tmp.path()).ok());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Could not save \"" + path("notAFolder/r.pdf") + "\": "));
    EXPECT_EQ(readAll(path("old.pdf")), "old");
}

// --- The main window ---

class FrameReportTest : public TempDirTest {
protected:
    void SetUp() override
    {
        frame = std::make_unique<CMainFrame>(tempOptions());
        frame->resize(1200, 800);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        commands = frame->reportCommands();
        ASSERT_NE(commands, nullptr);
        commands->printer().setReporter([this](QWidget*, const QString& text) { messages << text; });
        commands->printer().setClock(&printedMoment);
    }
    // A live run of n samples, repainted so the graph holds its axis.
    void record(int n)
    {
        RunState& r = frame->run();
        r.m_nCount = n;
        r.m_tStart = LocalTime::join({2026, 12, 7, 13, 45, 0});
        r.m_nSampleMs = 2000;
        r.m_strUnit = QStringLiteral("C");
        for (int i = 0; i < n; ++i)
            frame->doc().live().writeSlot(i, {20.0f + i, 15.0f, 10.0f, 25.0f, 55.0f});
        frame->updateCommands();
        frame->view()->graph()->repaintNow();
    }
    // The input the Print command would print now, through a file.
    PdfPage printedThroughTheFrame()
    {
        commands->printer().setPrinterFactory(&ReportPrinter::makePrinter);
        commands->printer().setDialogRunner([this](QPrinter& p, QWidget*) {
            p.setOutputFileName(path("frame.pdf"));
            return true;
        });
        commands->printAction()->trigger();
        return PdfPage(path("frame.pdf"), PrintableFrame {0, 0});
    }

    ScopedTimeZone tz {"UTC0"};
    std::unique_ptr<CMainFrame> frame;
    ReportCommands* commands = nullptr;
    QStringList messages;
};

TEST_F(FrameReportTest, PrintAndExportFollowTheSampleCount)
{
    QAction* print = frame->action(CMainFrame::Command::Print);
    EXPECT_EQ(commands->printAction(), print);
    EXPECT_EQ(print->shortcut(), QKeySequence(QKeySequence::Print));
    EXPECT_EQ(commands->exportAction()->text(), QString::fromUtf8("Export Report as PDF\xE2\x80\xA6"));
    QMenu* file = frame->menuBar()->actions().value(0)->menu();
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->actions().contains(print));
    EXPECT_TRUE(file->actions().contains(commands->exportAction()));
    EXPECT_TRUE(frame->findChild<QToolBar*>("mainToolBar")->actions().contains(print));

    EXPECT_FALSE(print->isEnabled());
    EXPECT_FALSE(commands->exportAction()->isEnabled());
    record(1);
    EXPECT_TRUE(print->isEnabled());
    EXPECT_TRUE(commands->exportAction()->isEnabled());
    frame->run().m_nCount = 0;
    frame->updateCommands();
    EXPECT_FALSE(print->isEnabled());
    EXPECT_FALSE(commands->exportAction()->isEnabled());
}

TEST_F(FrameReportTest, CtrlPOpensThePrintDialogAndCancelIsSilent)
{
    record(3);
    ModalAnswers answers; // cancels the print dialog
    QTest::keyClick(frame.get(), Qt::Key_P, Qt::ControlModifier);
    QTRY_COMPARE(answers.seen, QStringList {"other dialog"});
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(FrameReportTest, PrintShowsTheAxisOfTheLastRepaintNotAZoomLevel)
{
    CKMView* view = frame->view();
    view->m_nYGain = 10;
    view->m_nYOffset = -2;
    record(50);  // repaint at -20 .. 80
    // A zoom level with other values, painted, then a new scale not yet painted.
    GraphState& st = view->graph()->state();
    st.zoomStack[0] = plot::ZoomStep {0.1, 0.1, 0.9, 0.43};
    st.nZoomLevel = 1;
    st.bAutoMode = 0;
    view->graph()->repaintNow();
    const QString zoomedBottom = QString::asprintf("%.1f", double(view->graph()->frame().axis[1][0]));
    ASSERT_NE(zoomedBottom, "-20.0");
    view->m_nYGain = 500;
    view->m_nYOffset = 5;

    const PdfPage page = printedThroughTheFrame();
    ASSERT_TRUE(page.ok());
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    for (int i = 0; i <= 10; ++i)
        EXPECT_EQ(page.find(QString::asprintf("%.1f", (i - 2) * 10.0)).size(), 1) << i;
    EXPECT_TRUE(page.find(zoomedBottom).isEmpty()) << zoomedBottom.toStdString();
    EXPECT_TRUE(page.find("2500.0").isEmpty());
    // The live run's own facts: start, interval, shown curves.
    EXPECT_EQ(page.find("13:45:00").size(), 1);
    EXPECT_EQ(page.find("13:45:24").size(), 1) << "sample 12 of 50 at 2 s";
    EXPECT_EQ(page.find("AIR").size(), 1);
}

TEST_F(FrameReportTest, HiddenCurvesOfTheViewStayOffThePage)
{
    record(5);
    frame->view()->m_bShowCurve = {true, false, false, false, true};
    const PdfPage page = printedThroughTheFrame();
    ASSERT_TRUE(page.ok());
    EXPECT_EQ(page.find("AIR").size(), 1);
    EXPECT_TRUE(page.find("WB").isEmpty());
    EXPECT_EQ(page.find("RH").size(), 1);
}

TEST_F(FrameReportTest, ExportWritesThePdfChosenInTheSaveDialog)
{
    record(5);
    ModalAnswers answers;
    answers.saveAs(path("run report.pdf"));
    commands->exportAction()->trigger();
    EXPECT_EQ(answers.seen, QStringList {"file dialog in " + path("ZB740") + " offering 26-12-07 13.45.00.pdf"});
    const PdfPage page(path("run report.pdf"));
    ASSERT_TRUE(page.ok());
    EXPECT_EQ(page.find("ZB740").size(), 1);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(FrameReportTest, TheFullPageJudgesTheRunAgainstTheAlarmLimits)
{
    // The choice kept from an earlier print, in the window's ZB740.ini.
    ASSERT_TRUE(ReportOptionsStore::save(settings::settingsFilePath(tempOptions()),
                                         {ReportStyle::Full, QStringLiteral("Frank"), QString()})
                    .ok());
    record(5);
    const PdfPage page = printedThroughTheFrame();
    ASSERT_TRUE(page.ok());
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    const QString text = QString::fromUtf8(
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path("frame.pdf"), QStringLiteral("-")}).out);
    // The alarm panel's limits of a missing configuration file.
    EXPECT_TRUE(text.contains("PASS: no sample outside [0.0, 140.0]")) << text.toStdString();
    EXPECT_TRUE(text.contains("PASS: no sample outside [0.0, 2501.0]")) << "K/IR";
    EXPECT_TRUE(text.contains("PASS: no sample outside [0.0, 100.0]")) << "RH";
    EXPECT_TRUE(text.contains("Frank"));
    EXPECT_TRUE(text.contains("unsaved run: no hash"));
}

TEST_F(FrameReportTest, ARunSavedAsItStandsIsNamedAndCarriesItsFilesHash)
{
    ASSERT_TRUE(ReportOptionsStore::save(settings::settingsFilePath(tempOptions()), {ReportStyle::Full, {}, {}}).ok());
    record(5);
    {
        ModalAnswers answers;
        answers.saveAs(path("live.AsmDat"));
        frame->action(CMainFrame::Command::Save)->trigger();
    }
    ASSERT_TRUE(QFile::exists(path("live.AsmDat")));
    const QByteArray hex = QCryptographicHash::hash(readAll(path("live.AsmDat")), QCryptographicHash::Sha256).toHex();
    ASSERT_TRUE(printedThroughTheFrame().ok());
    QString text = QString::fromUtf8(
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path("frame.pdf"), QStringLiteral("-")}).out);
    EXPECT_TRUE(text.contains("live.AsmDat")) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("SHA-256 of the data: ") + QString::fromLatin1(hex)));
    EXPECT_EQ(ReportFacts::hashCarried(readAll(path("frame.pdf"))), hex);

    // A sample more: the file no longer holds the run as it stands.
    record(6);
    ASSERT_TRUE(printedThroughTheFrame().ok());
    text = QString::fromUtf8(
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path("frame.pdf"), QStringLiteral("-")}).out);
    EXPECT_TRUE(text.contains("unsaved run: no hash")) << text.toStdString();
    EXPECT_FALSE(ReportFacts::hashCarried(readAll(path("frame.pdf"))));
}
