// zb740-cli report, run as the built program.
#include "ReportFixtures.h"
#include "TempDir.h"

#include "data/RunFiles.h"

#include <QCryptographicHash>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <gtest/gtest.h>
#include <limits>

namespace {

struct CliResult {
    int status = -1;
    QByteArray out, err;
};

// Runs zb740-cli in the given zone, without a display or a chosen platform
// unless the environment passed says otherwise.
CliResult cli(const QStringList& args, QProcessEnvironment env = QProcessEnvironment::systemEnvironment(),
              const QString& shellPrefix = {})
{
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC0"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QProcess p;
    p.setProcessEnvironment(env);
    const QString program = QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli");
    if (shellPrefix.isEmpty()) {
        p.start(program, args);
    } else {
        // A shell sets a limit first, then becomes the program.
        QString line = shellPrefix + QStringLiteral(" exec \"$0\" \"$@\"");
        p.start(QStringLiteral("/bin/sh"), QStringList {QStringLiteral("-c"), line, program} + args);
    }
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

} // namespace

class CliReportTest : public TempDirTest {
protected:
    void SetUp() override
    {
        // 12 samples at 5 s from 2026-12-07 13:45:00, scale 10 per division from -2.
        LiveRun r(12, utc(2026, 12, 7, 13, 45, 0), 5);
        ASSERT_TRUE(RunFiles::saveRun(path("run.AsmDat"), RunView::of(*r.live, r.run.info()), {10, -2}).ok());
    }
    QStringList report(const QStringList& more) const
    {
        return QStringList {QStringLiteral("report"), path("run.AsmDat"), QStringLiteral("-o"), path("out.pdf")}
             + more;
    }
    ScopedTimeZone tz {"UTC0"};
};

TEST_F(CliReportTest, WritesOneA4PageWithTheFilesScale)
{
    const CliResult r = cli(report({QStringLiteral("--date"), QStringLiteral("2027-01-02 03:04")}));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(pdfInfo(path("out.pdf"), "Pages"), "1");
    EXPECT_EQ(pdfInfo(path("out.pdf"), "Page size"), "595 x 842 pts (A4)") << "portrait";
    EXPECT_EQ(pdfInfo(path("out.pdf"), "Page rot"), "0");

    // 10 mm margins: the corners and texts sit where the layout puts them.
    const PdfPage page(path("out.pdf"), PrintableFrame {10, 10});
    ASSERT_TRUE(page.ok());
    EXPECT_LT(page.darkest(-750, 200), 100);
    EXPECT_LT(page.darkest(-10, 1000), 100);
    ASSERT_EQ(page.find("2027-01-02").size(), 1);
    EXPECT_NEAR(page.find("2027-01-02")[0].left, ReportLayout::kDateX, 1.5);
    EXPECT_NEAR(page.find("2027-01-02")[0].top, ReportLayout::kDateY, 1.5);
    EXPECT_EQ(page.find("03:04").size(), 1);
    EXPECT_EQ(page.find("-20.0").size(), 1);
    EXPECT_EQ(page.find("80.0").size(), 1);
    // Labels at samples 0, 3, 6, 8, 11 of 12 at 5 s: the samples under them.
    for (const char* t : {"13:45:00", "13:45:15", "13:45:30", "13:45:40", "13:45:55"})
        EXPECT_EQ(page.find(t).size(), 1) << t;
    for (const char* legend : kChannelLegend)
        EXPECT_EQ(page.find(legend).size(), 1) << legend;
}

TEST_F(CliReportTest, CurvesAndScaleOptionsReplaceTheFilesChoice)
{
    const CliResult r = cli(report({QStringLiteral("--curves"), QStringLiteral("WB,K/IR"), QStringLiteral("--gain"),
                                    QStringLiteral("50"), QStringLiteral("--offset"), QStringLiteral("-5")}));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const PdfPage page(path("out.pdf"));
    ASSERT_TRUE(page.ok());
    EXPECT_TRUE(page.find("AIR").isEmpty());
    EXPECT_EQ(page.find("WB").size(), 1);
    EXPECT_TRUE(page.find("DP").isEmpty());
    EXPECT_EQ(page.find("K/IR").size(), 1);
    EXPECT_TRUE(page.find("RH").isEmpty());
    EXPECT_EQ(page.find("-250.0").size(), 1);
    EXPECT_EQ(page.find("250.0").size(), 1);
    EXPECT_EQ(page.countColor(-748, 202, -12, 998, kAirPrint, 30), 0);
}

TEST_F(CliReportTest, AScaleWithoutAUsableAxisPrintsTheDefaultScaleWithANote)
{
    // The largest gain and offset of a data file, and a gain of zero, print
    // on 0 .. 100 as the logger window shows them, with a note; readings
    // that are no number leave gaps.
    LiveRun r(12, utc(2026, 12, 7, 13, 45, 0), 5);
    r.live->values[kAir][4] = std::numeric_limits<float>::quiet_NaN();
    r.live->values[kRh][7] = std::numeric_limits<float>::infinity();
    const YScaleValues scales[] = {{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()},
                                   {0, 0}};
    for (const YScaleValues& scale : scales) {
        ASSERT_TRUE(RunFiles::saveRun(path("odd.AsmDat"), RunView::of(*r.live, r.run.info()), scale).ok());
        const QStringList args {QStringLiteral("report"), path("odd.AsmDat"), QStringLiteral("-o"), path("odd.pdf")};
        const CliResult res = cli(args);
        ASSERT_EQ(res.status, 0) << res.err.toStdString();
        EXPECT_EQ(QString::fromLocal8Bit(res.err),
                  QStringLiteral("zb740-cli: %1: The vertical scale stored in the file (gain %2, offset %3) gives no "
                                 "usable axis; the default scale (gain 10, offset 0) is used instead.\n")
                      .arg(path("odd.AsmDat"))
                      .arg(scale.gain)
                      .arg(scale.offset));
        const PdfPage page(path("odd.pdf"), PrintableFrame {10, 10});
        ASSERT_TRUE(page.ok());
        EXPECT_EQ(page.find("0.0").size(), 1);
        EXPECT_EQ(page.find("50.0").size(), 1);
        EXPECT_EQ(page.find("100.0").size(), 1);
        EXPECT_GT(page.countColor(-748, 202, -12, 998, kAirPrint, 30), 0);
        // Both options replace the file's scale: nothing to note.
        const CliResult both = cli(args + QStringList {"--gain", "20", "--offset", "0"});
        ASSERT_EQ(both.status, 0) << both.err.toStdString();
        EXPECT_EQ(both.err, "");
        EXPECT_EQ(PdfPage(path("odd.pdf"), PrintableFrame {10, 10}).find("200.0").size(), 1);
    }
}

TEST_F(CliReportTest, UsageErrorsExitTwoAndWriteNothing)
{
    const QString in = path("run.AsmDat"), out = path("out.pdf");
    const QStringList cases[] = {
        {"report"},
        {"report", in},
        {"report", "-o", out},
        {"report", in, "-o"},
        {"report", in, in, "-o", out},
        {"report", in, "-o", out, "--colour"},
        {"report", in, "-o", out, "--curves", "AIR,TEMP"},
        {"report", in, "-o", out, "--curves", ""},
        {"report", in, "-o", out, "--gain", "3"},
        {"report", in, "-o", out, "--gain", "ten"},
        {"report", in, "-o", out, "--offset", "1"},
        {"report", in, "-o", out, "--date", "2026-13-01 10:00"},
        {"report", in, "-o", out, "--date", "2026-02-30 10:00"},
        {"report", in, "-o", out, "--date", "2026-12-07"},
        {"report", in, "-o", out, "--date", "2026-12-07 24:00"},
        {"report", in, "-o", out, "--gain", "10", "--gain", "20"},
        {"report", in, "-o", in},
    };
    for (const QStringList& args : cases) {
        const CliResult r = cli(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("Usage: zb740-cli report")) << args.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(out)) << args.join(' ').toStdString();
    }
    const CliResult help = cli({"report", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--curves LIST"));
    EXPECT_TRUE(cli({"--help"}).out.contains("report "));
}

TEST_F(CliReportTest, ForeignDamagedOrEmptyFilesFailWithoutOutput)
{
    ASSERT_TRUE(writeAll(path("foreign.AsmDat"), "not a data file at all"));
    QByteArray damaged = readAll(path("run.AsmDat"));
    damaged.chop(30);
    ASSERT_TRUE(writeAll(path("damaged.AsmDat"), damaged));
    LiveRun none(0, utc(2026, 12, 7, 13, 45, 0), 5);
    ASSERT_TRUE(RunFiles::saveRun(path("empty.AsmDat"), RunView::of(*none.live, none.run.info()), {10, 0}).ok());

    for (const char* name : {"foreign.AsmDat", "damaged.AsmDat"}) {
        const CliResult r = cli({"report", path(name), "-o", path("out.pdf")});
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.err, QStringLiteral("zb740-cli: %1: Invalid Format!\n").arg(path(name)).toUtf8());
        EXPECT_FALSE(QFile::exists(path("out.pdf"))) << name;
    }
    CliResult r = cli({"report", path("empty.AsmDat"), "-o", path("out.pdf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith(("zb740-cli: " + path("empty.AsmDat") + ": ").toUtf8())) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("out.pdf")));

    r = cli({"report", path("missing.AsmDat"), "-o", path("out.pdf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith(("zb740-cli: " + path("missing.AsmDat") + ": ").toUtf8())) << r.err.toStdString();
}

TEST_F(CliReportTest, AFullDiskKeepsTheOldReport)
{
    ASSERT_TRUE(writeAll(path("out.pdf"), "the old report"));
    // The file size limit stands for a full disk: writing past 4 KB fails
    // (the signal it raises is ignored, as a full disk raises none).
    const CliResult r = cli(report({}), QProcessEnvironment::systemEnvironment(),
                            QStringLiteral("trap '' XFSZ; ulimit -f 8;"));
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith(("zb740-cli: Could not save \"" + path("out.pdf") + "\": ").toUtf8()))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("File too large")) << r.err.toStdString();
    EXPECT_EQ(readAll(path("out.pdf")), "the old report");
    EXPECT_EQ(QDir(m_tmp.path()).entryList({"out.pdf*"}, QDir::Files), QStringList {"out.pdf"})
        << "no temporary file left behind";

    // Without the limit the same command replaces it.
    const CliResult ok = cli(report({}));
    EXPECT_EQ(ok.status, 0) << ok.err.toStdString();
    EXPECT_TRUE(readAll(path("out.pdf")).startsWith("%PDF"));
}

// --- The full page from the command line, and zb740-cli verify ---

TEST_F(CliReportTest, TheFullLayoutCarriesOperatorNotesLimitsAndTheFilesHash)
{
    const CliResult r = cli(report({"--layout", "full", "--operator", "Bob Builder", "--note", "Chamber 3",
                                    "--note", "door opened at 13:45:20", "--limit", "air:20..21", "--limit",
                                    "rh:..55", "--limit", "k_ir:0..100", "--date", "2026-12-08 09:30"}));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, "");
    const QString text = QString::fromUtf8(
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path("out.pdf"), QStringLiteral("-")}).out);
    const QString hex = QString::fromLatin1(
        QCryptographicHash::hash(readAll(path("run.AsmDat")), QCryptographicHash::Sha256).toHex());
    for (const QString& expected : {QStringLiteral("SHA-256 of the data: ") + hex,
                                    QStringLiteral("Report id ") + hex.left(12) + QStringLiteral("-20261208-093000"),
                                    QStringLiteral("run.AsmDat"), QStringLiteral("Bob Builder"),
                                    QStringLiteral("Chamber 3"), QStringLiteral("door opened at 13:45:20"),
                                    // AIR 20.0 .. 21.1: the last samples lie above 21.
                                    QStringLiteral("FAIL: 1 sample outside [20.0, 21.0]"),
                                    // RH 55.0 .. 60.5, against a high limit alone.
                                    QStringLiteral("FAIL: 11 samples outside [\u2212\u221e, 55.0]"),
                                    QStringLiteral("PASS: no sample outside [0.0, 100.0]")})
        EXPECT_TRUE(text.contains(expected)) << expected.toStdString() << "\n" << text.toStdString();
    EXPECT_EQ(pdfInfo(path("out.pdf"), "Title"), "ZB740 Test Report");
    EXPECT_EQ(pdfInfo(path("out.pdf"), "Page size"), "595 x 842 pts (A4)");

    // Limits, layout and the rest are usage errors when malformed.
    for (const QStringList& more : {QStringList {"--layout", "wide"}, QStringList {"--limit", "air:30..5"},
                                    QStringList {"--limit", "temp:0..5"}, QStringList {"--limit", "air:5"},
                                    QStringList {"--limit", "air:a..b"}, QStringList {"--operator", "a", "--operator", "b"}}) {
        QFile::remove(path("out.pdf"));
        const CliResult bad = cli(report(more));
        EXPECT_EQ(bad.status, 2) << more.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(path("out.pdf"))) << more.join(' ').toStdString();
    }
}

TEST_F(CliReportTest, AnEmptyGraphIsNamedOnStandardError)
{
    // AIR at 20.0 .. 21.1 with the scale at 0 .. 20 (gain 2): only the first
    // sample touches the top line; K/IR at 25.96 and down lies above too.
    LiveRun r(12, utc(2026, 12, 7, 13, 45, 0), 5);
    for (int i = 0; i < 12; ++i)
        r.live->values[kAir][i] = 23.0f;
    ASSERT_TRUE(RunFiles::saveRun(path("warm.AsmDat"), RunView::of(*r.live, r.run.info()), {2, 0}).ok());
    for (const char* layout : {"classic", "full"}) {
        const CliResult res = cli({"report", path("warm.AsmDat"), "-o", path("warm.pdf"), "--curves", "AIR",
                                   "--layout", layout});
        EXPECT_EQ(res.status, 0) << res.err.toStdString();
        EXPECT_EQ(QString::fromUtf8(res.err),
                  QString::fromUtf8("zb740-cli: %1: None of the shown curves lies within the Y scale 0.0\u201320.0.\n")
                      .arg(path("warm.AsmDat")));
        EXPECT_TRUE(QFile::exists(path("warm.pdf")));
    }
    const QString text = QString::fromUtf8(
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path("warm.pdf"), QStringLiteral("-")}).out);
    EXPECT_TRUE(text.contains("12 above, 0 below the Y range")) << text.toStdString();
    // With a curve within, nothing is said.
    const CliResult within = cli({"report", path("warm.AsmDat"), "-o", path("warm.pdf"), "--curves", "AIR,DP"});
    EXPECT_EQ(within.err, "");
}

TEST_F(CliReportTest, VerifyMatchesTheReportsOwnDataOnly)
{
    for (const char* layout : {"classic", "full"}) {
        SCOPED_TRACE(layout);
        ASSERT_EQ(cli(report({"--layout", layout})).status, 0);
        const CliResult same = cli({"verify", path("out.pdf"), path("run.AsmDat")});
        EXPECT_EQ(same.status, 0) << same.err.toStdString();
        EXPECT_EQ(same.out, "match\n");
    }
    // One byte changed anywhere: the header, the scale, a sample, the last byte.
    const QByteArray original = readAll(path("run.AsmDat"));
    for (qsizetype at : {qsizetype(0), qsizetype(7), original.size() / 2, original.size() - 1}) {
        QByteArray changed = original;
        changed[at] = char(changed[at] ^ 0x01);
        ASSERT_TRUE(writeAll(path("changed.AsmDat"), changed));
        const CliResult r = cli({"verify", path("out.pdf"), path("changed.AsmDat")});
        EXPECT_EQ(r.status, 1) << "byte " << at;
        EXPECT_EQ(r.out, "DIFFERENT\n") << "byte " << at;
    }
    // A byte more or less.
    ASSERT_TRUE(writeAll(path("longer.AsmDat"), original + '\0'));
    EXPECT_EQ(cli({"verify", path("out.pdf"), path("longer.AsmDat")}).status, 1);

    // A PDF without a hash, a file that is no PDF, files that cannot be read.
    {
        QPdfWriter plain(path("plain.pdf"));
        QPainter p(&plain);
        p.drawText(100, 100, QStringLiteral("SHA-256 of the data: not in the metadata"));
    }
    ASSERT_TRUE(writeAll(path("notes.txt"), "<pdf:Keywords>SHA-256 of the data: 12</pdf:Keywords>"));
    const struct {
        QStringList args;
        const char* why;
    } failing[] = {
        {{"verify", path("plain.pdf"), path("run.AsmDat")}, "the report carries no SHA-256 of its data"},
        {{"verify", path("notes.txt"), path("run.AsmDat")}, "the report carries no SHA-256 of its data"},
        {{"verify", path("missing.pdf"), path("run.AsmDat")}, "No such file or directory"},
        {{"verify", path("out.pdf"), path("missing.AsmDat")}, "No such file or directory"},
        {{"verify", m_tmp.path(), path("run.AsmDat")}, ""},
    };
    for (const auto& f : failing) {
        const CliResult r = cli(f.args);
        EXPECT_EQ(r.status, 2) << f.args.join(' ').toStdString();
        EXPECT_EQ(r.out, "") << f.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("zb740-cli: ")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(f.why)) << r.err.toStdString();
    }
    for (const QStringList& usage : {QStringList {"verify"}, QStringList {"verify", path("out.pdf")},
                                     QStringList {"verify", path("out.pdf"), path("run.AsmDat"), "x"}}) {
        const CliResult r = cli(usage);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains("Usage: zb740-cli verify")) << r.err.toStdString();
    }
}
