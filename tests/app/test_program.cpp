// The program binary's own command line: usage and version need no window.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
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
