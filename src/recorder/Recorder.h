#pragma once
// The window-free recorder: one meter session (the link) and one run (the
// state machine and the live series), driven by the link's timers. The
// window program and zb740-cli both record through it;
// the window only shows what it reports and hands it the user's commands.
//
// Each reading the link receives is folded into the run here (ReadingFold:
// run start, store slot, LCD texts, extremes, alarm flags), and the
// recorder signals what changed: readingDecoded with the reading, and
// alarmChanged once for every alarm flag that went on or off. The texts
// the panels show are in readout().
//
//   poll timer, 1000 ms      a request to the meter after each good reply;
//                            while a run records, on the run's own phase
//   scan timer, 1000 ms once find and open the meter's port (restarted when
//                            serial devices come or go)
//   watchdog, 3000 ms        end the run and reopen the port when the meter
//                            fell silent
//
// Sample times are true: sample k of a run is the reading taken at
// start + k x interval. The reading that starts the run is its first
// sample, committed as it arrives, and its time is the run's start. From
// then on the poll timer ticks once a second on that reading's phase, so
// that a poll goes out at every sample's moment; the tick that reaches a
// sample's moment makes the sample due, and the reply to that tick's poll
// is committed as the sample the moment it arrives. There is no separate
// sample timer: the polls are the samples' clock. Replies between two
// samples (an interval longer than a second) only update the meter's
// picture and the slot being filled. A due sample whose reply was lost
// takes the next reply that comes before the sample after it falls due.
// When none came, the meter's next reply fills it in with the latest
// reading from before its moment (or the sample before it), so every
// later sample keeps its true time; a meter that stays silent gets no
// samples, and the watchdog ends the run.
//
// While a run records, every committed sample also goes to the run's
// journal (data/RunJournal.h), so a crash loses at most the sample being
// written. The owner says where journals go; the recorder begins one when
// the run starts, appends at each commit and closes it when the run ends.
// A journal is removed only once the owner reports the run saved or
// discarded by the user. A journal that cannot be written never stops the
// recording: every sample stays in the live series, the journal is tried
// again at each commit (begun, or written up to the last sample) and once
// more when the run ends, and it is reported once per run (journalFailed)
// and, while it misses samples, again at most once a minute by the
// recorder's clock (journalBehind), until it holds them all again
// (journalCaughtUp).
#include "base/Status.h"
#include "base/YScale.h"
#include "data/ReadingStore.h"
#include "data/RunJournal.h"
#include "data/RunView.h"
#include "link/LinkOptions.h"
#include "link/MeterLink.h"
#include "recorder/ReadingFold.h"
#include "run/RunState.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <limits>

class Recorder : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollMs = 1000;
    static constexpr int kScanMs = 1000;
    static constexpr int kWatchdogMs = 3000;
    // Seconds between two reports of a journal that misses samples.
    static constexpr int kJournalBehindSeconds = 60;

    // Milliseconds since 1970.
    using Clock = std::function<int64_t()>;

    Recorder(const LinkOptions& options, LiveSeries& live, QObject* parent = nullptr);

    RunState& run() { return m_run; }
    const RunState& run() const { return m_run; }
    MeterLink& link() { return m_link; }
    const MeterLink& link() const { return m_link; }
    const LiveSeries& live() const { return m_live; }
    // The committed samples of the current run.
    RunView view() const { return RunView::of(m_live, m_run.info()); }

    // Where the times of frames, run starts and alarm changes come from,
    // and the clock the samples are scheduled by: the system clock and a
    // monotonic clock unless set; a clock set here serves both. It also
    // spaces the reports of a journal that misses samples.
    void setClockMs(Clock millisecondsSince1970);
    // The time by that clock, to the nearest second since 1970.
    int64_t now() const;

    // Begins the session on the given port number (from the settings file):
    // starts the poll and scan timers and the watchdog.
    void start(int comPort);
    // Ends it: timers stopped, port closed.
    void shutDown();

    // The limits the alarm flags compare against, in display units.
    void setAlarmLimits(const AlarmLimits& limits) { m_limits = limits; }
    const AlarmLimits& alarmLimits() const { return m_limits; }
    // What the meter shows and what was seen since start: LCD texts,
    // battery, min/max texts, alarm flags (as of the last signal).
    const MeterReadout& readout() const { return m_fold.readout(); }

    // Run confirmed with an interval (seconds) and a sample count: the next
    // valid frame starts the run and is its first sample.
    void confirmRun(int intervalSeconds, int sampleCount);
    void stopRun();
    // What the poll timer does at each tick: makes the samples whose moment
    // has come due and sends the poll. The timer re-arms itself for the
    // next tick on the run's phase.
    void pollTick();
    // Samples of the recording run whose moment has come (committed or
    // waiting for their reply); 0 outside a recording run.
    int samplesDue() const { return m_bAnchored ? m_nDue : 0; }

    void sendKeyPacket(const QByteArray& packet) { m_link.sendPacket(packet); }

    // --- the run journal ---
    // Gives the path of a new journal for a run started at `start` (seconds
    // since 1970); a failure is reported as a journal failure.
    using JournalPathFor = std::function<Status(int64_t start, QString& path)>;
    // Where journals go; without it runs are not journaled.
    void setJournalPaths(JournalPathFor pathFor) { m_journalPathFor = std::move(pathFor); }
    // Takes path for the journal of the next run now (RunJournal::reserve),
    // so nobody else takes it while the run waits for its start; the path
    // callback then gives this path. Busy when it exists already.
    Status reserveJournal(const QString& path) { return m_journal.reserve(path); }
    // The graph's vertical scale, which a data file keeps: written to the
    // journal of a recording run when it changes.
    void setJournalScale(YScaleValues scale);
    // The run described by `saved` was written durably (data file and
    // export): its journal goes once the run has ended without a sample
    // more than were saved.
    void runSaved(const RunInfo& saved);
    // The user chose not to keep the current run's first upTo samples (all
    // of them by default): its journal goes once the run has ended without
    // a sample more than that.
    void runDiscarded(int upTo = std::numeric_limits<int>::max());
    // Samples of the current run that are in no journal and were neither
    // saved nor discarded: all of them when its journal could not be begun,
    // those after the last one written when writing it failed.
    int samplesOutsideJournal() const;
    // Writes the current run whole into a new journal at path, for a close
    // that cannot wait (a logout) while samplesOutsideJournal() is not zero.
    // Once that copy is complete, the run's own journal, which holds only a
    // part of the run, goes. A failure may leave a part of the run at path.
    Status writeRunJournal(const QString& path);
    // The journal of the current or last run (closed once the run ended;
    // its path is empty once it was removed).
    const RunJournal& journal() const { return m_journal; }
    // Samples of the current or last run its journal holds (0 when it
    // could not be begun).
    int samplesInJournal() const { return m_bJournalBegun ? m_journal.count() : 0; }

    QTimer& watchdogTimer() { return m_watchdogTimer; }
    QTimer& pollTimer() { return m_pollTimer; }
    QTimer& scanTimer() { return m_scanTimer; }

signals:
    // A valid frame was folded into the run: the reading and what it
    // changed. The texts are in readout().
    void readingDecoded(const ReadingUpdate& update);
    // One alarm flag went on or off (after the reading that changed it, or
    // off when the meter fell silent).
    void alarmChanged(const AlarmChange& change);
    // A receive event brought no valid frame; only the run-end check ran.
    void bufferRejected();
    // A sample was committed; count is the run's new sample count.
    void sampleCommitted(int count);
    // The link came up (first valid frame) or went down (watchdog).
    void linkChanged(bool up);
    // The run ended by itself: its sample limit was reached or the link was
    // lost while it recorded.
    void runFinished();
    void portStatusChanged(const QString& text);
    void over16Message(const QString& text);
    // The journal at path (empty when no path could be found) cannot be
    // written; the run goes on recording without it. Once per run.
    void journalFailed(const QString& path, const QString& message);
    // The journal still misses `missing` samples of the run (they are only
    // in memory): at a commit at least kJournalBehindSeconds after the last
    // report of the journal's failure.
    void journalBehind(const QString& path, const QString& message, int missing);
    // After a failure, the journal holds every sample of the run again.
    void journalCaughtUp(const QString& path, int count);

private:
    void onPollTimer();
    void scheduleNextPoll();
    int64_t sinceAnchorMs() const { return m_monoClock() - m_anchorMs; }
    bool recording() const { return m_run.m_bRunning && !m_run.m_bIdle; }
    void takeSample(const ReadingUpdate& update);
    void markSamplesDue();
    void fillMissedSamples();
    bool commitSample(bool hold);
    void onReadingReceived(const meter::MeterReading& reading);
    void onBufferRejected();
    void onLinkLost(bool meterSilent);
    void signalAlarmChanges(const AlarmFlags& before, int64_t time);
    void noteRunState();
    JournalFacts journalFacts() const;
    ChannelValues sampleAt(int index) const;
    void beginJournal();
    Status tryBeginJournal(QString& path);
    void appendToJournal();
    void closeJournal();
    void removeJournalIfReleased();
    void reportJournalFailure(const QString& path, const Status& failure);

    LiveSeries& m_live;
    RunState m_run;
    MeterLink m_link;
    ReadingFold m_fold;
    AlarmLimits m_limits;
    Clock m_clock;      // wall clock, milliseconds since 1970
    Clock m_monoClock;  // what samples are scheduled by, milliseconds
    QTimer m_pollTimer;
    QTimer m_scanTimer;
    QTimer m_watchdogTimer;
    bool m_bStarted = false;    // the session's timers run
    bool m_bLinkUp = false;
    // The recording run's schedule: sample k is due at m_anchorMs + k x
    // interval by the monotonic clock.
    bool m_bAnchored = false;
    int64_t m_anchorMs = 0;
    int m_nDue = 0;
    bool m_bRecording = false;  // the run records (as last seen)

    // The journal of the current or last run, and what the owner said may
    // become of it.
    struct JournalRelease {
        bool given = false;
        int64_t start = 0;  // the run it is for
        int upTo = 0;       // the journal may hold at most this many samples
    };
    JournalPathFor m_journalPathFor;
    RunJournal m_journal;
    int64_t m_journalStart = 0;
    YScaleValues m_journalScale;
    JournalRelease m_release;
    // What the owner said of the current run, kept after its journal went.
    JournalRelease m_settled;
    bool m_bJournalFailureReported = false;
    bool m_bJournalRun = false;     // the recording run is to be journaled
    bool m_bJournalBegun = false;   // its journal was begun
    bool m_bJournalBehind = false;  // it misses samples
    int64_t m_journalReportedAt = 0; // when its failure was last reported
    bool m_bJournalReported = false; // ... since it last caught up
};
