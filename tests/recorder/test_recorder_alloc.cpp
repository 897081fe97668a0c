// Committing a sample allocates nothing, journal included: every heap
// allocation (operator new and the malloc family, Qt's own included) made
// while the recorder commits samples of a journaled run is counted.
#include "RecorderFixture.h"

#include <gtest/gtest.h>

#include "CountingAllocator.h"

namespace {

class RecorderAlloc : public RecorderFixture {};

TEST_F(RecorderAlloc, CommittingASampleToTheJournalAllocatesNothing)
{
#ifndef ZB740_COUNT_MALLOC
    GTEST_SKIP() << "allocations are counted with glibc only";
#endif
    recorder->confirmRun(1, 1000);
    // The run's start begins the journal (a path, a file): allowed to
    // allocate. The first commit too (first use of the signal).
    ASSERT_TRUE(sample(1796687155, reading(0)));
    ASSERT_TRUE(recorder->journal().isOpen());

    const meter::MeterReading sent[2] = {readingOf(reading(1)), readingOf(reading(2))};
    const int before = commits;
    long long allocations = 0;
    for (int i = 1; i < 300; ++i) {
        // The tick makes the sample due and polls a meter that is not
        // there (a port that is not open says why in a text): outside the
        // count. The reply comes and is committed: counted.
        tick(1796687155 + i);
        const long long start = g_allocations.load();
        emit recorder->link().readingReceived(sent[i % 2]);
        allocations += g_allocations.load() - start;
    }
    // Two replies lost: when the next one comes, the two missed samples
    // repeat the one before them.
    for (int i = 300; i <= 302; ++i)
        tick(1796687155 + i);
    const long long start = g_allocations.load();
    emit recorder->link().readingReceived(sent[0]);
    allocations += g_allocations.load() - start;
    EXPECT_EQ(commits - before, 299 + 3);
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(recorder->journal().count(), 303);
}

TEST_F(RecorderAlloc, FoldingReadingsAndSignallingWhatChangedAllocatesNothing)
{
#ifndef ZB740_COUNT_MALLOC
    GTEST_SKIP() << "allocations are counted with glibc only";
#endif
    // The link hands over readings (and rejected buffers); the recorder
    // folds each into the run and signals the reading and every alarm
    // change to a listener, as it does for the window.
    AlarmLimits limits;
    limits.high[kAir] = 25.0f;
    limits.low[kRh] = 45.0f;
    recorder->setAlarmLimits(limits);
    int readings = 0, alarmChanges = 0, rejected = 0, lcdChanges = 0;
    int64_t lastTime = 0;
    QObject::connect(recorder.get(), &Recorder::readingDecoded, [&](const ReadingUpdate& u) {
        ++readings;
        lcdChanges += u.lcdChanged;
        lastTime = u.time;
    });
    QObject::connect(recorder.get(), &Recorder::alarmChanged, [&](const AlarmChange& c) {
        ++alarmChanges;
        lastTime = c.time;
    });
    QObject::connect(recorder.get(), &Recorder::bufferRejected, [&] { ++rejected; });

    constexpr int kReadings = 300;
    std::vector<meter::MeterReading> sent;
    for (int i = 0; i < kReadings; ++i) {
        meter::MeterReading r = readingOf(
            {15.0f + 0.037f * i, 12.0f + 0.01f * i, 8.0f - 0.02f * i, (i % 7 == 3) ? -1000.0f : 30.0f + 0.11f * i,
             40.0f + 0.05f * i},
            i % 13 < 6);
        r.flagsA |= (i % 5 == 0) ? meter::kAHold : 0;
        r.flagsB |= (i % 4 == 0) ? meter::kBBacklight : 0;
        sent.push_back(r);
    }
    recorder->confirmRun(1, 1000);
    // The run starts on the first frame, its first sample (its journal is
    // begun: allowed to allocate), and the signals are used once. The
    // readings that follow are no samples: no tick makes one due.
    frame(1796687155, reading(0));
    ASSERT_EQ(recorder->run().m_nCount, 1);

    RunState& run = recorder->run();
    const long long before = g_allocations.load();
    for (int i = 0; i < kReadings; ++i) {
        clockNow = 1796687156 + i;
        emit recorder->link().readingReceived(sent[size_t(i)]);
        emit recorder->link().bufferRejected();
    }
    const long long allocations = g_allocations.load() - before;
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(readings, kReadings + 1);
    EXPECT_EQ(rejected, kReadings);
    EXPECT_GT(lcdChanges, kReadings / 2);
    EXPECT_GE(alarmChanges, 4);  // AIR high and RH low, on and off
    EXPECT_EQ(lastTime, 1796687156 + kReadings - 1);
    EXPECT_EQ(run.m_nCount, 1);
    EXPECT_EQ(live->at(kRh, 1), sent.back().rh);
}

} // namespace
