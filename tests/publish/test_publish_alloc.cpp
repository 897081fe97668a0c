// A commit with publishing on: what the recording thread allocates while
// the recorder commits samples to its journal and the publisher hands them
// to a real broker's connection (Debian's mosquitto, started here), and
// while the broker is away. Counted on the recording thread only:
// libmosquitto's network thread allocates at its own pace. What
// mosquitto_publish itself allocates (its copy of each message, kept until
// the PUBACK) is counted apart, through a wrapper of libmosquitto loaded in
// its place (publish_wrapper.cpp).
#include "MosquittoBroker.h"
#include "RecorderFixture.h"

#include "publish/MosquittoLibrary.h"
#include "publish/MqttPublisher.h"

#include <QTest>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "CountingAllocator.h"

namespace {
thread_local long long t_inMosquittoPublish = 0;
thread_local long long t_publishes = 0;

// The wrapper calls this around each of the publisher's calls of
// mosquitto_publish.
void aroundPublish(bool entering)
{
    static thread_local long long start = 0;
    if (entering) {
        start = t_allocations;
        return;
    }
    t_inMosquittoPublish += t_allocations - start;
    ++t_publishes;
}

// Loads the wrapper as the process's libmosquitto (before any publisher
// starts) and has it call aroundPublish.
bool loadPublishWrapper()
{
    if (!qputenv("ZB740_LIBMOSQUITTO", ZB740_PUBLISH_WRAPPER))
        return false;
    if (!MosquittoLibrary::shared().status().ok())
        return false;
    void* wrapper = ::dlopen(ZB740_PUBLISH_WRAPPER, RTLD_NOW | RTLD_NOLOAD);
    if (wrapper == nullptr)
        return false;
    auto around = reinterpret_cast<void (*)(void (*)(bool))>(::dlsym(wrapper, "zb740_around_publish"));
    if (around == nullptr)
        return false;
    around(&aroundPublish);
    return true;
}

class PublishAlloc : public RecorderFixture {
protected:
    void SetUp() override
    {
        if (!MosquittoBroker::available())
            GTEST_SKIP() << "mosquitto is needed (scripts/setup-deps.sh)";
        ASSERT_TRUE(loadPublishWrapper()) << MosquittoLibrary::shared().status().message().toStdString();
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

    struct Counts {
        long long all = 0;       // on the recording thread, in the commits
        long long inLibrary = 0; // of them, inside mosquitto_publish
        long long publishes = 0;
    };
    // Commits samples first..last; while connected, each after the
    // acknowledgements so far came in.
    Counts commitSamples(int first, int last)
    {
        const meter::MeterReading sent[2] = {readingOf(reading(1)), readingOf(reading(2))};
        Counts c;
        for (int i = first; i <= last; ++i) {
            tick(1796687155 + i);
            const long long start = t_allocations, library = t_inMosquittoPublish, publishes = t_publishes;
            emit recorder->link().readingReceived(sent[i % 2]);
            c.all += t_allocations - start;
            c.inLibrary += t_inMosquittoPublish - library;
            c.publishes += t_publishes - publishes;
            // Each commit finds the window open: it hands its own sample over.
            if (publisher.state() == MqttPublisher::State::Connected) {
                EXPECT_TRUE(QTest::qWaitFor([this] { return publisher.unacknowledged() == 0; }, 10000));
            }
        }
        return c;
    }

    MosquittoBroker broker;
    MqttPublisher publisher;
};

TEST_F(PublishAlloc, ACommitAllocatesNothingButLibmosquittosCopyOfTheMessage)
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
    const Counts connected = commitSamples(1, kSamples);
    ASSERT_TRUE(QTest::qWaitFor([this] { return publisher.unacknowledged() == 0; }, 10000));
    EXPECT_EQ(connected.publishes, kSamples);
    // Journal, fold, state message: nothing. libmosquitto: its record of
    // the message, the topic, the payload and the packet, until the PUBACK.
    EXPECT_EQ(connected.all - connected.inLibrary, 0);
    std::printf("allocations per published sample, all inside mosquitto_publish: %.2f\n",
                double(connected.inLibrary) / kSamples);

    // The broker away: the commits hand nothing over and allocate nothing.
    broker.stop();
    ASSERT_TRUE(QTest::qWaitFor([this] { return publisher.state() != MqttPublisher::State::Connected; }, 10000));
    const Counts away = commitSamples(kSamples + 1, kSamples + 100);
    EXPECT_EQ(away.publishes, 0);
    EXPECT_EQ(away.all, 0);
    EXPECT_EQ(publisher.unacknowledged(), 100);
    EXPECT_EQ(recorder->journal().count(), kSamples + 101);
}

} // namespace
