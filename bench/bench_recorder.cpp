// Cost of taking one sample in the recorder, without and with the run's
// journal (one 32-byte record written and synced to the disk per commit; a
// run commits at most once a second): the poll timer's tick at the sample's
// moment (its poll goes to a port that is not open) and the reply, folded
// and committed. The journal's share is the sync: it depends on the disk
// holding the temporary folder (TMPDIR).
#include "data/Recovery.h"
#include "link/MeterProtocol.h"
#include "recorder/Recorder.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

void commitSamples(benchmark::State& state, bool journaled)
{
    QTemporaryDir folder;
    auto live = std::make_unique<LiveSeries>();
    Recorder recorder(LinkOptions {}, *live);
    if (journaled) {
        recorder.setJournalPaths([&folder](int64_t start, QString& path) {
            return Recovery::newJournalPath(folder.path(), start, path);
        });
    }
    RunState& run = recorder.run();
    int64_t now = 1796687155;
    recorder.setClockMs([&now] { return now * 1000; });
    meter::MeterReading reading;
    reading.air = 21.5f;
    reading.wb = 15.0f;
    reading.dp = 10.0f;
    reading.kir = 30.0f;
    reading.rh = 48.0f;
    auto startRun = [&] {
        recorder.stopRun();
        recorder.runDiscarded(); // the journal of the run before goes
        recorder.confirmRun(1, kMaxRunSamples);
        emit recorder.link().readingReceived(reading); // the run's first sample
    };
    startRun();
    for (auto _ : state) {
        if (run.m_nCount >= kMaxRunSamples || !run.m_bRunning) {
            state.PauseTiming();
            ++now;
            startRun();
            state.ResumeTiming();
        }
        ++now;
        recorder.pollTick();
        emit recorder.link().readingReceived(reading);
        benchmark::DoNotOptimize(run.m_nCount);
    }
}

void CommitWithoutJournal(benchmark::State& state) { commitSamples(state, false); }
void CommitWithJournal(benchmark::State& state) { commitSamples(state, true); }

} // namespace

BENCHMARK(CommitWithoutJournal)->Name("RecorderCommit/NoJournal")->Unit(benchmark::kMicrosecond);
BENCHMARK(CommitWithJournal)->Name("RecorderCommit/Journal")->Unit(benchmark::kMicrosecond);
