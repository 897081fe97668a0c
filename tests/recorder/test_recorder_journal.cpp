// The recorder keeps a journal of every run it records: begun at the run's
// start, one record per committed sample, closed at the run's end, removed
// only once the owner reports the run saved or discarded.
#include "RecorderFixture.h"

#include "data/RunJournal.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>

namespace {

constexpr int64_t kStart = 1796687155; // 2026-12-07 23:45:55 UTC

class RecorderJournal : public RecorderFixture {
protected:
    // The journal read back.
    std::unique_ptr<RecoveredRun> load(const QString& journalPath)
    {
        auto run = std::make_unique<RecoveredRun>();
        const Status s = Journal::load(journalPath, *run);
        EXPECT_TRUE(s.ok()) << s.message().toStdString();
        return run;
    }

    // Run confirmed, started on a frame at kStart, n samples committed.
    void record(int n, int interval = 1, int limit = 1000)
    {
        recorder->confirmRun(interval, limit);
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(sample(kStart + i, reading(i)));
    }
};

TEST_F(RecorderJournal, EveryCommittedSampleIsInTheJournal)
{
    recorder->setJournalScale({20, -2});
    recorder->confirmRun(2, 1000);
    // The first frame after Run starts the run and is its first sample.
    frame(kStart, reading(0));
    ASSERT_EQ(journals().size(), 1) << "begun when the run starts";
    const QString journal = journals().constFirst();
    EXPECT_TRUE(journal.endsWith("/ZB740/recovery/" + Recovery::nameFor(kStart) + ".journal"));
    EXPECT_EQ(recorder->journal().path(), journal);
    EXPECT_EQ(load(journal)->count, 1);

    for (int i = 1; i < 4; ++i)
        ASSERT_TRUE(sample(kStart + 2 * i, reading(i), i >= 2));
    recorder->setJournalScale({50, 5});
    // A reading between two samples' moments is no sample and writes nothing.
    tick(kStart + 7);
    frame(kStart + 7, reading(50));
    EXPECT_EQ(recorder->run().m_nCount, 4);
    ASSERT_TRUE(sample(kStart + 8, reading(4), true));

    // Read while the run still records: every sample is on the disk.
    const auto run = load(journal);
    EXPECT_EQ(run->count, 5);
    EXPECT_EQ(run->facts.start, kStart);
    EXPECT_EQ(run->facts.interval, 2);
    EXPECT_EQ(run->facts.sampleLimit, 1000);
    EXPECT_EQ(run->facts.scale, (YScaleValues {50, 5}));
    EXPECT_TRUE(run->facts.fahrenheit) << "the unit of the last sample";
    EXPECT_FALSE(run->tornRecordDropped);
    for (int i = 0; i < 5; ++i)
        for (int c = 0; c < kChannelCount; ++c)
            EXPECT_EQ(run->view().value(i, c), reading(i)[size_t(c)]) << i << " " << c;
    EXPECT_TRUE(recorder->journal().isOpen());
}

TEST_F(RecorderJournal, TheJournalGoesOnlyWhenTheWholeEndedRunIsSavedOrDiscarded)
{
    // Saved in the middle of the run: the journal stays while samples come.
    record(3);
    const QString journal = recorder->journal().path();
    recorder->runSaved(recorder->view().info());
    EXPECT_TRUE(QFile::exists(journal));
    ASSERT_TRUE(sample(kStart + 3, reading(3)));
    // The run ends with a sample the save does not hold: kept.
    recorder->stopRun();
    EXPECT_FALSE(recorder->journal().isOpen());
    EXPECT_TRUE(QFile::exists(journal));
    // Saving a run with another start (not this run) changes nothing.
    RunInfo other = recorder->view().info();
    other.start += 1;
    recorder->runSaved(other);
    EXPECT_TRUE(QFile::exists(journal));
    // The whole run saved: gone.
    recorder->runSaved(recorder->view().info());
    EXPECT_FALSE(QFile::exists(journal));
    EXPECT_TRUE(recorder->journal().path().isEmpty());

    // Discarded while recording: it goes when the run ends (here the link).
    recorder->confirmRun(1, 1000);
    ASSERT_TRUE(sample(kStart + 100, reading(0)));
    ASSERT_TRUE(sample(kStart + 101, reading(1)));
    const QString second = recorder->journal().path();
    recorder->runDiscarded();
    EXPECT_TRUE(QFile::exists(second));
    QSignalSpy finished(recorder.get(), &Recorder::runFinished);
    linkLost();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(QFile::exists(second));

    // Shut down while recording, nothing said: kept for the next start.
    recorder->confirmRun(1, 1000);
    ASSERT_TRUE(sample(kStart + 200, reading(0)));
    ASSERT_TRUE(sample(kStart + 201, reading(1)));
    recorder->shutDown();
    EXPECT_EQ(journals(), QStringList {Recovery::folderIn(path("ZB740")) + "/" + Recovery::nameFor(kStart + 200)
                                       + ".journal"});
    EXPECT_EQ(load(journals().constFirst())->count, 2);
}

TEST_F(RecorderJournal, RunEndsAndItsJournal)
{
    // At the sample limit the run ends with its last sample; the journal
    // is closed and kept, holding exactly the run.
    QSignalSpy finished(recorder.get(), &Recorder::runFinished);
    record(3, 1, 3);
    EXPECT_TRUE(recorder->run().m_bIdle);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(recorder->journal().isOpen());
    frame(kStart + 3, reading(3));
    ASSERT_EQ(journals().size(), 1);
    EXPECT_EQ(load(journals().constFirst())->count, 3);
    recorder->runDiscarded();
    EXPECT_TRUE(journals().isEmpty());

    // A run that ends right after its start keeps the journal of its one
    // sample, the reading that started it.
    recorder->confirmRun(1, 1000);
    frame(kStart + 50, reading(0));
    ASSERT_EQ(journals().size(), 1);
    linkLost();
    ASSERT_EQ(journals().size(), 1);
    EXPECT_EQ(load(journals().constFirst())->count, 1);
    recorder->runDiscarded();
    EXPECT_TRUE(journals().isEmpty());

    // A run stopped before it started has no journal at all.
    recorder->confirmRun(1, 1000);
    recorder->stopRun();
    frame(kStart + 60, reading(0));
    EXPECT_TRUE(journals().isEmpty());
}

TEST_F(RecorderJournal, AJournalThatCannotBeCreatedIsSaidOnceAndTheRunGoesOn)
{
    // The settings folder is a file: no recovery folder can be made.
    QFile blocker(path("ZB740"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSignalSpy failed(recorder.get(), &Recorder::journalFailed);
    record(4);
    EXPECT_EQ(recorder->run().m_nCount, 4) << "recording goes on";
    ASSERT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed.at(0).at(1).toString().contains("recovery")) << failed.at(0).at(1).toString().toStdString();

    // Each run says it again, once.
    recorder->stopRun();
    record(2);
    EXPECT_EQ(failed.count(), 2);
}

TEST_F(RecorderJournal, AFailedWriteIsSaidOnceAndMadeUpWhenWritingWorksAgain)
{
    // A real write failure: the file size limit stops the journal after
    // its header and two records (EFBIG); lifting it lets the next commit
    // write the samples that were missed.
    const rlim_t limit = Journal::kHeaderSize + 2 * Journal::kRecordSize;
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = before;
    tight.rlim_cur = limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);

    QSignalSpy failed(recorder.get(), &Recorder::journalFailed);
    record(5);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &before), 0);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(recorder->run().m_nCount, 5) << "recording went on";
    ASSERT_EQ(failed.count(), 1) << "said once, not at every sample";
    EXPECT_TRUE(failed.at(0).at(1).toString().startsWith("Could not write to the journal"))
        << failed.at(0).at(1).toString().toStdString();
    const QString journal = recorder->journal().path();
    EXPECT_EQ(QFile(journal).size(), qint64(limit)) << "no torn record left behind";
    EXPECT_EQ(load(journal)->count, 2);

    ASSERT_TRUE(sample(kStart + 5, reading(5)));
    const auto run = load(journal);
    ASSERT_EQ(run->count, 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(run->view().value(i, kAir), reading(i)[kAir]) << i;
    EXPECT_EQ(failed.count(), 1);
}

TEST_F(RecorderJournal, AJournalThatMissesSamplesIsReportedEveryMinuteByTheRecordersClock)
{
    // Samples ten seconds apart by the recorder's clock; the journal takes
    // its header and two records, then the file size limit stops it (EFBIG).
    int64_t now = kStart;
    recorder->setClockMs([&now] { return now * 1000; });
    const rlim_t limit = Journal::kHeaderSize + 2 * Journal::kRecordSize;
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = before;
    tight.rlim_cur = limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);

    QSignalSpy failed(recorder.get(), &Recorder::journalFailed);
    QSignalSpy behind(recorder.get(), &Recorder::journalBehind);
    QSignalSpy caughtUp(recorder.get(), &Recorder::journalCaughtUp);
    recorder->confirmRun(10, 1000);
    for (int i = 0; i < 20; ++i) {
        now = kStart + 10 * i;
        ASSERT_TRUE(sample(now, reading(i)));
    }
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &before), 0);
    std::signal(SIGXFSZ, previousHandler);

    // Said at the first failure (sample 3, t = 20 s), then again at the
    // first commit a minute after each report: t = 80 s and t = 140 s, with
    // the samples missing by then.
    ASSERT_EQ(failed.count(), 1);
    ASSERT_EQ(behind.count(), 2);
    const QString journal = recorder->journal().path();
    EXPECT_EQ(behind.at(0).at(0).toString(), journal);
    EXPECT_TRUE(behind.at(0).at(1).toString().startsWith("Could not write to the journal"))
        << behind.at(0).at(1).toString().toStdString();
    EXPECT_EQ(behind.at(0).at(2).toInt(), 9 - 2);
    EXPECT_EQ(behind.at(1).at(2).toInt(), 15 - 2);
    EXPECT_EQ(recorder->samplesInJournal(), 2);
    EXPECT_TRUE(caughtUp.isEmpty());

    // Writing works again: the next commit writes all 21 samples.
    now = kStart + 200;
    ASSERT_TRUE(sample(now, reading(20)));
    ASSERT_EQ(caughtUp.count(), 1);
    EXPECT_EQ(caughtUp.at(0).at(0).toString(), journal);
    EXPECT_EQ(caughtUp.at(0).at(1).toInt(), 21);
    EXPECT_EQ(recorder->samplesInJournal(), 21);
    const auto run = load(journal);
    ASSERT_EQ(run->count, 21);
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(run->view().value(i, kRh), reading(i)[kRh]) << i;
    EXPECT_EQ(behind.count(), 2);
}

TEST_F(RecorderJournal, AJournalThatCouldNotBeBegunIsBegunAtALaterSample)
{
    // No recovery folder can be made while the settings folder is a file.
    ASSERT_TRUE(QFile(path("ZB740")).open(QIODevice::WriteOnly));
    QSignalSpy failed(recorder.get(), &Recorder::journalFailed);
    QSignalSpy caughtUp(recorder.get(), &Recorder::journalCaughtUp);
    record(3);
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(recorder->samplesInJournal(), 0);
    ASSERT_TRUE(QFile::remove(path("ZB740")));

    ASSERT_TRUE(sample(kStart + 3, reading(3)));
    ASSERT_EQ(journals().size(), 1);
    EXPECT_EQ(load(journals().constFirst())->count, 4);
    EXPECT_EQ(caughtUp.count(), 1);
    EXPECT_EQ(recorder->samplesInJournal(), 4);
}

TEST_F(RecorderJournal, TheJournalOfAnEndedRunStaysInUseUntilItIsSaved)
{
    record(2);
    const QString journal = recorder->journal().path();
    recorder->stopRun();
    // The run is over but not saved: this program still has it.
    FoundJournal found;
    EXPECT_EQ(found.open(journal, FoundJournal::Access::Take).code(), Status::Code::Busy);
    recorder->runSaved(recorder->view().info());
    EXPECT_FALSE(QFile::exists(journal));

    // Shut down unsaved: kept, and free once the recorder is gone.
    record(1);
    const QString second = recorder->journal().path();
    recorder->shutDown();
    EXPECT_EQ(found.open(second, FoundJournal::Access::Take).code(), Status::Code::Busy);
    recorder.reset();
    EXPECT_TRUE(found.open(second, FoundJournal::Access::Take).ok());
}

TEST_F(RecorderJournal, AReservedJournalKeepsItsNameThroughARunWithoutASample)
{
    const QString p = path("run.AsmDat.journal");
    recorder->setJournalPaths([p](int64_t, QString& out) {
        out = p;
        return Status::success();
    });
    ASSERT_TRUE(recorder->reserveJournal(p).ok());
    FoundJournal found;
    EXPECT_EQ(found.open(p, FoundJournal::Access::Take).code(), Status::Code::Busy);

    // A run stopped before its start (the next frame starts nothing).
    recorder->confirmRun(1, 1000);
    recorder->stopRun();
    frame(kStart, reading(0));
    EXPECT_TRUE(QFile::exists(p)) << "the name stays taken";
    EXPECT_EQ(QFileInfo(p).size(), 0);
    EXPECT_EQ(found.open(p, FoundJournal::Access::Take).code(), Status::Code::Busy);

    // The next run journals into it.
    record(2);
    EXPECT_EQ(recorder->journal().path(), p);
    EXPECT_EQ(load(p)->count, 2);
    recorder->stopRun();
    recorder->runSaved(recorder->view().info());
    EXPECT_FALSE(QFile::exists(p));

    // A reservation no run used goes with the recorder.
    ASSERT_TRUE(recorder->reserveJournal(p).ok());
    recorder->shutDown();
    recorder.reset();
    EXPECT_FALSE(QFile::exists(p));
}

} // namespace
