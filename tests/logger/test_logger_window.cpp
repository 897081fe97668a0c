// The logger window in the main window, with real widgets on the offscreen
// platform: opening and closing, the toolbar, the list after loads, the
// selection of a row, the curve commands, the Y scale and the keys.
#include "LoggerFixtures.h"
#include "ModalAnswers.h"
#include "TempDir.h"

#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "logger/CLoggerGraphDlg.h"
#include "widgets/CYScaleDlg.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QFileDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QToolTip>
#include <gtest/gtest.h>
#include <limits>

namespace {

class LoggerWindow : public TempDirTest {
protected:
    void SetUp() override
    {
        tz = std::make_unique<ScopedTimeZone>("UTC0");
        frame = std::make_unique<CMainFrame>(tempOptions());
        frame->resize(1200, 800);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }
    void TearDown() override
    {
        frame.reset();
        tz.reset();
    }
    bool openEnabled() const { return frame->action(CMainFrame::Command::Open)->isEnabled(); }
    // File > Open, and the window's first paint.
    CLoggerGraphDlg* open()
    {
        frame->action(CMainFrame::Command::Open)->trigger();
        CLoggerGraphDlg* w = frame->loggerWindow();
        EXPECT_NE(w, nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
        EXPECT_TRUE(QTest::qWaitFor([&] { return frame->loggerSession().m_bLoggerShown; }));
        return w;
    }
    void closeWindow(CLoggerGraphDlg* w)
    {
        QPointer<CLoggerGraphDlg> guard(w);
        w->close();
        EXPECT_TRUE(QTest::qWaitFor([&] { return guard.isNull(); }));
    }
    QString file(const QString& name, RunSpec spec = {})
    {
        const QString p = path(name);
        EXPECT_TRUE(writeRun(p, spec));
        return p;
    }
    static QStringList row(const QTableWidget* list, int r)
    {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c)
            cells << (list->item(r, c) ? list->item(r, c)->text() : QString());
        return cells;
    }
    // The window's plot as painted, without the child controls.
    static QImage plotPicture(CLoggerGraphDlg* w)
    {
        w->repaintNow();
        return w->renderer().picture();
    }

    std::unique_ptr<ScopedTimeZone> tz;
    std::unique_ptr<CMainFrame> frame;
};

} // namespace

TEST_F(LoggerWindow, OpenIsDisabledWhileTheWindowIsShownAndEnabledAfterClose)
{
    EXPECT_TRUE(openEnabled());
    CLoggerGraphDlg* w = open();
    EXPECT_EQ(w->windowTitle(), "Graph");
    EXPECT_EQ(w->size(), QSize(946, 598)) << "the default size";
    EXPECT_NE(w->minimumSize(), w->maximumSize()) << "a sizing border";
    EXPECT_TRUE(w->isWindow());
    EXPECT_FALSE(w->isModal());
    EXPECT_EQ(w->parentWidget(), frame.get()) << "owned by the main frame";
    EXPECT_FALSE(openEnabled());
    EXPECT_TRUE(frame->loggerSession().m_bLoggerOpen);

    ASSERT_TRUE(w->loadFile(file("a.AsmDat")).ok());
    closeWindow(w);
    EXPECT_TRUE(openEnabled());
    const LoggerSession& s = frame->loggerSession();
    EXPECT_FALSE(s.m_bLoggerOpen || s.m_bLoggerShown || s.m_bAppendPending);
    EXPECT_EQ(s.table().lastIndex(), -1) << "closing empties the table";

    CLoggerGraphDlg* again = open();
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(again->list()->rowCount(), 0);
    EXPECT_FALSE(openEnabled());
}

TEST_F(LoggerWindow, ToolbarHasTenDrawnFacesAndTwoToolTips)
{
    CLoggerGraphDlg* w = open();
    using C = CLoggerGraphDlg::Command;
    const QStringList words {"OPEN", "Print", "Undozoom", "AIR", "WB", "DP", "K/IR", "RH", "Combine", "Y Axis"};
    QList<QAction*> actions = w->toolBar()->actions();
    ASSERT_EQ(actions.size(), 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(actions[i]->text(), words[i]);
        // A real face: the button's picture, neither blank nor one colour,
        // with dark lettering on it.
        const QImage face = actions[i]->icon().pixmap(QSize(75, 18)).toImage();
        ASSERT_EQ(face.size(), QSize(75, 18)) << i;
        QSet<QRgb> colours;
        int dark = 0;
        for (int y = 0; y < 18; ++y)
            for (int x = 24; x < 73; ++x) {
                colours.insert(face.pixel(x, y));
                dark += qGray(face.pixel(x, y)) < 80 && qAlpha(face.pixel(x, y)) > 200;
            }
        EXPECT_GT(colours.size(), 8) << words[i].toStdString();
        EXPECT_GT(dark, 15) << words[i].toStdString() << ": the word is on the face";
    }
    EXPECT_EQ(w->action(C::Download)->toolTip(), "Download");
    EXPECT_EQ(w->action(C::ZoomOut)->toolTip(), "ZoomOut");
    // The other buttons show no tool tip at all.
    QWidget* air = w->toolBar()->widgetForAction(w->action(C::Air));
    QHelpEvent tip(QEvent::ToolTip, QPoint(5, 5), air->mapToGlobal(QPoint(5, 5)));
    EXPECT_TRUE(QCoreApplication::sendEvent(air, &tip)) << "the tool tip event is swallowed";
    EXPECT_FALSE(QToolTip::isVisible());
    QWidget* download = w->toolBar()->widgetForAction(w->action(C::Download));
    QHelpEvent tip2(QEvent::ToolTip, QPoint(5, 5), download->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(download, &tip2);
    EXPECT_EQ(QToolTip::text(), "Download");
    QToolTip::hideText();
}

TEST_F(LoggerWindow, ListAfterOneTwoAndAHundredAndOneLoads)
{
    CLoggerGraphDlg* w = open();
    QTableWidget* list = w->list();
    ASSERT_EQ(list->columnCount(), 5);
    // Set, Time, Sampling Rate, Nums, File; shown as Set, File, Nums, Time,
    // Sampling Rate.
    const QStringList headers {"Set", "Time", "Sampling Rate", "Nums", "File"};
    const int visual[5] = {0, 3, 4, 2, 1};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(list->horizontalHeaderItem(c)->text(), headers[c]);
        EXPECT_EQ(list->horizontalHeader()->visualIndex(c), visual[c]);
    }
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->geometry(), QRect(6, 28, 232, 568));

    RunSpec a;
    a.count = 3;
    a.start = utc(2026, 12, 7, 23, 45, 55);
    a.interval = 1;
    const QString fa = file("a.AsmDat", a);
    ASSERT_TRUE(w->loadFile(fa).ok());
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(row(list, 0), QStringList({"1", "07/12/26 23:45:55", "1sec", "3", "a.AsmDat"}));

    RunSpec b;
    b.count = 10000;
    b.start = utc(2027, 1, 2, 3, 4, 5);
    b.interval = 60;
    ASSERT_TRUE(w->loadFile(file("b.AsmDat", b)).ok());
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(row(list, 1), QStringList({"2", "02/01/27 03:04:05", "60sec", "10000", "b.AsmDat"}));

    // The same file again is a set of its own; then up to 100 sets, and the
    // 101st starts the list over, which the window says under the list.
    ASSERT_TRUE(w->loadFile(fa).ok());
    EXPECT_EQ(row(list, 2), QStringList({"3", "07/12/26 23:45:55", "1sec", "3", "a.AsmDat"}));
    for (int i = 3; i < 100; ++i)
        ASSERT_TRUE(w->loadFile(fa).ok());
    EXPECT_EQ(list->rowCount(), 100);
    EXPECT_EQ(row(list, 99)[0], "100");
    EXPECT_TRUE(w->listNotice()->isHidden());
    ASSERT_TRUE(w->loadFile(file("c.AsmDat", b)).ok());
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(row(list, 0), QStringList({"1", "02/01/27 03:04:05", "60sec", "10000", "c.AsmDat"}));
    EXPECT_EQ(frame->loggerSession().table().lastIndex(), 0);
    EXPECT_TRUE(w->listNotice()->isVisible());
    EXPECT_EQ(w->listNotice()->text(), "The list holds 100 sets: c.AsmDat started it over as set 1.");
    // The notice sits under the list, which makes room for it.
    EXPECT_LE(list->geometry().bottom(), w->listNotice()->geometry().top());
    EXPECT_EQ(w->listNotice()->geometry().bottom(), w->height() - 3);
}

TEST_F(LoggerWindow, TheFileColumnAndTheCountAreVisibleAndTheShownSetIsSelected)
{
    CLoggerGraphDlg* w = open();
    QTableWidget* list = w->list();
    RunSpec a, b;
    a.count = 9876;
    b.count = 7;
    // Started in the same second: told apart by their files.
    const QString fa = file("morning-run-with-a-long-name.AsmDat", a);
    const QString fb = file("b.AsmDat", b);
    w->loadFiles({fa, fb});
    ASSERT_EQ(list->rowCount(), 2);
    using C = CLoggerGraphDlg::Column;
    EXPECT_EQ(list->item(0, C::FileColumn)->text(), "morning-run-with-a-long-name.AsmDat");
    EXPECT_EQ(list->item(0, C::FileColumn)->toolTip(), QDir::toNativeSeparators(fa));
    EXPECT_EQ(list->item(1, C::FileColumn)->toolTip(), QDir::toNativeSeparators(fb));
    // Set, File and Nums lie within the list's view, without scrolling.
    list->scrollToTop();
    for (int c : {int(C::SetColumn), int(C::FileColumn), int(C::CountColumn)}) {
        SCOPED_TRACE(c);
        const QRect cell = list->visualRect(list->model()->index(0, c));
        EXPECT_GE(cell.left(), 0);
        EXPECT_LE(cell.right(), list->viewport()->width() - 1);
    }
    // The count's text fits its cell.
    const QRect count = list->visualRect(list->model()->index(0, C::CountColumn));
    EXPECT_LE(list->fontMetrics().horizontalAdvance("9876") + 6, count.width());

    // The last set loaded is the one shown and the selected row; a
    // double-click moves both.
    auto selected = [&] {
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.first().row() : -1;
    };
    EXPECT_EQ(selected(), 1);
    EXPECT_EQ(frame->loggerSession().record().count, 7);
    w->selectRow(0);
    EXPECT_EQ(selected(), 0);
    EXPECT_EQ(frame->loggerSession().record().count, 9876);
}

TEST_F(LoggerWindow, BackspaceStepsBackOneZoomLevel)
{
    CLoggerGraphDlg* w = open();
    RunSpec a;
    a.count = 1000;
    ASSERT_TRUE(w->loadFile(file("a.AsmDat", a)).ok());
    for (int i = 0; i < 2; ++i) {
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(500, 150));
        QTest::mouseMove(w, QPoint(600, 400));
        QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(600, 400));
    }
    LoggerSession& s = frame->loggerSession();
    ASSERT_EQ(s.display.nZoomLevel, 2);
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    EXPECT_EQ(w->stepBackAction()->shortcut(), QKeySequence(Qt::Key_Backspace));
    struct Step {
        int level;
        int autoMode;
    };
    // With the list focused, as after a load: level 2, 1, the first
    // selection's level 0, then the whole set.
    w->list()->setFocus();
    for (const Step& st : {Step {1, 0}, Step {0, 0}, Step {0, 1}}) {
        SCOPED_TRACE(st.level * 10 + st.autoMode);
        QTest::keyClick(w->list(), Qt::Key_Backspace);
        EXPECT_EQ(s.display.nZoomLevel, st.level);
        EXPECT_EQ(s.display.bAutoMode, st.autoMode);
        EXPECT_EQ(w->frame().level, st.level) << "repainted at once";
        EXPECT_EQ(w->scrollBar()->isEnabled(), st.autoMode == 0);
    }
}

TEST_F(LoggerWindow, OpenTakesManyFilesAndNamesEveryBadOneInOneMessage)
{
    CLoggerGraphDlg* w = open();
    RunSpec a, b;
    a.count = 7;
    b.count = 9;
    file("a.AsmDat", a);
    file("b.AsmDat", b);
    ASSERT_TRUE(writeAll(path("run3.AsmDat"), QByteArray("\x06KM4472 and more bytes of something else")));
    ASSERT_TRUE(writeAll(path("cut.AsmDat"), QByteArray("\x06")));

    ModalAnswers answers;
    answers.then([this](QWidget* window) {
        auto* dialog = qobject_cast<QFileDialog*>(window);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
        dialog->setDirectory(path("."));
        // Typed into the name box: selectFile() leaves it alone once it has
        // the focus, which depends on when the dialog became active.
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
            ->setText(QStringLiteral("\"a.AsmDat\" \"run3.AsmDat\" \"cut.AsmDat\" \"b.AsmDat\""));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    answers.then([](QWidget* window) { ModalAnswers::cancelWindow(window); });
    w->action(CLoggerGraphDlg::Command::Download)->trigger();
    ASSERT_TRUE(answers.done());
    // Both good files are sets, the last one shown; one message names the
    // two bad ones with their reasons.
    EXPECT_EQ(w->list()->rowCount(), 2);
    EXPECT_EQ(frame->loggerSession().record().count, 9);
    ASSERT_EQ(answers.seen.size(), 2) << answers.seen.join(" | ").toStdString();
    const QStringList lines = answers.seen[1].split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2) << answers.seen[1].toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("run3.AsmDat: Invalid Format!"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("cut.AsmDat: "))) << lines[1].toStdString();
    EXPECT_GT(lines[1].size(), int(qstrlen("cut.AsmDat: ")) + 5) << "with its reason";
}

TEST_F(LoggerWindow, AForeignFileSaysInvalidFormatAndChangesNothing)
{
    CLoggerGraphDlg* w = open();
    RunSpec a;
    a.count = 7;
    ASSERT_TRUE(w->loadFile(file("a.AsmDat", a)).ok());
    const QImage before = plotPicture(w);
    const QString foreign = path("foreign.AsmDat");
    ASSERT_TRUE(writeAll(foreign, QByteArray("\x06KM4472 and more bytes of something else")));

    QString seen;
    answerMessageBox(QMessageBox::Ok, &seen);
    const Status s = w->loadFile(foreign);
    EXPECT_EQ(s.code(), Status::Code::InvalidFormat);
    EXPECT_EQ(seen, "Invalid Format!");
    EXPECT_EQ(w->list()->rowCount(), 1);
    EXPECT_EQ(frame->loggerSession().record().count, 7);
    EXPECT_FALSE(frame->loggerSession().m_bAppendPending);
    EXPECT_EQ(plotPicture(w), before);
}

TEST_F(LoggerWindow, DoubleClickShowsThatSetsCurvesAndStartTimeAfterALaterLoad)
{
    CLoggerGraphDlg* w = open();
    RunSpec a;
    a.count = 50;
    a.start = utc(2026, 3, 4, 10, 0, 0);
    a.interval = 2;
    a.scale = {20, -2};
    a.value = [](int c, int s) { return float(5 * c + s * 0.4); };
    ASSERT_TRUE(w->loadFile(file("a.AsmDat", a)).ok());
    const QImage shownAfterLoad = plotPicture(w);

    RunSpec b;
    b.count = 500;
    b.start = utc(2026, 5, 6, 18, 30, 0);
    b.fahrenheit = true;
    ASSERT_TRUE(w->loadFile(file("b.AsmDat", b)).ok());
    ASSERT_NE(plotPicture(w), shownAfterLoad);

    // Double-click on the first row.
    QTableWidget* list = w->list();
    const QRect cell = list->visualItemRect(list->item(0, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    const LoggerSession& s = frame->loggerSession();
    EXPECT_EQ(s.record().count, 50);
    EXPECT_EQ(s.record().startTime, a.start);
    EXPECT_EQ(s.scale(), (YScaleValues {20, -2}));
    EXPECT_EQ(plotPicture(w), shownAfterLoad) << "the set's curves, labels and start time";

    // The cursor read-out names that set's times.
    QTest::mouseMove(w, QPoint(306, 300));
    EXPECT_EQ(s.readout.time, "10:00:00");
}

TEST_F(LoggerWindow, CurveCommandsAndCombineSurviveClosingAndReopening)
{
    CLoggerGraphDlg* w = open();
    ASSERT_TRUE(w->loadFile(file("a.AsmDat")).ok());
    using C = CLoggerGraphDlg::Command;
    w->action(C::Wb)->trigger();
    const CurveSet wbOnly {false, true, false, false, false};
    EXPECT_EQ(frame->loggerSession().showCurve, wbOnly);
    // The legend shows only WB's sample line.
    const QImage img = plotPicture(w);
    EXPECT_EQ(countColor(img, QRect(306, 59, 600, 2), kCurveScreenColor[kWb]), 120);
    EXPECT_EQ(countColor(img, QRect(306, 59, 600, 2), kCurveScreenColor[kAir]), 0);
    // The real-time graph's curves are another matter.
    EXPECT_EQ(frame->view()->m_bShowCurve, (CurveSet {true, true, true, true, true}));

    closeWindow(w);
    w = open();
    EXPECT_EQ(frame->loggerSession().showCurve, wbOnly);
    w->action(C::Kir)->trigger();
    EXPECT_EQ(frame->loggerSession().showCurve, (CurveSet {false, false, false, true, false}));
    w->action(C::Combine)->trigger();
    closeWindow(w);
    open();
    EXPECT_EQ(frame->loggerSession().showCurve, (CurveSet {true, true, true, true, true}));
}

TEST_F(LoggerWindow, YAxisSetsTheLoggersOwnScaleOnly)
{
    // The settings file preselects the dialog; it must come out unchanged.
    const QString ini = QDir(tempOptions().settingsDir).filePath("ZB740.ini");
    ASSERT_TRUE(QDir().mkpath(tempOptions().settingsDir));
    const QByteArray iniBytes = "[YGAINInfo]\r\nGAIN num=4\r\n[YOFFSETInfo]\r\nOFFSET num=1\r\n";
    ASSERT_TRUE(writeAll(ini, iniBytes));
    frame = std::make_unique<CMainFrame>(tempOptions());
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    const int viewGain = frame->view()->m_nYGain, viewOffset = frame->view()->m_nYOffset;

    CLoggerGraphDlg* w = open();
    RunSpec a;
    a.scale = {10, 0};
    ASSERT_TRUE(w->loadFile(file("a.AsmDat", a)).ok());
    int preGain = -2, preOffset = -2;
    whenModalAppears([&](QWidget* m) {
        auto* dlg = qobject_cast<CYScaleDlg*>(m);
        ASSERT_NE(dlg, nullptr);
        preGain = dlg->gainList()->currentIndex();
        preOffset = dlg->offsetList()->currentIndex();
        dlg->gainList()->setCurrentIndex(2);    // 5
        dlg->offsetList()->setCurrentIndex(3);  // -2
        dlg->accept();
    });
    w->action(CLoggerGraphDlg::Command::YAxis)->trigger();
    EXPECT_EQ(preGain, 4);
    EXPECT_EQ(preOffset, 1);
    EXPECT_EQ(frame->loggerSession().scale(), (YScaleValues {5, -2}));
    plotPicture(w);
    EXPECT_EQ(w->frame().yValue[0], -10.0f);
    EXPECT_EQ(frame->view()->m_nYGain, viewGain);
    EXPECT_EQ(frame->view()->m_nYOffset, viewOffset);
    EXPECT_EQ(readAll(ini), iniBytes);

    // Cancel changes nothing; the next load brings the file's own scale.
    whenModalAppears([](QWidget* m) { static_cast<QDialog*>(m)->reject(); });
    w->action(CLoggerGraphDlg::Command::YAxis)->trigger();
    EXPECT_EQ(frame->loggerSession().scale(), (YScaleValues {5, -2}));
    ASSERT_TRUE(w->loadFile(file("b.AsmDat", a)).ok());
    EXPECT_EQ(frame->loggerSession().scale(), (YScaleValues {10, 0}));
    EXPECT_EQ(readAll(ini), iniBytes);
}

TEST_F(LoggerWindow, EnterAndEscapeDoNothing)
{
    CLoggerGraphDlg* w = open();
    ASSERT_TRUE(w->loadFile(file("a.AsmDat")).ok());
    const QImage before = plotPicture(w);
    for (QWidget* target : {static_cast<QWidget*>(w), static_cast<QWidget*>(w->list())}) {
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(target, key);
            QCoreApplication::processEvents();
            ASSERT_NE(frame->loggerWindow(), nullptr) << key;
            EXPECT_TRUE(w->isVisible()) << key;
        }
    }
    EXPECT_EQ(w->list()->rowCount(), 1);
    EXPECT_EQ(plotPicture(w), before);
}

TEST_F(LoggerWindow, TheScrollBarWorksWhileZoomedOnly)
{
    CLoggerGraphDlg* w = open();
    RunSpec a;
    a.count = 1000;
    ASSERT_TRUE(w->loadFile(file("a.AsmDat", a)).ok());
    QScrollBar* bar = w->scrollBar();
    EXPECT_FALSE(bar->isEnabled());
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(500, 150));
    QTest::mouseMove(w, QPoint(600, 400));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(600, 400));
    LoggerSession& s = frame->loggerSession();
    ASSERT_EQ(s.display.nZoomLevel, 1);
    ASSERT_TRUE(bar->isEnabled());
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 1000);
    const int fv = s.display.nFirstVisible;
    EXPECT_EQ(bar->value(), fv);

    // The thumb at either end: the picture stays within the set's samples.
    for (int p : {0, 1000, 300}) {
        bar->setValue(p);
        EXPECT_EQ(s.display.nScrollShift, fv - p) << p;
        const QImage img = plotPicture(w);
        EXPECT_FALSE(img.isNull());
    }
    w->action(CLoggerGraphDlg::Command::ZoomOut)->trigger();
    EXPECT_FALSE(bar->isEnabled());
    EXPECT_EQ(s.display.nScrollShift, 0);
    EXPECT_TRUE(s.display.bAutoMode);
}

TEST_F(LoggerWindow, TheThumbSitsOnTheSampleAtTheLeftEdgeAsInTheRealtimeGraph)
{
    // Thumb position P brings sample P to the plot's left edge, from the
    // first paint of a new level on: the first visible sample of the level
    // is where the thumb sits, and moving the thumb moves that many samples.
    CLoggerGraphDlg* w = open();
    RunSpec a;
    a.count = 1000;
    ASSERT_TRUE(w->loadFile(file("a.AsmDat", a)).ok());
    QScrollBar* bar = w->scrollBar();
    LoggerSession& s = frame->loggerSession();
    const plot::PlotFrame& f = w->frame();
    // The x where the level draws its first visible sample, unshifted.
    auto leftEdgeSampleX = [&] { return f.map.X0 + f.map.dx * s.display.nFirstVisible; };
    for (int level = 1; level <= 2; ++level) {
        SCOPED_TRACE(level);
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(500, 150));
        QTest::mouseMove(w, QPoint(600, 400));
        QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(600, 400));
        ASSERT_EQ(s.display.nZoomLevel, level);
        ASSERT_TRUE(bar->isEnabled());
        const int fv = s.display.nFirstVisible;
        ASSERT_GT(fv, 0);
        EXPECT_EQ(bar->value(), fv) << "the thumb on the first visible sample";
        EXPECT_EQ(s.display.nScrollShift, 0);
        EXPECT_NEAR(f.map.x(bar->value()), leftEdgeSampleX(), 1e-6);
        for (int p : {fv + 1, fv + 7, fv - 3}) {
            bar->setValue(p);
            plotPicture(w);
            EXPECT_EQ(bar->value(), p);
            EXPECT_NEAR(f.map.x(p), leftEdgeSampleX(), 1e-6) << "sample " << p << " at the left edge";
        }
        bar->setValue(fv);
        plotPicture(w);
        EXPECT_EQ(s.display.nScrollShift, 0) << "back on the first visible sample: no shift";
    }
}

TEST_F(LoggerWindow, StartTimesBeyond32BitsShowInTheListAndOnThePlot)
{
    // 2039-03-01 10:00:00 lies past 2038-01-19, 1901-12-01 12:34:56 before
    // 1901-12-13: neither fits 32-bit seconds.
    CLoggerGraphDlg* w = open();
    const struct {
        int64_t start;
        const char* listed;
        const char* first;
        const char* last;
    } cases[] = {
        {utc(2039, 3, 1, 10, 0, 0), "01/03/39 10:00:00", "10:00:00", "10:00:18"},
        {utc(1901, 12, 1, 12, 34, 56), "01/12/01 12:34:56", "12:34:56", "12:35:14"},
    };
    int rowIndex = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listed);
        RunSpec a;
        a.start = c.start;
        a.interval = 2;
        ASSERT_TRUE(w->loadFile(file(QStringLiteral("far%1.AsmDat").arg(rowIndex), a)).ok());
        EXPECT_EQ(row(w->list(), rowIndex)[1], c.listed);
        const LoggerSession& s = frame->loggerSession();
        EXPECT_EQ(s.record().startTime, c.start);
        EXPECT_EQ(s.run().start(), c.start);
        const QImage img = plotPicture(w);
        const QFont font = LoggerChrome::mainFont();
        const plot::PlotRect& g = w->frame().plot;
        EXPECT_TRUE(showsTextAt(img, g.left, g.bottom() + 8, c.first, font));
        EXPECT_TRUE(showsTextAt(img, g.right() - 55, g.bottom() + 8, c.last, font));
        // The read-out of the last sample, as a cursor move there asks for.
        ASSERT_TRUE(frame->loggerSession().moveCursor(w->frame(), g.right()));
        EXPECT_EQ(s.readout.time, c.last);
        ++rowIndex;
    }
    // Shown again from the table.
    w->selectRow(0);
    EXPECT_EQ(frame->loggerSession().record().startTime, cases[0].start);
    const QImage img = plotPicture(w);
    const plot::PlotRect& g = w->frame().plot;
    EXPECT_TRUE(showsTextAt(img, g.left, g.bottom() + 8, cases[0].first, LoggerChrome::mainFont()));
}

TEST_F(LoggerWindow, AFileScaleWithoutAUsableAxisShowsTheDefaultScaleWithANote)
{
    CLoggerGraphDlg* w = open();
    RunSpec plain;
    plain.scale = {10, 0};
    ASSERT_TRUE(w->loadFile(file("plain.AsmDat", plain)).ok());
    const QImage withDefault = plotPicture(w);
    EXPECT_TRUE(w->list()->item(0, 0)->icon().isNull());
    EXPECT_TRUE(w->list()->item(0, 0)->toolTip().isEmpty());

    constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
    const YScaleValues unusable[] = {{kMax, kMax}, {kMax, kMin}, {kMin, kMin}, {kMax, 0}, {1, kMax},
                                     {3, kMin},    {0, 0},       {-10, 0},    {1677722, 0}, {1, 16777207}};
    int n = 1;
    for (const YScaleValues& scale : unusable) {
        SCOPED_TRACE(QStringLiteral("gain %1, offset %2").arg(scale.gain).arg(scale.offset).toStdString());
        RunSpec a = plain;
        a.scale = scale;
        ASSERT_TRUE(w->loadFile(file(QStringLiteral("s%1.AsmDat").arg(n), a)).ok());
        const LoggerSession& s = frame->loggerSession();
        EXPECT_EQ(s.scale(), (YScaleValues {10, 0}));
        EXPECT_EQ(s.loadNote(), QStringLiteral("The vertical scale stored in the file (gain %1, offset %2) gives no "
                                               "usable axis; the default scale (gain 10, offset 0) is used instead.")
                                    .arg(scale.gain)
                                    .arg(scale.offset));
        EXPECT_EQ(plotPicture(w), withDefault);
        // The set's row carries a warning sign and the note.
        const QTableWidgetItem* first = w->list()->item(n, 0);
        EXPECT_EQ(first->text(), QString::number(n + 1));
        EXPECT_FALSE(first->icon().isNull());
        EXPECT_EQ(first->toolTip(), s.loadNote());
        EXPECT_EQ(w->list()->item(n, 1)->toolTip(), s.loadNote());
        ++n;
    }
    // Scales at the edge of what the labels hold are the file's own.
    const YScaleValues usable[] = {{1677721, 0}, {1, 16777206}, {1, -16777216}, {500, -5}, {3, 7}};
    for (const YScaleValues& scale : usable) {
        RunSpec a = plain;
        a.scale = scale;
        ASSERT_TRUE(w->loadFile(file(QStringLiteral("s%1.AsmDat").arg(n), a)).ok());
        EXPECT_EQ(frame->loggerSession().scale(), scale);
        EXPECT_TRUE(frame->loggerSession().loadNote().isEmpty());
        EXPECT_TRUE(w->list()->item(n, 0)->icon().isNull());
        ++n;
    }
}

TEST_F(LoggerWindow, ADragLeavingTheBoxIsCancelledByTheWatch)
{
    CLoggerGraphDlg* w = open();
    ASSERT_TRUE(w->loadFile(file("a.AsmDat")).ok());
    LoggerSession& s = frame->loggerSession();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(500, 150));
    EXPECT_TRUE(w->dragWatchRunning());
    QTest::mouseMove(w, QPoint(600, 300));
    EXPECT_TRUE(s.display.bDragging);
    QTest::mouseMove(w, QPoint(600, 580));  // 40 below the plot's bottom is outside
    EXPECT_TRUE(QTest::qWaitFor([&] { return !s.display.bDragging; }));
    EXPECT_FALSE(w->dragWatchRunning());
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(600, 400));
    EXPECT_TRUE(s.display.bAutoMode) << "releasing after the cancel does not zoom";
    EXPECT_EQ(s.display.nZoomLevel, 0);

    // Inside the box the drag goes on.
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(500, 150));
    QTest::mouseMove(w, QPoint(900, 570));
    QTest::qWait(40);
    EXPECT_TRUE(s.display.bDragging);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(900, 570));
    EXPECT_EQ(s.display.nZoomLevel, 1);
}

TEST_F(LoggerWindow, PrintOffersTheDisplayedSetOnlyWhenThereIsOne)
{
    CLoggerGraphDlg* w = open();
    QAction* print = w->action(CLoggerGraphDlg::Command::Print);
    ASSERT_TRUE(print->isEnabled());
    // No set: nothing happens, no dialog.
    QString seen;
    whenModalAppears([&seen](QWidget* d) {
        seen = QString::fromLatin1(d->metaObject()->className());
        static_cast<QDialog*>(d)->reject();
    }, 500);
    print->trigger();
    QTest::qWait(600);
    EXPECT_EQ(seen, "");
    // A loaded set: the print dialog (cancelled here, silently).
    ASSERT_TRUE(w->loadFile(file("a.AsmDat")).ok());
    whenModalAppears([&seen](QWidget* d) {
        seen = QString::fromLatin1(d->metaObject()->className());
        static_cast<QDialog*>(d)->reject();
    });
    print->trigger();
    EXPECT_EQ(seen, "QPrintDialog");
}
