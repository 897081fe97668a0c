// zb740-cli info and export, run as the built program.
#include "DataFixtures.h"
#include "FileNodes.h"
#include "TempDir.h"

#include "data/RunFiles.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct CliResult {
    int status = -1;
    QByteArray out, err;
};

CliResult cli(const QStringList& args, const char* zone = "UTC0", int timeoutMs = 60000)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QString::fromLatin1(zone));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"), args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

} // namespace

class CliDataTest : public TempDirTest {
protected:
    // Saves a run through the program's own Save path.
    void saveRun(const QString& dataPath, const LiveRun& r, YScaleValues scale)
    {
        ASSERT_TRUE(RunFiles::saveRun(dataPath, RunView::of(*r.live, r.run.info()), scale).ok());
    }
};

TEST_F(CliDataTest, InfoPrintsOneJsonLine)
{
    ScopedTimeZone tz("UTC0");
    LiveRun c(3, utc(2026, 12, 7, 23, 45, 55), 2);
    saveRun(path("c.AsmDat"), c, {10, -2});
    CliResult r = cli({QStringLiteral("info"), path("c.AsmDat")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QByteArray("{\"count\":3,\"fahrenheit\":false,\"unit\":\"C\",\"start\":\"2026-12-07T23:45:55\","
                                "\"interval\":2,\"gain\":10,\"offset\":-2,\"end\":\"2026-12-07T23:45:59\"}\n"));

    LiveRun f(0, utc(2027, 1, 2, 3, 4, 5), 60, true);
    saveRun(path("f.AsmDat"), f, {500, 5});
    r = cli({QStringLiteral("info"), path("f.AsmDat")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QByteArray("{\"count\":0,\"fahrenheit\":true,\"unit\":\"F\",\"start\":\"2027-01-02T03:04:05\","
                                "\"interval\":60,\"gain\":500,\"offset\":5,\"end\":null}\n"));
}

TEST_F(CliDataTest, ExportMatchesWhatSaveWrote)
{
    // Local times in a zone with daylight saving, across the spring change.
    ScopedTimeZone tz("Europe/Berlin");
    LiveRun r(400, utc(2026, 3, 29, 0, 30, 0), 10, true);
    r.live->values[kKir][5] = kKirNoReading;
    saveRun(path("Test1.AsmDat"), r, {10, 0});
    const QByteArray saved = readAll(path("Test1.csv"));
    ASSERT_FALSE(saved.isEmpty());

    CliResult res = cli({QStringLiteral("export"), path("Test1.AsmDat"), QStringLiteral("-o"), path("other.csv")},
                  "Europe/Berlin");
    EXPECT_EQ(res.status, 0) << res.err.toStdString();
    EXPECT_EQ(readAll(path("other.csv")), saved);

    // Default output: beside the data file, same base name.
    ASSERT_TRUE(QFile::remove(path("Test1.csv")));
    res = cli({QStringLiteral("export"), path("Test1.AsmDat")}, "Europe/Berlin");
    EXPECT_EQ(res.status, 0) << res.err.toStdString();
    EXPECT_EQ(readAll(path("Test1.csv")), saved);

    // "-o -": the same bytes on standard output, no file written.
    ASSERT_TRUE(QFile::remove(path("Test1.csv")));
    res = cli({QStringLiteral("export"), path("Test1.AsmDat"), QStringLiteral("-o"), QStringLiteral("-")},
              "Europe/Berlin");
    EXPECT_EQ(res.status, 0) << res.err.toStdString();
    EXPECT_EQ(res.out, saved);
    EXPECT_FALSE(QFile::exists(path("Test1.csv")));
    EXPECT_FALSE(QFile::exists(path("-")));
}

TEST_F(CliDataTest, ForeignAndDamagedFilesFail)
{
    ScopedTimeZone tz("UTC0");
    LiveRun c(3, utc(2026, 12, 7, 23, 45, 55), 2);
    saveRun(path("good.AsmDat"), c, {10, 0});
    const QByteArray good = readAll(path("good.AsmDat"));
    ASSERT_TRUE(writeAll(path("foreign.AsmDat"), QByteArray("\x06KM4472") + good.mid(7)));
    ASSERT_TRUE(writeAll(path("cut.AsmDat"), good.left(60)));
    QByteArray big = good;
    qToLittleEndian<int32_t>(100000, big.data() + 7);
    ASSERT_TRUE(writeAll(path("big.AsmDat"), big));

    for (const char* cmd : {"info", "export"}) {
        SCOPED_TRACE(cmd);
        CliResult r = cli({QLatin1String(cmd), path("foreign.AsmDat")});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "zb740-cli: " + QFile::encodeName(path("foreign.AsmDat")) + ": Invalid Format!\n");
        EXPECT_TRUE(r.out.isEmpty());

        r = cli({QLatin1String(cmd), path("cut.AsmDat")});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains("ends before the end of the sample values")) << r.err.toStdString();

        r = cli({QLatin1String(cmd), path("big.AsmDat")});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains("100000 is out of range")) << r.err.toStdString();

        r = cli({QLatin1String(cmd), path("missing.AsmDat")});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains("missing.AsmDat")) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(path("foreign.csv")));
    EXPECT_FALSE(QFile::exists(path("cut.csv")));
}

TEST_F(CliDataTest, UsageErrorsAndHelp)
{
    struct Case {
        QStringList args;
        int status;
    };
    const Case cases[] = {
        {{"info"}, 2},
        {{"info", "a.AsmDat", "b.AsmDat"}, 2},
        {{"info", "--bogus"}, 2},
        {{"export"}, 2},
        {{"export", "a.AsmDat", "-o"}, 2},
        {{"export", "a.AsmDat", "b.AsmDat"}, 2},
        {{"export", "a.AsmDat", "-o", "x.csv", "-o", "y.csv"}, 2},
        {{"export", "a.AsmDat", "-o", "./a.AsmDat"}, 2},
        {{"info", "--help"}, 0},
        {{"export", "--help"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const CliResult r = cli(c.args);
        EXPECT_EQ(r.status, c.status);
        const QByteArray usage = "Usage: zb740-cli " + c.args[0].toLatin1();
        if (c.args.size() == 4 && c.args[3] == QLatin1String("./a.AsmDat")) {
            EXPECT_TRUE(r.err.contains("replace its own data file")) << r.err.toStdString();
        } else if (c.status == 0) {
            EXPECT_TRUE(r.out.startsWith(usage));
        } else {
            // The reason in one line, then the help.
            EXPECT_TRUE(r.err.startsWith("zb740-cli " + c.args[0].toLatin1() + ": ")) << r.err.toStdString();
            EXPECT_EQ(r.err.count('\n' + usage), 1) << r.err.toStdString();
        }
    }
}

TEST_F(CliDataTest, InputsThatAreNoRegularFilesAreRefusedAtOnce)
{
    ASSERT_TRUE(makeFifo(path("fifo.AsmDat")));
    ASSERT_TRUE(QDir().mkpath(path("folder.AsmDat")));
    for (const char* cmd : {"info", "export"}) {
        for (const QString& input : {path("fifo.AsmDat"), path("folder.AsmDat"), QStringLiteral("/dev/zero")}) {
            SCOPED_TRACE(testing::Message() << cmd << " " << input.toStdString());
            FifoUnblocker guard(path("fifo.AsmDat"));
            QStringList args {QLatin1String(cmd), input};
            if (QLatin1String(cmd) == QLatin1String("export"))
                args << QStringLiteral("-o") << path("out.csv");
            const CliResult r = cli(args, "UTC0", 20000);
            EXPECT_EQ(guard.done(), 0) << "blocked on the FIFO";
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "zb740-cli: " + QFile::encodeName(input) + ": Not a regular file\n");
            EXPECT_TRUE(r.out.isEmpty());
        }
    }
    EXPECT_FALSE(QFile::exists(path("out.csv")));

    // A file far larger than any data file is damage, refused unread.
    ScopedTimeZone tz("UTC0");
    LiveRun c(3, utc(2026, 12, 7, 23, 45, 55), 2);
    saveRun(path("good.AsmDat"), c, {10, 0});
    ASSERT_TRUE(writeAll(path("huge.AsmDat"), readAll(path("good.AsmDat")) + QByteArray(4 * 1024 * 1024, '\0')));
    const CliResult r = cli({QStringLiteral("info"), path("huge.AsmDat")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("zb740-cli: " + QFile::encodeName(path("huge.AsmDat")) + ": ")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("larger than any data file")) << r.err.toStdString();
}

TEST_F(CliDataTest, ExportWritesThroughFifosAndToStandardOutput)
{
    ScopedTimeZone tz("UTC0");
    LiveRun c(3, utc(2026, 12, 7, 23, 45, 55), 2);
    saveRun(path("Run.AsmDat"), c, {10, 0});
    const QByteArray csv = readAll(path("Run.csv"));
    ASSERT_FALSE(csv.isEmpty());

    // "-" and /dev/stdout: the table on standard output, no file named "-".
    for (const char* out : {"-", "/dev/stdout"}) {
        SCOPED_TRACE(out);
        const CliResult r = cli({QStringLiteral("export"), path("Run.AsmDat"), QStringLiteral("-o"), QLatin1String(out)});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, csv);
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(path("-")));
    EXPECT_FALSE(QFile::exists(QStringLiteral("-")));

    // /dev/stdout when the output is a file the caller opened: written
    // there, not replaced by a new file beside it.
    {
        ASSERT_TRUE(writeAll(path("stdout.csv"), "kept:"));
        QProcess p;
        p.setStandardOutputFile(path("stdout.csv"), QIODevice::Append);
        p.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"), {"export", path("Run.AsmDat"), "-o", "/dev/stdout"});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        EXPECT_EQ(readAll(path("stdout.csv")), "kept:" + csv);
    }

    // A FIFO with a reader gets the table and stays a FIFO.
    ASSERT_TRUE(makeFifo(path("out.fifo")));
    const int reader = ::open(QFile::encodeName(path("out.fifo")).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const CliResult r = cli({QStringLiteral("export"), path("Run.AsmDat"), QStringLiteral("-o"), path("out.fifo")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    QByteArray received(2 * csv.size() + 16, '\0');
    const ssize_t n = ::read(reader, received.data(), size_t(received.size()));
    ::close(reader);
    EXPECT_EQ(received.left(n < 0 ? 0 : qsizetype(n)), csv);
    EXPECT_EQ(fileTypeOf(path("out.fifo")), mode_t(S_IFIFO));
}

TEST_F(CliDataTest, ExportOntoDeviceNodesNeverReplacesThem)
{
    // Nodes like /dev/null and /dev/full, made in the test's folder so that
    // a fault cannot harm the system's own.
    if (!makeCharDevice(path("null"), 1, 3) || !makeCharDevice(path("full"), 1, 7))
        GTEST_SKIP() << "making device nodes needs root (and CAP_MKNOD)";
    ScopedTimeZone tz("UTC0");
    LiveRun c(3, utc(2026, 12, 7, 23, 45, 55), 2);
    saveRun(path("Run.AsmDat"), c, {10, 0});

    CliResult r = cli({QStringLiteral("export"), path("Run.AsmDat"), QStringLiteral("-o"), path("null")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(fileTypeOf(path("null")), mode_t(S_IFCHR));

    r = cli({QStringLiteral("export"), path("Run.AsmDat"), QStringLiteral("-o"), path("full")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zb740-cli: " + QFile::encodeName(path("full")) + ": No space left on device\n");
    EXPECT_EQ(fileTypeOf(path("full")), mode_t(S_IFCHR));
    QStringList files = QDir(m_tmp.path()).entryList(QDir::Files | QDir::System | QDir::Hidden);
    files.sort();
    EXPECT_EQ(files, QStringList({"Run.AsmDat", "Run.csv", "full", "null"}));
}
