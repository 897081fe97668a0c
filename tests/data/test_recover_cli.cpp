// zb740-cli recover, run as the built program on journals in a temporary
// folder.
#include "DataFixtures.h"
#include "FileNodes.h"
#include "TempDir.h"

#include "data/Recovery.h"
#include "data/RunFiles.h"
#include "data/RunJournal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct CliResult {
    int status = -1;
    QByteArray out, err;
};

CliResult cli(const QStringList& args, const char* zone = "UTC0")
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QString::fromLatin1(zone));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

QStringList recover(std::initializer_list<QString> args)
{
    QStringList all {QStringLiteral("recover")};
    for (const QString& a : args)
        all << a;
    return all;
}

} // namespace

class RecoverCliTest : public TempDirTest {
protected:
    // Journals the samples of a live run with the facts of its start.
    void journal(const QString& journalPath, const LiveRun& r, YScaleValues scale, int samples = -1)
    {
        JournalFacts facts;
        facts.start = r.run.m_tStart;
        facts.interval = r.run.intervalSeconds();
        facts.sampleLimit = 1000;
        facts.fahrenheit = r.run.m_bFahrenheit;
        facts.unit = r.run.m_strUnit;
        facts.scale = scale;
        RunJournal j;
        ASSERT_TRUE(j.begin(journalPath, facts).ok());
        for (int i = 0; i < (samples < 0 ? r.run.m_nCount : samples); ++i) {
            ChannelValues v;
            for (int c = 0; c < kChannelCount; ++c)
                v[size_t(c)] = r.live->at(c, i);
            ASSERT_TRUE(j.append(i, v, r.run.m_bFahrenheit).ok());
        }
    }
    // Cuts bytes off the end of a file, as a crash during a write does.
    void cut(const QString& file, int bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.resize(f.size() - bytes));
    }
};

TEST_F(RecoverCliTest, WritesTheFilesSaveWouldHaveWritten)
{
    ScopedTimeZone tz("Europe/Berlin");
    LiveRun r(40, utc(2026, 3, 29, 0, 30, 0), 2, true);
    r.live->values[kKir][5] = kKirNoReading;
    ASSERT_TRUE(RunFiles::saveRun(path("saved.AsmDat"), RunView::of(*r.live, r.run.info()), {20, -5}).ok());
    journal(path("run.AsmDat.journal"), r, {20, -5});

    const CliResult res = cli(recover({path("run.AsmDat.journal")}), "Europe/Berlin");
    ASSERT_EQ(res.status, 0) << res.err.toStdString();
    EXPECT_EQ(res.out, ("Recovered 40 samples (started 29/03/26 01:30:00, interval 2 s) into " + path("run.AsmDat")
                        + " and " + path("run.csv") + ".\nNo record was torn.\n")
                           .toUtf8());
    EXPECT_EQ(readAll(path("run.AsmDat")), readAll(path("saved.AsmDat")));
    EXPECT_EQ(readAll(path("run.csv")), readAll(path("saved.csv")));
    EXPECT_TRUE(QFile::exists(path("run.AsmDat.journal"))) << "kept without --remove";

    const CliResult info = cli({QStringLiteral("info"), path("run.AsmDat")}, "Europe/Berlin");
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.out, QByteArray("{\"count\":40,\"fahrenheit\":true,\"unit\":\"F\",\"start\":\"2026-03-29T01:30:00\","
                                   "\"interval\":2,\"gain\":20,\"offset\":-5,\"end\":\"2026-03-29T01:31:18\"}\n"));
}

TEST_F(RecoverCliTest, TornRecordIsDroppedAndSaid)
{
    ScopedTimeZone tz("UTC0");
    LiveRun r(10, utc(2026, 12, 7, 23, 45, 55), 1);
    ASSERT_TRUE(QDir().mkpath(path("ZB740/recovery")));
    const QString j = path("ZB740/recovery/26-12-07 23.45.55.journal");
    journal(j, r, {10, 0});
    cut(j, 7);

    const CliResult res = cli(recover({j}));
    ASSERT_EQ(res.status, 0) << res.err.toStdString();
    EXPECT_TRUE(res.out.startsWith("Recovered 9 samples")) << res.out.toStdString();
    EXPECT_TRUE(res.out.endsWith("\nA torn last record was dropped.\n")) << res.out.toStdString();
    // Named after the start, beside the journal.
    const QString data = path("ZB740/recovery/26-12-07 23.45.55.AsmDat");
    const CliResult info = cli({QStringLiteral("info"), data});
    EXPECT_EQ(info.status, 0) << info.err.toStdString();
    EXPECT_TRUE(info.out.startsWith("{\"count\":9,\"fahrenheit\":false,\"unit\":\"C\",\"start\":\"2026-12-07T23:45:55\","
                                    "\"interval\":1,"))
        << info.out.toStdString();
    EXPECT_TRUE(QFile::exists(path("ZB740/recovery/26-12-07 23.45.55.csv")));
}

TEST_F(RecoverCliTest, RemovesTheJournalOnlyAfterASuccessfulSave)
{
    ScopedTimeZone tz("UTC0");
    LiveRun r(6, utc(2026, 12, 7, 23, 45, 55), 1);
    const QString j = path("run.AsmDat.journal");
    journal(j, r, {10, 0});

    // The folder of the output does not exist: nothing saved, journal kept.
    CliResult res = cli(recover({j, QStringLiteral("-o"), path("missing/run.AsmDat"), QStringLiteral("--remove")}));
    EXPECT_EQ(res.status, 1);
    EXPECT_TRUE(res.err.startsWith("zb740-cli: " + path("missing/run.AsmDat").toUtf8() + ": Could not save"))
        << res.err.toStdString();
    EXPECT_TRUE(QFile::exists(j));

    // The default output belongs to another run: not replaced unasked.
    ASSERT_TRUE(writeAll(path("run.AsmDat"), "another run"));
    res = cli(recover({j, QStringLiteral("--remove")}));
    EXPECT_EQ(res.status, 1);
    EXPECT_EQ(res.err, "zb740-cli: " + path("run.AsmDat").toUtf8() + ": exists already; name the data file to write "
                                                                     "with -o\n");
    EXPECT_EQ(readAll(path("run.AsmDat")), QByteArray("another run"));
    EXPECT_FALSE(QFile::exists(path("run.csv")));
    EXPECT_TRUE(QFile::exists(j));

    // Named with -o it is replaced; the journal goes after both files.
    res = cli(recover({j, QStringLiteral("--remove"), QStringLiteral("-o"), path("run.AsmDat")}));
    EXPECT_EQ(res.status, 0) << res.err.toStdString();
    EXPECT_TRUE(res.out.endsWith("\nRemoved " + j.toUtf8() + ".\n")) << res.out.toStdString();
    EXPECT_FALSE(QFile::exists(j));
    EXPECT_EQ(cli({QStringLiteral("info"), path("run.AsmDat")}).status, 0);
    EXPECT_TRUE(QFile::exists(path("run.csv")));
}

TEST_F(RecoverCliTest, DamageBeforeTheEndKeepsTheJournal)
{
    ScopedTimeZone tz("UTC0");
    LiveRun r(8, utc(2026, 12, 7, 23, 45, 55), 1);
    const QString j = path("run.AsmDat.journal");
    journal(j, r, {10, 0});
    QByteArray bytes = readAll(j);
    const int third = Journal::kHeaderSize + 3 * Journal::kRecordSize;
    bytes[third + 10] = char(bytes[third + 10] ^ 0x20);
    ASSERT_TRUE(writeAll(j, bytes));

    const CliResult res = cli(recover({j, QStringLiteral("--remove")}));
    EXPECT_EQ(res.status, 1);
    EXPECT_TRUE(res.out.startsWith("Recovered 3 samples")) << res.out.toStdString();
    EXPECT_EQ(res.err, QStringLiteral("zb740-cli: %1: a damaged record at byte %2: it and the 4 records after it were "
                                      "not recovered; the journal is kept\n")
                           .arg(j).arg(third)
                           .toUtf8());
    EXPECT_TRUE(QFile::exists(j));
    EXPECT_TRUE(cli({QStringLiteral("info"), path("run.AsmDat")}).out.startsWith("{\"count\":3,"));
}

TEST_F(RecoverCliTest, UnreadableJournalsFailNamingTheFile)
{
    ScopedTimeZone tz("UTC0");
    LiveRun r(3, utc(2026, 12, 7, 23, 45, 55), 1);
    journal(path("good.journal"), r, {10, 0});
    const QByteArray good = readAll(path("good.journal"));
    QByteArray header = good;
    header[30] = char(header[30] ^ 1);
    ASSERT_TRUE(writeAll(path("header.journal"), header));
    ASSERT_TRUE(writeAll(path("foreign.journal"), "\x06KM4471 and more bytes than a header of sixty-four, truly"));
    ASSERT_TRUE(writeAll(path("empty.journal"), good.left(Journal::kHeaderSize)));
    ASSERT_TRUE(writeAll(path("cut.journal"), good.left(20)));

    const struct {
        const char* name;
        const char* says;
    } cases[] = {
        {"header.journal", "The journal's header is damaged (its checksum does not match)."},
        {"foreign.journal", "This is not a run journal."},
        {"empty.journal", "the journal holds no samples; nothing written"},
        {"cut.journal", "The journal ends inside its header (20 of 64 bytes): it holds no samples."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliResult res = cli(recover({path(QLatin1String(c.name))}));
        EXPECT_EQ(res.status, 1);
        EXPECT_EQ(res.err, "zb740-cli: " + path(QLatin1String(c.name)).toUtf8() + ": " + c.says + "\n");
        EXPECT_TRUE(res.out.isEmpty());
        EXPECT_TRUE(QFile::exists(path(QLatin1String(c.name))));
    }
    const CliResult missing = cli(recover({path("missing.journal")}));
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.startsWith("zb740-cli: " + path("missing.journal").toUtf8() + ": ")) << missing.err.toStdString();
    EXPECT_EQ(QDir(m_tmp.path()).entryList({QStringLiteral("*.AsmDat")}), QStringList {}) << "nothing written";
}

TEST_F(RecoverCliTest, ListsTheWindowsJournals)
{
    ScopedTimeZone tz("UTC0");
    const QString settingsDir = path("ZB740");
    CliResult res = cli(recover({QStringLiteral("--list"), QStringLiteral("--settings-dir"), settingsDir}));
    EXPECT_EQ(res.status, 0);
    EXPECT_TRUE(res.out.isEmpty());
    EXPECT_EQ(res.err, "No journals in " + path("ZB740/recovery").toUtf8() + ".\n");

    LiveRun a(12, utc(2026, 12, 7, 23, 45, 55), 1);
    LiveRun b(4, utc(2026, 12, 8, 6, 0, 1), 60);
    QString pa, pb;
    ASSERT_TRUE(Recovery::newJournalPath(settingsDir, a.run.m_tStart, pa).ok());
    journal(pa, a, {10, 0});
    ASSERT_TRUE(Recovery::newJournalPath(settingsDir, b.run.m_tStart, pb).ok());
    journal(pb, b, {10, 0});
    const QString broken = path("ZB740/recovery/broken.journal");
    ASSERT_TRUE(writeAll(broken, "junk"));

    res = cli(recover({QStringLiteral("--settings-dir"), settingsDir, QStringLiteral("--list")}));
    EXPECT_EQ(res.status, 0) << res.err.toStdString();
    EXPECT_EQ(res.out, (pa + "\t12 samples\tstarted 07/12/26 23:45:55\n" + pb + "\t4 samples\tstarted 08/12/26 06:00:01\n"
                        + broken + "\tcannot be read: This is not a run journal.\n")
                           .toUtf8());
}

TEST_F(RecoverCliTest, UsageErrorsAndHelp)
{
    const struct {
        QStringList args;
        int status;
    } cases[] = {
        {{"recover"}, 2},
        {{"recover", "a.journal", "b.journal"}, 2},
        {{"recover", "a.journal", "-o"}, 2},
        {{"recover", "a.journal", "-o", "x.AsmDat", "-o", "y.AsmDat"}, 2},
        {{"recover", "a.journal", "--bogus"}, 2},
        {{"recover", "a.journal", "--settings-dir", "d"}, 2},
        {{"recover", "--list", "a.journal"}, 2},
        {{"recover", "--list", "--remove"}, 2},
        {{"recover", "--list", "-o", "x.AsmDat"}, 2},
        {{"recover", "--list", "--settings-dir"}, 2},
        {{"recover", "--help"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const CliResult r = cli(c.args);
        EXPECT_EQ(r.status, c.status);
        if (c.status == 0) {
            EXPECT_TRUE(r.out.startsWith("Usage: zb740-cli recover"));
        } else {
            // The reason in one line, then the help.
            EXPECT_TRUE(r.err.startsWith("zb740-cli recover: ")) << r.err.toStdString();
            EXPECT_EQ(r.err.count("\nUsage: zb740-cli recover"), 1) << r.err.toStdString();
        }
    }

    // The recovered files may never land on the journal itself.
    ScopedTimeZone tz("UTC0");
    LiveRun r(2, utc(2026, 12, 7, 23, 45, 55), 1);
    const struct {
        const char* journal;
        const char* output; // its data file, or its export, is the journal
    } onItself[] = {{"run.journal", "run.journal"}, {"run.csv", "run.AsmDat"}};
    for (const auto& c : onItself) {
        SCOPED_TRACE(c.journal);
        journal(path(QLatin1String(c.journal)), r, {10, 0});
        const QByteArray before = readAll(path(QLatin1String(c.journal)));
        const CliResult res = cli(recover({path(QLatin1String(c.journal)), QStringLiteral("-o"), path(QLatin1String(c.output))}));
        EXPECT_EQ(res.status, 2);
        EXPECT_TRUE(res.err.contains("would replace the journal itself")) << res.err.toStdString();
        EXPECT_EQ(readAll(path(QLatin1String(c.journal))), before);
    }
}

TEST_F(RecoverCliTest, AJournalARunningProgramHoldsIsListedInUseAndLeftAlone)
{
    ScopedTimeZone tz("UTC0");
    const QString settingsDir = path("ZB740");
    LiveRun a(5, utc(2026, 12, 7, 23, 45, 55), 1);
    LiveRun b(3, utc(2026, 12, 8, 6, 0, 1), 60);
    QString live, crashed;
    ASSERT_TRUE(Recovery::newJournalPath(settingsDir, a.run.m_tStart, live).ok());
    ASSERT_TRUE(Recovery::newJournalPath(settingsDir, b.run.m_tStart, crashed).ok());
    journal(crashed, b, {10, 0});
    // A run this process records into (the lock is what a running ZB740
    // holds on its journal).
    JournalFacts facts;
    facts.start = a.run.m_tStart;
    facts.unit = QStringLiteral("C");
    RunJournal writer;
    ASSERT_TRUE(writer.begin(live, facts).ok());
    ChannelValues v {20, 15, 10, 30, 50};
    ASSERT_TRUE(writer.append(0, v, false).ok());

    CliResult res = cli(recover({QStringLiteral("--list"), QStringLiteral("--settings-dir"), settingsDir}));
    EXPECT_EQ(res.status, 0) << res.err.toStdString();
    EXPECT_EQ(res.out, (live + "\tin use by a running ZB740\n" + crashed + "\t3 samples\tstarted 08/12/26 06:00:01\n")
                           .toUtf8());

    for (const QStringList& extra : {QStringList {}, QStringList {"--remove"}, QStringList {"-o", path("x.AsmDat")}}) {
        SCOPED_TRACE(extra.join(' ').toStdString());
        res = cli(QStringList {"recover", live} + extra);
        EXPECT_EQ(res.status, 1);
        EXPECT_EQ(res.err, "zb740-cli: " + live.toUtf8() + ": in use by a running ZB740; nothing written\n");
        EXPECT_TRUE(res.out.isEmpty());
    }
    EXPECT_TRUE(QFile::exists(live));
    EXPECT_TRUE(QDir(path("ZB740/recovery")).entryList({QStringLiteral("*.AsmDat")}).isEmpty());
    EXPECT_FALSE(QFile::exists(path("x.AsmDat")));
    ASSERT_TRUE(writer.append(1, v, false).ok()) << "its run goes on";

    // Its program gone, it is a crash's leftover like any other.
    writer.release();
    res = cli(recover({live, QStringLiteral("--remove")}));
    EXPECT_EQ(res.status, 0) << res.err.toStdString();
    EXPECT_TRUE(res.out.startsWith("Recovered 2 samples")) << res.out.toStdString();
    EXPECT_FALSE(QFile::exists(live));
}

TEST_F(RecoverCliTest, RemoveTakesAJournalWithoutASample)
{
    // What a recording stopped or killed before its first sample leaves:
    // nothing to recover, so --remove removes it.
    ScopedTimeZone tz("UTC0");
    LiveRun r(3, utc(2026, 12, 7, 23, 45, 55), 1);
    journal(path("good.journal"), r, {10, 0});
    const QByteArray good = readAll(path("good.journal"));
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"header.AsmDat.journal", good.left(Journal::kHeaderSize)},
        {"nothing.AsmDat.journal", {}},
        {"cut.AsmDat.journal", good.left(20)},
        {"torn.AsmDat.journal", good.left(Journal::kHeaderSize + 10)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString j = path(QLatin1String(c.name));
        ASSERT_TRUE(writeAll(j, c.bytes));
        CliResult res = cli(recover({j}));
        EXPECT_EQ(res.status, 1);
        EXPECT_TRUE(QFile::exists(j)) << "kept without --remove";
        res = cli(recover({j, QStringLiteral("--remove")}));
        EXPECT_EQ(res.status, 0) << res.err.toStdString();
        EXPECT_EQ(res.out, "The journal holds no samples; nothing written.\nRemoved " + j.toUtf8() + ".\n");
        EXPECT_TRUE(res.err.isEmpty()) << res.err.toStdString();
        EXPECT_FALSE(QFile::exists(j));
    }
    EXPECT_EQ(QDir(m_tmp.path()).entryList(QDir::Files), QStringList {"good.journal"}) << "nothing written";
}

TEST_F(RecoverCliTest, AJournalThatIsNoFileIsRefusedWithoutWaiting)
{
    ScopedTimeZone tz("UTC0");
    ASSERT_TRUE(QDir().mkpath(path("ZB740/recovery")));
    ASSERT_TRUE(makeFifo(path("pipe")));
    const QString link = path("ZB740/recovery/26-12-07 09.00.00.journal");
    ASSERT_TRUE(QFile::link(path("pipe"), link));
    ASSERT_TRUE(makeFifo(path("fifo.journal")));
    FifoUnblocker guard1(path("pipe")), guard2(path("fifo.journal"));

    CliResult res = cli(recover({QStringLiteral("--list"), QStringLiteral("--settings-dir"), path("ZB740")}));
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.out, (link + "\tcannot be read: Not a regular file\n").toUtf8());
    for (const QString& j : {link, path("fifo.journal")}) {
        SCOPED_TRACE(j.toStdString());
        res = cli(recover({j, QStringLiteral("--remove")}));
        EXPECT_EQ(res.status, 1);
        EXPECT_EQ(res.err, "zb740-cli: " + j.toUtf8() + ": Not a regular file\n");
    }
    EXPECT_EQ(guard1.done() + guard2.done(), 0) << "a FIFO was waited for";
    EXPECT_EQ(fileTypeOf(path("fifo.journal")), mode_t(S_IFIFO));
    EXPECT_EQ(fileTypeOf(link), mode_t(S_IFLNK));
}
