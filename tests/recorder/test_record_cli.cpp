// zb740-cli record, run as the built program against its simulated meter,
// and the journal it leaves when it is killed. The recordings wait on real
// timers (samples a second apart, the watchdog's 3 s), so they run side by
// side in one test.
#include "DataFixtures.h"
#include "TempDir.h"

#include "base/Version.h"
#include "data/RunJournal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kCli = QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli");

// The child starts as from a shell: the stop signals at their defaults
// (a test runner may have started us with some of them ignored), and
// optionally its stderr on a terminal or SIGHUP ignored (as nohup does).
void prepareChild(QProcess& p, int stderrFd = -1, bool ignoreHangup = false)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC0"));
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([stderrFd, ignoreHangup] {
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            ::signal(s, SIG_DFL);
        if (ignoreHangup)
            ::signal(SIGHUP, SIG_IGN);
        if (stderrFd >= 0)
            ::dup2(stderrFd, STDERR_FILENO);
    });
}

struct CliResult {
    int status = -1;
    QByteArray out, err;
};

CliResult cli(const QStringList& args)
{
    QProcess p;
    prepareChild(p);
    p.start(kCli, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

// Whole records in a journal so far (-1: no journal).
int journalRecords(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.size() < Journal::kHeaderSize)
        return -1;
    return int((info.size() - Journal::kHeaderSize) / Journal::kRecordSize);
}

// zb740-cli info of a data file, as JSON.
QJsonObject info(const QString& dataPath)
{
    const CliResult r = cli({QStringLiteral("info"), dataPath});
    EXPECT_EQ(r.status, 0) << dataPath.toStdString() << ": " << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).object();
}

int64_t startOf(const QJsonObject& o)
{
    QDateTime t = QDateTime::fromString(o["start"].toString(), Qt::ISODate);
    t.setTimeZone(QTimeZone::utc());
    return t.toSecsSinceEpoch();
}

// One record command running in the background.
struct Recording {
    QProcess process;
    QString output;
    void start(const QString& out, const QStringList& options, int stderrFd = -1, bool ignoreHangup = false)
    {
        output = out;
        prepareChild(process, stderrFd, ignoreHangup);
        process.start(kCli, QStringList {QStringLiteral("record"), QStringLiteral("--simulate")} + options
                                + QStringList {QStringLiteral("-o"), out});
    }
    QString journal() const { return output + QStringLiteral(".journal"); }
    void signal(int s) const { ::kill(pid_t(process.processId()), s); }
    bool finished() const { return process.state() == QProcess::NotRunning; }
    QString err() { return QString::fromLocal8Bit(process.readAllStandardError()); }
    QString out() { return QString::fromLocal8Bit(process.readAllStandardOutput()); }
};

// A terminal for a child's stderr: the master end is read here.
struct Terminal {
    int master = -1;
    int slave = -1;
    QByteArray seen;
    bool open()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return false;
        slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        return slave >= 0;
    }
    void read()
    {
        char buf[512];
        ssize_t n;
        while ((n = ::read(master, buf, sizeof buf)) > 0)
            seen.append(buf, n);
    }
    ~Terminal()
    {
        for (int fd : {master, slave})
            if (fd >= 0)
                ::close(fd);
    }
};

class RecordCli : public TempDirTest {};

TEST_F(RecordCli, UsageErrorsExitTwoAndVersion)
{
    const QString out = path("u.AsmDat");
    const QStringList cases[] = {
        {},
        {"--simulate"},
        {"-o", out},
        {"--port", "/dev/null", "--simulate", "-o", out},
        {"--simulate", "-o", out, "--count", "0"},
        {"--simulate", "-o", out, "--count", "10001"},
        {"--simulate", "-o", out, "--count", "ten"},
        {"--simulate", "-o", out, "--interval", "0"},
        {"--simulate", "-o", out, "--interval", "3601"},
        {"--simulate", "-o", out, "--interval"},
        {"--simulate", "-o", out, "--count", "5", "--count", "6"},
        {"--simulate", "-o", out, "--colour"},
        {"--simulate", "-o", out, "extra"},
        {"--port", "/dev/null", "-o", out, "--silent-after", "3"},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CliResult r = cli(QStringList {"record"} + args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.startsWith("zb740-cli record: ")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("Usage: zb740-cli record")) << r.err.toStdString();
    }
    EXPECT_TRUE(QDir(m_tmp.path()).entryList(QDir::Files).isEmpty()) << "nothing written";

    const CliResult help = cli({"record", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: zb740-cli record (--port DEVICE | --simulate)"));

    const CliResult version = cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QByteArray("zb740-cli ") + kVersionNumber + "\n");
}

TEST_F(RecordCli, WhatCannotBeginFailsWithItsReason)
{
    // The device is not there: the port status text of the window.
    const QString device = path("ttyUSB7");
    CliResult r = cli({"record", "--port", device, "-o", path("a.AsmDat")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("zb740-cli: %1: No meter port: %1 does not exist. Connect the meter.\n")
                         .arg(device)
                         .toUtf8());

    // No folder to write into, or a journal of an unsaved recording in the
    // way: refused before recording, not after.
    r = cli({"record", "--simulate", "-o", path("missing/a.AsmDat")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("zb740-cli: " + path("missing/a.AsmDat").toUtf8() + ": the folder"))
        << r.err.toStdString();
    ASSERT_TRUE(writeAll(path("b.AsmDat.journal"), "an earlier run"));
    r = cli({"record", "--simulate", "-o", path("b.AsmDat")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("zb740-cli: " + path("b.AsmDat.journal").toUtf8() + ": exists already"))
        << r.err.toStdString();
    EXPECT_EQ(readAll(path("b.AsmDat.journal")), QByteArray("an earlier run"));
    EXPECT_EQ(QDir(m_tmp.path()).entryList(QDir::Files), QStringList {"b.AsmDat.journal"});
}

TEST_F(RecordCli, InterruptedBeforeItsFirstSampleWritesNothingAndSaysSo)
{
    // A port that opens but where no meter answers.
    Terminal silentPort;
    ASSERT_TRUE(silentPort.open());
    Recording r;
    r.process.setProcessChannelMode(QProcess::SeparateChannels);
    prepareChild(r.process);
    r.output = path("none.AsmDat");
    r.process.start(kCli, {"record", "--port", QString::fromLocal8Bit(::ptsname(silentPort.master)), "-o", r.output});
    QByteArray err;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        silentPort.read();
        err += r.process.readAllStandardError();
        return err.contains("Recording 1000 samples");
    }, 10000)) << err.toStdString();
    r.signal(SIGTERM);
    ASSERT_TRUE(r.process.waitForFinished(10000));
    err += r.process.readAllStandardError();
    EXPECT_EQ(r.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(r.process.exitCode(), 1);
    EXPECT_TRUE(err.endsWith("Interrupted: 0 of 1000 samples recorded.\nzb740-cli: " + r.output.toUtf8()
                             + ": no samples were recorded; nothing written\n"))
        << err.toStdString();
    EXPECT_TRUE(silentPort.seen.size() > 0) << "the wake packet went out";
    EXPECT_TRUE(QDir(m_tmp.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(RecordCli, ADeviceThisUserMayNotOpenNamesTheFix)
{
    // As a user without access to the device, the advice of the window's
    // status: the group to join.
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() != 0 || setpriv.isEmpty())
        GTEST_SKIP() << "needs root to become another user (setpriv)";
    const QString device = path("ttyUSB0");
    ASSERT_TRUE(writeAll(device, ""));
    ASSERT_EQ(::chown(QFile::encodeName(device).constData(), 0, 20 /* dialout */), 0);
    ASSERT_TRUE(QFile::setPermissions(device, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                                  | QFile::WriteGroup));
    ASSERT_TRUE(QFile::setPermissions(m_tmp.path(), QFile::permissions(m_tmp.path()) | QFile::ExeOther
                                                        | QFile::ReadOther));
    QProcess p;
    prepareChild(p);
    p.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", kCli, "record", "--port", device, "-o",
                      path("a.AsmDat")});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QByteArray err = p.readAllStandardError();
    if (err.contains("Permission denied") && !err.contains(device.toUtf8()))
        GTEST_SKIP() << "the program cannot be run as another user here: " << err.toStdString();
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_EQ(err, QStringLiteral("zb740-cli: %1: Permission denied on %1: join group \"dialout\" (sudo usermod "
                                  "-aG dialout $USER) and log in again.\n")
                       .arg(device)
                       .toUtf8());
}

TEST_F(RecordCli, RecordsStopsSurvivesAGapAndLeavesAJournalWhenKilled)
{
    // Side by side: five samples to the end; one interrupted after three;
    // one under nohup, hung up after two and terminated after four; one
    // killed after a few; one whose meter falls silent for 8 s (the watchdog
    // ends the run within 3..6 s); one with stderr on a terminal.
    Recording complete, interrupted, nohup, killed, gap, onTerminal;
    Terminal terminal;
    ASSERT_TRUE(terminal.open());
    complete.start(path("five.AsmDat"), {"--interval", "1", "--count", "5"});
    interrupted.start(path("int.AsmDat"), {"--interval", "1", "--count", "100"});
    nohup.start(path("nohup.AsmDat"), {"--interval", "1", "--count", "100"}, -1, true);
    killed.start(path("run.AsmDat"), {"--interval", "1", "--count", "100"});
    gap.start(path("gap.AsmDat"), {"--interval", "1", "--count", "8", "--silent-after", "4", "--silent-for", "8"});
    onTerminal.start(path("tty.AsmDat"), {"--interval", "2", "--count", "2"}, terminal.slave);
    const int64_t begun = QDateTime::currentSecsSinceEpoch();

    int killedSeen = -1;
    bool interruptSent = false, hangupSent = false, terminateSent = false;
    const bool allDone = QTest::qWaitFor([&] {
        terminal.read();
        if (!interruptSent && journalRecords(interrupted.journal()) >= 3) {
            interrupted.signal(SIGINT);
            interruptSent = true;
        }
        if (!hangupSent && journalRecords(nohup.journal()) >= 2) {
            nohup.signal(SIGHUP);
            hangupSent = true;
        }
        if (!terminateSent && journalRecords(nohup.journal()) >= 4) {
            nohup.signal(SIGTERM);
            terminateSent = true;
        }
        if (killedSeen < 0 && journalRecords(killed.journal()) >= 3) {
            killedSeen = journalRecords(killed.journal());
            killed.signal(SIGKILL);
        }
        return complete.finished() && interrupted.finished() && nohup.finished() && killed.finished()
            && gap.finished() && onTerminal.finished();
    }, 60000);
    terminal.read();
    ASSERT_TRUE(allDone) << complete.finished() << interrupted.finished() << nohup.finished() << killed.finished()
                         << gap.finished() << onTerminal.finished();
    const int64_t ended = QDateTime::currentSecsSinceEpoch();

    {
        SCOPED_TRACE("five samples");
        EXPECT_EQ(complete.process.exitCode(), 0);
        const QString out = complete.out(), err = complete.err();
        EXPECT_TRUE(QRegularExpression(R"(^Wrote 5 samples \(started \d\d/\d\d/\d\d \d\d:\d\d:\d\d, interval 1 s\) to )"
                                       + QRegularExpression::escape(path("five.AsmDat") + " and " + path("five.csv"))
                                       + R"(\.\n$)")
                        .match(out)
                        .hasMatch())
            << out.toStdString();
        const QJsonObject o = info(path("five.AsmDat"));
        EXPECT_EQ(o["count"].toInt(), 5);
        EXPECT_EQ(o["interval"].toInt(), 1);
        EXPECT_GE(startOf(o), begun);
        EXPECT_TRUE(QFile::exists(path("five.csv")));
        EXPECT_FALSE(QFile::exists(complete.journal())) << "removed once both files were saved";
        // Not a terminal: a line per tenth of the count (here every sample),
        // and the link's changes.
        EXPECT_TRUE(err.startsWith("Recording 5 samples every 1 s from /dev/")) << err.toStdString();
        EXPECT_TRUE(err.contains("\nMeter connected on /dev/")) << err.toStdString();
        for (int i = 1; i <= 5; ++i)
            EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(\n%1/5 samples  elapsed 0:00:\d\d  remaining 0:00:0%2  )"
                                                          R"(AIR -?\d+\.\d C  RH \d+\.\d %  link up\n)")
                                               .arg(i)
                                               .arg(5 - i))
                            .match(err)
                            .hasMatch())
                << i << "\n" << err.toStdString();
        EXPECT_FALSE(err.contains('\r'));
    }
    {
        SCOPED_TRACE("interrupted after three samples");
        EXPECT_EQ(interrupted.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(interrupted.process.exitCode(), 0);
        EXPECT_TRUE(interrupted.err().contains("\nInterrupted: 3 of 100 samples recorded.\n"));
        EXPECT_TRUE(interrupted.out().startsWith("Wrote 3 samples"));
        EXPECT_EQ(info(path("int.AsmDat"))["count"].toInt(), 3);
        EXPECT_FALSE(QFile::exists(interrupted.journal()));
    }
    {
        SCOPED_TRACE("nohup: a hangup is ignored, SIGTERM saves");
        EXPECT_EQ(nohup.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(nohup.process.exitCode(), 0);
        EXPECT_TRUE(nohup.err().contains("\nInterrupted: 4 of 100 samples recorded.\n"));
        EXPECT_EQ(info(path("nohup.AsmDat"))["count"].toInt(), 4);
    }
    {
        SCOPED_TRACE("killed");
        EXPECT_EQ(killed.process.exitStatus(), QProcess::CrashExit);
        EXPECT_FALSE(QFile::exists(path("run.AsmDat")));
        // Whole records only: every sample the journal held when the kill
        // was sent, and at most the one committed while it was on its way.
        const qint64 size = QFileInfo(killed.journal()).size();
        EXPECT_EQ((size - Journal::kHeaderSize) % Journal::kRecordSize, 0);
        const int atKill = journalRecords(killed.journal());
        EXPECT_GE(atKill, killedSeen);
        EXPECT_LE(atKill, killedSeen + 1);

        const CliResult r = cli({"recover", killed.journal()});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.startsWith(QStringLiteral("Recovered %1 samples").arg(atKill).toUtf8())) << r.out.toStdString();
        EXPECT_TRUE(r.out.endsWith("No record was torn.\n"));
        const QJsonObject o = info(path("run.AsmDat"));
        EXPECT_EQ(o["count"].toInt(), atKill);
        EXPECT_EQ(o["interval"].toInt(), 1);
        EXPECT_GE(startOf(o), begun);
        EXPECT_LE(startOf(o), ended);
        // The readings are the simulated meter's: room temperatures.
        auto rec = std::make_unique<ReviewRecord>();
        YScaleValues scale;
        ASSERT_TRUE(DataFile::load(path("run.AsmDat"), *rec, scale).ok());
        for (int i = 0; i < rec->count; ++i) {
            EXPECT_GT(rec->at(i, kAir), 5.0f) << i;
            EXPECT_LT(rec->at(i, kAir), 40.0f) << i;
            EXPECT_GT(rec->at(i, kRh), 1.0f) << i;
        }
    }
    {
        SCOPED_TRACE("a gap in the link");
        EXPECT_EQ(gap.process.exitCode(), 0);
        const QString out = gap.out(), err = gap.err();
        const QJsonObject first = info(path("gap.AsmDat"));
        const QJsonObject second = info(path("gap-2.AsmDat"));
        const int before = first["count"].toInt(), after = second["count"].toInt();
        EXPECT_GE(before, 1);
        EXPECT_GE(after, 1);
        EXPECT_EQ(before + after, 8);
        EXPECT_EQ(second["interval"].toInt(), 1);
        // Each file has its own true time axis: the second starts after the
        // silence, 8 s after the last frame of the first (its samples are a
        // second apart from its start), less the cut to whole seconds; a
        // file continuing the first one's axis would start at before.
        EXPECT_GE(startOf(second) - startOf(first), (before - 1) + 8 - 1) << out.toStdString();
        EXPECT_FALSE(QFile::exists(path("gap-3.AsmDat")));
        EXPECT_TRUE(QFile::exists(path("gap-2.csv")));
        EXPECT_FALSE(QFile::exists(gap.journal()));
        EXPECT_FALSE(QFile::exists(path("gap-2.AsmDat.journal")));
        EXPECT_EQ(out.count("\nWrote ") + out.startsWith("Wrote ") , 2) << out.toStdString();
        EXPECT_TRUE(out.contains(QStringLiteral("Wrote %1 samples").arg(before)));
        EXPECT_TRUE(out.contains(" to " + path("gap-2.AsmDat") + " and " + path("gap-2.csv") + ".\n"));
        EXPECT_EQ(err.count("Meter connected on "), 2) << err.toStdString();
        EXPECT_EQ(err.count("Link lost: no answer from the meter on "), 1) << err.toStdString();
    }
    {
        SCOPED_TRACE("progress on a terminal");
        EXPECT_EQ(onTerminal.process.exitCode(), 0);
        const QString seen = QString::fromLocal8Bit(terminal.seen);
        EXPECT_TRUE(seen.contains("\r1/2 samples  elapsed ")) << seen.toStdString();
        EXPECT_TRUE(QRegularExpression(R"(\r2/2 samples  elapsed 0:00:\d\d  remaining 0:00:00  AIR -?\d+\.\d C  )"
                                       R"(RH \d+\.\d %  link up\x1b\[K)")
                        .match(seen)
                        .hasMatch())
            << seen.toStdString();
        EXPECT_TRUE(seen.endsWith("\n")) << "the line is ended when recording ends";
        const QJsonObject o = info(path("tty.AsmDat"));
        EXPECT_EQ(o["count"].toInt(), 2);
        EXPECT_EQ(o["interval"].toInt(), 2);
    }
}

} // namespace
