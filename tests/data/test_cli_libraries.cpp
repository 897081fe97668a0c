// Which shared libraries each zb740-cli command brings into its process, as
// the dynamic loader itself reports them (LD_DEBUG=files: every library
// loaded at the start and every one opened later, such as a Qt plugin).
// The commands that read and write text start like a small Qt Core program;
// only those that draw load Qt Gui, and only record and simulate the serial
// port library. The MQTT client library (and the TLS libraries it brings)
// is opened only when a recording publishes.
#include "DataFixtures.h"
#include "TempDir.h"

#include "data/RunFiles.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

namespace {

const QString kCli = QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli");

struct Loaded {
    int status = -1;
    QByteArray err;
    QSet<QString> libraries; // file names, without their folders
};

// Runs zb740-cli (or the program given) with the loader writing what it
// loads into files of its own, apart from the command's output.
Loaded runLoaded(const QString& folder, const QStringList& args, const QString& program = kCli)
{
    const QString logs = QDir(folder).filePath(QStringLiteral("ld-%1").arg(args.value(0).remove(QLatin1Char('-'))));
    QDir(logs).removeRecursively();
    QDir().mkpath(logs);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    // One file per process id: the same file across the exec of a helper.
    env.insert(QStringLiteral("LD_DEBUG_OUTPUT"), QDir(logs).filePath(QStringLiteral("ld")));
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC0"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    Loaded r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.status = p.exitCode();
    r.err = p.readAllStandardError();
    static const QRegularExpression file(QStringLiteral("file=(\\S+)"));
    for (QDirIterator it(logs, QDir::Files); it.hasNext();) {
        QFile log(it.next());
        if (!log.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromLocal8Bit(log.readAll());
        for (auto m = file.globalMatch(text); m.hasNext();)
            r.libraries.insert(QFileInfo(m.next().captured(1)).fileName());
    }
    return r;
}

// The libraries of r whose names start with one of prefixes, as one text.
std::string among(const Loaded& r, const QStringList& prefixes)
{
    QStringList found;
    for (const QString& library : r.libraries)
        for (const QString& prefix : prefixes)
            if (library.startsWith(prefix))
                found << library;
    found.sort();
    return found.join(QLatin1Char(' ')).toStdString();
}

const QStringList kGui = {QStringLiteral("libQt6Gui."), QStringLiteral("libQt6Widgets."), QStringLiteral("libQt6DBus."),
                          QStringLiteral("libQt6Svg."), QStringLiteral("libQt6PrintSupport."),
                          QStringLiteral("libfontconfig."), QStringLiteral("libfreetype."),
                          QStringLiteral("libdbus-1."), QStringLiteral("libEGL."), QStringLiteral("libX11.")};
const QStringList kMeter = {QStringLiteral("libQt6SerialPort.")};
const QStringList kMqtt = {QStringLiteral("libmosquitto."), QStringLiteral("libssl."), QStringLiteral("libcrypto.")};
// The recording service's notifications; Qt Gui brings it too (through D-Bus).
const QStringList kSystemd = {QStringLiteral("libsystemd.")};

} // namespace

class CliLibraries : public TempDirTest {
protected:
    void SetUp() override
    {
        const LiveRun r(50, utc(2026, 12, 7, 23, 45, 55), 2);
        ASSERT_TRUE(RunFiles::saveRun(path("run.AsmDat"), RunView::of(*r.live, r.run.info()), {10, 0}).ok());
        QDir().mkpath(path("sys/class/tty"));
    }
};

TEST_F(CliLibraries, TextCommandsLoadQtCoreAloneAndDrawingCommandsQtGui)
{
    struct Case {
        QStringList args;
        int status;
        bool drawing; // Qt Gui expected, and only then
        bool meter;   // the serial port library allowed
    };
    const QString data = path("run.AsmDat");
    const Case cases[] = {
        // The drawing commands first: they prove the loader's report is
        // read, and verify reads the report made here.
        {{"report", data, "-o", path("report.pdf"), "--layout", "full"}, 0, true, false},
        {{"plot", data, "-o", path("plot.png")}, 0, true, false},
        {{"--version"}, 0, false, false},
        {{"--help"}, 0, false, false},
        {{"help", "export"}, 0, false, false},
        {{"info", data}, 0, false, false},
        {{"export", data, "-o", path("run.tsv")}, 0, false, false},
        {{"export", data, "--format", "csv", "-o", path("run.utf8.csv")}, 0, false, false},
        {{"export", data, "--format", "jsonl", "-o", path("run.jsonl")}, 0, false, false},
        {{"decode", "00 01 02"}, 0, false, false},
        {{"verify", path("report.pdf"), data}, 0, false, false},
        {{"recover", path("missing.journal")}, 1, false, false},
        {{"ports", "--json", "--sysfs-root", path("sys")}, 0, false, false},
        {{"record", "--simulate", "--count", "1", "-o", path("rec.AsmDat")}, 0, false, true},
        {{"simulate", "--help"}, 0, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const Loaded r = runLoaded(path("logs"), c.args);
        ASSERT_EQ(r.status, c.status) << r.err.constData();
        ASSERT_TRUE(r.libraries.contains(QStringLiteral("libQt6Core.so.6")))
            << "the loader's report was read: " << r.libraries.size() << " libraries";
        if (c.drawing) {
            EXPECT_TRUE(r.libraries.contains(QStringLiteral("libQt6Gui.so.6")));
        } else {
            EXPECT_EQ(among(r, kGui), "");
        }
        if (!c.meter) {
            EXPECT_EQ(among(r, kMeter), "");
        }
        EXPECT_EQ(among(r, kMqtt), "") << "no command here publishes";
        if (!c.meter && !c.drawing) {
            EXPECT_EQ(among(r, kSystemd), "");
        }
    }
}

// The helpers are found beside the tool as it is laid out (the build tree,
// the installed tree), from the tool's own file: started through a link
// elsewhere it still finds them. Without them, the command says so.
TEST_F(CliLibraries, HelpersAreFoundFromTheToolsOwnFolder)
{
    ASSERT_TRUE(QFile::link(kCli, path("zb740-cli")));
    const Loaded linked = runLoaded(path("logs"), {"plot", path("run.AsmDat"), "-o", path("plot.png")}, path("zb740-cli"));
    EXPECT_EQ(linked.status, 0) << linked.err.constData();
    EXPECT_TRUE(QFileInfo(path("plot.png")).size() > 0);

    QDir().mkpath(path("alone/bin"));
    ASSERT_TRUE(QFile::copy(kCli, path("alone/bin/zb740-cli")));
    const Loaded alone =
        runLoaded(path("logs"), {"report", path("run.AsmDat"), "-o", path("alone.pdf")}, path("alone/bin/zb740-cli"));
    EXPECT_EQ(alone.status, 1);
    EXPECT_TRUE(alone.err.startsWith("zb740-cli: cannot run ")) << alone.err.constData();
    EXPECT_TRUE(alone.err.contains("/alone/libexec/zb740/zb740-cli-draw: No such file or directory"))
        << alone.err.constData();
    EXPECT_FALSE(QFileInfo::exists(path("alone.pdf")));
    // The text commands need no helper.
    EXPECT_EQ(runLoaded(path("logs"), {"info", path("run.AsmDat")}, path("alone/bin/zb740-cli")).status, 0);
}
