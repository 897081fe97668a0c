// Cost of committing one sample in the recorder, without and with the run's
// journal (one 32-byte record written and synced to the disk per commit; a
// run commits at most once a second). The journal's share is the sync: it
// depends on the disk holding the temporary folder (TMPDIR).
#include "data/Recovery.h"
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
    auto startRun = [&] {
        recorder.stopRun();
        recorder.runDiscarded(); // the journal of the run before goes
        recorder.confirmRun(1, kMaxRunSamples);
        run.onValidFrame(++now);
    };
    startRun();
    const ChannelValues v {21.5f, 15.0f, 10.0f, 30.0f, 48.0f};
    for (auto _ : state) {
        if (run.m_nCount >= kMaxRunSamples) {
            state.PauseTiming();
            startRun();
            state.ResumeTiming();
        }
        live->writeSlot(run.m_nCount, v);
        run.onValidFrame(++now);
        benchmark::DoNotOptimize(recorder.commitTick());
    }
}

void CommitWithoutJournal(benchmark::State& state) { commitSamples(state, false); }
void CommitWithJournal(benchmark::State& state) { commitSamples(state, true); }

} // namespace

BENCHMARK(CommitWithoutJournal)->Name("RecorderCommit/NoJournal")->Unit(benchmark::kMicrosecond);
BENCHMARK(CommitWithJournal)->Name("RecorderCommit/Journal")->Unit(benchmark::kMicrosecond);
