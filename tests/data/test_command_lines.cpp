// zb740-cli's command lines, each run as the built program: one reader of
// options for every command (both spellings of a value, "--", help,
// version, usage errors naming the option), and "-o -" as standard output
// for the commands that write one file.
#include "DataFixtures.h"
#include "TempDir.h"

#include "base/Version.h"
#include "data/RunFiles.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

const QString kCli = QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli");

struct CliResult {
    int status = -1;
    QByteArray out, err;
};

void prepare(QProcess& p, const QString& workingDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC0"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workingDir);
}

CliResult finish(QProcess& p)
{
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished(5000);
        return {};
    }
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);

} // namespace

class CliCommandLines : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        const LiveRun run(12, utc(2026, 12, 7, 13, 45, 0), 5);
        for (const char* name : {"run.AsmDat", "-dash.AsmDat"})
            ASSERT_TRUE(RunFiles::saveRun(path(QLatin1String(name)), RunView::of(*run.live, run.run.info()), {10, -2}).ok());
    }

    CliResult cli(const QStringList& args)
    {
        QProcess p;
        prepare(p, m_tmp.path());
        p.start(kCli, args);
        return finish(p);
    }

    ScopedTimeZone m_tz {"UTC0"};
};

TEST_F(CliCommandLines, OneReaderOfOptionsForEveryCommand)
{
    struct Row {
        QStringList args; // @data: the data file; @out: an output of this row's own
        int status;
        QByteArray out;   // standard output begins with it
        QByteArray err;   // standard error begins with it
        QByteArray outHas = {};
        bool exactOut = false;
    };
    const QByteArray version = QByteArray("zb740-cli ") + kVersionNumber + "\n";
    const Row rows[] = {
        // A value after '=' or as the next argument.
        {{"record", "--simulate", "--interval=5", "--count=1", "-o", "@out.AsmDat"}, 0, "Wrote 1 samples (started ",
         "Recording 1 samples every 5 s from /dev/", ", interval 5 s) to "},
        {{"record", "--simulate", "--interval", "5", "--count", "1", "-o", "@out.AsmDat"}, 0,
         "Wrote 1 samples (started ", "Recording 1 samples every 5 s from /dev/", ", interval 5 s) to "},
        {{"record", "--simulate", "--interval=0", "-o", "@out.AsmDat"}, 2, "",
         "zb740-cli record: --interval takes 1..3600 seconds, not '0'\nUsage: zb740-cli record "},
        {{"record", "--simulate", "--interval", "5", "--interval=6", "-o", "@out.AsmDat"}, 2, "",
         "zb740-cli record: --interval is given twice\nUsage: zb740-cli record "},
        {{"record", "--simulate", "-o"}, 2, "", "zb740-cli record: -o needs a value\nUsage: zb740-cli record "},
        {{"record", "--simulate", "-o", "@out.AsmDat", "--silent-after"}, 2, "",
         "zb740-cli record: --silent-after needs a value\n"},
        {{"record", "--simulate=yes", "-o", "@out.AsmDat"}, 2, "", "zb740-cli record: --simulate takes no value\n"},
        // Unknown options, named.
        {{"record", "--simulate", "-o", "@out.AsmDat", "--bogus"}, 2, "",
         "zb740-cli record: unknown option '--bogus'\nUsage: zb740-cli record "},
        {{"export", "@data", "--bogus=1"}, 2, "", "zb740-cli export: unknown option '--bogus'\nUsage: zb740-cli export "},
        {{"info", "-dash.AsmDat"}, 2, "", "zb740-cli info: unknown option '-dash.AsmDat'\nUsage: zb740-cli info "},
        {{"plot", "@data", "-o", "@out.png", "-x"}, 2, "", "zb740-cli plot: unknown option '-x'\nUsage: zb740-cli plot "},
        {{"decode", "--colour"}, 2, "", "zb740-cli decode: unknown option '--colour'\nUsage: zb740-cli decode "},
        {{"simulate", "--garbage=x"}, 2, "", "zb740-cli simulate: bad value 'x' for --garbage\n"},
        {{"--bogus"}, 2, "", "zb740-cli: unknown option '--bogus'\nUsage: zb740-cli COMMAND"},
        {{"bogus"}, 2, "", "zb740-cli: unknown command 'bogus'\nUsage: zb740-cli COMMAND"},
        {{}, 2, "", "Usage: zb740-cli COMMAND"},
        // "--" ends the options: a file may begin with a dash.
        {{"info", "--", "-dash.AsmDat"}, 0, "{\"count\":12,\"fahrenheit\":false,", ""},
        {{"record", "--simulate", "-o", "@out.AsmDat", "--", "--count"}, 2, "",
         "zb740-cli record: unexpected argument '--count'\n"},
        // Help: the command's own, also through "help COMMAND".
        {{"help", "record"}, 0, "Usage: zb740-cli record (--port DEVICE | --simulate)", ""},
        {{"record", "-h"}, 0, "Usage: zb740-cli record (--port DEVICE | --simulate)", ""},
        {{"help"}, 0, "Usage: zb740-cli COMMAND", ""},
        {{"-h"}, 0, "Usage: zb740-cli COMMAND", ""},
        {{"help", "bogus"}, 2, "", "zb740-cli: unknown command 'bogus'\nUsage: zb740-cli COMMAND"},
        // The version, of the tool and of each command.
        {{"-V"}, 0, version, "", {}, true},
        {{"--version"}, 0, version, "", {}, true},
        {{"report", "-V"}, 0, version, "", {}, true},
        {{"record", "--version"}, 0, version, "", {}, true},
        // "-o -": standard output for a command that writes one file; a
        // recording (data file, .csv, journal) and a recovered run (data
        // file, .csv) cannot go there.
        {{"export", "@data", "-o", "-"}, 0, QByteArray("\xff\xfe", 2), ""},
        {{"plot", "@data", "-o", "-", "--size=400x300"}, 0, kPngSignature, ""},
        {{"report", "@data", "-o", "-", "--date=2027-01-02 03:04"}, 0, "%PDF-", ""},
        {{"record", "--simulate", "-o", "-"}, 2, "",
         "zb740-cli record: -o - (standard output) cannot take a recording: it is a data file, its .csv and its "
         "journal; name the data file to write\nUsage: zb740-cli record "},
        {{"recover", "@out.journal", "-o", "-"}, 2, "",
         "zb740-cli recover: -o - (standard output) cannot take a recovered run: it is a data file and its .csv; "
         "name the data file to write\nUsage: zb740-cli recover "},
    };

    // All rows at once: the two recordings take their five seconds side by
    // side.
    std::vector<std::unique_ptr<QProcess>> running;
    int n = 0;
    for (const Row& row : rows) {
        QStringList args;
        const QString out = path(QStringLiteral("row%1").arg(++n));
        for (QString a : row.args)
            args << a.replace(QLatin1String("@data"), path("run.AsmDat")).replace(QLatin1String("@out"), out);
        auto p = std::make_unique<QProcess>();
        prepare(*p, m_tmp.path());
        p->start(kCli, args);
        running.push_back(std::move(p));
    }
    n = 0;
    for (const Row& row : rows) {
        QProcess& p = *running[size_t(n++)];
        SCOPED_TRACE(p.arguments().join(' ').toStdString());
        const CliResult r = finish(p);
        EXPECT_EQ(r.status, row.status) << r.err.toStdString();
        if (row.exactOut) {
            EXPECT_EQ(r.out, row.out);
        }
        EXPECT_TRUE(r.out.startsWith(row.out)) << r.out.left(200).toStdString();
        EXPECT_TRUE(r.out.contains(row.outHas)) << r.out.left(200).toStdString();
        EXPECT_TRUE(r.err.startsWith(row.err)) << r.err.toStdString();
        if (row.out.isEmpty()) {
            EXPECT_TRUE(r.out.isEmpty()) << r.out.left(200).toStdString();
        }
        if (row.err.isEmpty()) {
            EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        }
    }
    // Only the two recordings wrote files; nothing is named "-".
    QStringList written = QDir(m_tmp.path()).entryList({"row*"}, QDir::Files);
    written.sort();
    EXPECT_EQ(written, QStringList({"row1.AsmDat", "row1.csv", "row2.AsmDat", "row2.csv"}));
    EXPECT_FALSE(QFile::exists(path("-")));
}

TEST_F(CliCommandLines, HelpCommandIsTheCommandsOwnHelp)
{
    for (const char* command : {"decode", "simulate", "info", "export", "recover", "report", "record", "plot"}) {
        SCOPED_TRACE(command);
        const CliResult help = cli({"help", command});
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.out.startsWith(QByteArray("Usage: zb740-cli ") + command)) << help.out.toStdString();
        EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();
        for (const char* option : {"--help", "-h"}) {
            const CliResult own = cli({command, option});
            EXPECT_EQ(own.status, 0);
            EXPECT_EQ(own.out, help.out);
        }
        // A usage error shows the same help on standard error.
        const CliResult refused = cli({command, "--no-such-option"});
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.err, QByteArray("zb740-cli ") + command + ": unknown option '--no-such-option'\n" + help.out);
    }
}

TEST_F(CliCommandLines, ReportOnStandardOutputIsAPdfThatPdfinfoReads)
{
    // zb740-cli report FILE -o - | pdfinfo -
    QProcess report, pdfinfo;
    prepare(report, m_tmp.path());
    prepare(pdfinfo, m_tmp.path());
    report.setStandardOutputProcess(&pdfinfo);
    report.start(kCli, {"report", path("run.AsmDat"), "-o", "-", "--date", "2027-01-02 03:04"});
    pdfinfo.start(QStringLiteral("pdfinfo"), {"-"});
    ASSERT_TRUE(pdfinfo.waitForStarted(10000)) << "pdfinfo (poppler-utils) is needed";
    const CliResult written = finish(report);
    const CliResult read = finish(pdfinfo);
    EXPECT_EQ(written.status, 0) << written.err.toStdString();
    EXPECT_TRUE(written.err.isEmpty()) << written.err.toStdString();
    EXPECT_EQ(read.status, 0) << read.err.toStdString();
    const QString info = QString::fromUtf8(read.out);
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("\nPages: +1\n")))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("\nPage size: +595 x 842 pts \\(A4\\)\n"))))
        << info.toStdString();
    EXPECT_FALSE(QFile::exists(path("-")));

    // The same bytes as the file it writes.
    const CliResult direct = cli({"report", path("run.AsmDat"), "-o", "-", "--date", "2027-01-02 03:04"});
    const CliResult file = cli({"report", path("run.AsmDat"), "-o", path("out.pdf"), "--date", "2027-01-02 03:04"});
    ASSERT_EQ(file.status, 0) << file.err.toStdString();
    EXPECT_EQ(direct.out.size(), readAll(path("out.pdf")).size());
}

TEST_F(CliCommandLines, PlotOnStandardOutputIsThePngItWritesToAFile)
{
    const CliResult piped = cli({"plot", path("run.AsmDat"), "-o", "-", "--curves", "AIR,RH"});
    ASSERT_EQ(piped.status, 0) << piped.err.toStdString();
    EXPECT_TRUE(piped.err.isEmpty()) << piped.err.toStdString();
    ASSERT_TRUE(piped.out.startsWith(kPngSignature));
    const QImage image = QImage::fromData(piped.out, "PNG");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(946, 598));

    const CliResult file = cli({"plot", path("run.AsmDat"), "-o", path("plot.png"), "--curves", "AIR,RH"});
    ASSERT_EQ(file.status, 0) << file.err.toStdString();
    EXPECT_EQ(image, QImage(path("plot.png")));
    EXPECT_FALSE(QFile::exists(path("-")));
}
