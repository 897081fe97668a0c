// From a reading's arrival to its sample on the graph, in the real window
// (offscreen), with the recorder on an injected clock so that the meter's
// replies can arrive at any phase of the poll.
//
//   SampleLatency/FrameToGraph
//       one sample: the poll timer's tick at the sample's moment, the reply
//       to that poll some time later (0 to 950 ms, a different phase each
//       sample), then the window's event loop until the graph has painted
//       the committed sample. The time measured is the program's own work
//       from the reply's arrival to the painted graph. The counter
//       commit_delay_ms is the longest wait, by the recorder's clock,
//       between a reply's arrival and its commit: the poll timer is the
//       sample clock, so sample k is the reply to the poll at
//       start + k x interval, committed the moment it arrives, and nothing
//       waits for a second timer. Together they are the frame-to-graph
//       delay (the target is 250 ms).
#include "app/AppOptions.h"
#include "app/CMainFrame.h"
#include "app/CKMView.h"
#include "graph/RealtimeGraph.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <algorithm>
#include <memory>

namespace {

void FrameToGraph(benchmark::State& state)
{
    QTemporaryDir folder;
    AppOptions options;
    options.settingsDir = folder.filePath(QStringLiteral("ZB740"));
    options.configFile = folder.filePath(QStringLiteral("none.ini"));
    options.sysfsRoot = folder.filePath(QStringLiteral("sys"));
    CMainFrame frame(options);
    frame.resize(1600, 1000);
    frame.show();
    QApplication::processEvents();

    Recorder& recorder = frame.recorder();
    int64_t nowMs = 1796687155000;
    recorder.setClockMs([&nowMs] { return nowMs; });
    int64_t arrivedMs = 0, longestDelayMs = 0;
    QObject::connect(&recorder, &Recorder::sampleCommitted,
                     [&] { longestDelayMs = std::max(longestDelayMs, nowMs - arrivedMs); });
    bool painted = false;
    QObject::connect(frame.view()->graph(), &RealtimeGraph::rendered, [&painted] { painted = true; });

    meter::MeterReading reading;
    reading.air = 21.5f;
    reading.wb = 15.0f;
    reading.dp = 10.0f;
    reading.kir = 30.0f;
    reading.rh = 48.0f;
    int64_t tickMs = 0;
    auto startRun = [&] {
        recorder.stopRun();
        recorder.runDiscarded();
        recorder.confirmRun(1, kMaxRunSamples);
        tickMs = nowMs += 1000;
        recorder.pollTick();
        arrivedMs = nowMs += 80;
        emit recorder.link().readingReceived(reading); // the run's first sample
        QApplication::processEvents();
    };
    startRun();
    const RunState& run = recorder.run();
    int phase = 0;
    for (auto _ : state) {
        if (run.m_nCount >= kMaxRunSamples || !run.m_bRunning) {
            state.PauseTiming();
            startRun();
            state.ResumeTiming();
        }
        state.PauseTiming();
        tickMs += 1000;
        nowMs = tickMs;
        recorder.pollTick();
        phase = (phase + 317) % 951; // the meter's reply, anywhere in 0..950 ms
        arrivedMs = nowMs = tickMs + phase;
        reading.air = 20.0f + float(phase % 50) / 10.0f;
        painted = false;
        state.ResumeTiming();

        emit recorder.link().readingReceived(reading);
        for (int spins = 0; !painted && spins < 100000; ++spins)
            QApplication::processEvents(QEventLoop::AllEvents);
        if (!painted) {
            state.SkipWithError("the graph did not paint the committed sample");
            break;
        }
    }
    state.counters["commit_delay_ms"] = double(longestDelayMs);
}

} // namespace

BENCHMARK(FrameToGraph)->Name("SampleLatency/FrameToGraph")->Unit(benchmark::kMillisecond)->UseRealTime();
