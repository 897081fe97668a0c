// When the recorder takes its samples, by its own clock (injected, in
// milliseconds): the reading that starts a run is its first sample, and
// sample k is the reply to the poll at start + k x interval, committed the
// moment it arrives. The test plays the link (readings as it hands them
// over) and the poll timer (its ticks at the moments it would fire).
#include "RecorderFixture.h"

#include "link/SimulatedMeter.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int64_t kStart = 1796687155; // 2026-12-07 23:45:55 UTC

ChannelValues sampleValues(const RunView& view, int k)
{
    ChannelValues v;
    for (int c = 0; c < kChannelCount; ++c)
        v[size_t(c)] = view.value(k, c);
    return v;
}

class SampleTimes : public RecorderFixture {
protected:
    void SetUp() override
    {
        RecorderFixture::SetUp();
        recorder->setClockMs([this] { return nowMs; });
        QObject::connect(recorder.get(), &Recorder::sampleCommitted, [this](int count) {
            committedAt.push_back(nowMs);
            committedValues.push_back(live->at(kAir, count - 1));
        });
    }

    // A reply with AIR `air` arriving at `ms`.
    void reply(int64_t ms, float air)
    {
        nowMs = ms;
        emit recorder->link().readingReceived(readingOf({air, 15.0f, 10.0f, 30.0f, 50.0f}));
    }
    // The poll timer's tick at `ms`.
    void tickAt(int64_t ms)
    {
        nowMs = ms;
        recorder->pollTick();
    }
    float air(int sample) const { return live->at(kAir, sample); }
    const RunState& run() const { return recorder->run(); }

    int64_t nowMs = 0;
    std::vector<int64_t> committedAt;
    std::vector<float> committedValues;
};

TEST_F(SampleTimes, TheReadingThatStartsTheRunIsItsFirstSampleAndEachSampleIsTheReplyAtItsMoment)
{
    // Ticks once a second before the run, replies 96 ms after each.
    const int64_t t0 = kStart * 1000 - 1300;
    tickAt(t0);
    reply(t0 + 96, 1.0f); // before Run: no sample
    recorder->confirmRun(3, 1000);
    EXPECT_EQ(run().m_nCount, 0);
    tickAt(t0 + 1000);
    const int64_t started = t0 + 1096; // 0.204 s before kStart: to the nearest second
    reply(started, 2.0f);
    ASSERT_EQ(run().m_nCount, 1) << "the reading that started the run is sample 0";
    EXPECT_EQ(run().m_tStart, kStart);
    EXPECT_EQ(air(0), 2.0f);
    ASSERT_EQ(committedAt.size(), 1u);
    EXPECT_EQ(committedAt[0], started) << "committed as it arrived";

    // From now on the poll timer ticks on the run's phase: at started + n s.
    // Sample k is the reply to the tick at started + 3k s; the replies in
    // between are no samples but fill the slot being filled.
    for (int n = 1; n <= 10; ++n) {
        const int64_t tick = started + 1000 * n;
        tickAt(tick);
        EXPECT_EQ(recorder->samplesDue(), n / 3 + 1) << n;
        reply(tick + 96, 10.0f + n);
        EXPECT_EQ(run().m_nCount, n / 3 + 1) << n;
        EXPECT_EQ(committedAt.back(), n < 3 ? started : started + 3000 * (n / 3) + 96)
            << "a sample's reply is committed on arrival";
    }
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(air(k), 10.0f + 3 * k) << "sample " << k << " is the reply at start + " << 3 * k << " s";
    EXPECT_EQ(air(4), 20.0f) << "the slot being filled holds the latest reply";
    // The run's times: start + k x interval, each within half a second of
    // the reply it holds.
    const RunView view = recorder->view();
    for (int k = 0; k < view.count(); ++k) {
        EXPECT_EQ(view.timeOf(k), kStart + 3 * k);
        EXPECT_LE(std::abs(view.timeOf(k) * 1000 - (started + 3000 * k)), 500) << k;
    }
}

TEST_F(SampleTimes, TicksALittleEarlyOrLateStandForTheirMoment)
{
    recorder->confirmRun(2, 1000);
    const int64_t start = kStart * 1000;
    reply(start, 1.0f);
    struct Step {
        int64_t tickOffset; // from the moment
        int moment;         // seconds of the run
        int due;
    };
    // A timer may fire a little early, or late when the program was busy.
    for (const Step s : {Step {-40, 1, 1}, Step {+700, 2, 2}, Step {-90, 3, 2}, Step {+5, 4, 3}, Step {0, 5, 3}}) {
        tickAt(start + 1000 * s.moment + s.tickOffset);
        EXPECT_EQ(recorder->samplesDue(), s.due) << s.moment;
        reply(start + 1000 * s.moment + s.tickOffset + 96, float(s.moment));
    }
    ASSERT_EQ(run().m_nCount, 3);
    EXPECT_EQ(air(1), 2.0f);
    EXPECT_EQ(air(2), 4.0f);
}

TEST_F(SampleTimes, ALostReplyIsMadeUpWhenTheMeterAnswersAgainSoLaterSamplesKeepTheirTimes)
{
    const int64_t start = kStart * 1000;
    // An interval of 3 s: the reply to the due poll is lost; the next poll's
    // reply, a second later, is that sample.
    recorder->confirmRun(3, 1000);
    reply(start, 1.0f);
    tickAt(start + 1000);
    reply(start + 1096, 2.0f);
    tickAt(start + 2000);
    reply(start + 2096, 3.0f);
    tickAt(start + 3000); // sample 1 due: its reply is lost
    EXPECT_EQ(run().m_nCount, 1);
    tickAt(start + 4000);
    reply(start + 4096, 5.0f);
    ASSERT_EQ(run().m_nCount, 2);
    EXPECT_EQ(air(1), 5.0f);
    // Two replies lost in a row: at the next sample's moment the missed one
    // keeps the latest reading, from before its moment.
    tickAt(start + 5000);
    reply(start + 5096, 6.0f);
    tickAt(start + 6000); // sample 2 due; no reply now or a second later
    tickAt(start + 7000);
    tickAt(start + 8000);
    tickAt(start + 9000); // sample 3 due
    EXPECT_EQ(run().m_nCount, 2) << "nothing is committed without a reply";
    // The meter answers again: the missed sample takes the latest reading
    // from before its moment, and the reply is the sample due now.
    reply(start + 9096, 10.0f);
    ASSERT_EQ(run().m_nCount, 4);
    EXPECT_EQ(air(2), 6.0f);
    EXPECT_EQ(air(3), 10.0f);

    // An interval of 1 s, two replies lost: no reading came since the last
    // sample, so the missed samples repeat it.
    recorder->stopRun();
    recorder->confirmRun(1, 1000);
    const int64_t second = start + 60000;
    reply(second, 20.0f);
    tickAt(second + 1000);
    reply(second + 1096, 21.0f);
    tickAt(second + 2000);
    tickAt(second + 3000);
    EXPECT_EQ(run().m_nCount, 2);
    tickAt(second + 4000);
    reply(second + 4096, 24.0f);
    ASSERT_EQ(run().m_nCount, 5);
    EXPECT_EQ(air(2), 21.0f);
    EXPECT_EQ(air(3), 21.0f);
    EXPECT_EQ(air(4), 24.0f);
    EXPECT_EQ(recorder->journal().count(), 5) << "held samples are journaled as any other";

    // A meter that falls silent gets no samples: the watchdog ends the run.
    for (int n = 5; n <= 9; ++n)
        tickAt(second + 1000 * n);
    EXPECT_EQ(run().m_nCount, 5);
    linkLost();
    EXPECT_FALSE(run().m_bRunning);
    reply(second + 9096, 30.0f);
    EXPECT_EQ(run().m_nCount, 5);
}

TEST_F(SampleTimes, TheRunEndsWithItsLastSampleAndEachRunHasItsOwnPhase)
{
    QSignalSpy finished(recorder.get(), &Recorder::runFinished);
    const int64_t start = kStart * 1000 + 250;
    recorder->confirmRun(1, 3);
    reply(start, 1.0f);
    for (int n = 1; n <= 2; ++n) {
        tickAt(start + 1000 * n);
        reply(start + 1000 * n + 96, 1.0f + n);
    }
    EXPECT_EQ(run().m_nCount, 3);
    EXPECT_TRUE(run().m_bIdle) << "ended with its last sample, not with the next frame";
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(recorder->samplesDue(), 0);
    tickAt(start + 3000);
    reply(start + 3096, 9.0f);
    EXPECT_EQ(run().m_nCount, 3);

    // The next run takes its phase and time from its own first reading,
    // 0.6 s into a second: to the nearest second.
    const int64_t next = kStart * 1000 + 10600;
    recorder->confirmRun(2, 1000);
    tickAt(next - 96);
    reply(next, 30.0f);
    EXPECT_EQ(run().m_nCount, 1);
    EXPECT_EQ(run().m_tStart, kStart + 11);
    tickAt(next + 1000);
    reply(next + 1096, 31.0f);
    tickAt(next + 2000);
    reply(next + 2096, 32.0f);
    EXPECT_EQ(run().m_nCount, 2);
    EXPECT_EQ(air(1), 32.0f);

    // Stopped: no more samples.
    recorder->stopRun();
    tickAt(next + 4000);
    reply(next + 4096, 40.0f);
    EXPECT_EQ(run().m_nCount, 2);
    EXPECT_EQ(recorder->samplesDue(), 0);
}

TEST_F(SampleTimes, ARunThatAFrameStartedAfterStopIsArmedAgainByRun)
{
    recorder->confirmRun(1, 1000);
    recorder->stopRun();
    reply(kStart * 1000, 1.0f); // starts the stopped run: no sample
    EXPECT_EQ(run().m_nCount, 0);
    EXPECT_EQ(run().m_tStart, kStart);
    recorder->confirmRun(1, 1000);
    tickAt(kStart * 1000 + 30000);
    EXPECT_EQ(run().m_nCount, 0) << "armed: nothing is due before the run starts";
    reply(kStart * 1000 + 30096, 2.0f);
    ASSERT_EQ(run().m_nCount, 1);
    EXPECT_EQ(run().m_tStart, kStart + 30) << "the run's own first reading is its start";
    EXPECT_EQ(air(0), 2.0f);
    ASSERT_EQ(journals().size(), 1);
    EXPECT_TRUE(journals().constFirst().endsWith(Recovery::nameFor(kStart + 30) + ".journal"));
}

// The real recorder on its own timers and clocks, over the real serial
// layer, against the simulated meter on a pseudo-terminal. The meter's
// frames are told apart by their readings (they drift from frame to frame);
// the moment each left the meter is read from the system clock as it sends
// it.
class SampleTimesWithTheMeter : public TempDirTest {};

TEST_F(SampleTimesWithTheMeter, EachSampleIsTheReadingTakenAtItsTime)
{
    SimulatedMeter meter;
    const Status started = meter.start();
    ASSERT_TRUE(started.ok()) << started.message().toStdString();
    std::vector<int64_t> sentAt;
    QObject::connect(&meter, &SimulatedMeter::frameSent,
                     [&sentAt] { sentAt.push_back(QDateTime::currentMSecsSinceEpoch()); });

    LinkOptions o;
    o.portDevice = meter.devicePath();
    o.sysfsRoot = path("sys");
    auto live = std::make_unique<LiveSeries>();
    Recorder recorder(o, *live);
    std::vector<ReadingUpdate> readings; // in the order the frames were sent
    QObject::connect(&recorder, &Recorder::readingDecoded,
                     [&readings](const ReadingUpdate& u) { readings.push_back(u); });
    std::vector<size_t> readingsAtCommit;
    QObject::connect(&recorder, &Recorder::sampleCommitted,
                     [&](int) { readingsAtCommit.push_back(readings.size()); });
    recorder.start(1);
    const RunState& run = recorder.run();
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.m_bRunEnabled; }, 5000));

    constexpr int kInterval = 2, kCount = 3;
    recorder.confirmRun(kInterval, kCount);
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.m_nCount == kCount && run.m_bIdle; }, 15000)) << run.m_nCount;
    recorder.shutDown();
    ASSERT_EQ(sentAt.size(), readings.size()) << "every frame sent was received whole";

    const RunView view = recorder.view();
    size_t from = 0;
    for (int k = 0; k < kCount; ++k) {
        SCOPED_TRACE(k);
        // The frame that carried sample k.
        size_t j = from;
        while (j < readings.size() && readings[j].values != sampleValues(view, k))
            ++j;
        ASSERT_LT(j, readings.size()) << "the sample is a reading the meter sent";
        if (k == 0) {
            EXPECT_TRUE(readings[j].runStarted) << "the first sample is the reading that started the run";
        }
        EXPECT_EQ(readingsAtCommit[size_t(k)], j + 1) << "committed as that reading arrived, before the next";
        const int64_t stampMs = view.timeOf(k) * 1000;
        EXPECT_EQ(view.timeOf(k), view.start() + int64_t(k) * kInterval);
        EXPECT_LT(std::abs(sentAt[j] - stampMs), 1000) << "sent " << sentAt[j] << ", stamped " << stampMs;
        from = j + 1;
    }
}

} // namespace
