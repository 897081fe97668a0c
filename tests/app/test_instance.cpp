// One window per settings folder: real zb740 processes started side by
// side, each in the temporary folder with its own runtime folder.
#include "DataFixtures.h"
#include "RuntimeFolder.h"
#include "TempDir.h"

#include "data/RunFiles.h"
#include "data/RunView.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Result {
    int exitCode = -1;
    QString err;
};

class Instances : public TempDirTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(makeRuntimeFolder(path("run")));
        ASSERT_TRUE(QDir().mkpath(path("home")));
    }
    void TearDown() override
    {
        for (auto& p : m_running) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("run"));
        env.insert(QStringLiteral("HOME"), path("home"));
        return env;
    }
    // The sockets of the windows that run (the runtime folder holds them
    // and their locks).
    int sockets() const
    {
        return int(QDir(path("run")).entryList({QStringLiteral("zb740-*")}, QDir::System).size());
    }
    int listening() const { return listeningWindows(path("run")); }
    // A window with its simulated meter for a settings folder; returns once
    // it listens for later starts.
    QProcess& startWindow(const QString& settingsDir)
    {
        const int before = listening();
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(environment());
        p->start(QStringLiteral(ZB740_PROGRAM),
                 {"--simulate", "--settings-dir", settingsDir, "--config", path("none.ini")});
        EXPECT_TRUE(p->waitForStarted(10000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return listening() > before; }, 30000))
            << p->readAllStandardError().toStdString();
        m_running.push_back(std::move(p));
        return *m_running.back();
    }
    // A start that is expected to end by itself.
    Result startAndWait(const QStringList& args, const QString& workingDir = {})
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        if (!workingDir.isEmpty())
            p.setWorkingDirectory(workingDir);
        p.start(QStringLiteral(ZB740_PROGRAM), args);
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished(5000);
            return {-1, QStringLiteral("still running after a minute: ")
                            + QString::fromLocal8Bit(p.readAllStandardError())};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromLocal8Bit(p.readAllStandardError())};
    }
    // Waits for a line on the window's stderr.
    static bool saysOnStderr(QProcess& p, const QString& line, QString& seen)
    {
        return QTest::qWaitFor([&] {
            seen += QString::fromLocal8Bit(p.readAllStandardError());
            return seen.contains(line);
        }, 30000);
    }
    QString dataFile(const QString& name, int samples)
    {
        const LiveRun run(samples, 1796637600, 2);
        const QString file = path(name);
        EXPECT_TRUE(RunFiles::saveRun(file, RunView::of(*run.live, run.run.info()), {}).ok());
        return file;
    }

    std::vector<std::unique_ptr<QProcess>> m_running;
};

TEST_F(Instances, ASecondStartHandsItsFilesToTheRunningWindowAndEnds)
{
    (void)dataFile("first run.AsmDat", 5);
    (void)dataFile("second run.AsmDat", 7);
    QProcess& window = startWindow(path("ZB740"));

    // Named relative to the second start's folder; opened by the window.
    const Result handed = startAndWait({"--settings-dir", path("ZB740"), "--config", path("none.ini"),
                                        "first run.AsmDat", "second run.AsmDat"},
                                       m_tmp.path());
    EXPECT_EQ(handed.exitCode, 0) << handed.err.toStdString();
    EXPECT_EQ(handed.err,
              "zb740: ZB740 runs already for this settings folder; 2 files are handed to its logger window.\n");
    QString seen;
    EXPECT_TRUE(saysOnStderr(window, "zb740: opened 2 of 2 files from another start\n", seen)) << seen.toStdString();

    // The same folder by another name (a link to it), without files: the
    // window comes to the front.
    ASSERT_TRUE(QFile::link(path("ZB740"), path("link to ZB740")));
    const Result raised = startAndWait({"--settings-dir", path("link to ZB740") + "/", "--config", path("none.ini")});
    EXPECT_EQ(raised.exitCode, 0) << raised.err.toStdString();
    EXPECT_TRUE(raised.err.startsWith("zb740: ZB740 runs already for this settings folder; its window was brought "
                                      "to the front"))
        << raised.err.toStdString();
    EXPECT_EQ(window.state(), QProcess::Running);

    // Another settings folder is a window of its own, which answers the
    // starts for its folder (once it does, it is up: a stop ends it as a
    // close would).
    QProcess& other = startWindow(path("other"));
    const Result otherRaised = startAndWait({"--settings-dir", path("other"), "--config", path("none.ini")});
    EXPECT_EQ(otherRaised.exitCode, 0) << otherRaised.err.toStdString();
    EXPECT_TRUE(otherRaised.err.contains("its window was brought to the front")) << otherRaised.err.toStdString();
    EXPECT_EQ(other.state(), QProcess::Running);
    EXPECT_EQ(window.state(), QProcess::Running);
    for (QProcess* p : {&window, &other}) {
        p->terminate();
        EXPECT_TRUE(p->waitForFinished(10000));
        EXPECT_EQ(p->exitCode(), 0);
    }
    EXPECT_EQ(sockets(), 0) << QDir(path("run")).entryList(QDir::System | QDir::Files).join(", ").toStdString();
}

TEST_F(Instances, AStartAfterACrashTakesOverAndAnswersTheNext)
{
    QProcess& crashed = startWindow(path("ZB740"));
    crashed.kill(); // no handler, no cleanup: the socket file stays
    ASSERT_TRUE(crashed.waitForFinished(5000));
    ASSERT_GT(sockets(), 0);
    ASSERT_EQ(listening(), 0);

    // The next window starts as the only one (not as a second start of a
    // dead window), listens in place of the socket left behind, and
    // answers the start after it.
    QProcess& window = startWindow(path("ZB740"));
    EXPECT_EQ(window.state(), QProcess::Running);
    const Result next = startAndWait({"--settings-dir", path("ZB740"), "--config", path("none.ini")});
    EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
    EXPECT_TRUE(next.err.contains("its window was brought to the front")) << next.err.toStdString();
    EXPECT_EQ(window.state(), QProcess::Running);
}

#ifdef Q_OS_LINUX
// The window listens with a plain Unix-domain socket and draws its pictures
// itself: a window that has answered a later start has mapped neither Qt's
// network library (and the Kerberos and proxy libraries it brings) nor an
// icon engine plugin. (The image format plugins are Qt's style's: it reads
// its standard icons, the menu bar's extension arrow among them, through
// them.) Without MQTT settings it has not loaded libmosquitto either, nor
// the TLS libraries that come with it (test_mqtt_window: it loads them to
// publish).
TEST_F(Instances, TheWindowMapsNoNetworkLibraryNorIconEngine)
{
    QProcess& window = startWindow(path("ZB740"));
    // Answered: the window is made and its event loop runs.
    const Result raised = startAndWait({"--settings-dir", path("ZB740"), "--config", path("none.ini")});
    ASSERT_EQ(raised.exitCode, 0) << raised.err.toStdString();
    QFile maps(QStringLiteral("/proc/%1/maps").arg(window.processId()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QString mapped = QString::fromLocal8Bit(maps.readAll());
    ASSERT_TRUE(mapped.contains("libQt6Widgets")) << mapped.toStdString();
    for (const char* name : {"libQt6Network", "libkrb5", "libproxy", "/iconengines/", "libmosquitto", "libssl",
                             "libcrypto"})
        EXPECT_FALSE(mapped.contains(QLatin1String(name))) << name;
}
#endif

} // namespace
