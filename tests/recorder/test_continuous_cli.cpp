// zb740-cli record --continuous, run as the built program against its
// simulated meter on real timers: rotating files, a SIGKILL and the
// journal recovered by the next start, alarm events with their command,
// a command that hangs, and systemd's notifications. The unit file is
// checked with systemd-analyze.
#include "TempDir.h"

#include "data/EventLog.h"
#include "data/RunJournal.h"
#include "data/SampleExport.h"

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
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString kCli = QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli");

// The child starts as from a shell, in UTC, with the stop signals at their
// defaults; extra variables on top.
void prepareChild(QProcess& p, const QList<QPair<QString, QString>>& extra = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC0"));
    env.remove(QStringLiteral("NOTIFY_SOCKET"));
    env.remove(QStringLiteral("WATCHDOG_USEC"));
    env.remove(QStringLiteral("WATCHDOG_PID"));
    for (const auto& [name, value] : extra)
        env.insert(name, value);
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([] {
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            ::signal(s, SIG_DFL);
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

QJsonObject info(const QString& dataPath)
{
    const CliResult r = cli({QStringLiteral("info"), dataPath});
    EXPECT_EQ(r.status, 0) << dataPath.toStdString() << ": " << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).object();
}

// One continuous recording in the background; its stderr is collected.
struct Continuous {
    QProcess process;
    QByteArray err;
    void start(const QString& out, const QStringList& options, const QList<QPair<QString, QString>>& env = {})
    {
        prepareChild(process, env);
        process.start(kCli, QStringList {QStringLiteral("record"), QStringLiteral("--continuous"),
                                         QStringLiteral("--simulate")}
                                + options + QStringList {QStringLiteral("-o"), out});
    }
    void signal(int s) const { ::kill(pid_t(process.processId()), s); }
    QString errText()
    {
        err += process.readAllStandardError();
        return QString::fromUtf8(err);
    }
    // Waits (up to seconds) until stderr shows text.
    bool waitForText(const QString& text, int seconds = 30)
    {
        return QTest::qWaitFor([&] { return errText().contains(text) || process.state() == QProcess::NotRunning; },
                               seconds * 1000)
            && errText().contains(text);
    }
    int stop(int s = SIGTERM)
    {
        signal(s);
        process.waitForFinished(30000);
        errText();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    ~Continuous()
    {
        if (process.state() != QProcess::NotRunning) {
            signal(SIGKILL);
            process.waitForFinished(5000);
        }
    }
};

QStringList filesIn(const QString& folder, const QString& pattern)
{
    return QDir(folder).entryList({pattern}, QDir::Files, QDir::Name);
}

// The start time a file's name gives (UTC, as the child runs).
int64_t nameTime(const QString& name)
{
    static const QRegularExpression re(QStringLiteral("-(\\d{8}-\\d{6})(-\\d+)?\\.AsmDat$"));
    const QRegularExpressionMatch m = re.match(name);
    if (!m.hasMatch())
        return -1;
    QDateTime t = QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMdd-HHmmss"));
    t.setTimeZone(QTimeZone::utc());
    return t.toSecsSinceEpoch();
}

int64_t startOf(const QJsonObject& o)
{
    QDateTime t = QDateTime::fromString(o["start"].toString(), Qt::ISODate);
    t.setTimeZone(QTimeZone::utc());
    return t.toSecsSinceEpoch();
}

QList<MonitorEvent> eventsOf(const QString& path)
{
    QList<MonitorEvent> events;
    const Status s = EventLog::load(path, events);
    EXPECT_TRUE(s.ok()) << s.message().toStdString();
    return events;
}

class ContinuousCli : public TempDirTest {};

TEST_F(ContinuousCli, RotatesFilesAndRecoversTheJournalOfAKilledRecording)
{
    const QString out = path("room");
    Continuous first;
    first.start(out, {QStringLiteral("--file-samples"), QStringLiteral("5"), QStringLiteral("--interval"),
                      QStringLiteral("1")});
    // Two files complete, and the third one's journal holds a sample or
    // two (so the kill comes well before that file is complete).
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QStringList journals = filesIn(m_tmp.path(), QStringLiteral("room-*.AsmDat.journal"));
            if (filesIn(m_tmp.path(), QStringLiteral("room-*.AsmDat")).size() < 2 || journals.size() != 1)
                return false;
            const qint64 size = QFileInfo(path(journals.first())).size();
            return size >= Journal::kHeaderSize + Journal::kRecordSize
                && size <= Journal::kHeaderSize + 2 * Journal::kRecordSize;
        },
        30000))
        << first.errText().toStdString();
    first.signal(SIGKILL);
    first.process.waitForFinished(10000);

    const QStringList written = filesIn(m_tmp.path(), QStringLiteral("room-*.AsmDat"));
    ASSERT_GE(written.size(), 2);
    for (const QString& name : written) {
        SCOPED_TRACE(name.toStdString());
        const QJsonObject o = info(path(name));
        EXPECT_EQ(o["count"].toInt(), 5);
        EXPECT_EQ(o["interval"].toInt(), 1);
        EXPECT_EQ(startOf(o), nameTime(name)) << "named after its first sample";
        EXPECT_TRUE(QFileInfo::exists(path(QFileInfo(name).completeBaseName() + QStringLiteral(".csv"))));
    }
    // One after the other: the next file starts with the reading that
    // follows the one that completed the last (on a busy machine the
    // writing of a file may push that poll into the next second).
    EXPECT_GE(nameTime(written[1]), nameTime(written[0]) + 5);
    EXPECT_LE(nameTime(written[1]), nameTime(written[0]) + 6);
    const QStringList journals = filesIn(m_tmp.path(), QStringLiteral("room-*.AsmDat.journal"));
    ASSERT_EQ(journals.size(), 1);
    const QString leftData = path(journals.first().chopped(int(strlen(".journal"))));
    ASSERT_FALSE(QFileInfo::exists(leftData));

    // The same command again: the journal first, then recording on.
    Continuous second;
    second.start(out, {QStringLiteral("--file-samples"), QStringLiteral("5"), QStringLiteral("--interval"),
                       QStringLiteral("1")});
    ASSERT_TRUE(second.waitForText(QStringLiteral("Recovered "))) << second.errText().toStdString();
    ASSERT_TRUE(second.waitForText(QStringLiteral("(the file is full)"))) << second.errText().toStdString();
    EXPECT_EQ(second.stop(), 0) << second.errText().toStdString();
    const QString err = second.errText();
    EXPECT_LT(err.indexOf(QStringLiteral("Recovered ")), err.indexOf(QStringLiteral("Recording every")))
        << err.toStdString();
    EXPECT_TRUE(filesIn(m_tmp.path(), QStringLiteral("*.journal")).isEmpty());
    const QJsonObject recovered = info(leftData);
    EXPECT_GE(recovered["count"].toInt(), 1);
    EXPECT_LE(recovered["count"].toInt(), 5);
    EXPECT_EQ(startOf(recovered), nameTime(QFileInfo(leftData).fileName()));
    for (const QString& name : filesIn(m_tmp.path(), QStringLiteral("room-*.AsmDat"))) {
        SCOPED_TRACE(name.toStdString());
        const int count = info(path(name))["count"].toInt();
        EXPECT_GE(count, 1);
        EXPECT_LE(count, 5);
    }

    // The events log tells the story in order.
    QStringList kinds;
    for (const MonitorEvent& e : eventsOf(path("room.events.jsonl")))
        kinds << QLatin1String(MonitorEvents::kindName(e.kind));
    const QString story = kinds.join(QLatin1Char(' '));
    EXPECT_TRUE(story.startsWith(QStringLiteral("start file file"))) << story.toStdString();
    EXPECT_TRUE(story.contains(QStringLiteral("recovered start"))) << story.toStdString();
    EXPECT_TRUE(story.endsWith(QStringLiteral("file stop"))) << story.toStdString();
}

TEST_F(ContinuousCli, JsonLinesNumberTheSamplesOfEachFileFromOne)
{
    Continuous rec;
    rec.start(path("room"), {QStringLiteral("--file-samples"), QStringLiteral("2"), QStringLiteral("--jsonl"),
                             QStringLiteral("-"), QStringLiteral("--utc")});
    QByteArray out;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            out += rec.process.readAllStandardOutput();
            return out.count('\n') >= 5;
        },
        30000))
        << rec.errText().toStdString();
    EXPECT_EQ(rec.stop(), 0);
    const QList<QByteArray> lines = out.split('\n');
    QList<int> numbers;
    int64_t last = 0;
    for (int i = 0; i < 5; ++i) {
        const QJsonObject o = QJsonDocument::fromJson(lines[i]).object();
        numbers << o["sample"].toInt();
        const QString time = o["time"].toString();
        EXPECT_TRUE(time.endsWith(QLatin1Char('Z'))) << time.toStdString();
        const int64_t t = QDateTime::fromString(time, Qt::ISODate).toSecsSinceEpoch();
        // A second apart within a file; across files as above.
        if (i > 0 && numbers.last() == 2) {
            EXPECT_EQ(t, last + 1);
        } else if (i > 0) {
            EXPECT_GE(t, last + 1);
            EXPECT_LE(t, last + 2);
        }
        last = t;
    }
    EXPECT_EQ(numbers, QList<int>({1, 2, 1, 2, 1}));
}

TEST_F(ContinuousCli, ASecondRecordingOfTheSamePrefixAndAMissingFolderAreRefused)
{
    Continuous first;
    first.start(path("room"), {});
    ASSERT_TRUE(first.waitForText(QStringLiteral("Recording every"))) << first.errText().toStdString();
    const CliResult second = cli({QStringLiteral("record"), QStringLiteral("--continuous"), QStringLiteral("--simulate"),
                                  QStringLiteral("-o"), path("room")});
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(second.err.contains("another recording writes here; nothing recorded")) << second.err.constData();
    EXPECT_EQ(first.stop(), 0);

    const CliResult missing = cli({QStringLiteral("record"), QStringLiteral("--continuous"), QStringLiteral("--simulate"),
                                   QStringLiteral("-o"), path("nowhere/room")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains("does not exist")) << missing.err.constData();
}

TEST_F(ContinuousCli, UsageErrors)
{
    struct Case {
        QStringList args;
        const char* says;
    };
    const QString o = path("room");
    const QList<Case> cases = {
        {{"--continuous", "--simulate", "--count", "5", "-o", o}, "--count does not go with --continuous"},
        {{"--simulate", "--file-samples", "5", "-o", o + ".AsmDat"}, "--file-samples goes with --continuous"},
        {{"--continuous", "--simulate", "--file-samples", "0", "-o", o}, "--file-samples takes 1..10000"},
        {{"--continuous", "--simulate", "--file-samples", "10001", "-o", o}, "--file-samples takes 1..10000"},
        {{"--continuous", "--simulate", "--rotate", "weekly", "-o", o}, "--rotate takes daily"},
        {{"--simulate", "--rotate", "daily", "-o", o + ".AsmDat"}, "--rotate goes with --continuous"},
        {{"--continuous", "--simulate", "-o", m_tmp.path() + "/"}, "name the folder and the files' prefix"},
        {{"--simulate", "--limit", "air5..30", "-o", o + ".AsmDat"}, "is not CHANNEL:LOW..HIGH"},
        {{"--simulate", "--limit", "temp:5..30", "-o", o + ".AsmDat"}, "is no channel"},
        {{"--simulate", "--limit", "air:30..5", "-o", o + ".AsmDat"}, "the low limit must be below the high one"},
        {{"--simulate", "--limit", "rh:..150", "-o", o + ".AsmDat"}, "rh takes limits from 0.0 to 100.0"},
        {{"--simulate", "--limit", "air:..", "-o", o + ".AsmDat"}, "gives no limit"},
        {{"--simulate", "--settings", path("none.ini"), "-o", o + ".AsmDat"}, "no such file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const CliResult r = cli(QStringList {QStringLiteral("record")} + c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.constData();
    }
    EXPECT_TRUE(QDir(m_tmp.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(ContinuousCli, AnAlarmIsOneEventLineAndOneRunOfItsCommandWithTheEventInItsEnvironment)
{
    // The simulated room is at about 22 °C: a high limit of 10 is crossed by
    // the first reading and stays crossed.
    const QString envFile = path("env.txt");
    Continuous rec;
    rec.start(path("room"), {QStringLiteral("--limit"), QStringLiteral("air:..10"), QStringLiteral("--limit"),
                             QStringLiteral("rh:1.."), QStringLiteral("--on-alarm"),
                             QStringLiteral("env | grep ^ZB740_ | sort >> '%1'").arg(envFile)});
    ASSERT_TRUE(rec.waitForText(QStringLiteral("AIR above its high limit of 10.0 °C"))) << rec.errText().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(envFile).size() > 0; }, 10000));
    // A few samples more, without another change.
    QTest::qWait(3000);
    EXPECT_EQ(rec.stop(), 0) << rec.errText().toStdString();

    QList<MonitorEvent> alarms;
    for (const MonitorEvent& e : eventsOf(path("room.events.jsonl"))) {
        if (e.kind == MonitorEvent::Kind::Alarm)
            alarms << e;
    }
    ASSERT_EQ(alarms.size(), 1);
    const MonitorEvent& a = alarms.first();
    EXPECT_EQ(a.channel, 0);
    EXPECT_EQ(a.bound, 0);
    EXPECT_TRUE(a.on);
    EXPECT_FLOAT_EQ(a.limit, 10.0f);
    EXPECT_GT(a.value, 10.0f);
    EXPECT_EQ(rec.errText().count(QStringLiteral("AIR above its high limit")), 1);

    QFile f(envFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString env = QString::fromUtf8(f.readAll());
    const QString time = QDateTime::fromSecsSinceEpoch(a.time, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    EXPECT_EQ(env.count(QStringLiteral("ZB740_CHANNEL=")), 1) << env.toStdString();
    for (const QString& line :
         {QStringLiteral("ZB740_CHANNEL=air"), QStringLiteral("ZB740_BOUND=high"), QStringLiteral("ZB740_STATE=on"),
          QStringLiteral("ZB740_VALUE=%1").arg(double(a.value), 0, 'f', 1), QStringLiteral("ZB740_LIMIT=10.0"),
          QStringLiteral("ZB740_TIME=%1+00:00").arg(time)})
        EXPECT_TRUE(env.split(QLatin1Char('\n')).contains(line)) << line.toStdString() << " in\n" << env.toStdString();
}

TEST_F(ContinuousCli, AFailingOrHangingAlarmCommandIsReportedAndRecordingGoesOn)
{
    const QString pidFile = path("pid");
    Continuous rec;
    rec.start(path("room"), {QStringLiteral("--file-samples"), QStringLiteral("3"), QStringLiteral("--limit"),
                             QStringLiteral("air:..10"), QStringLiteral("--on-alarm"),
                             QStringLiteral("echo $$ > '%1'; exec sleep 120").arg(pidFile)});
    ASSERT_TRUE(rec.waitForText(QStringLiteral("AIR above its high limit"))) << rec.errText().toStdString();
    const int alarmAt = rec.errText().indexOf(QStringLiteral("AIR above its high limit"));
    ASSERT_TRUE(rec.waitForText(QStringLiteral("is still running after 10 s; recording goes on")))
        << rec.errText().toStdString();
    EXPECT_EQ(rec.stop(), 0) << rec.errText().toStdString();
    QFile pid(pidFile);
    if (pid.open(QIODevice::ReadOnly))
        ::kill(pid_t(pid.readAll().trimmed().toInt()), SIGKILL);

    // While the command hung, the samples came on time: every file after
    // the alarm is full, none ended for want of an answer.
    const QString err = rec.errText();
    EXPECT_FALSE(err.contains(QStringLiteral("Link lost"))) << err.toStdString();
    EXPECT_GE(err.mid(alarmAt).count(QStringLiteral("(the file is full)")), 3) << err.toStdString();
    bool failedLogged = false;
    for (const MonitorEvent& e : eventsOf(path("room.events.jsonl"))) {
        failedLogged = failedLogged || e.kind == MonitorEvent::Kind::CommandFailed;
        if (e.kind == MonitorEvent::Kind::File && e.reason != MonitorEvent::Reason::Stop) {
            EXPECT_EQ(e.samples, 3) << e.file.toStdString();
        }
    }
    EXPECT_TRUE(failedLogged);

    // A command that fails says so.
    Continuous failing;
    failing.start(path("other"), {QStringLiteral("--limit"), QStringLiteral("air:..10"), QStringLiteral("--on-alarm"),
                                  QStringLiteral("exit 7")});
    ASSERT_TRUE(failing.waitForText(QStringLiteral("exit 7 failed with exit status 7")))
        << failing.errText().toStdString();
    EXPECT_EQ(failing.stop(), 0);
}

TEST_F(ContinuousCli, RecordingOneRunWithLimitsKeepsItsEventsBesideTheDataFile)
{
    const CliResult withLimits = cli({QStringLiteral("record"), QStringLiteral("--simulate"), QStringLiteral("--count"),
                                      QStringLiteral("3"), QStringLiteral("--limit"), QStringLiteral("air:..10"),
                                      QStringLiteral("-o"), path("run.AsmDat")});
    ASSERT_EQ(withLimits.status, 0) << withLimits.err.constData();
    EXPECT_TRUE(withLimits.err.contains("AIR above its high limit of 10.0 °C")) << withLimits.err.constData();
    QStringList kinds;
    for (const MonitorEvent& e : eventsOf(path("run.events.jsonl")))
        kinds << QLatin1String(MonitorEvents::kindName(e.kind));
    EXPECT_EQ(kinds, QStringList({"start", "alarm", "file", "stop"}));

    // The window's limits from its settings file, and --limit over them.
    QFile ini(path("ZB740.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Alarmhi1Info]\r\nHi1 limit=10.0\r\n[Alarmlow5Info]\r\nLow5 limit=99.0\r\n");
    ini.close();
    struct Case {
        QStringList options;
        QStringList alarms; // "channel bound" of each alarm event
    };
    const QList<Case> cases = {
        {{"--settings", path("ZB740.ini")}, {"air high", "rh low"}},
        {{"--settings", path("ZB740.ini"), "--limit", "air:..100"}, {"rh low"}},
        // Written before it, --limit still wins.
        {{"--limit", "air:..100", "--settings", path("ZB740.ini")}, {"rh low"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.join(QLatin1Char(' ')).toStdString());
        const QString out = path(QStringLiteral("s%1.AsmDat").arg(++n));
        const CliResult r = cli(QStringList {QStringLiteral("record"), QStringLiteral("--simulate"),
                                             QStringLiteral("--count"), QStringLiteral("2")}
                                + c.options + QStringList {QStringLiteral("-o"), out});
        ASSERT_EQ(r.status, 0) << r.err.constData();
        QStringList alarms;
        for (const MonitorEvent& e : eventsOf(EventLog::pathBeside(out))) {
            if (e.kind == MonitorEvent::Kind::Alarm)
                alarms << QStringLiteral("%1 %2").arg(QLatin1String(SampleExport::channelKey(e.channel)),
                                                      QLatin1String(MonitorEvents::boundName(e.bound)));
        }
        alarms.sort();
        EXPECT_EQ(alarms, c.alarms);
    }

    // Without alarm options, no events file: the files are those record
    // always wrote.
    const CliResult plain = cli({QStringLiteral("record"), QStringLiteral("--simulate"), QStringLiteral("--count"),
                                 QStringLiteral("2"), QStringLiteral("-o"), path("plain.AsmDat")});
    ASSERT_EQ(plain.status, 0) << plain.err.constData();
    EXPECT_FALSE(QFileInfo::exists(path("plain.events.jsonl")));
}

// A datagram socket of the test's own, as the service manager's.
struct NotifySocket {
    int fd = -1;
    QString path;
    QByteArray seen;
    bool bind(const QString& where)
    {
        path = where;
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un a {};
        a.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(where);
        if (fd < 0 || size_t(name.size()) >= sizeof a.sun_path)
            return false;
        std::memcpy(a.sun_path, name.constData(), size_t(name.size()));
        return ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    void read()
    {
        char buf[4096];
        ssize_t n;
        while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
            seen.append(buf, n).append('\n');
    }
    ~NotifySocket()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

TEST_F(ContinuousCli, TellsTheServiceManagerItIsReadyHowItIsDoingAndThatItIsAlive)
{
    NotifySocket socket;
    ASSERT_TRUE(socket.bind(path("notify"))) << std::strerror(errno);
    Continuous rec;
    rec.start(path("room"), {},
              {{QStringLiteral("NOTIFY_SOCKET"), socket.path}, {QStringLiteral("WATCHDOG_USEC"), QStringLiteral("1000000")}});
    const bool all = QTest::qWaitFor(
        [&] {
            socket.read();
            return socket.seen.contains("READY=1") && socket.seen.contains("WATCHDOG=1")
                && socket.seen.contains("STATUS=room-");
        },
        30000);
    EXPECT_TRUE(all) << socket.seen.constData() << rec.errText().toStdString();
    EXPECT_TRUE(socket.seen.contains("samples; 0 files written; link up; AIR ")) << socket.seen.constData();
    EXPECT_EQ(rec.stop(), 0);
    socket.read();
    EXPECT_TRUE(socket.seen.contains("STOPPING=1"));
}

TEST(RecordService, SystemdAcceptsTheUnit)
{
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    // An instance of the unit as the build tree configured it (running the
    // program just built), named as systemctl names the meter's.
    QTemporaryDir dir;
    const QString unit = dir.filePath(QStringLiteral("zb740-record@zb740\\x2d0.service"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZB740_BUILD_DIR "/test-units/zb740-record@.service"), unit));
    QProcess p;
    p.start(analyze, {QStringLiteral("verify"), QStringLiteral("--man=no"), unit});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QByteArray err = p.readAllStandardError();
    EXPECT_EQ(p.exitCode(), 0) << err.constData();
    // Warnings too: an unknown key is only a warning to it.
    EXPECT_EQ(err, QByteArray()) << err.constData();

    QFile f(unit);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    for (const char* line : {"Type=notify", "WatchdogSec=", "Restart=on-failure", "DynamicUser=yes",
                             "SupplementaryGroups=dialout", "StateDirectory=zb740/%I", "ProtectSystem=strict",
                             "PrivateTmp=yes", "NoNewPrivileges=yes", "WantedBy=dev-%i.device", "BindsTo=dev-%i.device"})
        EXPECT_TRUE(text.contains(line)) << line;
}

} // namespace
