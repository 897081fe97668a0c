// A commit with publishing on: what the recording thread allocates while
// the recorder commits samples to its journal and the publisher hands them
// to a real broker's connection (Debian's mosquitto, started here), and
// while the broker is away. Counted on the recording thread only:
// libmosquitto's network thread allocates at its own pace.
#include "MosquittoBroker.h"
#include "RecorderFixture.h"

#include "publish/MqttPublisher.h"

#include <gtest/gtest.h>

#include "CountingAllocator.h"

namespace {

class PublishAlloc : public RecorderFixture {
protected:
    void SetUp() override
    {
        if (!MosquittoBroker::available())
            GTEST_SKIP() << "mosquitto is needed (scripts/setup-deps.sh)";
        RecorderFixture::SetUp();
        ASSERT_TRUE(broker.start(path("broker")));
        QObject::connect(recorder.get(), &Recorder::readingDecoded, [this](const ReadingUpdate& r) {
            if (r.runStarted && recorder->run().m_bRunning)
                publisher.beginPart(path("alloc.AsmDat"), [this] { return recorder->view(); });
        });
        QObject::connect(recorder.get(), &Recorder::sampleCommitted, [this](int n) { publisher.committed(n); });
        MqttSettings settings;
        settings.url = broker.url();
        ASSERT_TRUE(publisher.start(settings, QStringLiteral("alloc")).ok());
        ASSERT_TRUE(QTest::qWaitFor([this] { return publisher.state() == MqttPublisher::State::Connected; }, 10000));
    }
    void TearDown() override { publisher.stop(2000); }

    // Commits samples first..last, each after the acknowledgements so far
    // came in; returns what the recording thread allocated in the commits.
    long long commitSamples(int first, int last)
    {
        const meter::MeterReading sent[2] = {readingOf(reading(1)), readingOf(reading(2))};
        long long allocations = 0;
        for (int i = first; i <= last; ++i) {
            tick(1796687155 + i);
            const long long start = t_allocations;
            emit recorder->link().readingReceived(sent[i % 2]);
            allocations += t_allocations - start;
            QCoreApplication::processEvents();
        }
        return allocations;
    }

    MosquittoBroker broker;
    MqttPublisher publisher;
};

TEST_F(PublishAlloc, ACommitHandsTheSampleOverWithLibmosquittosCopyAlone)
{
#ifndef ZB740_COUNT_MALLOC
    GTEST_SKIP() << "allocations are counted with glibc only";
#endif
    recorder->confirmRun(1, 1000);
    // The run's start (journal, part) and the first sample (discovery
    // configs, first use of the signals) may allocate.
    ASSERT_TRUE(sample(1796687155, reading(0)));
    ASSERT_TRUE(QTest::qWaitFor([this] { return publisher.unacknowledged() == 0; }, 10000));

    constexpr int kSamples = 200;
    const long long connected = commitSamples(1, kSamples);
    ASSERT_TRUE(QTest::qWaitFor([this] { return publisher.unacknowledged() == 0; }, 10000));
    // Our side allocates nothing: what there is, is mosquitto_publish
    // keeping its own copy of the message (its record, the topic, the
    // payload and the packet) until the broker's PUBACK.
    const double perSample = double(connected) / kSamples;
    std::printf("allocations per committed and published sample: %.2f\n", perSample);
    EXPECT_LE(perSample, 5.0);

    // The broker away: the commits hand nothing over and allocate nothing.
    broker.stop();
    ASSERT_TRUE(QTest::qWaitFor([this] { return publisher.state() != MqttPublisher::State::Connected; }, 10000));
    const long long away = commitSamples(kSamples + 1, kSamples + 100);
    EXPECT_EQ(away, 0);
    EXPECT_EQ(publisher.unacknowledged(), 100);
    EXPECT_EQ(recorder->journal().count(), kSamples + 101);
}

} // namespace
