// A month of unattended recording at one sample a second (2.6 million
// samples) on the real code: the simulated meter's frames go through the
// link's resynchronising decoder into the recorder, its watchdog and the
// continuous recorder with its journals, data files and events log, all on
// one injected clock that the test advances, so the month takes about a
// minute. The month has dropouts every few hours, daily rotation across
// the end of daylight-saving time, an hour in which no file can be written,
// and a kill with a restart in the middle. Then every file and the events
// log are read back and compared with what the meter sent.
//
// The files go into a folder in memory (/dev/shm where there is one). The
// hour without writes is a file size limit of zero bytes (RLIMIT_FSIZE,
// with SIGXFSZ ignored): every write to a file of the process then fails
// with EFBIG, as writes fail on a full disk, without a disk of its own.
//
// Memory: this executable counts the bytes the process holds on the heap
// (malloc, calloc, realloc, the aligned forms, and operator new through
// them), and the count ten seconds into day 30 equals the count ten
// seconds into day 1.
#include "TempDir.h"

#include "base/LocalTime.h"
#include "data/DataFile.h"
#include "data/EventLog.h"
#include "data/ReadingStore.h"
#include "link/MeterProtocol.h"
#include "link/SimulatedMeter.h"
#include "recorder/ContinuousRecorder.h"
#include "recorder/Recorder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <array>
#include <atomic>
#include <cstring>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <malloc.h>
#include <memory>
#include <sys/resource.h>
#include <vector>

// --- the heap, counted in bytes held -----------------------------------------
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#define ZB740_COUNT_HEAP 1
namespace {
std::atomic<long long> g_heapBytes {0};
void held(void* p, long long sign)
{
    if (p)
        g_heapBytes.fetch_add(sign * (long long)malloc_usable_size(p), std::memory_order_relaxed);
}
} // namespace
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t size)
{
    void* p = __libc_malloc(size);
    held(p, 1);
    return p;
}
void* calloc(size_t n, size_t size)
{
    void* p = __libc_calloc(n, size);
    held(p, 1);
    return p;
}
void* realloc(void* old, size_t size)
{
    held(old, -1);
    void* p = __libc_realloc(old, size);
    // A failed realloc keeps the old block.
    held(p != nullptr || size == 0 ? p : old, 1);
    return p;
}
void free(void* p)
{
    held(p, -1);
    __libc_free(p);
}
void* memalign(size_t alignment, size_t size)
{
    void* p = __libc_memalign(alignment, size);
    held(p, 1);
    return p;
}
void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
int posix_memalign(void** out, size_t alignment, size_t size)
{
    void* p = memalign(alignment, size);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
}
#endif

namespace {

constexpr int64_t kDays = 30;
constexpr int64_t kSeconds = kDays * 86400;
// Central European time: daylight-saving time ends on 25 October 2026.
const char kZone[] = "CET-1CEST,M3.5.0,M10.5.0/3";

int64_t localMoment(int year, int month, int day, int hour, int minute, int second)
{
    return LocalTime::join({year, month, day, hour, minute, second});
}

int32_t dateOf(int64_t t)
{
    const LocalTime::Fields f = LocalTime::split(t);
    return f.year * 10000 + f.month * 100 + f.day;
}

void setFileSizeLimit(rlim_t bytes)
{
    struct rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

class MonthSoak : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_oldZone = qgetenv("TZ");
        ::setenv("TZ", kZone, 1);
        ::tzset();
        ::signal(SIGXFSZ, SIG_IGN);
        // The C library loads its message catalog the first time it words
        // an error (about 500 bytes, kept for the life of the process):
        // here, rather than in the middle of the month at the first write
        // that fails.
        (void)std::strerror(EFBIG);
    }
    void TearDown() override
    {
        setFileSizeLimit(RLIM_INFINITY);
        if (m_oldZone.isNull())
            ::unsetenv("TZ");
        else
            ::setenv("TZ", m_oldZone.constData(), 1);
        ::tzset();
    }
    QByteArray m_oldZone;
};

// One run of the program: recorder and continuous recorder on the clock.
struct Program {
    std::unique_ptr<LiveSeries> live = std::make_unique<LiveSeries>();
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<ContinuousRecorder> continuous;
    // Reports of trouble writing: how many, and the shortest time between
    // two of them.
    struct Reports {
        int count = 0;
        int64_t last = -1;
        int64_t shortestGap = std::numeric_limits<int64_t>::max();
    };

    Program(const QString& folder, const std::function<int64_t()>& clock, Reports& reports)
    {
        LinkOptions o;
        o.portDevice = QDir(folder).filePath(QStringLiteral("no-port")); // never opens: the bytes come from the test
        o.sysfsRoot = QDir(folder).filePath(QStringLiteral("sys"));
        recorder = std::make_unique<Recorder>(o, *live);
        recorder->setClockMs(clock);
        AlarmLimits limits = noAlarmLimits();
        limits.high[kAir] = 23.0f;
        limits.low[kRh] = 44.0f;
        recorder->setAlarmLimits(limits);
        ContinuousOptions c;
        c.folder = folder;
        c.prefix = QStringLiteral("soak");
        c.interval = 1;
        c.fileSamples = kMaxRunSamples;
        c.daily = true;
        continuous = std::make_unique<ContinuousRecorder>(*recorder, c);
        QObject::connect(continuous.get(), &ContinuousRecorder::problem, [&reports, clock](const QString&) {
            const int64_t now = clock() / 1000;
            if (reports.last >= 0)
                reports.shortestGap = std::min(reports.shortestGap, now - reports.last);
            reports.last = now;
            ++reports.count;
        });
        recorder->link().setComPort(1);
        recorder->link().start();
    }
};

TEST_F(MonthSoak, AMonthAtOneSampleASecondKeepsEverySampleOnceInDailyFilesWithSteadyMemory)
{
    const QString shm = QStringLiteral("/dev/shm");
    QTemporaryDir dir(QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm + QStringLiteral("/zb740-soak-XXXXXX")
                                                                            : QDir::tempPath() + QStringLiteral("/zb740-soak-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path();

    const int64_t t0 = localMoment(2026, 10, 10, 13, 17, 0);
    int64_t clockMs = t0 * 1000;
    const auto clock = [&clockMs] { return clockMs; };

    // The meter, and what it sent while the link was up (as parsed from
    // its frames), by second.
    SimulatedMeter meter;
    meter.setClockMs(clock);
    std::vector<uint8_t> sent(size_t(kSeconds), 0);
    std::vector<float> values(size_t(kSeconds) * kChannelCount, 0.0f);
    QByteArray bytes(meter::kFrameSize, '\0');

    // The month's plan, in seconds since t0.
    const int64_t fullFrom = localMoment(2026, 10, 21, 23, 30, 0) - t0; // an hour across a midnight
    const int64_t fullTo = fullFrom + 3600;
    const int64_t killAt = localMoment(2026, 10, 27, 14, 2, 17) - t0;
    const int64_t restartAt = killAt + 30;
    const auto dropout = [](int64_t s) {
        // Every 5 h 17 min the meter is silent for 20 s (longer than the
        // watchdog waits).
        return s > 3600 && s % 19020 < 20;
    };
    int dropouts = 0;
    const int64_t day1 = localMoment(2026, 10, 11, 0, 0, 10) - t0;
    const int64_t day30 = localMoment(2026, 11, 9, 0, 0, 10) - t0;
    ASSERT_LT(day30, kSeconds);
    ASSERT_EQ((day30 - day1 + 3600) / 86400 + 1, kDays); // the 25-hour day in between
    // Bytes on the heap ten seconds into each day (1..30).
    std::array<long long, kDays + 1> heap {};

    Program::Reports reports;
    auto program = std::make_unique<Program>(folder, clock, reports);
    ASSERT_TRUE(program->continuous->begin().ok());
    int recovered = 0;
    for (int64_t s = 0; s < kSeconds; ++s) {
        if (s == fullFrom)
            setFileSizeLimit(0);
        if (s == fullTo)
            setFileSizeLimit(RLIM_INFINITY);
        if (s == killAt) {
            // The process dies: nothing more is written, nothing saved.
            program.reset();
        }
        if (s == restartAt) {
            program = std::make_unique<Program>(folder, clock, reports);
            QObject::connect(program->continuous.get(), &ContinuousRecorder::eventOccurred, [&recovered](const MonitorEvent& e) {
                recovered += e.kind == MonitorEvent::Kind::Recovered ? e.samples : 0;
            });
            ASSERT_TRUE(program->continuous->begin().ok());
        }
        const int64_t ms = (t0 + s) * 1000;
        if (program) {
            // The poll at the sample's moment, the reply on the wire time
            // later, the watchdog in between every third second.
            clockMs = ms;
            program->recorder->pollTick();
            if (!dropout(s)) {
                clockMs = ms + 100;
                const meter::FrameBytes frame = meter.currentFrame();
                std::memcpy(bytes.data(), frame.data(), frame.size());
                const std::optional<meter::MeterReading> r = meter::parseFrame(bytes);
                ASSERT_TRUE(r);
                sent[size_t(s)] = 1;
                float* v = &values[size_t(s) * kChannelCount];
                v[kAir] = r->air, v[kWb] = r->wb, v[kDp] = r->dp, v[kKir] = r->kir, v[kRh] = r->rh;
                program->recorder->link().receive(bytes);
            } else if (s % 19020 == 0) {
                ++dropouts;
            }
            if (s % 3 == 2) {
                clockMs = ms + 500;
                program->recorder->link().watchdogTick();
            }
        }
#ifdef ZB740_COUNT_HEAP
        if (s >= day1 && (s - day1) % 86400 == 0 && (s - day1) / 86400 + 1 <= kDays)
            heap[size_t((s - day1) / 86400 + 1)] = g_heapBytes.load();
#endif
    }
    clockMs = (t0 + kSeconds) * 1000;
    EXPECT_EQ(program->continuous->finish(), 0);
    // The hour without writes: reported at once and then once a minute.
    EXPECT_GE(reports.count, 50);
    EXPECT_LE(reports.count, 62);
    EXPECT_GE(reports.shortestGap, ContinuousRecorder::kReportSeconds);
    EXPECT_FALSE(program->continuous->troubled());
    program.reset();
#ifdef ZB740_COUNT_HEAP
    // The first process, from day 1 to the day it is killed, through the
    // hour without writes (day 12 holds that hour's samples in memory).
    const int killDay = int((killAt - day1) / 86400) + 1;
    const int restartDay = int((restartAt - day1) / 86400) + 2;
    for (int day = 2; day <= killDay; ++day) {
        if (day == 12)
            EXPECT_GT(heap[12], heap[1] + 3000 * kChannelCount * 4) << "the hour's samples wait in memory";
        else
            EXPECT_EQ(heap[size_t(day)], heap[1]) << "bytes on the heap, ten seconds into day " << day << " and day 1";
    }
    // The restarted process, from its first whole day to day 30.
    for (int day = restartDay + 1; day <= int(kDays); ++day)
        EXPECT_EQ(heap[size_t(day)], heap[size_t(restartDay)])
            << "bytes on the heap, ten seconds into day " << day << " and day " << restartDay;
    EXPECT_GT(heap[1], 0);
    if (std::getenv("ZB740_SOAK_HEAP")) {
        for (int day = 1; day <= int(kDays); ++day)
            std::fprintf(stderr, "day %d: %lld bytes on the heap\n", day, heap[size_t(day)]);
    }
#endif
    EXPECT_GT(recovered, 0) << "the journal the kill left was recovered";

    // --- everything read back ---
    const QDir d(folder);
    EXPECT_TRUE(d.entryList({QStringLiteral("*.journal")}, QDir::Files).isEmpty())
        << d.entryList({QStringLiteral("*.journal")}, QDir::Files).join(QLatin1Char(' ')).toStdString();
    std::vector<uint8_t> seen(size_t(kSeconds), 0);
    auto record = std::make_unique<ReviewRecord>();
    const QStringList files = d.entryList({QStringLiteral("soak-*.AsmDat")}, QDir::Files, QDir::Name);
    int64_t samples = 0, mismatches = 0, strays = 0, twice = 0;
    bool midnightAfterDst = false;
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        YScaleValues scale;
        ASSERT_TRUE(DataFile::load(d.filePath(name), *record, scale).ok());
        ASSERT_TRUE(QFileInfo::exists(d.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".csv"))));
        const int64_t start = DataFile::startOf(*record);
        ASSERT_GE(record->count, 1);
        ASSERT_LE(record->count, kMaxRunSamples);
        EXPECT_EQ(record->interval, 1);
        EXPECT_TRUE(name.startsWith(QStringLiteral("soak-") + LocalTime::format(start, "%Y%m%d-%H%M%S")));
        EXPECT_EQ(dateOf(start), dateOf(start + record->count - 1)) << "one date per file";
        midnightAfterDst = midnightAfterDst || start == localMoment(2026, 10, 26, 0, 0, 0);
        for (int k = 0; k < record->count; ++k) {
            const int64_t s = start + k - t0;
            if (s < 0 || s >= kSeconds || !sent[size_t(s)]) {
                ++strays;
                continue;
            }
            twice += seen[size_t(s)];
            seen[size_t(s)] = 1;
            for (int c = 0; c < kChannelCount; ++c)
                mismatches += record->at(k, c) != values[size_t(s) * kChannelCount + size_t(c)];
        }
        samples += record->count;
    }
    int64_t missing = 0, sentWhileUp = 0;
    for (int64_t s = 0; s < kSeconds; ++s) {
        // While the program was dead, nobody asked the meter.
        if (s >= killAt && s < restartAt)
            continue;
        sentWhileUp += sent[size_t(s)];
        missing += sent[size_t(s)] && !seen[size_t(s)];
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(strays, 0);
    EXPECT_EQ(twice, 0);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(samples, sentWhileUp);
    EXPECT_GT(sentWhileUp, kSeconds * 99 / 100);
    EXPECT_TRUE(midnightAfterDst) << "a file starts at midnight after the 25-hour day";

    // The events log: every line reads back, and tells the month.
    QList<MonitorEvent> events;
    const Status loaded = EventLog::load(ContinuousRecorder::eventsPathFor(folder, QStringLiteral("soak")), events);
    ASSERT_TRUE(loaded.ok()) << loaded.message().toStdString();
    int starts = 0, stops = 0, alarms = 0, lost = 0, back = 0, fileEvents = 0, recoveredEvents = 0;
    for (const MonitorEvent& e : events) {
        starts += e.kind == MonitorEvent::Kind::Start;
        stops += e.kind == MonitorEvent::Kind::Stop;
        alarms += e.kind == MonitorEvent::Kind::Alarm;
        lost += e.kind == MonitorEvent::Kind::LinkLost;
        back += e.kind == MonitorEvent::Kind::LinkBack;
        fileEvents += e.kind == MonitorEvent::Kind::File;
        recoveredEvents += e.kind == MonitorEvent::Kind::Recovered;
    }
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(lost, dropouts);
    EXPECT_EQ(back, dropouts);
    EXPECT_EQ(fileEvents + recoveredEvents, files.size());
    EXPECT_EQ(recoveredEvents, 1);
    EXPECT_GT(alarms, 100);
    // In time order, as they happened.
    for (qsizetype i = 1; i < events.size(); ++i)
        EXPECT_LE(events[i - 1].time, events[i].time) << i;
}

} // namespace
