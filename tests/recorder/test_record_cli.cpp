// zb740-cli record, run as the built program against its simulated meter,
// and the journal it leaves when it is killed. The recordings wait on real
// timers (samples a second apart, the watchdog's 3 s), so they run side by
// side in one test.
#include "DataFixtures.h"
#include "FileNodes.h"
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
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString kCli = QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli");

// The child starts as from a shell: the stop signals at their defaults
// (a test runner may have started us with some of them ignored), and
// optionally its stderr on a terminal or SIGHUP ignored (as nohup does).
// stdoutFd too, and a limit to the size of the files it writes (0: none;
// beyond it a write fails with EFBIG, as SIGXFSZ is ignored).
void prepareChild(QProcess& p, int stderrFd = -1, bool ignoreHangup = false, int stdoutFd = -1,
                  rlim_t fileSizeLimit = 0)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC0"));
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([stderrFd, ignoreHangup, stdoutFd, fileSizeLimit] {
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            ::signal(s, SIG_DFL);
        if (ignoreHangup)
            ::signal(SIGHUP, SIG_IGN);
        if (stderrFd >= 0)
            ::dup2(stderrFd, STDERR_FILENO);
        if (stdoutFd >= 0)
            ::dup2(stdoutFd, STDOUT_FILENO);
        if (fileSizeLimit > 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit {};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = fileSizeLimit;
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
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
    void start(const QString& out, const QStringList& options, int stderrFd = -1, bool ignoreHangup = false,
               int stdoutFd = -1, rlim_t fileSizeLimit = 0)
    {
        output = out;
        prepareChild(process, stderrFd, ignoreHangup, stdoutFd, fileSizeLimit);
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
        {"--simulate", "-o", out, "--utc"},
        {"--simulate", "-o", out, "--jsonl"},
        {"--simulate", "-o", out, "--jsonl", out},
        {"--simulate", "-o", out, "--jsonl", out + ".journal"},
        {"--simulate", "-o", out, "--jsonl", path("u.csv")},
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

TEST_F(RecordCli, JsonLinesStreamEachSampleBeforeTheNextIsTaken)
{
    // Side by side: the lines on standard output, and into a file in UTC.
    Recording piped, toFile;
    piped.start(path("s.AsmDat"), {"--interval", "2", "--count", "3", "--jsonl", "-"});
    toFile.start(path("f.AsmDat"), {"--interval", "1", "--count", "3", "--jsonl", path("f.jsonl"), "--utc"});
    // When the k-th line is read, the journal holds k samples: the line
    // came with its sample, before the next one was taken.
    QByteArray streamed;
    std::vector<int> journalAtLine;
    const bool done = QTest::qWaitFor([&] {
        streamed += piped.process.readAllStandardOutput();
        while (int(journalAtLine.size()) < int(streamed.count('\n')))
            journalAtLine.push_back(journalRecords(piped.journal()));
        return piped.finished() && toFile.finished();
    }, 30000);
    streamed += piped.process.readAllStandardOutput();
    ASSERT_TRUE(done);
    EXPECT_EQ(piped.process.exitCode(), 0) << piped.err().toStdString();
    EXPECT_EQ(toFile.process.exitCode(), 0) << toFile.err().toStdString();

    ASSERT_EQ(streamed.count('\n'), 3) << streamed.toStdString();
    ASSERT_GE(journalAtLine.size(), 2u);
    for (size_t k = 0; k + 1 < journalAtLine.size(); ++k)
        EXPECT_EQ(journalAtLine[k], int(k) + 1) << "line " << k + 1;
    // The last line: with its sample, then the run was saved and its
    // journal went.
    EXPECT_TRUE(journalAtLine.back() == 3 || journalAtLine.back() == -1) << journalAtLine.back();
    // The closing report stays off the stream.
    EXPECT_TRUE(piped.err().contains("Wrote 3 samples"));

    // The lines are those export writes from the data file (numbered from
    // 1, the same times and values), in local time and in UTC.
    CliResult exported = cli({"export", path("s.AsmDat"), "--format", "jsonl", "-o", "-"});
    EXPECT_EQ(exported.status, 0);
    EXPECT_EQ(streamed.toStdString(), exported.out.toStdString());
    exported = cli({"export", path("f.AsmDat"), "--format", "jsonl", "--utc", "-o", "-"});
    EXPECT_EQ(readAll(path("f.jsonl")).toStdString(), exported.out.toStdString());
    EXPECT_TRUE(exported.out.startsWith("{\"time\":\"")) << exported.out.toStdString();
    for (const QByteArray& line : streamed.trimmed().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        EXPECT_EQ(o.keys().size(), 8) << line.toStdString();
        EXPECT_TRUE(o["air"].isDouble());
    }
}

TEST_F(RecordCli, AJsonLinesReaderThatGoesAwayStopsOnlyTheStream)
{
    // The reading end of the pipe is closed at once: the stream stops with
    // a warning, the recording completes.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    Recording r;
    r.start(path("p.AsmDat"), {"--interval", "1", "--count", "2", "--jsonl", "-"}, -1, false, fds[1]);
    ::close(fds[1]);
    ASSERT_TRUE(r.process.waitForFinished(30000));
    EXPECT_EQ(r.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(r.process.exitCode(), 0);
    const QString err = r.err();
    EXPECT_TRUE(err.contains("zb740-cli: standard output: Broken pipe. The JSON lines stop here; recording goes on."))
        << err.toStdString();
    EXPECT_EQ(info(path("p.AsmDat"))["count"].toInt(), 2);
}

// --- the journal as the lock of a name, a full disk, the screen at the end ---

// The output up to its end without the terminal's line ends ("\r\n" as "\n").
QString screenText(const QByteArray& seen)
{
    return QString::fromLocal8Bit(seen).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

TEST_F(RecordCli, AFolderThatCannotBeWrittenIsRefusedBeforeRecording)
{
    // As root (who may write into any folder) a read-only file system;
    // otherwise a folder without write permission.
    ASSERT_TRUE(QDir().mkpath(path("ro")));
    ScopedTmpfs disk;
    QString reason = QStringLiteral("Permission denied");
    if (::geteuid() == 0) {
        disk.mount(path("ro"), 64);
        if (!disk.mounted())
            return;
        ASSERT_TRUE(disk.remountReadOnly());
        reason = QStringLiteral("Read-only file system");
    } else {
        ASSERT_TRUE(QFile::setPermissions(path("ro"), QFile::ReadOwner | QFile::ExeOwner));
    }
    const CliResult r = cli({"record", "--simulate", "--count", "3", "-o", path("ro/a.AsmDat")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(QString::fromLocal8Bit(r.err), QStringLiteral("zb740-cli: %1: the folder %2 cannot be written (%3); "
                                                            "nothing recorded\n")
                                                 .arg(path("ro/a.AsmDat"), path("ro"), reason));
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(QDir(path("ro")).entryList(QDir::Files).isEmpty());
}

TEST_F(RecordCli, WhereEverySampleIsWhenTheDiskFillsIsSaidExactly)
{
    // Side by side, four samples each: on a small file system full from the
    // start (the journal can take nothing, nor can the data file); full
    // until a page is freed after two samples (the journal takes the whole
    // run, the data file still finds no room); full until it is emptied
    // after two samples (everything is written); and in a folder where a
    // file size limit lets the journal take its header and two samples
    // only.
    for (const char* disk : {"full", "page", "freed"})
        ASSERT_TRUE(QDir().mkpath(path(QLatin1String(disk))));
    ScopedTmpfs full, page, freed;
    for (auto [fs, name] : {std::pair {&full, "full"}, {&page, "page"}, {&freed, "freed"}}) {
        fs->mount(path(QLatin1String(name)), 64);
        if (!fs->mounted())
            return;
        ASSERT_TRUE(fs->leaveFree(0));
    }
    Recording onFull, onPage, onFreed, limited;
    const QStringList four {"--interval", "1", "--count", "4"};
    onFull.start(path("full/a.AsmDat"), four);
    onPage.start(path("page/a.AsmDat"), four);
    onFreed.start(path("freed/a.AsmDat"), four);
    limited.start(path("limited.AsmDat"), four, -1, false, -1, Journal::kHeaderSize + 2 * Journal::kRecordSize);

    QString pageErr, freedErr;
    bool pageFreed = false, diskFreed = false;
    const bool allDone = QTest::qWaitFor([&] {
        pageErr += onPage.err();
        freedErr += onFreed.err();
        if (!pageFreed && pageErr.contains("\n2/4 samples")) {
            QFile filler(path("page/filler"));
            pageFreed = filler.resize(filler.size() - 4096);
        }
        if (!diskFreed && freedErr.contains("\n2/4 samples"))
            diskFreed = QFile::remove(path("freed/filler"));
        return onFull.finished() && onPage.finished() && onFreed.finished() && limited.finished();
    }, 60000);
    pageErr += onPage.err();
    freedErr += onFreed.err();
    ASSERT_TRUE(allDone);
    ASSERT_TRUE(pageFreed && diskFreed);

    const QString journalFailed = QStringLiteral(
        "zb740-cli: %1: Could not write the journal: No space left on device. Recording goes on: the samples are "
        "kept in memory, and the journal is tried again at each sample.\n");
    {
        SCOPED_TRACE("full from the start");
        const QString err = onFull.err();
        EXPECT_EQ(onFull.process.exitCode(), 1);
        EXPECT_TRUE(onFull.out().isEmpty());
        EXPECT_TRUE(err.contains(journalFailed.arg(onFull.journal()))) << err.toStdString();
        EXPECT_TRUE(QRegularExpression("\nzb740-cli: " + QRegularExpression::escape(path("full/a.AsmDat"))
                                       + ": [^\n]*No space left on device\\. The 4 samples are lost: the journal "
                                       + QRegularExpression::escape(onFull.journal())
                                       + " could not take them either\\.\n$")
                        .match(err)
                        .hasMatch())
            << err.toStdString();
        EXPECT_FALSE(err.contains("kept in " + onFull.journal()));
        EXPECT_EQ(QDir(path("full")).entryList(QDir::Files), QStringList {"filler"});
    }
    {
        SCOPED_TRACE("a page freed: the journal holds the run");
        EXPECT_EQ(onPage.process.exitCode(), 1);
        EXPECT_TRUE(onPage.out().isEmpty());
        EXPECT_TRUE(pageErr.contains(journalFailed.arg(onPage.journal()))) << pageErr.toStdString();
        EXPECT_TRUE(QRegularExpression("\nThe journal " + QRegularExpression::escape(onPage.journal())
                                       + " holds all [23] samples again\\.\n")
                        .match(pageErr)
                        .hasMatch())
            << pageErr.toStdString();
        EXPECT_TRUE(pageErr.endsWith(QStringLiteral("No space left on device. The 4 samples are in the journal %1 "
                                                    "(zb740-cli recover %1).\n")
                                         .arg(onPage.journal())))
            << pageErr.toStdString();
        auto run = std::make_unique<RecoveredRun>();
        ASSERT_TRUE(Journal::load(onPage.journal(), *run).ok());
        EXPECT_EQ(run->count, 4);
        EXPECT_FALSE(QFile::exists(path("page/a.AsmDat")));
    }
    {
        SCOPED_TRACE("emptied: everything written");
        EXPECT_EQ(onFreed.process.exitCode(), 0) << freedErr.toStdString();
        EXPECT_TRUE(onFreed.out().startsWith("Wrote 4 samples"));
        EXPECT_TRUE(freedErr.contains(journalFailed.arg(onFreed.journal()))) << freedErr.toStdString();
        EXPECT_TRUE(freedErr.contains(" holds all ")) << freedErr.toStdString();
        EXPECT_EQ(info(path("freed/a.AsmDat"))["count"].toInt(), 4);
        EXPECT_FALSE(QFile::exists(onFreed.journal()));
    }
    {
        SCOPED_TRACE("a journal of two samples");
        const QString err = limited.err();
        EXPECT_EQ(limited.process.exitCode(), 1);
        EXPECT_TRUE(limited.out().isEmpty());
        EXPECT_TRUE(err.contains("zb740-cli: " + limited.journal() + ": Could not write to the journal: File too "
                                                                     "large. Recording goes on"))
            << err.toStdString();
        EXPECT_TRUE(err.endsWith(QStringLiteral("File too large. 2 of the 4 samples are in the journal %1 (zb740-cli "
                                                "recover %1); 2 samples are lost.\n")
                                     .arg(limited.journal())))
            << err.toStdString();
        const CliResult r = cli({"recover", limited.journal()});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.startsWith("Recovered 2 samples")) << r.out.toStdString();
    }
}

TEST_F(RecordCli, ASecondRecordingUnderTheSameNameIsRefused)
{
    // Started at the same moment: one records, the other refuses at once.
    Recording a, b;
    a.start(path("same.AsmDat"), {"--count", "3"});
    b.start(path("same.AsmDat"), {"--count", "3"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return a.finished() && b.finished(); }, 30000));
    const QString refusal = QStringLiteral("zb740-cli: %1: in use by a running ZB740: another recording writes %2; "
                                           "nothing recorded\n")
                                .arg(path("same.AsmDat.journal"), path("same.AsmDat"));
    const bool aWon = a.process.exitCode() == 0;
    Recording& winner = aWon ? a : b;
    Recording& loser = aWon ? b : a;
    EXPECT_EQ(winner.process.exitCode(), 0);
    EXPECT_EQ(loser.process.exitCode(), 1);
    EXPECT_EQ(loser.err(), refusal);
    EXPECT_TRUE(loser.out().isEmpty());
    EXPECT_TRUE(winner.out().startsWith("Wrote 3 samples"));
    EXPECT_EQ(info(path("same.AsmDat"))["count"].toInt(), 3);
    EXPECT_FALSE(QFile::exists(path("same.AsmDat.journal")));

    // Started while the first records (its journal holds samples).
    Recording first, second;
    first.start(path("later.AsmDat"), {"--count", "3"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return journalRecords(first.journal()) >= 1; }, 10000));
    second.start(path("later.AsmDat"), {"--count", "3"});
    ASSERT_TRUE(second.process.waitForFinished(10000));
    EXPECT_EQ(second.process.exitCode(), 1);
    EXPECT_EQ(second.err(), QStringLiteral("zb740-cli: %1: in use by a running ZB740: another recording writes %2; "
                                           "nothing recorded\n")
                                .arg(first.journal(), path("later.AsmDat")));
    ASSERT_TRUE(first.process.waitForFinished(10000));
    EXPECT_EQ(first.process.exitCode(), 0);
    EXPECT_EQ(info(path("later.AsmDat"))["count"].toInt(), 3);
}

TEST_F(RecordCli, AJournalWithoutASampleIsRemovedAtTheNextStart)
{
    // Left by a recording killed before its first sample, on a port where
    // no meter answers.
    Terminal silentPort;
    ASSERT_TRUE(silentPort.open());
    Recording killed;
    prepareChild(killed.process);
    killed.output = path("killed.AsmDat");
    killed.process.start(kCli, {"record", "--port", QString::fromLocal8Bit(::ptsname(silentPort.master)), "-o",
                                killed.output});
    QByteArray err;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        silentPort.read();
        err += killed.process.readAllStandardError();
        return err.contains("Recording 1000 samples");
    }, 10000)) << err.toStdString();
    killed.signal(SIGKILL);
    ASSERT_TRUE(killed.process.waitForFinished(10000));
    ASSERT_TRUE(QFile::exists(killed.journal()));

    // Planted: a journal of a run that started and had no sample yet, and
    // one cut inside its header.
    JournalFacts facts;
    facts.start = QDateTime::currentSecsSinceEpoch();
    facts.unit = QStringLiteral("C");
    {
        RunJournal j;
        ASSERT_TRUE(j.begin(path("header.AsmDat.journal"), facts).ok());
    }
    ASSERT_TRUE(writeAll(path("cut.AsmDat.journal"), readAll(path("header.AsmDat.journal")).left(30)));

    Recording again[3];
    const char* names[] = {"killed.AsmDat", "header.AsmDat", "cut.AsmDat"};
    for (int i = 0; i < 3; ++i)
        again[i].start(path(QLatin1String(names[i])), {"--count", "1"});
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        ASSERT_TRUE(again[i].process.waitForFinished(30000));
        EXPECT_EQ(again[i].process.exitCode(), 0);
        const QString e = again[i].err();
        EXPECT_TRUE(e.startsWith("Removed " + again[i].journal() + ": an earlier recording left it without a "
                                                                   "sample.\nRecording 1 samples"))
            << e.toStdString();
        EXPECT_TRUE(again[i].out().startsWith("Wrote 1 samples"));
        EXPECT_EQ(info(path(QLatin1String(names[i])))["count"].toInt(), 1);
        EXPECT_FALSE(QFile::exists(again[i].journal()));
    }

    // One that holds samples is named, not touched.
    {
        RunJournal j;
        ASSERT_TRUE(j.begin(path("kept.AsmDat.journal"), facts).ok());
        ASSERT_TRUE(j.append(0, {20, 15, 10, 30, 50}, false).ok());
    }
    const QByteArray before = readAll(path("kept.AsmDat.journal"));
    const CliResult r = cli({"record", "--simulate", "-o", path("kept.AsmDat")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(QString::fromLocal8Bit(r.err),
              QStringLiteral("zb740-cli: %1: exists already: an earlier recording of 1 samples was not saved; recover "
                             "it with zb740-cli recover %1, or remove it first\n")
                  .arg(path("kept.AsmDat.journal")));
    EXPECT_EQ(readAll(path("kept.AsmDat.journal")), before);
}

TEST_F(RecordCli, OnATerminalTheScreenEndsOnTheLastMessageAndPartsKeepTheFolderAsGiven)
{
    // Both outputs on one terminal: a run split by a silence of the meter,
    // named relative to the working folder; and a run interrupted after two
    // samples.
    Terminal splitTerminal, interruptedTerminal;
    ASSERT_TRUE(splitTerminal.open());
    ASSERT_TRUE(interruptedTerminal.open());
    Recording split, interrupted;
    split.process.setWorkingDirectory(m_tmp.path());
    split.start(QStringLiteral("drop.AsmDat"),
                {"--interval", "1", "--count", "4", "--silent-after", "2", "--silent-for", "5"},
                splitTerminal.slave, false, splitTerminal.slave);
    interrupted.start(path("int.AsmDat"), {"--interval", "1", "--count", "100"}, interruptedTerminal.slave, false,
                      interruptedTerminal.slave);
    bool interruptSent = false;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        splitTerminal.read();
        interruptedTerminal.read();
        if (!interruptSent && journalRecords(interrupted.journal()) >= 2) {
            interrupted.signal(SIGINT);
            interruptSent = true;
        }
        return split.finished() && interrupted.finished();
    }, 60000));
    splitTerminal.read();
    interruptedTerminal.read();
    {
        SCOPED_TRACE("split");
        EXPECT_EQ(split.process.exitCode(), 0);
        const QString screen = screenText(splitTerminal.seen);
        const int first = info(path("drop.AsmDat"))["count"].toInt();
        const int second = info(path("drop-2.AsmDat"))["count"].toInt();
        EXPECT_EQ(first + second, 4);
        EXPECT_TRUE(screen.contains(QStringLiteral(" to drop.AsmDat and drop.csv.\n"))) << screen.toStdString();
        EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(\x1b\[K\nWrote %1 samples \(started [^)]*\) to )"
                                                      R"(drop-2\.AsmDat and drop-2\.csv\.\n$)")
                                           .arg(second))
                        .match(screen)
                        .hasMatch())
            << screen.toStdString();
    }
    {
        SCOPED_TRACE("interrupted");
        EXPECT_EQ(interrupted.process.exitCode(), 0);
        const QString screen = screenText(interruptedTerminal.seen);
        const int count = info(path("int.AsmDat"))["count"].toInt();
        EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(\r%1/100 samples  [^\r\n]*\x1b\[K\nInterrupted: %1 of 100 )"
                                                      R"(samples recorded\.\nWrote %1 samples \(started [^)]*\) to )")
                                           .arg(count)
                                       + QRegularExpression::escape(path("int.AsmDat") + " and " + path("int.csv"))
                                       + R"(\.\n$)")
                        .match(screen)
                        .hasMatch())
            << screen.toStdString();
    }
}

} // namespace
