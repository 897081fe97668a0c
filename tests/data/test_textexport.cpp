#include "DataFixtures.h"

#include "data/TextExport.h"

#include <QBuffer>
#include <cmath>
#include <cstdio>
#include <random>
#include <gtest/gtest.h>

namespace {

QByteArray exportBytes(const RunView& view)
{
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    EXPECT_TRUE(TextExport::write(buf, view).ok());
    return buf.data();
}

// The export decoded after checking its byte-order mark and encoding.
QString exportText(const RunView& view)
{
    const QByteArray b = exportBytes(view);
    EXPECT_TRUE(b.startsWith("\xFF\xFE"));
    EXPECT_EQ(b.size() % 2, 0);
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(b.constData() + 2), (b.size() - 2) / 2);
}

QStringList rows(const QString& text)
{
    EXPECT_TRUE(text.endsWith(QLatin1String("\r\n")));
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    return lines;
}

} // namespace

TEST(TextExport, ValuesFollowTheDisplayRules)
{
    struct Case {
        float stored;
        int channel;
        bool fahrenheit;
        const char* shown;
    };
    const Case cases[] = {
        {20.0f, kAir, true, "68.0"},
        {55.0f, kRh, true, "55.0"},
        {55.0f, kRh, false, "55.0"},
        {-40.0f, kDp, true, "-40.0"},
        {25.96f, kAir, false, "26.0"},    // others round
        {25.96f, kKir, false, "25.9"},    // K/IR is cut toward zero
        {-12.37f, kKir, false, "-12.3"},
        {0.7f, kKir, false, "0.7"},       // cut in single precision
        {25.0f, kKir, true, "77.0"},
        {100.05f, kKir, true, "212.0"},   // 212.09 converted, then cut
        {kKirNoReading, kKir, false, "----"},
        {kKirNoReading, kKir, true, "----"},
        {-1000.0f, kKir, false, "----"},
        {-999.9f, kKir, false, "-999.9"},
        {kKirNoReading, kAir, false, "-9000.0"}, // dashes belong to K/IR only
        {2501.0f, kKir, false, "2501.0"},
        {-0.05f, kKir, false, "0.0"},     // the cut of a small negative is zero, not "-0.0"
        {-17.8f, kKir, true, "0.0"},      // -0.04 F
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored << " channel " << c.channel << " F " << c.fahrenheit);
        EXPECT_EQ(TextExport::formatValue(c.stored, c.channel, c.fahrenheit), QByteArray(c.shown));
    }
}

TEST(TextExport, WholeFileInCelsiusAndFahrenheit)
{
    ScopedTimeZone tz("UTC0");
    LiveRun c(2, utc(2026, 12, 7, 23, 45, 55), 1);
    c.live->writeSlot(0, {20.0f, 15.0f, 10.0f, 25.96f, 55.0f});
    c.live->writeSlot(1, {20.04f, 15.06f, -0.5f, kKirNoReading, 54.95f});
    const QByteArray bytes = exportBytes(RunView::of(*c.live, c.run.info()));
    const char* text = "NO\tAIR(C)\tWB(C)\tDP(C)\tK/IR(C)\tRH(%RH)\tTIME\r\n"
                       "1\t20.0\t15.0\t10.0\t25.9\t55.0\t12-07-26/23:45:55\r\n"
                       "2\t20.0\t15.1\t-0.5\t----\t55.0\t12-07-26/23:45:56\r\n";
    QByteArray expected("\xFF\xFE");
    for (const char* p = text; *p; ++p)
        expected.append(*p).append('\0');
    EXPECT_EQ(bytes, expected);

    LiveRun f(1, utc(2026, 12, 7, 23, 45, 55), 1, true);
    f.live->writeSlot(0, {20.0f, 15.0f, 10.0f, 25.0f, 55.0f});
    EXPECT_EQ(exportText(RunView::of(*f.live, f.run.info())),
              QStringLiteral("NO\tAIR(F)\tWB(F)\tDP(F)\tK/IR(F)\tRH(%RH)\tTIME\r\n"
                             "1\t68.0\t59.0\t50.0\t77.0\t55.0\t12-07-26/23:45:55\r\n"));
}

TEST(TextExport, EmptyRunIsTheHeaderOnly)
{
    LiveRun r(0, 0, 1);
    EXPECT_EQ(rows(exportText(RunView::of(*r.live, r.run.info()))).size(), 1);
}

TEST(TextExport, SampleTimesCrossMidnightAndDaylightSaving)
{
    struct Case {
        const char* zone;
        int64_t start;
        int interval;
        int count;
        std::vector<const char*> times;
    };
    const Case cases[] = {
        {"UTC0", utc(2026, 12, 31, 23, 59, 58), 2, 3, {"12-31-26/23:59:58", "01-01-27/00:00:00", "01-01-27/00:00:02"}},
        // 29 March 2026, 01:59 CET: clocks go from 02:00 to 03:00.
        {"Europe/Berlin", utc(2026, 3, 29, 0, 59, 0), 60, 2, {"03-29-26/01:59:00", "03-29-26/03:00:00"}},
        // 25 October 2026, 02:59 CEST: the hour 02:00-03:00 comes twice.
        {"Europe/Berlin", utc(2026, 10, 25, 0, 59, 0), 60, 2,
         {"10-25-26/02:59:00", "10-25-26/02:00:00"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        ScopedTimeZone tz(c.zone);
        LiveRun r(c.count, c.start, c.interval);
        const QStringList lines = rows(exportText(RunView::of(*r.live, r.run.info())));
        ASSERT_EQ(lines.size(), c.count + 1);
        for (size_t i = 0; i < c.times.size(); ++i)
            EXPECT_EQ(lines[int(i) + 1].section(QLatin1Char('\t'), 6), QLatin1String(c.times[i]));
        EXPECT_TRUE(lines[1].startsWith(QLatin1String("1\t")));
        EXPECT_TRUE(lines.last().startsWith(QString::number(c.count) + QLatin1Char('\t')));
    }
}

TEST(TextExport, LoadedRecordExportsTheSameBytesAsTheLiveRun)
{
    ScopedTimeZone tz("Europe/Berlin");
    LiveRun r(500, utc(2026, 3, 29, 0, 30, 0), 7, true);
    r.live->values[kKir][3] = kKirNoReading;

    QBuffer data;
    data.open(QIODevice::ReadWrite);
    ASSERT_TRUE(DataFile::write(data, RunView::of(*r.live, r.run.info()), {10, 0}).ok());
    data.seek(0);
    auto rec = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    ASSERT_TRUE(DataFile::read(data, *rec, scale).ok());

    EXPECT_EQ(exportBytes(RunView::of(*rec)), exportBytes(RunView::of(*r.live, r.run.info())));
}

TEST(TextExport, FieldsAreWhatPrintfWritesOfTheDisplayedValue)
{
    // The export's own writer against "%.1f" of the value the display rules
    // give, for every channel, both units, across and beyond the ranges.
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> any(-400.0f, 6000.0f);
    int wrong = 0;
    for (int i = 0; i < 200000 && wrong < 5; ++i) {
        const float stored = i % 2 ? any(rng) : float(std::round(any(rng) * 10.0f) / 10.0f);
        for (int c = 0; c < kChannelCount; ++c) {
            for (bool f : {false, true}) {
                if (c == kKir && stored <= kKirDashesAtOrBelow)
                    continue;
                const float shown = toDisplayUnit(stored, c, f);
                const double v = c == kKir ? cutToTenth(shown) : double(shown);
                char buf[64];
                const QByteArray expected(buf, std::snprintf(buf, sizeof buf, "%.1f", v));
                const QByteArray got = TextExport::formatValue(stored, c, f);
                if (got != expected) {
                    ++wrong;
                    ADD_FAILURE() << stored << " channel " << c << " F " << f << ": " << got.constData()
                                  << " instead of " << expected.constData();
                }
            }
        }
    }
}

TEST(TextExport, LongRunIsEveryRowAsTheCLibraryWritesIt)
{
    // A full run over more than a year of hours (both daylight-saving
    // changes, a new year), its rows of every length: short ones and, every
    // seventh, fields so long that a row is hundreds of characters. Each row
    // against the one assembled here, its time by strftime.
    ScopedTimeZone tz("Europe/Berlin");
    const int n = 10000;
    LiveRun r(n, utc(2026, 1, 1, 0, 0, 7), 3600);
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < kChannelCount; ++c)
            r.live->values[c][i] = i % 7 == 3 ? (c % 2 ? -3.0e30f : 1.7e29f) : float(i % 1000) / 10.0f - 20.0f;
    const RunView view = RunView::of(*r.live, r.run.info());

    QString expected = QString::fromLatin1(TextExport::headerLine(false)) + QStringLiteral("\r\n");
    for (int i = 0; i < n; ++i) {
        expected += QString::number(i + 1);
        for (int c = 0; c < kChannelCount; ++c)
            expected += QLatin1Char('\t') + QString::fromLatin1(TextExport::formatValue(view.value(i, c), c, false));
        const std::time_t t = std::time_t(view.timeOf(i));
        std::tm local {};
        localtime_r(&t, &local);
        char time[32];
        const size_t length = std::strftime(time, sizeof time, "%m-%d-%y/%H:%M:%S", &local);
        expected += QLatin1Char('\t') + QString::fromLatin1(time, qsizetype(length)) + QStringLiteral("\r\n");
    }
    EXPECT_GT(expected.size(), 500000) << "the export is many times any buffer of its writer";
    const QStringList want = expected.split(QStringLiteral("\r\n"));
    const QStringList got = exportText(view).split(QStringLiteral("\r\n"));
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype i = 0; i < want.size(); ++i)
        ASSERT_EQ(got[i].toStdString(), want[i].toStdString()) << "line " << i;
}
