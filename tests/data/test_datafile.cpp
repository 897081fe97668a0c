#include "DataFixtures.h"
#include "FileNodes.h"
#include "TempDir.h"

#include "base/LocalTime.h"
#include "data/DataFile.h"
#include "data/LoggerSetTable.h"

#include <QBuffer>
#include <QFile>
#include <gtest/gtest.h>

namespace {

QByteArray store(const LiveRun& r, YScaleValues scale)
{
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    const Status res = DataFile::write(buf, RunView::of(*r.live, r.run.info()), scale);
    EXPECT_TRUE(res.ok()) << res.message().toStdString();
    return buf.data();
}

Status loadBytes(const QByteArray& bytes, ReviewRecord& rec, YScaleValues& scale)
{
    QBuffer buf;
    buf.setData(bytes);
    buf.open(QIODevice::ReadOnly);
    return DataFile::read(buf, rec, scale);
}

// A record filled with a sentinel, to show that failed loads leave it alone.
std::unique_ptr<ReviewRecord> sentinelRecord()
{
    auto rec = std::make_unique<ReviewRecord>();
    rec->count = 7;
    std::fill(std::begin(rec->values), std::end(rec->values), 42.0f);
    rec->year = 1999;
    rec->interval = 9;
    rec->unitText = QStringLiteral("F");
    rec->readMagic = QStringLiteral("old");
    return rec;
}

void expectSentinel(const ReviewRecord& rec, const YScaleValues& scale)
{
    EXPECT_EQ(rec.count, 7);
    EXPECT_EQ(rec.values[0], 42.0f);
    EXPECT_EQ(rec.values[kMaxSamples * kChannelCount - 1], 42.0f);
    EXPECT_EQ(rec.year, 1999);
    EXPECT_EQ(rec.interval, 9);
    EXPECT_EQ(rec.unitText, QStringLiteral("F"));
    EXPECT_EQ(rec.readMagic, QStringLiteral("old"));
    EXPECT_EQ(scale, (YScaleValues {5, 2}));
}

} // namespace

TEST(DataFile, ThreeSamplesInCelsiusHaveTheFileLayout)
{
    ScopedTimeZone tz("UTC0");
    LiveRun r(3, utc(2026, 12, 7, 23, 45, 55), 2);
    r.live->values[kKir][1] = kKirNoReading;
    const QByteArray bytes = store(r, {10, -2});

    Bytes expected;
    expected.u8(6).raw("KM4471").i32(3);
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < kChannelCount; ++c)
            expected.f32(r.live->values[c][i]);
    expected.u8(0).i32(2026).i32(12).i32(7).i32(23).i32(45).i32(55).i32(2).u8(1).raw("C").i32(10).i32(-2);
    ASSERT_EQ(bytes.size(), 110);
    EXPECT_EQ(bytes, expected.b);
    // -9000.0 is kept as it is in the data file (sample 1, K/IR at 11 + 20 + 12).
    EXPECT_EQ(bytes.mid(43, 4), QByteArray("\x00\xA0\x0C\xC6", 4));
}

TEST(DataFile, FahrenheitRunStoresFlagAndUnit)
{
    ScopedTimeZone tz("UTC0");
    LiveRun r(1, utc(2026, 1, 2, 3, 4, 5), 1, true);
    const QByteArray bytes = store(r, {500, 5});
    ASSERT_EQ(bytes.size(), 70);
    EXPECT_EQ(bytes.at(31), 1);
    EXPECT_EQ(bytes.mid(60, 2), QByteArray("\x01" "F"));
}

TEST(DataFile, EmptyRunIs50BytesAndLoadsAsEmptyRecordWithItsStart)
{
    ScopedTimeZone tz("UTC0");
    LiveRun r(0, utc(2026, 12, 31, 23, 59, 58), 5);
    const QByteArray bytes = store(r, {20, 0});
    ASSERT_EQ(bytes.size(), 50);

    auto rec = sentinelRecord();
    YScaleValues scale {5, 2};
    const Status res = loadBytes(bytes, *rec, scale);
    ASSERT_TRUE(res.ok()) << res.message().toStdString();
    EXPECT_EQ(rec->count, 0);
    EXPECT_EQ(rec->readMagic, QStringLiteral("KM4471"));
    EXPECT_EQ(rec->year, 2026);
    EXPECT_EQ(rec->month, 12);
    EXPECT_EQ(rec->day, 31);
    EXPECT_EQ(rec->hour, 23);
    EXPECT_EQ(rec->minute, 59);
    EXPECT_EQ(rec->second, 58);
    EXPECT_EQ(rec->interval, 5);
    EXPECT_EQ(rec->startTime, utc(2026, 12, 31, 23, 59, 58));
    EXPECT_EQ(scale, (YScaleValues {20, 0}));
}

TEST(DataFile, RoundTripKeepsValuesTimesAndScale)
{
    ScopedTimeZone tz("Europe/Berlin");
    const int64_t start = 1785000000; // a summer day: daylight saving in force
    LiveRun r(kMaxRunSamples, start, 3, true);
    r.live->values[kKir][17] = kKirNoReading;
    const QByteArray bytes = store(r, {200, -5});
    EXPECT_EQ(bytes.size(), 50 + 20 * kMaxRunSamples);

    auto rec = sentinelRecord();
    YScaleValues scale {5, 2};
    const Status res = loadBytes(bytes, *rec, scale);
    ASSERT_TRUE(res.ok()) << res.message().toStdString();
    EXPECT_EQ(rec->count, kMaxRunSamples);
    for (int i = 0; i < kMaxRunSamples; ++i)
        for (int c = 0; c < kChannelCount; ++c)
            ASSERT_EQ(rec->at(i, c), r.live->at(c, i)) << "sample " << i << " channel " << c;
    EXPECT_EQ(rec->at(17, kKir), kKirNoReading);
    EXPECT_EQ(rec->unitFlag, 1);
    EXPECT_EQ(rec->unitText, QStringLiteral("F"));
    EXPECT_EQ(rec->interval, 3);
    EXPECT_EQ(DataFile::startOf(*rec), start);
    EXPECT_EQ(scale, (YScaleValues {200, -5}));
}

TEST(DataFile, StartTimesBeyond32BitSecondsLoadWhole)
{
    // The file stores calendar fields of any year 1900..9999; the loaded
    // record keeps the moment they name, and so does a copy through the
    // logger's table.
    ScopedTimeZone tz("UTC0");
    for (const int64_t start : {utc(2039, 3, 1, 10, 0, 0), utc(2038, 1, 19, 3, 14, 8), utc(1901, 12, 13, 20, 45, 51),
                                utc(1900, 1, 1, 0, 0, 0), utc(9999, 12, 31, 23, 59, 59)}) {
        SCOPED_TRACE(start);
        LiveRun r(3, start, 60);
        auto rec = sentinelRecord();
        YScaleValues scale {5, 2};
        ASSERT_TRUE(loadBytes(store(r, {10, 0}), *rec, scale).ok());
        EXPECT_EQ(rec->startTime, start);
        EXPECT_EQ(DataFile::startOf(*rec), start);
        EXPECT_EQ(LocalTime::split(rec->startTime), rec->startFields());

        auto table = std::make_unique<LoggerSetTable>();
        (void)table->append(*rec, scale);
        auto shown = sentinelRecord();
        ASSERT_TRUE(table->copyTo(0, *shown, scale));
        EXPECT_EQ(shown->startTime, start);
        EXPECT_EQ(shown->startFields(), rec->startFields());
        EXPECT_EQ(table->view(0).timeOf(2), start + 120);
    }
}

TEST(DataFile, IntervalIsWholeSecondsOfTheSampleTime)
{
    ScopedTimeZone tz("UTC0");
    LiveRun r(0, 0, 1);
    r.run.m_nSampleMs = 2999;
    const QByteArray bytes = store(r, {});
    EXPECT_EQ(qFromLittleEndian<int32_t>(bytes.constData() + 36), 2);
}

TEST(DataFile, ForeignAndDamagedFilesAreRefusedAndLeaveTheRecordAlone)
{
    ScopedTimeZone tz("UTC0");
    const QByteArray good = store(LiveRun(2, utc(2026, 5, 6, 7, 8, 9), 1), {10, 0});
    auto withCount = [&](int32_t n) {
        QByteArray b = good;
        qToLittleEndian(n, b.data() + 7);
        return b;
    };
    auto withInt = [&](int offset, int32_t v) {
        QByteArray b = good;
        qToLittleEndian(v, b.data() + offset);
        return b;
    };
    // Unit text prefix at 40 + 40 = 80 replaced by a 4 GB length.
    QByteArray hugeText = good.left(80);
    hugeText += QByteArray("\xFF\xFF\xFF\xF0\xFF\xFF\xFF", 7);

    struct Case {
        const char* what;
        QByteArray bytes;
        Status::Code status;
        const char* messagePart;
    };
    const Case cases[] = {
        {"other magic", QByteArray("\x06KM4472") + good.mid(7), Status::Code::InvalidFormat, "Invalid Format!"},
        {"lower-case magic", QByteArray("\x06km4471") + good.mid(7), Status::Code::InvalidFormat, "Invalid Format!"},
        {"empty file", QByteArray(), Status::Code::InvalidFormat, "Invalid Format!"},
        {"text file", QByteArray("NO\tAIR(C)\tWB(C)\r\n"), Status::Code::InvalidFormat, "Invalid Format!"},
        {"garbage", QByteArray("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x13\x37", 10), Status::Code::InvalidFormat,
         "Invalid Format!"},
        {"count too large", withCount(kMaxSamples + 1), Status::Code::Damaged, "out of range"},
        {"count negative", withCount(-1), Status::Code::Damaged, "out of range"},
        {"count beyond the file", withCount(3), Status::Code::Damaged, "ends before"},
        {"month 13", withInt(56, 13), Status::Code::Damaged, "not a valid date"},
        {"hour 24", withInt(64, 24), Status::Code::Damaged, "not a valid date"},
        {"negative interval", withInt(76, -1), Status::Code::Damaged, "negative"},
        {"absurd unit text", hugeText, Status::Code::Damaged, "impossible length"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto rec = sentinelRecord();
        YScaleValues scale {5, 2};
        const Status res = loadBytes(c.bytes, *rec, scale);
        EXPECT_EQ(res.code(), c.status);
        EXPECT_TRUE(res.message().contains(QLatin1String(c.messagePart))) << res.message().toStdString();
        expectSentinel(*rec, scale);
    }

    // Cut anywhere after the magic: damaged, with nothing taken over.
    for (qsizetype len = 7; len < good.size(); ++len) {
        SCOPED_TRACE(len);
        auto rec = sentinelRecord();
        YScaleValues scale {5, 2};
        const Status res = loadBytes(good.left(len), *rec, scale);
        EXPECT_EQ(res.code(), Status::Code::Damaged);
        EXPECT_TRUE(res.message().startsWith(QLatin1String("The file ends before"))) << res.message().toStdString();
        expectSentinel(*rec, scale);
    }
}

class DataFileOnDisk : public TempDirTest {};

TEST_F(DataFileOnDisk, LoadOpensReadOnly)
{
    ScopedTimeZone tz("UTC0");
    const QString p = path("ro.AsmDat");
    ASSERT_TRUE(writeAll(p, store(LiveRun(4, utc(2026, 5, 6, 7, 8, 9), 1), {10, 0})));
    QFile::setPermissions(p, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    auto rec = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    EXPECT_TRUE(DataFile::load(p, *rec, scale).ok());
    EXPECT_EQ(rec->count, 4);

    // Permission bits do not stop root, but a running executable cannot be
    // opened for writing by anyone: reaching the magic check shows the file
    // was opened for reading only.
    EXPECT_EQ(DataFile::load(QStringLiteral("/proc/self/exe"), *rec, scale).code(), Status::Code::InvalidFormat);

    const Status missing = DataFile::load(path("none.AsmDat"), *rec, scale);
    EXPECT_EQ(missing.code(), Status::Code::CannotOpen);
    EXPECT_FALSE(missing.message().isEmpty());
}


TEST_F(DataFileOnDisk, OnlyRegularFilesOfPossibleSizeAreLoaded)
{
    ScopedTimeZone tz("UTC0");
    LiveRun r(3, utc(2026, 12, 7, 23, 45, 55), 2);
    const QByteArray good = store(r, {10, 0});

    // Neither waited for nor read: a FIFO, a folder, a device.
    ASSERT_TRUE(makeFifo(path("fifo.AsmDat")));
    for (const QString& p : {path("fifo.AsmDat"), m_tmp.path(), QStringLiteral("/dev/zero")}) {
        SCOPED_TRACE(p.toStdString());
        FifoUnblocker guard(path("fifo.AsmDat"));
        auto rec = sentinelRecord();
        YScaleValues scale {5, 2};
        const Status s = DataFile::load(p, *rec, scale);
        EXPECT_EQ(guard.done(), 0) << "the load blocked on the FIFO";
        EXPECT_EQ(s.code(), Status::Code::NotRegularFile);
        EXPECT_EQ(s.message(), "Not a regular file");
        expectSentinel(*rec, scale);
    }

    // Bytes after a complete file are tolerated as before; a file far
    // larger than the largest possible data file is damage.
    ASSERT_TRUE(writeAll(path("tail.AsmDat"), good + QByteArray(1000, '\0')));
    ASSERT_TRUE(writeAll(path("huge.AsmDat"), good + QByteArray(2 * 1024 * 1024, '\0')));
    auto rec = sentinelRecord();
    YScaleValues scale {5, 2};
    EXPECT_TRUE(DataFile::load(path("tail.AsmDat"), *rec, scale).ok());
    EXPECT_EQ(rec->count, 3);
    rec = sentinelRecord();
    scale = {5, 2};
    const Status s = DataFile::load(path("huge.AsmDat"), *rec, scale);
    EXPECT_EQ(s.code(), Status::Code::Damaged);
    EXPECT_TRUE(s.message().contains("larger than any data file")) << s.message().toStdString();
    expectSentinel(*rec, scale);
}
