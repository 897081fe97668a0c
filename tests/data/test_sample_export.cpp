// zb740-cli export --format csv and jsonl, and info --stats, run as the
// built program and read back by programs this project did not write:
// Python's csv and json modules and datetime.fromisoformat (python3, run as
// a process), and LibreOffice Calc where it is installed.
#include "DataFixtures.h"
#include "TempDir.h"

#include "base/LocalTime.h"
#include "data/RunFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QString kCli = QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli");
const QString kScripts = QStringLiteral(ZB740_TEST_DATA_DIR);

struct Result {
    int status = -1;
    QByteArray out, err;
};

Result runProgram(const QString& program, const QStringList& args, const char* zone,
                  const QList<QPair<QString, QString>>& env = {}, int timeoutMs = 120000)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("TZ"), QString::fromLatin1(zone));
    for (const auto& [name, value] : env)
        e.insert(name, value);
    p.setProcessEnvironment(e);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit)
        return {-1, {}, p.readAllStandardError()};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

Result cli(const QStringList& args, const char* zone = "UTC0") { return runProgram(kCli, args, zone); }

QString python() { return QStandardPaths::findExecutable(QStringLiteral("python3")); }

// A run as the table of cases gives it: its zone, local start, interval,
// count, unit and the readings of each sample.
struct RunCase {
    const char* name;
    const char* zone;
    LocalTime::Fields start;
    int interval;
    int count;
    bool fahrenheit;
    std::function<ChannelValues(int)> values;
};

ChannelValues roomReading(int i)
{
    const float t = float(i);
    return {21.0f + 3.0f * std::sin(t / 50.0f), 15.25f + 0.05f * float(i % 40), 9.0f - 0.01f * t,
            (i % 17 == 5) ? kKirNoReading : 30.0f + 0.37f * float(i % 23), 45.0f + 0.3f * float(i % 100)};
}

// Negative readings and the ones whose tenth is a negative zero: rounded
// (AIR, WB, DP, RH) or cut toward zero (K/IR).
ChannelValues edgeReading(int i)
{
    static const ChannelValues rows[] = {
        {-0.04f, -0.05f, -0.06f, -0.09f, 0.04f},
        {-12.37f, -40.0f, -0.25f, -0.15f, 0.0f},
        {-0.0f, -99.96f, -100.04f, -1000.0f, 100.0f},
        {-273.15f, -0.949f, 0.05f, -999.9f, 99.95f},
        {0.25f, 0.35f, -0.35f, kKirNoReading, 50.05f},
        {-17.78f, -17.7777f, -40.0f, -55.0f, 12.0f},
    };
    return rows[size_t(i) % (sizeof rows / sizeof rows[0])];
}

const RunCase kCases[] = {
    {"spring change in Berlin", "Europe/Berlin", {2026, 3, 29, 1, 59, 58}, 1, 4, false, roomReading},
    {"autumn change in Berlin: an hour twice", "Europe/Berlin", {2026, 10, 25, 1, 59, 58}, 600, 20, false,
     roomReading},
    {"degrees F, west of UTC", "America/New_York", {2026, 12, 31, 23, 59, 30}, 15, 12, true, edgeReading},
    {"negative values and -0.0 cuts", "Europe/Berlin", {2026, 12, 11, 2, 0, 7}, 2, 12, false, edgeReading},
    {"degrees F, negatives", "Europe/Berlin", {2026, 7, 1, 12, 0, 0}, 1, 6, true, edgeReading},
    {"one sample, half-hour offset", "Asia/Kolkata", {2026, 12, 11, 9, 0, 0}, 60, 1, false, roomReading},
    {"an offset with seconds", "Europe/Amsterdam", {1937, 6, 30, 23, 59, 0}, 60, 3, false, roomReading},
    {"10000 samples, a year of hours", "Europe/Berlin", {2026, 1, 1, 0, 0, 0}, 3600, 10000, false, roomReading},
};

class SampleExportCli : public TempDirTest {
protected:
    // The run's data file and its .csv, written by Save's own path.
    QString save(const RunCase& c, const QString& name)
    {
        ScopedTimeZone tz(c.zone);
        auto live = std::make_unique<LiveSeries>();
        RunState run;
        run.m_nCount = c.count;
        run.m_tStart = LocalTime::join(c.start);
        run.m_nSampleMs = c.interval * 1000;
        run.m_bFahrenheit = c.fahrenheit;
        run.m_strUnit = c.fahrenheit ? QStringLiteral("F") : QStringLiteral("C");
        for (int i = 0; i < c.count; ++i)
            live->writeSlot(i, c.values(i));
        const QString dataPath = path(name + QStringLiteral(".AsmDat"));
        const Status s = RunFiles::saveRun(dataPath, RunView::of(*live, run.info()), {10, 0});
        EXPECT_TRUE(s.ok()) << s.message().toStdString();
        return dataPath;
    }
};

} // namespace

TEST_F(SampleExportCli, CsvAndJsonLinesReadRightWithPythonsOwnParsers)
{
    if (python().isEmpty())
        GTEST_SKIP() << "python3 is not installed: the exports cannot be checked with its parsers";
    int n = 0;
    for (const RunCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const QString data = save(c, QStringLiteral("run%1").arg(n++));
        for (const char* format : {"csv", "jsonl"}) {
            for (const bool utc : {false, true}) {
                SCOPED_TRACE(testing::Message() << format << (utc ? " --utc" : " local"));
                const QString out = data + QLatin1Char('.') + QLatin1String(format) + (utc ? ".utc" : "");
                QStringList args {"export", data, "--format", QLatin1String(format), "-o", out};
                if (utc)
                    args << "--utc";
                const Result exported = cli(args, c.zone);
                ASSERT_EQ(exported.status, 0) << exported.err.toStdString();
                const Result checked = runProgram(python(),
                                                  {kScripts + "/check_sample_export.py", data, out,
                                                   QLatin1String(format), utc ? "utc" : "local"},
                                                  c.zone);
                EXPECT_EQ(checked.status, 0) << checked.out.toStdString() << checked.err.toStdString();
                EXPECT_EQ(checked.out, "ok " + QByteArray::number(c.count) + "\n");
            }
        }
    }
}

TEST_F(SampleExportCli, TheExactTextsOfTheFormats)
{
    // The examples of the help page, and a K/IR reading the meter did not
    // have: an empty field, null. Tenths are those of the float's exact
    // value (12.35f is 12.3500004: 12.4), a tie to the even one (16.25: 16.2).
    const RunCase c {"", "Europe/Berlin", {2026, 12, 11, 2, 0, 7}, 10, 2, false, [](int i) {
                         return i == 0 ? ChannelValues {22.5f, 16.3f, 12.5f, 29.04f, 53.1f}
                                       : ChannelValues {-0.04f, 16.25f, 12.35f, kKirNoReading, 53.15f};
                     }};
    const QString data = save(c, QStringLiteral("texts"));
    Result r = cli({"export", data, "--format", "csv", "-o", "-"}, c.zone);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), std::string("time,utc_offset,air_C,wet_bulb_C,dew_point_C,k_ir_C,rh_percent\r\n"
                                "2026-12-11T02:00:07,+01:00,22.5,16.3,12.5,29.0,53.1\r\n"
                                "2026-12-11T02:00:17,+01:00,0.0,16.2,12.4,,53.2\r\n"));
    r = cli({"export", data, "--format=csv", "--utc", "-o", "-"}, c.zone);
    EXPECT_EQ(r.out.toStdString(), std::string("time,utc_offset,air_C,wet_bulb_C,dew_point_C,k_ir_C,rh_percent\r\n"
                                "2026-12-11T01:00:07,+00:00,22.5,16.3,12.5,29.0,53.1\r\n"
                                "2026-12-11T01:00:17,+00:00,0.0,16.2,12.4,,53.2\r\n"));
    r = cli({"export", data, "--format", "jsonl", "-o", "-"}, c.zone);
    EXPECT_EQ(r.out.toStdString(), std::string("{\"time\":\"2026-12-11T02:00:07+01:00\",\"air\":22.5,\"wet_bulb\":16.3,"
                                "\"dew_point\":12.5,\"k_ir\":29.0,\"rh\":53.1,\"unit\":\"C\",\"sample\":1}\n"
                                "{\"time\":\"2026-12-11T02:00:17+01:00\",\"air\":0.0,\"wet_bulb\":16.2,"
                                "\"dew_point\":12.4,\"k_ir\":null,\"rh\":53.2,\"unit\":\"C\",\"sample\":2}\n"));
    r = cli({"export", data, "--format", "jsonl", "--utc", "-o", "-"}, c.zone);
    EXPECT_TRUE(r.out.startsWith("{\"time\":\"2026-12-11T01:00:07Z\",\"air\":22.5,")) << r.out.toStdString();

    // Without -o: beside the data file, never over its tab-separated .csv.
    const QByteArray tsv = readAll(path("texts.csv"));
    for (const char* format : {"csv", "jsonl"}) {
        r = cli({"export", data, "--format", QLatin1String(format)}, c.zone);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
    }
    EXPECT_TRUE(readAll(path("texts.utf8.csv")).startsWith("time,utc_offset,"));
    EXPECT_TRUE(readAll(path("texts.jsonl")).startsWith("{\"time\":"));
    EXPECT_EQ(readAll(path("texts.csv")), tsv);

    // An empty run: the header alone, and no line.
    const QString empty = save({"", "UTC0", {2026, 1, 1, 0, 0, 0}, 1, 0, false, roomReading}, "empty");
    EXPECT_EQ(cli({"export", empty, "--format", "csv", "-o", "-"}).out,
              QByteArray("time,utc_offset,air_C,wet_bulb_C,dew_point_C,k_ir_C,rh_percent\r\n"));
    r = cli({"export", empty, "--format", "jsonl", "-o", "-"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(SampleExportCli, UsageErrors)
{
    const QString data = save(kCases[0], QStringLiteral("u"));
    const QStringList cases[] = {
        {"export", data, "--format", "xlsx"},
        {"export", data, "--format", ""},
        {"export", data, "--format", "csv", "--format", "jsonl"},
        {"export", data, "--utc"},
        {"export", data, "--format", "tsv", "--utc"},
        {"info", data, "--stats", "--stats"},
        {"info", data, "--stats=yes"},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Result r = cli(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.startsWith("zb740-cli " + args[0].toLatin1() + ": ")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(path("u.utf8.csv")));
    const Result help = cli({"export", "--help"});
    EXPECT_TRUE(help.out.contains("--format csv")) << help.out.toStdString();
    EXPECT_TRUE(cli({"info", "--help"}).out.contains("--stats"));
}

TEST_F(SampleExportCli, TsvIsTheSavedCsvByteForByte)
{
    // Every run of the table, and every data file of the fuzzing corpus
    // that loads, exported as tsv (also by default) against the .csv that
    // Save writes beside it.
    QList<QPair<QString, const char*>> files; // and the zone it was saved in
    int n = 0;
    for (const RunCase& c : kCases)
        files.append({save(c, QStringLiteral("tsv%1").arg(n++)), c.zone});
    QDirIterator corpus(QStringLiteral(ZB740_TEST_DATA_DIR "/../../fuzz/corpus"), {QStringLiteral("*.AsmDat")},
                        QDir::Files, QDirIterator::Subdirectories);
    int loaded = 0;
    while (corpus.hasNext()) {
        const QString file = corpus.next();
        auto record = std::make_unique<ReviewRecord>();
        YScaleValues scale;
        if (!DataFile::load(file, *record, scale).ok())
            continue;
        const QString copy = path(QStringLiteral("corpus%1.AsmDat").arg(loaded++));
        ASSERT_TRUE(QFile::copy(file, copy));
        // Its .csv as Save writes it.
        ScopedTimeZone tz("Europe/Berlin");
        ASSERT_TRUE(RunFiles::saveRun(path(QStringLiteral("saved%1.AsmDat").arg(loaded)), RunView::of(*record),
                                      scale)
                        .ok());
        ASSERT_TRUE(QFile::rename(path(QStringLiteral("saved%1.csv").arg(loaded)), RunFiles::exportPathFor(copy)));
        files.append({copy, "Europe/Berlin"});
    }
    EXPECT_GE(loaded, 4);
    for (const auto& [file, zone] : files) {
        SCOPED_TRACE(file.toStdString());
        const QByteArray saved = readAll(RunFiles::exportPathFor(file));
        ASSERT_FALSE(saved.isEmpty());
        for (const QStringList& format : {QStringList {}, QStringList {"--format", "tsv"}}) {
            const Result r = cli(QStringList {"export", file, "-o", "-"} + format, zone);
            EXPECT_EQ(r.status, 0) << r.err.toStdString();
            EXPECT_EQ(r.out, saved);
        }
    }
}

TEST_F(SampleExportCli, InfoStatsEqualADoublePrecisionComputationOverTheFile)
{
    if (python().isEmpty())
        GTEST_SKIP() << "python3 is not installed: the statistics cannot be checked against it";
    std::vector<RunCase> cases(std::begin(kCases), std::end(kCases));
    // No K/IR reading at all, and readings that are no number.
    cases.push_back({"no K/IR reading", "UTC0", {2026, 5, 5, 5, 5, 5}, 5, 5, true, [](int i) {
                         return ChannelValues {20.0f + float(i), NAN, 10.0f, kKirNoReading, INFINITY};
                     }});
    cases.push_back({"empty", "UTC0", {2026, 5, 5, 5, 5, 5}, 5, 0, false, roomReading});
    int n = 0;
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString data = save(c, QStringLiteral("stats%1").arg(n++));
        const Result r = cli({"info", data, "--stats"}, c.zone);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        ASSERT_TRUE(writeAll(data + ".info", r.out));
        const Result checked = runProgram(python(), {kScripts + "/check_info_stats.py", data, data + ".info"}, c.zone);
        EXPECT_EQ(checked.status, 0) << checked.out.toStdString() << checked.err.toStdString();
        EXPECT_EQ(checked.out, "ok\n");
    }

    // Without --stats: the keys as before, and the end.
    ScopedTimeZone tz("UTC0");
    LiveRun c(3, utc(2026, 12, 7, 23, 45, 55), 2);
    ASSERT_TRUE(RunFiles::saveRun(path("c.AsmDat"), RunView::of(*c.live, c.run.info()), {10, -2}).ok());
    const Result r = cli({"info", path("c.AsmDat")});
    EXPECT_EQ(r.out, QByteArray("{\"count\":3,\"fahrenheit\":false,\"unit\":\"C\",\"start\":\"2026-12-07T23:45:55\","
                                "\"interval\":2,\"gain\":10,\"offset\":-2,\"end\":\"2026-12-07T23:45:59\"}\n"));
}

// --- LibreOffice Calc ------------------------------------------------------

namespace {

// One cell of a sheet as Calc typed it.
struct Cell {
    QString type;  // office:value-type ("" for an empty cell)
    QString value; // office:value or office:date-value
    QString text;  // the text of a string cell
};

// The first sheet's rows of a flat OpenDocument spreadsheet.
QList<QList<Cell>> sheetRows(const QByteArray& fods)
{
    QList<QList<Cell>> rows;
    QXmlStreamReader xml(fods);
    bool inTable = false, done = false;
    while (!xml.atEnd() && !done) {
        xml.readNext();
        if (xml.isStartElement() && xml.qualifiedName() == QLatin1String("table:table"))
            inTable = true;
        else if (xml.isEndElement() && xml.qualifiedName() == QLatin1String("table:table"))
            done = true;
        else if (inTable && xml.isStartElement() && xml.qualifiedName() == QLatin1String("table:table-row"))
            rows.append(QList<Cell> {});
        else if (inTable && xml.isStartElement() && xml.qualifiedName() == QLatin1String("table:table-cell")) {
            const QXmlStreamAttributes a = xml.attributes();
            Cell cell;
            cell.type = a.value(QLatin1String("office:value-type")).toString();
            cell.value = a.hasAttribute(QLatin1String("office:date-value"))
                ? a.value(QLatin1String("office:date-value")).toString()
                : a.value(QLatin1String("office:value")).toString();
            const int repeat = std::max(1, a.value(QLatin1String("table:number-columns-repeated")).toInt());
            // A string cell's text is in its paragraph.
            if (cell.type == QLatin1String("string")) {
                bool inParagraph = false;
                while (!(xml.isEndElement() && xml.qualifiedName() == QLatin1String("table:table-cell"))
                       && !xml.atEnd()) {
                    xml.readNext();
                    if (xml.qualifiedName() == QLatin1String("text:p"))
                        inParagraph = xml.isStartElement();
                    else if (inParagraph && xml.isCharacters())
                        cell.text += xml.text();
                }
            }
            for (int i = 0; i < std::min(repeat, 16); ++i)
                rows.last().append(cell);
        }
    }
    return rows;
}

} // namespace

TEST_F(SampleExportCli, LibreOfficeCalcReadsTheTimesAsDatesAndTheValuesAsNumbers)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        GTEST_SKIP() << "LibreOffice (soffice) is not installed: the csv export was not opened in Calc";
    // Days on both sides of the 12th, where a day-month swap would show,
    // negative values and a missing K/IR reading.
    const RunCase c {"", "Europe/Berlin", {2026, 12, 10, 23, 59, 58}, 12 * 3600, 9, false, edgeReading};
    const QString data = save(c, QStringLiteral("calc"));
    const QString csv = path("calc-utf8.csv");
    ASSERT_EQ(cli({"export", data, "--format", "csv", "-o", csv}, c.zone).status, 0);
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QByteArrayList> fields;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty())
            fields << line.trimmed().split(',');
    ASSERT_EQ(fields.size(), 10);

    for (const char* locale : {"en_GB.UTF-8", "en_US.UTF-8"}) {
        SCOPED_TRACE(locale);
        // Its own home and profile: the user's are never touched.
        const QString home = path(QStringLiteral("home-%1").arg(QLatin1String(locale)));
        const QString out = path(QStringLiteral("out-%1").arg(QLatin1String(locale)));
        ASSERT_TRUE(QDir().mkpath(home));
        const Result r = runProgram(soffice,
                                    {"-env:UserInstallation=file://" + home + "/profile", "--headless", "--norestore",
                                     "--convert-to", "fods", "--outdir", out, csv},
                                    c.zone,
                                    {{"HOME", home}, {"LANG", QLatin1String(locale)}, {"LC_ALL", QLatin1String(locale)}},
                                    180000);
        ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        QFile fods(out + "/calc-utf8.fods");
        ASSERT_TRUE(fods.open(QIODevice::ReadOnly)) << r.out.toStdString() << r.err.toStdString();
        const QList<QList<Cell>> rows = sheetRows(fods.readAll());
        ASSERT_GE(rows.size(), fields.size());
        for (int i = 1; i < fields.size(); ++i) {
            SCOPED_TRACE(i);
            const QList<Cell>& row = rows[i];
            ASSERT_GE(row.size(), 7);
            EXPECT_EQ(row[0].type, "date") << "the time is a date";
            EXPECT_EQ(row[0].value, QString::fromLatin1(fields[i][0])) << "the same day and month";
            EXPECT_EQ(row[1].type, "string");
            EXPECT_EQ(row[1].text, QString::fromLatin1(fields[i][1]));
            for (int col = 2; col < 7; ++col) {
                if (fields[i][col].isEmpty()) {
                    EXPECT_EQ(row[col].type, "") << col;
                    continue;
                }
                EXPECT_EQ(row[col].type, "float") << col << ": " << fields[i][col].toStdString();
                EXPECT_EQ(row[col].value.toDouble(), fields[i][col].toDouble()) << col;
            }
        }
    }
}
