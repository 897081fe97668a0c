// The program binary's own command line: usage and version need no window;
// Qt's options go to Qt, the files to the logger window.
#include "DataFixtures.h"
#include "RuntimeFolder.h"
#include "TempDir.h"

#include "app/AppCommandLine.h"
#include "data/RunFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Result {
    int exitCode;
    QString out;
    QString err;
};

Result runProgram(const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    env.remove("DISPLAY"); // must not need a display
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZB740_PROGRAM), args);
    p.waitForFinished(10000);
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

TEST(Program, VersionAndHelpWithoutAWindow)
{
    const Result version = runProgram({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "ZB740 Version 2.1\n");

    const Result help = runProgram({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: zb740"));
    for (const char* option : {"--port DEVICE", "--simulate", "--run SECONDS,COUNT"})
        EXPECT_TRUE(help.out.contains(option)) << option;

    const Result bad = runProgram({"--bogus"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains("unknown option"));
    EXPECT_EQ(runProgram({"--port"}).exitCode, 2) << "an option without its value";
    // --run takes what the Run dialog accepts.
    for (const char* bad : {"0,1000", "2147484,1000", "1,999", "1,10001", "1", "1,1000,5", "a,b", ""}) {
        const Result r = runProgram({"--run", bad});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_TRUE(r.err.startsWith("zb740: --run takes SECONDS,COUNT")) << bad << r.err.toStdString();
    }
}

TEST(Program, RunOptionTakesTheIntervalsTheRunDialogTakes)
{
    // The help names the Run dialog's range, and --run takes all of it: a
    // value --run refuses ends the parse with status 2 before --version.
    EXPECT_TRUE(runProgram({"--help"}).out.contains("(1..2147483 s)"));
    for (const char* good : {"1,1000", "3600,1000", "3601,1000", "86400,5000", "2147483,10000"}) {
        const Result r = runProgram({"--run", good, "--version"});
        EXPECT_EQ(r.exitCode, 0) << good << ": " << r.err.toStdString();
    }
    const Result refused = runProgram({"--run", "2147484,1000"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.startsWith("zb740: --run takes SECONDS,COUNT with SECONDS 1..2147483 and COUNT "
                                       "1000..10000, not '2147484,1000'"))
        << refused.err.toStdString();
}

TEST(Program, PortStateChangesGoToStandardErrorInFull)
{
    // Started from a terminal, each change of the port's state is one line
    // on stderr, however long: the status pane only shows what fits.
    QTemporaryDir tmp;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // Where it tells later starts that it runs: the temporary folder.
    ASSERT_TRUE(QDir().mkpath(tmp.filePath("run")));
    QFile::setPermissions(tmp.filePath("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", tmp.filePath("run"));
    p.setProcessEnvironment(env);
    const QString device = tmp.filePath("no-such-meter/ttyUSB0");
    p.start(QStringLiteral(ZB740_PROGRAM), {"--port", device, "--settings-dir", tmp.filePath("ZB740"), "--config",
                                            tmp.filePath("none.ini")});
    ASSERT_TRUE(p.waitForStarted(5000));
    QString err;
    for (int i = 0; i < 100 && !err.contains(QStringLiteral("zb740: No meter")); ++i) {
        p.waitForReadyRead(100);
        err += QString::fromLocal8Bit(p.readAllStandardError());
    }
    p.terminate();
    p.waitForFinished(5000);
    err += QString::fromLocal8Bit(p.readAllStandardError());
    const QStringList lines = err.split('\n').filter(QStringLiteral("zb740: "));
    ASSERT_FALSE(lines.isEmpty()) << err.toStdString();
    EXPECT_TRUE(lines[0].startsWith("zb740: No meter port: " + device)) << lines[0].toStdString();
    EXPECT_GT(lines[0].size(), 60) << "the whole advice, not the pane's cut";
}

TEST(Program, QtsOwnOptionsGoToQtAndTakeNothingOfTheProgram)
{
    // Before a window exists: the version after Qt's options, in each of
    // the forms Qt reads.
    const QStringList qtOptions[] = {
        {"-style=Fusion"},
        {"-style", "Fusion"},
        {"--style", "Fusion"},
        {"-reverse"},
        {"-qwindowgeometry", "640x480+0+0"},
        {"-platform", "offscreen"},
        {"-stylesheet=none.qss", "-widgetcount"},
        {},
    };
    for (const QStringList& qt : qtOptions) {
        for (const char* version : {"--version", "-V"}) {
            const Result r = runProgram(qt + QStringList {version});
            EXPECT_EQ(r.exitCode, 0) << qt.join(' ').toStdString() << " " << version << ": " << r.err.toStdString();
            EXPECT_EQ(r.out, "ZB740 Version 2.1\n") << qt.join(' ').toStdString() << " " << version;
        }
    }
    struct Refusal {
        QStringList args;
        const char* line;
    };
    const Refusal refusals[] = {
        {{"-style"}, "zb740: -style needs a value"},
        {{"--version", "-qwindowgeometry"}, "zb740: -qwindowgeometry needs a value"},
        {{"-platform=offscreen"}, "zb740: unknown option '-platform=offscreen'"}, // a form Qt does not read
        {{"-bogus"}, "zb740: unknown option '-bogus'"},
        {{"--port"}, "zb740: --port needs a value"},
        {{"--simulate=yes"}, "zb740: --simulate takes no value"},
    };
    for (const Refusal& c : refusals) {
        const Result r = runProgram(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith(QLatin1String(c.line) + "\nUsage: zb740 ")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST(AppCommandLine, SortsQtsOptionsFromTheProgramsAsQtReadsThem)
{
    struct Case {
        QStringList args;
        QStringList program, qt;
        QString error = {};
    };
    const Case cases[] = {
        {{"-style=Fusion", "a.AsmDat"}, {"a.AsmDat"}, {"-style=Fusion"}},
        {{"-style", "Fusion", "a.AsmDat"}, {"a.AsmDat"}, {"-style", "Fusion"}},
        {{"--style", "Fusion", "--platform", "xcb"}, {}, {"--style", "Fusion", "--platform", "xcb"}},
        {{"-reverse", "a.AsmDat", "-qwindowgeometry", "640x480", "--port", "/dev/ttyUSB1", "-platform", "offscreen"},
         {"a.AsmDat", "--port", "/dev/ttyUSB1"},
         {"-reverse", "-qwindowgeometry", "640x480", "-platform", "offscreen"}},
        {{"-stylesheet=a.qss", "-widgetcount", "-display", ":1"}, {}, {"-stylesheet=a.qss", "-widgetcount", "-display", ":1"}},
        // The value of the program's own option is never Qt's.
        {{"--settings-dir", "-reverse", "-reverse"}, {"--settings-dir", "-reverse"}, {"-reverse"}},
        {{"--config=-style", "-style", "Fusion"}, {"--config=-style"}, {"-style", "Fusion"}},
        // After "--" everything is the program's.
        {{"-reverse", "--", "-style", "Fusion"}, {"--", "-style", "Fusion"}, {"-reverse"}},
        // Forms Qt does not read are the program's (and refused there).
        {{"-platform=offscreen", "-styles", "-style:Fusion"}, {"-platform=offscreen", "-styles", "-style:Fusion"}, {}},
        {{"a.AsmDat", "-style"}, {"a.AsmDat"}, {}, "-style needs a value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const appcommandline::Split s = appcommandline::split(c.args);
        EXPECT_EQ(s.program, c.program);
        EXPECT_EQ(s.qt, c.qt);
        EXPECT_EQ(s.error, c.error);
    }

    AppOptions o = AppOptions::defaults();
    QStringList files, qt;
    ASSERT_EQ(appcommandline::parse({"-style=Fusion", "--run", "5,1000", "a.AsmDat", "--simulate", "-reverse",
                                     "--port=/dev/ttyUSB1", "--", "-b.AsmDat"},
                                    o, files, qt),
              -1);
    EXPECT_EQ(o.runInterval, 5);
    EXPECT_EQ(o.runCount, 1000);
    EXPECT_TRUE(o.simulate);
    EXPECT_EQ(o.portDevice, "/dev/ttyUSB1");
    EXPECT_EQ(files, QStringList({"a.AsmDat", "-b.AsmDat"}));
    EXPECT_EQ(qt, QStringList({"-style=Fusion", "-reverse"}));
}

// A window started with Qt's options before its data file opens the file:
// no Qt option takes the file for its value.
class ProgramWithFiles : public TempDirTest {};

TEST_F(ProgramWithFiles, OpensTheFileNamedAfterQtsOptions)
{
    ASSERT_TRUE(makeRuntimeFolder(path("run")));
    const LiveRun run(5, 1796637600, 2);
    ASSERT_TRUE(RunFiles::saveRun(path("run.AsmDat"), RunView::of(*run.live, run.run.info()), {}).ok());
    ASSERT_TRUE(RunFiles::saveRun(path("-dash.AsmDat"), RunView::of(*run.live, run.run.info()), {}).ok());
    const QStringList starts[] = {
        {"-style=Fusion", path("run.AsmDat")},
        {"-style", "Fusion", path("run.AsmDat")},
        {"-reverse", "-qwindowgeometry", "640x480+0+0", path("run.AsmDat")},
        {"-style", "Fusion", "--", "-dash.AsmDat"},
    };
    int n = 0;
    for (const QStringList& args : starts) {
        SCOPED_TRACE(args.join(' ').toStdString());
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", path("run"));
        env.insert("HOME", m_tmp.path());
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_tmp.path());
        const QString settings = path(QStringLiteral("ZB740-%1").arg(++n));
        p.start(QStringLiteral(ZB740_PROGRAM), QStringList {"--settings-dir", settings, "--config", path("none.ini"),
                                                            "--port", path("no-meter")}
                                                   + args);
        ASSERT_TRUE(p.waitForStarted(10000));
        QString err;
        const bool opened = QTest::qWaitFor([&] {
            err += QString::fromLocal8Bit(p.readAllStandardError());
            return err.contains("zb740: opened ") || p.state() == QProcess::NotRunning;
        }, 60000);
        p.terminate();
        if (!p.waitForFinished(10000)) {
            p.kill();
            p.waitForFinished(5000);
        }
        err += QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_TRUE(opened) << err.toStdString();
        EXPECT_TRUE(err.contains("zb740: opened 1 of 1 file from the command line\n")) << err.toStdString();
    }
}
