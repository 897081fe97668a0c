// CPU per published sample: the state message made from the run and
// handed to libmosquitto, sent by its network thread and acknowledged by
// the broker (QoS 1), at most MqttPublisher::kWindow in flight. Measured as
// the process's CPU time (every thread: the recording thread's share and
// the network thread's), against a broker started here: Debian's mosquitto
// on a free loopback port, its config in a temporary folder (its own CPU
// is not counted). Skipped without mosquitto.
#include "MosquittoBroker.h"

#include "data/ReadingStore.h"
#include "data/RunView.h"
#include "publish/MqttPublisher.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

void PublishSample(benchmark::State& state)
{
    if (!MosquittoBroker::available()) {
        state.SkipWithError("mosquitto is not installed (scripts/setup-deps.sh)");
        return;
    }
    QTemporaryDir folder;
    MosquittoBroker broker;
    if (!broker.start(folder.path())) {
        state.SkipWithError("mosquitto did not start");
        return;
    }
    auto live = std::make_unique<LiveSeries>();
    for (int i = 0; i < kMaxRunSamples; ++i) {
        live->values[kAir][i] = 20.0f + 0.01f * float(i % 500);
        live->values[kWb][i] = 15.0f;
        live->values[kDp][i] = 10.0f - 0.01f * float(i % 300);
        live->values[kKir][i] = 30.25f;
        live->values[kRh][i] = 50.0f + 0.02f * float(i % 200);
    }
    RunInfo info;
    info.start = 1796687155;
    info.interval = 1;
    info.unit = QStringLiteral("C");

    MqttPublisher publisher;
    MqttSettings settings;
    settings.url = broker.url();
    if (!publisher.start(settings, QStringLiteral("bench")).ok()) {
        state.SkipWithError("the publisher did not start");
        return;
    }
    auto waitFor = [](const auto& done) {
        while (!done())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    };
    waitFor([&] { return publisher.state() == MqttPublisher::State::Connected; });
    const QString file = folder.filePath(QStringLiteral("bench.AsmDat"));
    auto newPart = [&] {
        info.count = 0;
        publisher.beginPart(file, [&] { return RunView::of(*live, info); });
    };
    newPart();
    int64_t published = 0;
    for (auto _ : state) {
        if (info.count == kMaxRunSamples) {
            state.PauseTiming();
            waitFor([&] { return publisher.unacknowledged() == 0; });
            publisher.partEnded(QString());
            newPart();
            state.ResumeTiming();
        }
        ++info.count;
        publisher.committed(info.count);
        ++published;
        // The acknowledgements open the window again.
        QCoreApplication::processEvents();
        while (publisher.unacknowledged() >= MqttPublisher::kWindow)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    waitFor([&] { return publisher.unacknowledged() == 0; });
    state.SetItemsProcessed(published);
    publisher.stop(2000);
}

} // namespace

BENCHMARK(PublishSample)->Name("Publish/StateSampleQoS1")->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
