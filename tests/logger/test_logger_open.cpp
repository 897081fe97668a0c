// Files reach the logger window: Download through its file dialog, the
// command line of the program, files dropped on the window. Read-only files
// load; files that cannot be opened or read are named with the reason and
// change nothing; a cancelled dialog says nothing. zb740-cli plot draws what
// the window shows.
#include "LoggerFixtures.h"
#include "ModalAnswers.h"
#include "TempDir.h"

#include "app/CMainFrame.h"
#include "logger/CLoggerGraphDlg.h"

#include <QDir>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QUrl>
#include <gtest/gtest.h>
#include <limits>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

class LoggerOpen : public TempDirTest {
protected:
    void SetUp() override
    {
        tz = std::make_unique<ScopedTimeZone>("UTC0");
        frame = std::make_unique<CMainFrame>(tempOptions());
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }
    void TearDown() override
    {
        frame.reset();
        tz.reset();
    }
    QString file(const QString& name, RunSpec spec = {})
    {
        const QString p = path(name);
        EXPECT_TRUE(writeRun(p, spec));
        return p;
    }
    CLoggerGraphDlg* open()
    {
        CLoggerGraphDlg* w = frame->onOpen();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
        return w;
    }
    const LoggerSession& session() { return frame->loggerSession(); }

    std::unique_ptr<ScopedTimeZone> tz;
    std::unique_ptr<CMainFrame> frame;
};

RunSpec numbered(int count, int tag)
{
    RunSpec s;
    s.count = count;
    s.value = [tag](int c, int i) { return float(tag + c + i % 3); };
    return s;
}

} // namespace

TEST_F(LoggerOpen, FilesNamedOnTheCommandLineLoadInOrderAndTheLastIsShown)
{
    const QString a = file("a.AsmDat", numbered(5, 10));
    const QString b = file("b.AsmDat", numbered(8, 20));
    frame->openLoggerWithFiles({a, b});
    CLoggerGraphDlg* w = frame->loggerWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    ASSERT_EQ(w->list()->rowCount(), 2);
    EXPECT_EQ(w->list()->item(0, 3)->text(), "5");
    EXPECT_EQ(w->list()->item(1, 3)->text(), "8");
    EXPECT_EQ(session().record().count, 8);
    // The row of the set shown is the selected one.
    const QModelIndexList selected = w->list()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().row(), 1);
    EXPECT_EQ(session().record().at(0, kAir), 20.0f);
}

TEST_F(LoggerOpen, DownloadLoadsTheFileChosenAndCancelSaysNothing)
{
    const QString a = file("a.AsmDat", numbered(6, 10));
    CLoggerGraphDlg* w = open();
    {
        ModalAnswers answers;
        answers.choose(a);
        w->action(CLoggerGraphDlg::Command::Download)->trigger();
        EXPECT_EQ(answers.seen.size(), 1) << "the file dialog, nothing else";
    }
    ASSERT_EQ(w->list()->rowCount(), 1);
    EXPECT_EQ(session().record().count, 6);

    // Cancel: the dialog goes away and no message follows.
    ModalAnswers answers;
    answers.cancel();
    w->action(CLoggerGraphDlg::Command::Download)->trigger();
    QTest::qWait(200);
    ASSERT_EQ(answers.seen.size(), 1) << answers.seen.join(" | ").toStdString();
    EXPECT_TRUE(answers.seen[0].startsWith("file dialog in ")) << answers.seen[0].toStdString();
    EXPECT_EQ(w->list()->rowCount(), 1);
}

TEST_F(LoggerOpen, AReadOnlyFileIsReadWithoutAskingToWrite)
{
    const QString a = file("ro.AsmDat", numbered(9, 30));
    ASSERT_TRUE(QFile::setPermissions(a, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    // Whether the file was opened for writing shows in how it was closed;
    // this holds for every user, root included.
    const int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, QFile::encodeName(a).constData(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE), 0);
    CLoggerGraphDlg* w = open();
    ASSERT_TRUE(w->loadFile(a).ok());
    EXPECT_EQ(session().record().count, 9);
    EXPECT_EQ(w->list()->rowCount(), 1);
    alignas(inotify_event) char buf[4096];
    const ssize_t n = read(watch, buf, sizeof buf);
    int closedNoWrite = 0, closedWrite = 0;
    for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
        closedNoWrite += (e->mask & IN_CLOSE_NOWRITE) != 0;
        closedWrite += (e->mask & IN_CLOSE_WRITE) != 0;
        at += ssize_t(sizeof(inotify_event) + e->len);
    }
    close(watch);
    EXPECT_GE(closedNoWrite, 1);
    EXPECT_EQ(closedWrite, 0) << "opened read-only";
}

TEST_F(LoggerOpen, FilesThatCannotBeReadAreNamedWithTheReasonAndChangeNothing)
{
    CLoggerGraphDlg* w = open();
    const QString a = file("a.AsmDat", numbered(7, 10));
    ASSERT_TRUE(w->loadFile(a).ok());
    w->repaintNow();
    const QImage shown = withoutReadout(w->renderer().picture());

    // A missing file.
    const QString missing = path("gone.AsmDat");
    QString text;
    answerMessageBox(QMessageBox::Ok, &text);
    EXPECT_EQ(w->loadFile(missing).code(), Status::Code::CannotOpen);
    EXPECT_EQ(text, QStringLiteral("Cannot open %1:\nNo such file or directory").arg(missing));

    // A file of this program cut short after its tag, and one with a count
    // beyond any run.
    QByteArray whole = readAll(file("b.AsmDat", numbered(20, 50)));
    const QString cut = path("cut.AsmDat");
    ASSERT_TRUE(writeAll(cut, whole.left(11 + 20 * 12)));
    answerMessageBox(QMessageBox::Ok, &text);
    EXPECT_EQ(w->loadFile(cut).code(), Status::Code::Damaged);
    EXPECT_EQ(text, QStringLiteral("Cannot read %1:\nThe file ends before the end of the sample values.").arg(cut));
    const QString huge = path("huge.AsmDat");
    QByteArray bytes = whole;
    bytes.replace(7, 4, QByteArray("\xff\xff\x00\x00", 4));
    ASSERT_TRUE(writeAll(huge, bytes));
    answerMessageBox(QMessageBox::Ok, &text);
    EXPECT_EQ(w->loadFile(huge).code(), Status::Code::Damaged);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Cannot read %1:\nThe sample count 65535").arg(huge)));

    // Nothing appended, the displayed set and its scale as they were.
    EXPECT_EQ(w->list()->rowCount(), 1);
    EXPECT_EQ(session().table().lastIndex(), 0);
    EXPECT_EQ(session().record().count, 7);
    EXPECT_FALSE(session().m_bAppendPending);
    w->repaintNow();
    EXPECT_EQ(withoutReadout(w->renderer().picture()), shown);
}

TEST_F(LoggerOpen, DroppedDataFilesLoadInOrder)
{
    CLoggerGraphDlg* w = open();
    const QString a = file("a.AsmDat", numbered(4, 10));
    const QString b = file("b.asmdat", numbered(6, 20));
    const QString text = path("notes.txt");
    ASSERT_TRUE(writeAll(text, "not a run"));

    auto dropOf = [](const QStringList& paths) {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        mime->setUrls(urls);
        return mime;
    };
    // Only data files are welcome.
    std::unique_ptr<QMimeData> onlyText(dropOf({text}));
    QDragEnterEvent refuse(QPoint(500, 300), Qt::CopyAction, onlyText.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(w, &refuse);
    EXPECT_FALSE(refuse.isAccepted());

    std::unique_ptr<QMimeData> mixed(dropOf({a, text, b}));
    QDragEnterEvent enter(QPoint(500, 300), Qt::CopyAction, mixed.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(w, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(500, 300), Qt::CopyAction, mixed.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(w, &drop);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->list()->rowCount() == 2; }));
    EXPECT_EQ(w->list()->item(0, 3)->text(), "4");
    EXPECT_EQ(w->list()->item(1, 3)->text(), "6");
    EXPECT_EQ(session().record().count, 6);
}

// --- the programs ---

namespace {

struct CliRun {
    int exitCode = -1;
    QString err;
};

CliRun runCli(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"), args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardError())};
}

// The window's own grab compared with an image, pixel for pixel, except
// where the window's child controls lie over the painted picture.
void expectSameOutsideControls(CLoggerGraphDlg* w, const QImage& image)
{
    const QImage grab = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(grab.size(), image.size());
    QRegion controls;
    for (QWidget* child : w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (child->isVisible())
            controls += child->geometry();
    int compared = 0, differing = 0;
    for (int y = 0; y < grab.height(); ++y)
        for (int x = 0; x < grab.width(); ++x) {
            if (controls.contains(QPoint(x, y)))
                continue;
            ++compared;
            differing += grab.pixel(x, y) != image.pixel(x, y);
        }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(compared, grab.width() * grab.height() / 2);
    // Under the controls too, the picture is the window's own paint.
    EXPECT_EQ(w->renderer().picture(), image);
}

} // namespace

TEST_F(LoggerOpen, CliPlotDrawsTheSamePixelsAsTheWindow)
{
    RunSpec s;
    s.count = 2500;
    s.start = utc(2026, 6, 1, 8, 0, 0);
    s.interval = 3;
    s.scale = {10, -2};
    s.value = [](int c, int i) {
        return c == kKir && i % 400 == 7 ? kKirNoReading : float(15 + 12 * c + 6 * std::sin(i * 0.004 + c));
    };
    const QString data = file("run.AsmDat", s);

    // The window as it shows the file right after loading it.
    CLoggerGraphDlg* w = open();
    ASSERT_TRUE(w->loadFile(data).ok());
    w->repaintNow();
    const QString out = path("plot.png");
    CliRun r = runCli({"plot", data, "-o", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QImage png(out);
    ASSERT_EQ(png.size(), QSize(946, 598));
    expectSameOutsideControls(w, png.convertToFormat(QImage::Format_RGB32));

    // Another size, two curves and another scale.
    w->setFixedSize(1100, 700);
    LoggerSession& session = frame->loggerSession();
    session.showCurve = {true, false, false, false, true};
    session.setScale({5, -2});
    w->repaintNow();
    r = runCli({"plot", data, "-o", out, "--size", "1100x700", "--curves", "AIR,RH", "--gain", "5", "--offset", "-2"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    png = QImage(out);
    ASSERT_EQ(png.size(), QSize(1100, 700));
    expectSameOutsideControls(w, png.convertToFormat(QImage::Format_RGB32));
}

TEST_F(LoggerOpen, AResizedWindowDrawsTheCliPlotOfItsSizeAndKeepsTheSizeForTheNextWindow)
{
    RunSpec s;
    s.count = 1800;
    s.start = utc(2026, 6, 1, 8, 0, 0);
    s.interval = 2;
    s.value = [](int c, int i) { return float(15 + 12 * c + 6 * std::sin(i * 0.005 + c)); };
    const QString data = file("run.AsmDat", s);
    // Keys of others in the settings file stay as they are.
    const QString ini = QDir(tempOptions().settingsDir).filePath("ZB740.ini");
    ASSERT_TRUE(QDir().mkpath(tempOptions().settingsDir));
    const QByteArray others = "[YGAINInfo]\r\nGAIN num=4\r\n";
    ASSERT_TRUE(writeAll(ini, others));

    CLoggerGraphDlg* w = open();
    ASSERT_EQ(w->size(), QSize(946, 598));
    ASSERT_TRUE(w->loadFile(data).ok());
    struct Case {
        QSize size;
    };
    for (const Case& c : {Case {{1280, 800}}, Case {{700, 420}}, Case {{1500, 598}}}) {
        const QString text = QStringLiteral("%1x%2").arg(c.size.width()).arg(c.size.height());
        SCOPED_TRACE(text.toStdString());
        // As the user drags the border.
        w->resize(c.size);
        QTRY_COMPARE(w->size(), c.size);
        w->repaintNow();
        // The list reaches the bottom, the scroll bar spans the plot.
        EXPECT_EQ(w->list()->geometry().bottom(), c.size.height() - 3);
        EXPECT_EQ(w->scrollBar()->geometry(), QRect(302, c.size.height() - 30, c.size.width() - 356, 16));
        EXPECT_EQ(w->frame().plot.right(), c.size.width() - 61);
        const QString out = path("plot-" + text + ".png");
        const CliRun r = runCli({"plot", data, "-o", out, "--size", text});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QImage png(out);
        ASSERT_EQ(png.size(), c.size);
        expectSameOutsideControls(w, png.convertToFormat(QImage::Format_RGB32));
    }
    // Closed at 1500 x 598: the next window opens at that size.
    w->resize(1500, 598);
    QPointer<CLoggerGraphDlg> guard(w);
    w->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return guard.isNull(); }));
    const QByteArray stored = readAll(ini);
    EXPECT_TRUE(stored.startsWith(others)) << stored.toStdString();
    EXPECT_TRUE(stored.contains("[LoggerWindow]")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("Width=1500")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("Height=598")) << stored.toStdString();
    w = open();
    EXPECT_EQ(w->size(), QSize(1500, 598));
    // Closed at the size it opened at: the file is not written again.
    ASSERT_TRUE(QFile::remove(ini));
    ASSERT_TRUE(writeAll(ini, stored));
    guard = w;
    w->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return guard.isNull(); }));
    EXPECT_EQ(readAll(ini), stored);

    // A stored size beyond reason is brought within the window's limits.
    ASSERT_TRUE(writeAll(ini, "[LoggerWindow]\r\nWidth=20\r\nHeight=99999\r\n"));
    w = open();
    EXPECT_EQ(w->size(), QSize(CLoggerGraphDlg::kMinWidth, 4096));
}

TEST_F(LoggerOpen, CliPlotDrawsGapsForReadingsThatAreNoNumberAndNotesAnUnusableScale)
{
    // A damaged run: NaN and infinities among the readings, and a scale of
    // the largest 32-bit gain and offset.
    RunSpec s;
    s.count = 300;
    s.scale = {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()};
    s.value = [](int c, int i) {
        if (i % 17 == c)
            return std::numeric_limits<float>::quiet_NaN();
        if (i % 23 == c)
            return (i % 2 ? 1 : -1) * std::numeric_limits<float>::infinity();
        return float(15 + 12 * c + 6 * std::sin(i * 0.05 + c));
    };
    const QString data = file("damaged.AsmDat", s);
    CLoggerGraphDlg* w = open();
    ASSERT_TRUE(w->loadFile(data).ok());
    EXPECT_EQ(session().scale(), (YScaleValues {10, 0}));
    w->repaintNow();
    const QString out = path("plot.png");
    CliRun r = runCli({"plot", data, "-o", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("zb740-cli: %1: The vertical scale stored in the file (gain 2147483647, "
                                              "offset 2147483647) gives no usable axis; the default scale (gain 10, "
                                              "offset 0) is used instead.\n")
                                   .arg(data)))
        << r.err.toStdString();
    EXPECT_EQ(r.err.count(QStringLiteral("vertical scale")), 1);
    const QImage png(out);
    ASSERT_EQ(png.size(), QSize(946, 598));
    expectSameOutsideControls(w, png.convertToFormat(QImage::Format_RGB32));
    // Both options replace the file's scale: nothing to note.
    r = runCli({"plot", data, "-o", out, "--gain", "20", "--offset", "-2"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("vertical scale"))) << r.err.toStdString();
}

TEST_F(LoggerOpen, CliPlotRefusesBadArgumentsAndBadFiles)
{
    const QString data = file("run.AsmDat");
    const QString out = path("out.png");
    const QStringList usage[] = {
        {"plot"},
        {"plot", data},
        {"plot", data, "-o"},
        {"plot", data, "-o", out, "--size", "946"},
        {"plot", data, "-o", out, "--size", "100x100"},
        {"plot", data, "-o", out, "--curves", "AIR,XY"},
        {"plot", data, "-o", out, "--gain", "3"},
        {"plot", data, "-o", out, "--offset", "1"},
        {"plot", data, "-o", out, "--bogus"},
        {"plot", data, data, "-o", out},
    };
    for (const QStringList& args : usage) {
        const CliRun r = runCli(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("Usage: zb740-cli plot")) << args.join(' ').toStdString();
    }
    EXPECT_FALSE(QFile::exists(out));

    const QString foreign = path("foreign.AsmDat");
    ASSERT_TRUE(writeAll(foreign, "\x05HELLO"));
    const QString cut = path("cut.AsmDat");
    ASSERT_TRUE(writeAll(cut, readAll(data).left(60)));
    const struct {
        QString file;
        QString message;
    } bad[] = {
        {foreign, "Invalid Format!"},
        {cut, "The file ends before the end of the sample values."},
        {path("missing.AsmDat"), "No such file or directory"},
    };
    for (const auto& b : bad) {
        const CliRun r = runCli({"plot", b.file, "-o", out});
        EXPECT_EQ(r.exitCode, 1) << b.file.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("zb740-cli: %1: %2").arg(b.file, b.message))) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << "no picture of a bad file";
    }
}

// The real program under a real X server: zb740 FILE.AsmDat opens the
// "Graph" window with the file's curves; a missing file is named.
TEST_F(LoggerOpen, TheProgramOpensFilesFromItsCommandLine)
{
    const QString xvfb = QStandardPaths::findExecutable("xvfb-run");
    const QString xdotool = QStandardPaths::findExecutable("xdotool");
    const QString import = QStandardPaths::findExecutable("import", {"/usr/bin"});
    if (xvfb.isEmpty() || xdotool.isEmpty() || import.isEmpty())
        GTEST_SKIP() << "needs xvfb-run, xdotool and ImageMagick's import";
    RunSpec s;
    s.count = 1000;
    s.value = [](int c, int i) { return c == kAir ? float(50 + 30 * std::sin(i * 0.01)) : -500.0f; };
    const QString data = file("run.AsmDat", s);
    const QString shotPath = path("graph.png");
    const QString missing = path("missing.AsmDat");
    const AppOptions o = tempOptions();
    // Starts the program, waits for the Graph window, takes its picture.
    const QString script = QStringLiteral(
        "\"$ZB740\" --settings-dir \"$DIR\" --config \"$CONF\" --sysfs-root \"$SYS\" \"$DATA\" \"$MISSING\" 2>\"$ERR\" &\n"
        "pid=$!\n"
        "for i in $(seq 1 100); do id=$(xdotool search --name '^Graph$' 2>/dev/null | head -1); "
        "[ -n \"$id\" ] && break; sleep 0.1; done\n"
        "sleep 1\n"
        "[ -n \"$id\" ] && import -window \"$id\" \"$SHOT\"\n"
        "kill $pid; wait $pid 2>/dev/null\n"
        "[ -n \"$id\" ]\n");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    env.insert("ZB740", QStringLiteral(ZB740_PROGRAM));
    env.insert("DIR", o.settingsDir);
    env.insert("CONF", o.configFile);
    env.insert("SYS", o.sysfsRoot);
    env.insert("DATA", data);
    env.insert("MISSING", missing);
    env.insert("SHOT", shotPath);
    env.insert("ERR", path("stderr.txt"));
    env.insert("PATH", QFileInfo(import).absolutePath() + ":" + env.value("PATH"));
    p.setProcessEnvironment(env);
    p.start(xvfb, {"-a", "-s", "-screen 0 1600x1000x24", "bash", "-c", script});
    ASSERT_TRUE(p.waitForFinished(90000));
    EXPECT_EQ(p.exitCode(), 0) << "the Graph window appeared";
    const QString err = QString::fromLocal8Bit(readAll(path("stderr.txt")));
    EXPECT_TRUE(err.contains(QStringLiteral("zb740: %1: Cannot open %1: No such file or directory").arg(missing)))
        << err.toStdString();
    const QImage shot(shotPath);
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), QSize(946, 598));
    EXPECT_GT(countColor(shot.convertToFormat(QImage::Format_RGB32), QRect(307, 90, 577, 447), QColor(255, 0, 0)), 500)
        << "the AIR curve of the file";
}
