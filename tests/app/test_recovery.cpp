// Runs that were never saved: the window's journal rules (what Save, the
// No answers and a close that cannot ask do to it), the offer at the next
// start, and the real program killed or terminated while it records.
#include "DataFixtures.h"
#include "FileNodes.h"
#include "ModalAnswers.h"
#include "ReadingOf.h"
#include "RuntimeFolder.h"
#include "TempDir.h"

#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "app/EmergencyJournal.h"
#include "app/RecoveryOffer.h"
#include "data/Recovery.h"
#include "data/RunJournal.h"
#include "panels/CCurveBar.h"
#include "widgets/CYScaleDlg.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int64_t kStart = 1796637600; // 2026-12-07 10:00:00 UTC

ChannelValues reading(int i) { return {20.0f + 0.5f * i, 15.0f, 10.0f, 30.0f, 50.0f + i}; }

std::unique_ptr<RecoveredRun> loadJournal(const QString& path)
{
    auto run = std::make_unique<RecoveredRun>();
    const Status s = Journal::load(path, *run);
    EXPECT_TRUE(s.ok()) << path.toStdString() << ": " << s.message().toStdString();
    return run;
}

int samplesIn(const QString& dataPath)
{
    auto rec = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    const Status s = DataFile::load(dataPath, *rec, scale);
    EXPECT_TRUE(s.ok()) << dataPath.toStdString() << ": " << s.message().toStdString();
    return s.ok() ? rec->count : -1;
}

// Limits the size of every file this process writes (writes past it fail
// with EFBIG instead of raising SIGXFSZ) for the lifetime of the object.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(qint64 bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = rlim_t(bytes);
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~ScopedFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        ::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old {};
    sighandler_t m_oldHandler = SIG_DFL;
};

// --- the window's journal ------------------------------------------------

class FrameJournal : public TempDirTest {
protected:
    void SetUp() override
    {
        options = tempOptions();
        frame = std::make_unique<CMainFrame>(options);
        frame->resize(1200, 800);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        // The test plays the meter: no timers of its own may end the run.
        Recorder& r = frame->recorder();
        for (QTimer* t : {&r.watchdogTimer(), &r.scanTimer(), &r.pollTimer()})
            t->stop();
    }

    // Runs (the --run path) and records n samples from frames handed to
    // the recorder as the link hands them over.
    void record(int n, int64_t start = kStart)
    {
        RunState& run = frame->run();
        validFrame(start, reading(0)); // the meter answers: Run is available
        frame->startRun(1, 1000);
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(sampleAt(start + i, reading(i)));
        ASSERT_EQ(run.m_nCount, n);
    }
    void validFrame(int64_t now, ChannelValues v)
    {
        frame->recorder().setClockMs([now] { return now * 1000; });
        emit frame->link()->readingReceived(readingOf(v));
    }
    // The reading for a sample at `now`: the poll timer's tick at that
    // moment and the reply (on an armed run, the reading that starts it).
    // True when it was committed.
    bool sampleAt(int64_t now, ChannelValues v)
    {
        QSignalSpy committed(&frame->recorder(), &Recorder::sampleCommitted);
        frame->recorder().setClockMs([now] { return now * 1000; });
        frame->recorder().pollTick();
        validFrame(now, v);
        return committed.count() == 1;
    }
    QStringList journals() const { return Recovery::journalsIn(options.settingsDir); }
    // One more sample of the recording run, the next in order.
    void commitNext(int64_t start = kStart)
    {
        const int i = frame->run().m_nCount;
        ASSERT_TRUE(sampleAt(start + i, reading(i)));
    }
    // A new window on the current options, the test playing its meter.
    void makeFrame()
    {
        frame = std::make_unique<CMainFrame>(options);
        frame->show();
        Recorder& r = frame->recorder();
        for (QTimer* t : {&r.watchdogTimer(), &r.scanTimer(), &r.pollTimer()})
            t->stop();
    }

    AppOptions options;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(FrameJournal, TheRunsJournalFollowsTheAnswersAtClose)
{
    ScopedTimeZone tz("UTC0");
    // Every sample of the window's run is in a journal in the recovery
    // folder, named after the run's start, with the graph's scale.
    record(3);
    ASSERT_EQ(journals(), QStringList {path("ZB740/recovery/26-12-07 10.00.00.journal")});
    {
        ModalAnswers yScale;
        yScale.then<CYScaleDlg>([](CYScaleDlg* dlg) {
            dlg->gainList()->setCurrentIndex(indexOfGain(50));
            dlg->offsetList()->setCurrentIndex(indexOfOffset(-5));
            dlg->accept();
        });
        emit frame->view()->curveBar()->yAxisChosen();
        ASSERT_TRUE(yScale.done());
    }
    auto run = loadJournal(journals().constFirst());
    EXPECT_EQ(run->count, 3);
    EXPECT_EQ(run->facts.scale, (YScaleValues {50, -5}));
    EXPECT_EQ(run->view().value(2, kAir), reading(2)[kAir]);

    // Yes, then the save dialog cancelled: the window stays, so does the
    // journal, and the run goes on into it.
    ModalAnswers answers;
    answers.click("Yes");
    answers.cancel();
    frame->close();
    EXPECT_TRUE(frame->isVisible());
    ASSERT_TRUE(answers.done());
    ASSERT_TRUE(sampleAt(kStart + 3, reading(3)));
    EXPECT_EQ(loadJournal(journals().constFirst())->count, 4);

    // Yes and saved: both files, and the journal gone. A sample committed
    // while the save dialog is open is in the files too (they hold the run
    // as it is when the file is chosen), so nothing of the run is lost
    // with the journal.
    answers.click("Yes");
    answers.then<QFileDialog>([this](QFileDialog* dlg) {
        ASSERT_TRUE(sampleAt(kStart + 4, reading(4)));
        dlg->setDirectory(m_tmp.path());
        dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("closing.AsmDat"));
        QMetaObject::invokeMethod(dlg, "accept");
    });
    frame->close();
    ASSERT_TRUE(answers.done());
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(samplesIn(path("closing.AsmDat")), 5);
    EXPECT_TRUE(journals().isEmpty());
}

TEST_F(FrameJournal, NoDiscardsTheRunAndAQuietCloseKeepsIt)
{
    ScopedTimeZone tz("UTC0");
    // No to saving before a new run: that run's journal goes.
    record(3);
    frame->onStop();
    ASSERT_EQ(journals().size(), 1);
    ModalAnswers answers;
    answers.click("No");
    answers.cancel(); // the Run dialog
    frame->onRun();
    ASSERT_TRUE(answers.done());
    EXPECT_TRUE(journals().isEmpty());

    // No at close, the run still recording: it goes with the close.
    frame->startRun(1, 1000);
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(sampleAt(kStart + 100 + i, reading(i)));
    ASSERT_EQ(journals().size(), 1);
    answers.click("No");
    frame->close();
    ASSERT_TRUE(answers.done());
    EXPECT_FALSE(frame->isVisible());
    EXPECT_TRUE(journals().isEmpty());

    // A close that cannot ask (logout, shutdown): the journal is kept.
    frame = std::make_unique<CMainFrame>(options);
    frame->show();
    for (QTimer* t : {&frame->recorder().watchdogTimer(), &frame->recorder().scanTimer()})
        t->stop();
    record(2, kStart + 200);
    frame->closeWithoutAsking();
    EXPECT_FALSE(frame->isVisible());
    ASSERT_EQ(journals().size(), 1);
    EXPECT_EQ(loadJournal(journals().constFirst())->count, 2);
}

TEST_F(FrameJournal, ExitQuestionNamesTheSamplesSinceTheLastSaveAndNoDiscardsOnlyThose)
{
    ScopedTimeZone tz("UTC0");
    // 14 samples, saved in the middle of the run; 13 more.
    record(14);
    ModalAnswers answers;
    answers.saveAs(path("part.AsmDat"));
    frame->onSave();
    ASSERT_TRUE(answers.done());
    ASSERT_EQ(samplesIn(path("part.AsmDat")), 14);
    for (int i = 0; i < 13; ++i)
        commitNext();

    // The question says what No would throw away, and follows the run
    // while it is open: a sample committed meanwhile is named too.
    QString whileOpen;
    answers.then<QMessageBox>([&](QMessageBox* box) {
        commitNext();
        whileOpen = box->text();
        box->button(QMessageBox::No)->click();
    });
    frame->close();
    ASSERT_TRUE(answers.done());
    ASSERT_EQ(answers.seen.size(), 2);
    EXPECT_EQ(answers.seen[1], "13 samples recorded since the last save are not saved. Save them?");
    EXPECT_EQ(whileOpen, "14 samples recorded since the last save are not saved. Save them?");
    EXPECT_FALSE(frame->isVisible());
    // What No named is gone with the journal; what was saved stays saved.
    EXPECT_TRUE(journals().isEmpty());
    EXPECT_EQ(samplesIn(path("part.AsmDat")), 14);

    // One sample since the save: said so.
    makeFrame();
    record(5, kStart + 100);
    answers.saveAs(path("five.AsmDat"));
    frame->onSave();
    commitNext(kStart + 100);
    answers.click("Yes");
    answers.saveAs(path("six.AsmDat"));
    frame->close();
    ASSERT_TRUE(answers.done());
    EXPECT_EQ(answers.seen.value(3), "1 sample recorded since the last save is not saved. Save it?");
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(samplesIn(path("six.AsmDat")), 6);
    EXPECT_TRUE(journals().isEmpty());
}

TEST_F(FrameJournal, ARunSavedAsItStandsIsNotAskedAboutAgain)
{
    ScopedTimeZone tz("UTC0");
    // Saved, then one more sample: Run still asks, with its own question.
    record(3);
    ModalAnswers answers;
    answers.saveAs(path("three.AsmDat"));
    frame->onSave();
    commitNext();
    frame->onStop();
    answers.click("Yes");
    answers.saveAs(path("four.AsmDat"));
    answers.cancel(); // the Run dialog
    frame->onRun();
    ASSERT_TRUE(answers.done());
    ASSERT_EQ(answers.seen.size(), 4);
    EXPECT_EQ(answers.seen[1], "Do you want to save the existing graph data before continuing?");
    EXPECT_EQ(answers.seen[3], "other dialog");
    EXPECT_EQ(samplesIn(path("four.AsmDat")), 4);

    // Now saved as it stands: Run goes straight to its dialog, and the
    // close asks nothing.
    answers.cancel();
    frame->onRun();
    ASSERT_TRUE(answers.done());
    EXPECT_EQ(answers.seen.size(), 5);
    EXPECT_EQ(answers.seen.value(4), "other dialog");
    frame->close();
    QTest::qWait(50);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(answers.seen.size(), 5) << answers.seen.join(" | ").toStdString();
    EXPECT_TRUE(journals().isEmpty());

    // Saved while recording, closed at once: nothing asked, the journal goes.
    makeFrame();
    record(4, kStart + 100);
    answers.saveAs(path("recording.AsmDat"));
    frame->onSave();
    ASSERT_TRUE(answers.done());
    frame->close();
    QTest::qWait(50);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(answers.seen.size(), 6) << answers.seen.join(" | ").toStdString();
    EXPECT_EQ(samplesIn(path("recording.AsmDat")), 4);
    EXPECT_TRUE(journals().isEmpty());
}

TEST_F(FrameJournal, ASessionEndKeepsTheSamplesNoJournalHoldsInAnEmergencyJournal)
{
    ScopedTimeZone tz("UTC0");
    const QString inSettings = QStringLiteral("ZB740 unsaved run 26-12-07 10.00.00.journal");
    struct Case {
        const char* name;
        const char* settingsDir;  // below the temporary folder
        bool homeDir;             // a home folder to fall back on
        bool saveFirst;           // the run is saved before the session ends
        const char* keptIn;       // folder of the emergency journal (null: none)
    };
    const Case cases[] = {
        {"the recovery folder takes nothing: the settings folder", "a/ZB740", true, false, "a/ZB740"},
        {"neither does the settings folder: the home folder", "blocked/ZB740", true, false, "home"},
        {"no place at all", "blocked/ZB740", false, false, nullptr},
        {"saved: nothing to keep", "b/ZB740", true, true, nullptr},
    };
    ASSERT_TRUE(writeAll(path("blocked"), "a file where a folder would be"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        options.settingsDir = path(c.settingsDir);
        options.homeDir = c.homeDir ? path("home") : QString();
        QDir().mkpath(options.settingsDir);
        QDir().mkpath(path("home"));
        // A file where the recovery folder would be: the run's journal
        // cannot be begun; the run records on.
        if (QFileInfo(options.settingsDir).isDir()) {
            ASSERT_TRUE(writeAll(Recovery::folderIn(options.settingsDir), "in the way"));
        }
        makeFrame();
        record(3);
        ASSERT_TRUE(frame->recorder().journal().path().isEmpty());
        if (c.saveFirst) {
            ModalAnswers answers;
            answers.saveAs(path("saved.AsmDat"));
            frame->onSave();
            ASSERT_TRUE(answers.done());
        }
        EXPECT_EQ(frame->recorder().samplesOutsideJournal(), c.saveFirst ? 0 : 3);

        frame->closeWithoutAsking(); // as StopSignals at a logout
        EXPECT_FALSE(frame->isVisible());
        const QStringList kept = EmergencyJournal::in(options.settingsDir) + EmergencyJournal::in(path("home"));
        if (!c.keptIn) {
            EXPECT_TRUE(kept.isEmpty()) << kept.join(", ").toStdString();
            continue;
        }
        ASSERT_EQ(kept, QStringList {path(c.keptIn) + QLatin1Char('/') + inSettings});
        auto run = loadJournal(kept[0]);
        EXPECT_EQ(run->count, 3);
        EXPECT_EQ(run->facts.start, kStart);
        EXPECT_EQ(run->view().value(2, kRh), reading(2)[kRh]);

        // The next start offers it, and a save takes it away.
        ModalAnswers answers;
        answers.click("Save\u2026");
        answers.saveAs(path("kept.AsmDat"));
        EXPECT_EQ(RecoveryOffer(options.settingsDir, options.homeDir).offerAll(nullptr), 1);
        ASSERT_TRUE(answers.done());
        EXPECT_EQ(answers.seen.value(0), "A run of 3 samples started 07/12/26 10:00:00 was not saved.");
        EXPECT_EQ(samplesIn(path("kept.AsmDat")), 3);
        EXPECT_FALSE(QFile::exists(kept[0]));
        QFile::remove(path("kept.AsmDat"));
        QFile::remove(path("kept.csv"));
    }
}

// The title names the run and marks it while samples are unsaved; the save
// questions follow the same rule, and a run without a sample is never
// offered. One case per state the window can be in.
TEST_F(FrameJournal, TitleAndSaveOffersTellSavedFromUnsaved)
{
    ScopedTimeZone tz("UTC0");
    struct Case {
        const char* state;
        std::function<void()> reach;
        const char* name;   // the run's name in the title
        bool marked;        // [*] shown: samples not saved
        bool saveEnabled;
        bool runAsks;       // Run asks to save the run first
        bool closeAsks;     // closing asks to save
    };
    auto saveAs = [this](const QString& file) {
        ModalAnswers answers;
        answers.saveAs(path(file));
        frame->onSave();
        ASSERT_TRUE(answers.done());
    };
    auto runStoppedBeforeItsFirstSample = [this] {
        validFrame(kStart + 50, reading(0));
        frame->startRun(1, 1000);
        frame->onStop();
    };
    const Case cases[] = {
        {"a fresh window", [] {}, "unsaved run", false, false, false, false},
        {"recording, never saved", [this] { record(3); }, "unsaved run", true, true, true, true},
        {"saved", [&, this] { record(3); saveAs("run.AsmDat"); }, "run.AsmDat", false, true, false,
         false},
        {"saved, then two more samples",
         [&, this] {
             record(3);
             saveAs("more.AsmDat");
             commitNext();
             commitNext();
         },
         "more.AsmDat", true, true, true, true},
        {"stopped before the first sample", runStoppedBeforeItsFirstSample, "unsaved run", false, false, false, false},
        {"saved, then a new run stopped before its first sample",
         [&, this] {
             record(3);
             frame->onStop();
             saveAs("first.AsmDat");
             runStoppedBeforeItsFirstSample();
         },
         "first.AsmDat", false, true, false, false},
        {"started after a run was recovered and saved",
         [&, this] {
             record(3);
             frame->closeWithoutAsking(); // the journal is left for the next start
             frame.reset();              // and its lock with the window
             ModalAnswers answers;
             answers.click("Save\u2026");
             answers.saveAs(path("recovered.AsmDat"));
             ASSERT_EQ(RecoveryOffer(options.settingsDir).offerAll(nullptr), 1);
             ASSERT_TRUE(answers.done());
             ASSERT_EQ(samplesIn(path("recovered.AsmDat")), 3);
             makeFrame();
             // Nothing is offered twice.
             EXPECT_EQ(RecoveryOffer(options.settingsDir).offerAll(nullptr), 0);
         },
         "unsaved run", false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        makeFrame();
        c.reach();
        EXPECT_EQ(frame->windowTitle(), QStringLiteral("ZB740 \u2014 %1[*]").arg(QLatin1String(c.name)));
        EXPECT_EQ(frame->isWindowModified(), c.marked);
        // What the desktop shows: the mark as a star.
        EXPECT_EQ(frame->windowHandle()->title(),
                  QStringLiteral("ZB740 \u2014 %1%2").arg(QLatin1String(c.name), c.marked ? "*" : ""));
        EXPECT_EQ(frame->action(CMainFrame::Command::Save)->isEnabled(), c.saveEnabled);

        // Run: the save question or straight the Run dialog (cancelled).
        {
            ModalAnswers answers;
            answers.click("No");
            answers.cancel();
            frame->onRun();
            const QString question = QStringLiteral("Do you want to save the existing graph data before continuing?");
            EXPECT_EQ(answers.seen.value(0) == question, c.runAsks) << answers.seen.join(" | ").toStdString();
        }

        // Closing (No to a question).
        ModalAnswers atClose;
        atClose.otherwise([](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w))
                box->button(QMessageBox::No)->click();
            else
                ModalAnswers::cancelWindow(w);
        });
        frame->close();
        EXPECT_FALSE(frame->isVisible());
        EXPECT_EQ(!atClose.seen.isEmpty(), c.closeAsks) << atClose.seen.join(" | ").toStdString();
        for (const QString& j : journals())
            QFile::remove(j);
    }
    // No empty data file was ever written.
    for (const QFileInfo& f : QDir(path(".")).entryInfoList({"*.AsmDat"}, QDir::Files))
        EXPECT_GT(samplesIn(f.filePath()), 0) << f.fileName().toStdString();
}

TEST_F(FrameJournal, AnEmergencyJournalReplacesAPartOfTheRunItsJournalCouldNotCatchUpWith)
{
    ScopedTimeZone tz("UTC0");
    // The recovery folder is a small file system. Its journal fills exactly
    // one page with 126 samples (64 + 126 x 32 bytes); then the file system
    // is full, and neither the 127th sample nor the catch-up at the close
    // finds room, nor does a whole new journal there. The session ends: the
    // whole run goes to the settings folder, and the part goes.
    const QString recovery = Recovery::folderIn(options.settingsDir);
    ASSERT_TRUE(QDir().mkpath(recovery));
    ScopedTmpfs fs;
    fs.mount(recovery, 64);
    if (!fs.mounted())
        return;
    record(126);
    const QString own = journals().value(0);
    ASSERT_FALSE(own.isEmpty());
    ASSERT_EQ(QFileInfo(own).size(), 4096);
    ASSERT_TRUE(fs.leaveFree(0));
    commitNext();
    ASSERT_EQ(frame->run().m_nCount, 127);
    ASSERT_EQ(frame->recorder().journal().count(), 126) << "the 127th sample's write failed";
    ASSERT_EQ(frame->recorder().samplesOutsideJournal(), 1);

    frame->closeWithoutAsking();
    const QStringList kept = EmergencyJournal::in(options.settingsDir);
    ASSERT_EQ(kept.size(), 1) << "the whole run, beside the settings file";
    auto run = loadJournal(kept[0]);
    EXPECT_EQ(run->count, 127);
    EXPECT_EQ(run->view().value(126, kRh), reading(126)[kRh]);
    EXPECT_FALSE(QFile::exists(own)) << "the part the emergency journal holds too is gone";
    EXPECT_TRUE(journals().isEmpty());
}

// --- the offer at start ----------------------------------------------------

class Offer : public TempDirTest {
protected:
    // A journal as a run of n samples leaves it.
    void journal(const QString& name, int64_t start, int n)
    {
        ASSERT_TRUE(QDir().mkpath(path("ZB740/recovery")));
        JournalFacts facts;
        facts.start = start;
        facts.unit = QStringLiteral("C");
        facts.scale = {20, 2};
        RunJournal j;
        ASSERT_TRUE(j.begin(path("ZB740/recovery/" + name), facts).ok());
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(j.append(i, reading(i), false).ok());
    }
    QStringList left() const
    {
        return QDir(path("ZB740/recovery")).entryList(QDir::Files, QDir::Name);
    }
};

TEST_F(Offer, EachRunIsOfferedInTurnWithSaveDiscardAndLater)
{
    ScopedTimeZone tz("UTC0");
    journal("26-12-07 10.00.00.journal", kStart, 5);
    journal("26-12-07 11.00.00.journal", kStart + 3600, 2);
    journal("26-12-07 12.00.00.journal", kStart + 7200, 3);
    journal("26-12-07 13.00.00.journal", kStart + 10800, 0); // stopped before its first sample
    ASSERT_TRUE(writeAll(path("ZB740/recovery/zz.journal"), "not a journal at all, but long enough for a header"));

    ModalAnswers answers;
    answers.click("Later");
    answers.click("Discard");
    answers.click("Save\u2026");
    answers.cancel(); // the save dialog: asked again
    answers.click("Save\u2026");
    answers.saveAs(path("recovered.AsmDat"));
    answers.click("OK"); // the unreadable journal
    EXPECT_EQ(RecoveryOffer(path("ZB740")).offerAll(nullptr), 5);
    EXPECT_TRUE(answers.done());

    const QString third = QStringLiteral("A run of 3 samples started 07/12/26 12:00:00 was not saved.");
    const QString dialog = "file dialog in " + path("ZB740") + " offering 26-12-07 12.00.00.AsmDat";
    EXPECT_EQ(answers.seen,
              (QStringList {"A run of 5 samples started 07/12/26 10:00:00 was not saved.",
                            "A run of 2 samples started 07/12/26 11:00:00 was not saved.", third, dialog, third,
                            dialog,
                            "The unsaved run in \"" + path("ZB740/recovery/zz.journal")
                                + "\" cannot be read: This is not a run journal.\nThe file is left as it is."}));
    // Later and the unreadable one stay; the saved, discarded and empty go.
    EXPECT_EQ(left(), (QStringList {"26-12-07 10.00.00.journal", "zz.journal"}));
    auto rec = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    ASSERT_TRUE(DataFile::load(path("recovered.AsmDat"), *rec, scale).ok());
    EXPECT_EQ(rec->count, 3);
    EXPECT_EQ(rec->startTime, kStart + 7200);
    EXPECT_EQ(rec->at(2, kRh), reading(2)[kRh]);
    EXPECT_EQ(scale, (YScaleValues {20, 2}));
    EXPECT_TRUE(QFile::exists(path("recovered.csv")));

    // Nothing on disk: nothing asked.
    ModalAnswers none;
    EXPECT_EQ(RecoveryOffer(path("elsewhere")).offerAll(nullptr), 0);
    QTest::qWait(30);
    EXPECT_TRUE(none.seen.isEmpty());
}

TEST_F(Offer, JournalsARunningProgramHoldsAreLeftAlone)
{
    ScopedTimeZone tz("UTC0");
    ASSERT_TRUE(QDir().mkpath(path("ZB740/recovery")));
    JournalFacts facts;
    facts.start = kStart;
    facts.unit = QStringLiteral("C");
    // Another window's runs: one before its first sample, one recording,
    // one ended and not saved yet.
    RunJournal starting, recording, ended;
    ASSERT_TRUE(starting.begin(path("ZB740/recovery/26-12-07 10.00.00.journal"), facts).ok());
    facts.start = kStart + 60;
    ASSERT_TRUE(recording.begin(path("ZB740/recovery/26-12-07 10.01.00.journal"), facts).ok());
    facts.start = kStart + 120;
    ASSERT_TRUE(ended.begin(path("ZB740/recovery/26-12-07 10.02.00.journal"), facts).ok());
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(recording.append(i, reading(i), false).ok());
        ASSERT_TRUE(ended.append(i, reading(i), false).ok());
    }
    ended.close();
    const QStringList all = left();
    ASSERT_EQ(all.size(), 3);

    {
        ModalAnswers none;
        EXPECT_EQ(RecoveryOffer(path("ZB740")).offerAll(nullptr), 0);
        QTest::qWait(30);
        EXPECT_TRUE(none.seen.isEmpty()) << none.seen.join('\n').toStdString();
    }
    EXPECT_EQ(left(), all) << "nothing removed";
    ASSERT_TRUE(recording.append(3, reading(3), false).ok()) << "its run goes on";
    EXPECT_EQ(loadJournal(path("ZB740/recovery/26-12-07 10.01.00.journal"))->count, 4);

    // The program that held the ended run is gone: now it is offered.
    ended.release();
    ModalAnswers answers;
    answers.click("Later");
    EXPECT_EQ(RecoveryOffer(path("ZB740")).offerAll(nullptr), 1);
    ASSERT_TRUE(answers.done());
    EXPECT_EQ(answers.seen, QStringList {"A run of 3 samples started 07/12/26 10:02:00 was not saved."});
    EXPECT_EQ(left(), all);
}

TEST_F(Offer, AJournalThatIsNoFileIsNamedWithoutWaitingForIt)
{
    // A FIFO behind a journal's name: opening it to read would wait for a
    // writer, before the window is even shown.
    ScopedTimeZone tz("UTC0");
    ASSERT_TRUE(QDir().mkpath(path("ZB740/recovery")));
    ASSERT_TRUE(makeFifo(path("pipe")));
    ASSERT_TRUE(QFile::link(path("pipe"), path("ZB740/recovery/26-12-07 09.00.00.journal")));
    ASSERT_TRUE(makeFifo(path("ZB740/recovery/26-12-07 09.30.00.journal")));
    journal("26-12-07 10.00.00.journal", kStart, 2);
    FifoUnblocker guard1(path("pipe")), guard2(path("ZB740/recovery/26-12-07 09.30.00.journal"));

    // The link is listed (a FIFO itself is not) and named; the real run is
    // offered after it.
    ModalAnswers answers;
    answers.click("OK");
    answers.click("Later");
    EXPECT_EQ(RecoveryOffer(path("ZB740")).offerAll(nullptr), 2);
    EXPECT_EQ(guard1.done() + guard2.done(), 0) << "the start waited on a FIFO";
    ASSERT_TRUE(answers.done());
    EXPECT_EQ(answers.seen, (QStringList {"The unsaved run in \"" + path("ZB740/recovery/26-12-07 09.00.00.journal")
                                              + "\" cannot be read: Not a regular file\nThe file is left as it is.",
                                          "A run of 2 samples started 07/12/26 10:00:00 was not saved."}));
    EXPECT_EQ(fileTypeOf(path("ZB740/recovery/26-12-07 09.30.00.journal")), mode_t(S_IFIFO));
}

// --- the real program ------------------------------------------------------

class ProgramRun : public TempDirTest {
protected:
    // The window program with its simulated meter, settings in the
    // temporary folder, recording at once (one sample a second).
    // Its home and runtime folders are in the temporary folder too.
    QProcessEnvironment environment()
    {
        QDir().mkpath(path("home"));
        makeRuntimeFolder(path("run"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TZ"), QStringLiteral("UTC0"));
        env.insert(QStringLiteral("HOME"), path("home"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("run"));
        return env;
    }
    // A second start for the same settings folder: the running window
    // answers it with how far its run is. Returns that count (-1: none).
    int samplesSaidToASecondStart()
    {
        QProcess second;
        second.setProcessEnvironment(environment());
        second.start(QStringLiteral(ZB740_PROGRAM), {"--settings-dir", path("ZB740"), "--config", path("none.ini")});
        if (!second.waitForFinished(30000)) {
            second.kill();
            second.waitForFinished(5000);
            return -1;
        }
        const QString said = QString::fromLocal8Bit(second.readAllStandardError());
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("recording: (\\d+) sample")).match(said);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }
    void startProgram()
    {
        program.setProcessEnvironment(environment());
        program.setChildProcessModifier([] {
            for (int s : {SIGINT, SIGTERM, SIGHUP})
                ::signal(s, SIG_DFL);
        });
        program.start(QStringLiteral(ZB740_PROGRAM),
                      {"--simulate", "--settings-dir", path("ZB740"), "--config", path("none.ini"), "--run", "1,1000"});
        ASSERT_TRUE(program.waitForStarted(10000));
    }
    // Waits until the run's journal holds n samples; returns its path.
    QString waitForSamples(int n)
    {
        QString journal;
        const bool reached = QTest::qWaitFor([&] {
            const QStringList all = Recovery::journalsIn(path("ZB740"));
            if (all.size() != 1)
                return false;
            journal = all.constFirst();
            return QFileInfo(journal).size() >= Journal::kHeaderSize + n * Journal::kRecordSize;
        }, 20000);
        EXPECT_TRUE(reached) << program.readAllStandardError().toStdString();
        return journal;
    }
    static int wholeRecords(const QString& journal)
    {
        const qint64 size = QFileInfo(journal).size();
        EXPECT_EQ((size - Journal::kHeaderSize) % Journal::kRecordSize, 0) << "a torn record";
        return int((size - Journal::kHeaderSize) / Journal::kRecordSize);
    }
    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }
    QProcess program;
};

TEST_F(ProgramRun, KilledWhileRecordingTheNextStartOffersTheRunAndSavesIt)
{
    ScopedTimeZone tz("UTC0");
    const int64_t begun = QDateTime::currentSecsSinceEpoch();
    startProgram();
    const QString journal = waitForSamples(3);
    ASSERT_FALSE(journal.isEmpty());
    const int seen = wholeRecords(journal);
    program.kill(); // SIGKILL: no handler, no cleanup
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitStatus(), QProcess::CrashExit);
    const int atKill = wholeRecords(journal);
    EXPECT_GE(atKill, seen);
    EXPECT_LE(atKill, seen + 1);
    const auto run = loadJournal(journal);
    EXPECT_EQ(run->count, atKill);
    EXPECT_FALSE(run->tornRecordDropped);
    EXPECT_GE(run->facts.start, begun);

    // The next start: the offer, then Save.
    ModalAnswers answers;
    answers.click("Save\u2026");
    answers.saveAs(path("after the crash.AsmDat"));
    EXPECT_EQ(RecoveryOffer(path("ZB740")).offerAll(nullptr), 1);
    ASSERT_TRUE(answers.done());
    EXPECT_EQ(answers.seen.value(0), RecoveryOffer::questionText(*run));
    EXPECT_TRUE(answers.seen.value(0).startsWith(QStringLiteral("A run of %1 samples started ").arg(atKill)));
    EXPECT_EQ(samplesIn(path("after the crash.AsmDat")), atKill);
    EXPECT_TRUE(QFile::exists(path("after the crash.csv")));
    EXPECT_FALSE(QFile::exists(journal));
    EXPECT_EQ(RecoveryOffer(path("ZB740")).offerAll(nullptr), 0);
}

TEST_F(ProgramRun, ARunStillRecordingIsNeitherOfferedNorListedAsUnsaved)
{
    // A second window starting (say, a data file opened from the file
    // manager) while the first records: the first one's journal is its own.
    ScopedTimeZone tz("UTC0");
    startProgram();
    const QString journal = waitForSamples(1);
    ASSERT_FALSE(journal.isEmpty());
    {
        ModalAnswers none;
        EXPECT_EQ(RecoveryOffer(path("ZB740")).offerAll(nullptr), 0);
        QTest::qWait(30);
        EXPECT_TRUE(none.seen.isEmpty()) << none.seen.join('\n').toStdString();
    }
    QProcess list;
    list.start(QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli"), {"recover", "--list", "--settings-dir", path("ZB740")});
    ASSERT_TRUE(list.waitForFinished(30000));
    EXPECT_EQ(list.exitCode(), 0);
    EXPECT_EQ(list.readAllStandardOutput(), (journal + "\tin use by a running ZB740\n").toUtf8());
    const int seen = wholeRecords(journal);
    EXPECT_TRUE(QTest::qWaitFor([&] { return wholeRecords(journal) > seen; }, 10000)) << "it records on";

    // Killed: a crash's leftover, offered at the next start.
    program.kill();
    ASSERT_TRUE(program.waitForFinished(5000));
    ModalAnswers answers;
    answers.click("Later");
    EXPECT_EQ(RecoveryOffer(path("ZB740")).offerAll(nullptr), 1);
    ASSERT_TRUE(answers.done());
    EXPECT_TRUE(answers.seen.value(0).startsWith("A run of ")) << answers.seen.value(0).toStdString();
    EXPECT_TRUE(QFile::exists(journal));
}

TEST_F(ProgramRun, SigtermWritesTheSettingsAndKeepsTheRunsJournal)
{
    ScopedTimeZone tz("UTC0");
    startProgram();
    const QString journal = waitForSamples(2);
    ASSERT_FALSE(journal.isEmpty());
    const int seen = wholeRecords(journal);
    EXPECT_FALSE(QFile::exists(path("ZB740/ZB740.ini")));
    program.terminate(); // SIGTERM, as at logout or shutdown
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    const QByteArray ini = readAll(path("ZB740/ZB740.ini"));
    for (const char* line : {"COM num=1", "Samprate=1", "Sampdata=1000", "Gain=10"})
        EXPECT_TRUE(ini.contains(line)) << line << " in\n" << ini.toStdString();
    ASSERT_TRUE(QFile::exists(journal)) << "kept for the next start";
    const auto run = loadJournal(journal);
    EXPECT_GE(run->count, seen);
    EXPECT_EQ(run->count, wholeRecords(journal));
    EXPECT_FALSE(run->tornRecordDropped);
}

} // namespace

namespace {

TEST_F(ProgramRun, SigtermWithSamplesInNoJournalKeepsThemForTheNextStart)
{
    ScopedTimeZone tz("UTC0");
    // The recovery folder cannot be made: the run records without a journal.
    ASSERT_TRUE(QDir().mkpath(path("ZB740")));
    ASSERT_TRUE(writeAll(path("ZB740/recovery"), "a file where the folder would be"));
    startProgram();
    // The window listens for later starts before it asks anything of them.
    ASSERT_TRUE(QTest::qWaitFor([&] { return listeningWindows(path("run")) == 1; }, 30000))
        << program.readAllStandardError().toStdString();
    int samples = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (samples = samplesSaidToASecondStart()) >= 2; }, 60000))
        << program.readAllStandardError().toStdString();
    program.terminate(); // SIGTERM, as at logout or shutdown
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(err.contains("The journal of this run cannot be written")) << err.toStdString();

    // Beside the settings file, named as what it is.
    const QStringList kept = EmergencyJournal::in(path("ZB740"));
    ASSERT_EQ(kept.size(), 1) << err.toStdString();
    EXPECT_TRUE(QFileInfo(kept[0]).fileName().startsWith("ZB740 unsaved run "));
    const auto run = loadJournal(kept[0]);
    EXPECT_GE(run->count, samples);
    EXPECT_TRUE(err.contains(QStringLiteral("zb740: The run of %1 samples (%1 of them in no journal) is kept in \"%2\"")
                                 .arg(run->count)
                                 .arg(kept[0])))
        << err.toStdString();

    // The next start offers it.
    ModalAnswers answers;
    answers.click("Save\u2026");
    answers.saveAs(path("kept.AsmDat"));
    EXPECT_EQ(RecoveryOffer(path("ZB740"), path("home")).offerAll(nullptr), 1);
    ASSERT_TRUE(answers.done());
    EXPECT_EQ(answers.seen.value(0), RecoveryOffer::questionText(*run));
    EXPECT_EQ(samplesIn(path("kept.AsmDat")), run->count);
    EXPECT_FALSE(QFile::exists(kept[0]));
}

} // namespace
