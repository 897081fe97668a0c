// zb740-cli decode and simulate, run as the built program.
#include "FileNodes.h"
#include "FrameSamples.h"
#include "QtPrinters.h"
#include "TempDir.h"
#include "link/CMSComm.h"
#include "link/MeterProtocol.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <locale.h>
#include <memory>
#include <sys/resource.h>

using namespace meter;

namespace {

QString cli() { return QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"); }

struct CliRun {
    int exitCode = -1;
    QStringList lines;
    QString err;
};

CliRun runCli(const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.start(cli(), args);
    EXPECT_TRUE(p.waitForStarted());
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(20000));
    CliRun r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.lines = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString frameHex(float air, float kir = 30.0f)
{
    return QString::fromLatin1(bytes(encodeFrame(fields(air, kir))).toHex());
}

class Cli : public TempDirTest {
protected:
    QString config(const QByteArray& text)
    {
        QFile f(path("KM4471config.ini"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    }
};

TEST_F(Cli, DecodeExampleFrame)
{
    const CliRun r = runCli({"decode", "--config", path("missing.ini"), kExampleFrame});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_EQ(r.lines.size(), 1);
    EXPECT_EQ(r.lines[0],
        "{\"valid\":true,\"values\":[25,18.5,12,30,45],\"fahrenheit\":false,\"unit\":\"C\",\"battery\":\"Normal\","
        "\"backlight\":false,\"lcd\":{\"value1\":\"25.0\",\"value2\":\"18.5\",\"value3\":\"29.9\",\"unit\":\"C\","
        "\"maxMinA\":\"   \",\"maxMinB\":\"   \",\"holdA\":\"    \",\"holdB\":\"    \",\"recordA\":\"     \","
        "\"recordB\":\"     \",\"link\":\"PC-LINK\",\"wbDp\":\"  \",\"mode\":\"IRTEMP\"},"
        "\"max\":[\"25.0C\",\"18.5C\",\"12.0C\",\"30.0C\",\"45.0 %RH\"],"
        "\"min\":[\"25.0C\",\"18.5C\",\"12.0C\",\"30.0C\",\"45.0 %RH\"],"
        "\"hiAlarm\":[false,false,false,false,false],\"lowAlarm\":[false,false,false,false,false]}");
}

TEST_F(Cli, DecodePrintsTheSameTextsUnderAnyLocale)
{
    // A German locale writes "22,5" with printf; the decoded texts keep
    // their dots, as the limit texts always did.
    MeterReading f = fields(22.5f, 31.37f);
    f.lcd2 = 45.5f;
    f.rh = 45.5f;
    const QString frame = QString::fromLatin1(bytes(encodeFrame(f)).toHex());
    f.flagsB = kBFahrenheit;
    const QString fahrenheit = QString::fromLatin1(bytes(encodeFrame(f)).toHex());
    const QStringList args {"decode", "--config", path("missing.ini"), frame, fahrenheit};
    const QString expected[] = {
        "{\"valid\":true,\"values\":[22.5,15,10,31.37,45.5],\"fahrenheit\":false,\"unit\":\"C\",\"battery\":\"Normal\","
        "\"backlight\":false,\"lcd\":{\"value1\":\"22.5\",\"value2\":\"45.5\",\"value3\":\"31.3\",\"unit\":\"C\","
        "\"maxMinA\":\"   \",\"maxMinB\":\"   \",\"holdA\":\"    \",\"holdB\":\"    \",\"recordA\":\"     \","
        "\"recordB\":\"     \",\"link\":\"PC-LINK\",\"wbDp\":\"  \",\"mode\":\"IRTEMP\"},"
        "\"max\":[\"22.5C\",\"15.0C\",\"10.0C\",\"31.3C\",\"45.5 %RH\"],"
        "\"min\":[\"22.5C\",\"15.0C\",\"10.0C\",\"31.3C\",\"45.5 %RH\"],"
        "\"hiAlarm\":[false,false,false,false,false],\"lowAlarm\":[false,false,false,false,false]}",
        "{\"valid\":true,\"values\":[22.5,15,10,31.37,45.5],\"fahrenheit\":true,\"unit\":\"F\",\"battery\":\"Normal\","
        "\"backlight\":false,\"lcd\":{\"value1\":\"22.5\",\"value2\":\"45.5\",\"value3\":\"31.3\",\"unit\":\"F\","
        "\"maxMinA\":\"   \",\"maxMinB\":\"   \",\"holdA\":\"    \",\"holdB\":\"    \",\"recordA\":\"     \","
        "\"recordB\":\"     \",\"link\":\"PC-LINK\",\"wbDp\":\"  \",\"mode\":\"IRTEMP\"},"
        "\"max\":[\"72.5F\",\"59.0F\",\"50.0F\",\"88.4F\",\"45.5 %RH\"],"
        "\"min\":[\"72.5F\",\"59.0F\",\"50.0F\",\"88.4F\",\"45.5 %RH\"],"
        "\"hiAlarm\":[false,false,false,false,false],\"lowAlarm\":[false,false,false,false,false]}",
    };
    const locale_t german = newlocale(LC_ALL_MASK, "de_DE.UTF-8", locale_t(0));
    if (german == locale_t(0))
        GTEST_SKIP() << "no de_DE.UTF-8 locale on this machine (scripts/setup-deps.sh makes one)";
    freelocale(german);
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        SCOPED_TRACE(locale);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(locale));
        env.insert(QStringLiteral("LANG"), QString::fromLatin1(locale));
        p.setProcessEnvironment(env);
        p.start(cli(), args);
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitCode(), 0);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_FALSE(err.contains(QStringLiteral("locale"), Qt::CaseInsensitive)) << err.toStdString();
        const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[0], expected[0]);
        EXPECT_EQ(lines[1], expected[1]);
    }
}

TEST_F(Cli, DecodeCarriesStateAcrossBuffersAndSkipsInvalidOnes)
{
    // Standard input, blank lines skipped; the short buffer changes nothing.
    const QByteArray input = frameHex(25.0f).toLatin1() + "\n\n" + frameHex(40.0f).left(90).toLatin1() + "\n"
        + "AA 61 64 6A 68" + QByteArray(82, '0') + "\n" + frameHex(20.125f).toLatin1() + "\n";
    const CliRun r = runCli({"decode", "--config", path("missing.ini")}, input);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_EQ(r.lines.size(), 4);
    EXPECT_EQ(r.lines[1], "{\"valid\":false}");
    EXPECT_EQ(r.lines[2], "{\"valid\":false}");
    EXPECT_TRUE(r.lines[3].contains("\"values\":[20.125,15,10,30,50]")) << r.lines[3].toStdString();
    EXPECT_TRUE(r.lines[3].contains("\"max\":[\"25.0C\",")) << r.lines[3].toStdString();
    EXPECT_TRUE(r.lines[3].contains("\"min\":[\"20.1C\",")) << r.lines[3].toStdString();
}

TEST_F(Cli, DecodeUsesTheAlarmLimitsOfTheConfigurationFile)
{
    const QString ini = config("[ALARMHI1INFO]\r\nhi1 LIMIT=24.5\r\n[Alarmlow5Info]\r\nLow5 limit=55\r\n"
                               "[Alarmhi4Info]\r\nHi4 limit=junk\r\n");
    const CliRun r = runCli({"decode", "--config", ini, frameHex(25.0f, -5.0f)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_EQ(r.lines.size(), 1);
    // K/IR: a limit text without a number reads as 0.0, so -5 is no high alarm.
    EXPECT_TRUE(r.lines[0].contains("\"hiAlarm\":[true,false,false,false,false]")) << r.lines[0].toStdString();
    EXPECT_TRUE(r.lines[0].contains("\"lowAlarm\":[false,false,false,true,true]")) << r.lines[0].toStdString();
}

TEST_F(Cli, DecodeRejectsMalformedHex)
{
    const std::pair<QStringList, QByteArray> cases[] = {
        {{"decode", "--config", path("x.ini"), "zz"}, {}},
        {{"decode", "--config", path("x.ini"), "abc"}, {}},
        {{"decode", "--config", path("x.ini"), kExampleFrame, "AA 6"}, {}},
        {{"decode", "--config", path("x.ini")}, "AA61\nnot hex\n"},
        {{"decode", "--bogus"}, {}},
    };
    for (const auto& [args, input] : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CliRun r = runCli(args, input);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_FALSE(r.err.isEmpty());
    }
}

TEST_F(Cli, DecodeNeitherBlocksOnNorSwallowsAConfigurationThatIsNoFile)
{
    // /dev/zero would be read until memory runs out, a FIFO waited for
    // without end; the built-in limits apply and one line says why.
    ASSERT_TRUE(makeFifo(path("fifo.ini")));
    for (const QString& config : {QStringLiteral("/dev/zero"), path("fifo.ini"), m_tmp.path()}) {
        SCOPED_TRACE(config.toStdString());
        FifoUnblocker guard(path("fifo.ini"));
        QProcess p;
#if !defined(__SANITIZE_ADDRESS__)
        // Bounds the damage of a reader without end (the sanitizer needs
        // its whole address space, so not under it).
        p.setChildProcessModifier([] {
            const rlimit limit {rlim_t(1) << 30, rlim_t(1) << 30};
            ::setrlimit(RLIMIT_AS, &limit);
        });
#endif
        p.start(cli(), {"decode", "--config", config, kExampleFrame});
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(guard.done(), 0) << "blocked on the FIFO";
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
        EXPECT_TRUE(p.readAllStandardOutput().startsWith("{\"valid\":true,"));
        EXPECT_EQ(QString::fromLocal8Bit(p.readAllStandardError()),
                  QStringLiteral("zb740-cli: %1: not a regular file, ignored\n").arg(config));
    }
}

TEST_F(Cli, HelpForEachCommand)
{
    for (const char* command : {"decode", "simulate"}) {
        const CliRun r = runCli({command, "--help"});
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_TRUE(r.lines.join('\n').contains(QStringLiteral("zb740-cli %1").arg(command))) << command;
    }
    EXPECT_EQ(runCli({"simulate", "--garbage", "x"}).exitCode, 2);
}

TEST_F(Cli, SimulateAnswersOnItsPseudoTerminal)
{
    QProcess sim;
    sim.start(cli(), {"simulate", "--fahrenheit", "--split"});
    ASSERT_TRUE(sim.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.canReadLine(); }, 10000));
    const QString device = QString::fromUtf8(sim.readLine()).trimmed();
    ASSERT_TRUE(device.startsWith("/dev/")) << device.toStdString();

    CMSComm comm;
    comm.setPinnedDevice(device);
    ASSERT_TRUE(comm.setSettings("4800,n,8,1").ok());
    comm.setRThreshold(kFrameSize);
    ASSERT_TRUE(comm.setPortOpen(true).ok());
    QSignalSpy events(&comm, &CMSComm::onComm);
    ASSERT_TRUE(comm.setOutput(wakePacket()).ok());
    ASSERT_TRUE(events.wait(3000));
    QByteArray frame;
    ASSERT_TRUE(comm.readInput(frame).ok());
    std::optional<MeterReading> reading = parseFrame(frame);
    ASSERT_TRUE(reading.has_value());
    EXPECT_TRUE(reading->fahrenheit());

    ASSERT_TRUE(comm.setOutput(keyPressPacket(RemoteKey::Units)).ok());
    ASSERT_TRUE(comm.setOutput(pollPacket()).ok());
    ASSERT_TRUE(events.wait(3000));
    ASSERT_TRUE(comm.readInput(frame).ok());
    reading = parseFrame(frame);
    ASSERT_TRUE(reading.has_value());
    EXPECT_FALSE(reading->fahrenheit());
    ASSERT_TRUE(comm.setPortOpen(false).ok());

    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_TRUE(sim.readAllStandardError().contains("received FF AA 55 6B 28 00 00 00 93 00 FF"));
}

} // namespace
