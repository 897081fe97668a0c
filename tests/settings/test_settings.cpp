// INI semantics and the program's settings keys, on real files in a
// temporary folder.
#include "data/AlarmLimitSet.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "FileNodes.h"
#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

void writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class SettingsTest : public TempDirTest {};

} // namespace

TEST_F(SettingsTest, IntegerReadsTakeLeadingDigits)
{
    writeFile(path("a.ini"), "[COMInfo]\nCOM num=12abc\nempty=\nword=abc\nneg=-5\nspaced =  7 \n"
                             "[Other]\nCOM num=3\n");
    const IniFile ini(path("a.ini"));
    struct Case {
        const char* section;
        const char* key;
        int expected;
    } cases[] = {
        {"COMInfo", "COM num", 12},
        {"cominfo", "com NUM", 12}, // names are case-insensitive
        {"COMInfo", "empty", 99},
        {"COMInfo", "word", 99},
        {"COMInfo", "neg", -5},
        {"COMInfo", "spaced", 7},
        {"COMInfo", "missing", 99},
        {"Missing", "COM num", 99},
        {"Other", "COM num", 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ini.readInt(c.section, c.key, 99), c.expected) << c.section << "/" << c.key;
    EXPECT_EQ(IniFile(path("nofile.ini")).readInt("COMInfo", "COM num", 1), 1);
}

TEST_F(SettingsTest, TextReadsAreTrimmedAndLimited)
{
    writeFile(path("a.ini"), QByteArray("[S]\nk =  140.5 \nlong=") + QByteArray(400, 'x') + "\n");
    const IniFile ini(path("a.ini"));
    EXPECT_EQ(ini.readText("s", "K", "d"), "140.5");
    EXPECT_EQ(ini.readText("s", "none", "d"), "d");
    EXPECT_EQ(ini.readText("s", "long", "").size(), IniFile::kMaxTextLength);
}

TEST_F(SettingsTest, WriteKeepsTheRestOfTheFile)
{
    writeFile(path("a.ini"), "; comment\n[First]\nkeep=1\nCOM num=3\n\n[Second]\nother=x\n");
    const IniFile ini(path("a.ini"));
    ASSERT_TRUE(ini.writeText("first", "com NUM", "7").ok());   // replaced in place, key spelling kept
    ASSERT_TRUE(ini.writeText("Second", "added", "y").ok());    // appended to its section
    ASSERT_TRUE(ini.writeText("Third", "Samprate", "").ok());   // new section, empty value
    EXPECT_EQ(readFile(path("a.ini")),
              "; comment\n[First]\nkeep=1\nCOM num=7\n\n[Second]\nother=x\nadded=y\n[Third]\nSamprate=\n");
    EXPECT_EQ(ini.readText("Third", "Samprate", "default"), "");
}

TEST_F(SettingsTest, WriteToAnUnwritablePlaceFailsQuietly)
{
    writeFile(path("file"), "x");
    EXPECT_FALSE(IniFile(path("file/sub.ini")).writeText("S", "k", "v").ok());
}

TEST_F(SettingsTest, WriteKeepsEveryOtherLineByteForByte)
{
    // Bytes that are no UTF-8 (Latin-1 umlauts, a cut sequence, every high
    // byte), Windows line ends and a tab: a write changes its own line only.
    QByteArray highBytes;
    for (int b = 0x80; b <= 0xFF; ++b)
        highBytes.append(char(b));
    QByteArray before;
    for (int i = 0; i < 64; ++i)
        before += "; " + highBytes + "\r\n";
    before += "; Gr\xFC\xDF" "e aus K\xF6ln\r\n[COMInfo]\r\n  COM num = 3\r\nName=M\xFCller\r\n\r\n"
              "[Other]\r\nbad=\xE2\x82\r\n\tlast=\xFF\xFE\r\n";
    writeFile(path("a.ini"), before);
    const IniFile ini(path("a.ini"));

    ASSERT_TRUE(ini.writeText("cominfo", "COM NUM", "7").ok());
    QByteArray expected = before;
    expected.replace("  COM num = 3\r\n", "COM num=7\r\n");
    EXPECT_EQ(readFile(path("a.ini")), expected);

    // A new key joins the end of its section in the file's own line ends.
    ASSERT_TRUE(ini.writeText("Other", "added", "x").ok());
    expected.replace("\tlast=\xFF\xFE\r\n", "\tlast=\xFF\xFE\r\nadded=x\r\n");
    EXPECT_EQ(readFile(path("a.ini")), expected);

    EXPECT_EQ(ini.readInt("COMInfo", "COM num", 0), 7);
    EXPECT_EQ(ini.readText("other", "ADDED", "d"), "x");
    EXPECT_EQ(ini.readText("COMInfo", "Name", "d"), QString::fromUtf8("M\xFCller")); // read as before
}

TEST_F(SettingsTest, OnlyRegularFilesOfSaneSizeAreRead)
{
    // A FIFO is neither waited for nor read.
    ASSERT_TRUE(makeFifo(path("fifo.ini")));
    {
        FifoUnblocker guard(path("fifo.ini"));
        EXPECT_EQ(IniFile(path("fifo.ini")).readInt("COMInfo", "COM num", 5), 5);
        EXPECT_EQ(IniFile(path("fifo.ini")).readText("COMInfo", "COM num", "d"), "d");
        EXPECT_EQ(guard.done(), 0) << "reading the settings blocked on a FIFO";
    }
    EXPECT_EQ(IniFile(m_tmp.path()).readInt("COMInfo", "COM num", 5), 5); // a folder
    EXPECT_EQ(IniFile("/dev/null").readInt("COMInfo", "COM num", 5), 5);

    // Up to 1 MiB is read; one byte more and the file is ignored, said once
    // on one line that names the file.
    QByteArray text = "[COMInfo]\nCOM num=4\n;";
    text += QByteArray(1024 * 1024 - 1 - text.size(), 'x') + '\n';
    ASSERT_EQ(text.size(), 1024 * 1024);
    writeFile(path("limit.ini"), text);
    writeFile(path("big.ini"), text + '\n');
    testing::internal::CaptureStderr();
    EXPECT_EQ(IniFile(path("limit.ini")).readInt("COMInfo", "COM num", 5), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(IniFile(path("big.ini")).readInt("COMInfo", "COM num", 5), 5);
    const QString err = QString::fromStdString(testing::internal::GetCapturedStderr());
    EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(path("big.ini"))) << err.toStdString();
    EXPECT_TRUE(err.contains("1 MiB")) << err.toStdString();

    // A write never replaces what it could not read.
    EXPECT_FALSE(IniFile(path("big.ini")).writeText("COMInfo", "COM num", "2").ok());
    EXPECT_EQ(readFile(path("big.ini")), text + '\n');
    {
        FifoUnblocker guard(path("fifo.ini"));
        EXPECT_FALSE(IniFile(path("fifo.ini")).writeText("COMInfo", "COM num", "2").ok());
        EXPECT_EQ(guard.done(), 0) << "writing the settings blocked on a FIFO";
    }
    EXPECT_EQ(fileTypeOf(path("fifo.ini")), mode_t(S_IFIFO));
}

TEST_F(SettingsTest, SettingsPathCreatesItsFolder)
{
    AppOptions o;
    o.settingsDir = path("ZB740");
    const QString p = settings::settingsFilePath(o);
    EXPECT_EQ(p, path("ZB740/ZB740.ini"));
    EXPECT_TRUE(QFileInfo(path("ZB740")).isDir());
}

TEST_F(SettingsTest, DefaultsWithoutFiles)
{
    const IniFile none(path("none.ini"));
    EXPECT_EQ(settings::readComPort(none), 1);
    EXPECT_EQ(gainForIndex(settings::readGainIndex(none, settings::kViewGainIndex), -1), 10);
    EXPECT_EQ(settings::readGainIndex(none, settings::kDialogGainIndex), 1);
    EXPECT_EQ(offsetForIndex(settings::readOffsetIndex(none, settings::kOffsetIndex), -1), 0);
    const settings::LimitTexts limits = settings::readConfiguredLimitTexts(none);
    const char* highs[] = {"140.0", "140.0", "140.0", "2501.0", "100.0"};
    for (int c = 0; c < kChannelCount; ++c) {
        EXPECT_EQ(limits.high[c], highs[c]);
        EXPECT_EQ(limits.low[c], "0.0");
    }
    const settings::SampleDefaults s = settings::readSampleDefaults(none);
    EXPECT_EQ(s.rateSeconds, 1);
    EXPECT_EQ(s.count, 1000);
}

// Without a configuration file the decoder's limits, the alarm panel's and
// the texts read for the file are the same ten values.
TEST_F(SettingsTest, DefaultLimitsAgreeInEveryForm)
{
    const settings::LimitTexts texts = settings::readConfiguredLimitTexts(IniFile(path("none.ini")));
    const AlarmLimits fromTexts = alarmLimitsFromTexts(texts.high, texts.low);
    const AlarmLimits decoder;
    const AlarmLimits panel = AlarmLimitSet().limits();
    const ChannelValues high {140.0f, 140.0f, 140.0f, 2501.0f, 100.0f};
    const ChannelValues low {};
    for (const AlarmLimits& l : {fromTexts, decoder, panel}) {
        EXPECT_EQ(l.high, high);
        EXPECT_EQ(l.low, low);
    }
}

TEST_F(SettingsTest, OutOfTableValuesFallBack)
{
    writeFile(path("a.ini"), "[COMInfo]\nCOM num=17\n[YGAINInfo]\nGAIN num=9\n[YOFFSETInfo]\nOFFSET num=5\n");
    const IniFile ini(path("a.ini"));
    EXPECT_EQ(settings::readComPort(ini), 1);
    EXPECT_EQ(gainForIndex(settings::readGainIndex(ini, 3), 10), 10);
    EXPECT_EQ(offsetForIndex(settings::readOffsetIndex(ini, 0), 0), 0);
    EXPECT_EQ(gainForIndex(8, 10), 500);
    EXPECT_EQ(offsetForIndex(3, 0), -2);
    EXPECT_EQ(gainForIndex(-1, 10), 10);
}

TEST_F(SettingsTest, CloseWritesEveryKeyInOrder)
{
    settings::CloseValues v;
    v.comPort = 4;
    for (int c = 0; c < kChannelCount; ++c) {
        v.limits.high[c] = QString::number(100 + c);
        v.limits.low[c] = QString::number(c);
    }
    v.gain = 20;
    v.offset = -2;
    ASSERT_TRUE(settings::writeAtClose(IniFile(path("z.ini")), v).ok());
    const QByteArray text = readFile(path("z.ini"));
    const char* expectedOrder[] = {
        "[COMInfo]\nCOM num=4\n", "[Alarmhi1Info]\nHi1 limit=100\n", "[Alarmhi5Info]\nHi5 limit=104\n",
        "[Alarmlow1Info]\nLow1 limit=0\n", "[Alarmlow5Info]\nLow5 limit=4\n", "[SamprateInfo]\nSamprate=\n",
        "[SampdataInfo]\nSampdata=\n", "[GainInfo]\nGain=20\n", "[OffsetInfo]\nOffset=-2\n"};
    qsizetype last = -1;
    for (const char* part : expectedOrder) {
        const qsizetype at = text.indexOf(part);
        EXPECT_GT(at, last) << part;
        last = at;
    }
}

TEST_F(SettingsTest, CloseTriesEveryKeyAfterOneFailsAndReportsTheFirstFailure)
{
    // A small real file system: room for the settings file with short
    // values, none for one with a 10,000-character limit text. That key
    // fails; every key after it is still written.
    ASSERT_TRUE(QDir().mkpath(path("small")));
    ScopedTmpfs fs;
    fs.mount(path("small"), 64);
    if (!fs.mounted())
        return;
    ASSERT_TRUE(fs.leaveFree(8192));
    const QString file = path("small/ZB740.ini");
    settings::CloseValues v;
    v.comPort = 3;
    for (int c = 0; c < kChannelCount; ++c) {
        v.limits.high[c] = QString::number(100 + c);
        v.limits.low[c] = QString::number(c);
    }
    v.limits.high[1] = QString(10000, QLatin1Char('9'));
    v.limits.low[4] = QString(10000, QLatin1Char('8'));
    v.sampleRateText = QStringLiteral("5");
    v.sampleDataText = QStringLiteral("2000");
    v.gain = 50;
    v.offset = 2;
    const Status s = settings::writeAtClose(IniFile(file), v);
    EXPECT_FALSE(s.ok());
    EXPECT_TRUE(s.message().startsWith(QStringLiteral("Could not write \"%1\": ").arg(file))) << s.message().toStdString();

    const QByteArray text = readFile(file);
    for (const char* written : {"COM num=3\n", "Hi1 limit=100\n", "Hi3 limit=102\n", "Hi5 limit=104\n", "Low1 limit=0\n",
                                "Low4 limit=3\n", "Samprate=5\n", "Sampdata=2000\n", "Gain=50\n", "Offset=2\n"})
        EXPECT_TRUE(text.contains(written)) << written << " in\n" << text.toStdString();
    EXPECT_FALSE(text.contains("Hi2 limit")) << "the value that did not fit";
    EXPECT_FALSE(text.contains("Low5 limit"));
}
