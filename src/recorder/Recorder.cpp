#include "recorder/Recorder.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>

namespace {

// a / b rounded toward minus infinity (b > 0).
int64_t floorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// A tick of the poll timer may come this much before its moment and
// still stand for it (the timer is precise; this covers a clock read a
// moment apart from the timer's own).
constexpr int64_t kTickEarlyMs = 100;

} // namespace

Recorder::Recorder(const LinkOptions& options, LiveSeries& live, QObject* parent)
    : QObject(parent)
    , m_live(live)
    , m_link(options, m_run)
    , m_fold(m_run, live)
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    auto since = std::make_shared<QElapsedTimer>();
    since->start();
    m_monoClock = [since] { return since->elapsed(); };
    // One tick a second, re-armed by each tick: while a run records, on
    // the phase of its first sample.
    m_pollTimer.setSingleShot(true);
    m_pollTimer.setTimerType(Qt::PreciseTimer);
    m_pollTimer.setInterval(kPollMs);
    m_scanTimer.setSingleShot(true);
    m_scanTimer.setInterval(kScanMs);
    m_watchdogTimer.setInterval(kWatchdogMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &Recorder::onPollTimer);
    connect(&m_scanTimer, &QTimer::timeout, &m_link, &MeterLink::scanTick);
    connect(&m_watchdogTimer, &QTimer::timeout, &m_link, &MeterLink::watchdogTick);
    connect(&m_link, &MeterLink::devicesChanged, &m_scanTimer, qOverload<>(&QTimer::start));
    connect(&m_link, &MeterLink::readingReceived, this, &Recorder::onReadingReceived);
    connect(&m_link, &MeterLink::bufferRejected, this, &Recorder::onBufferRejected);
    connect(&m_link, &MeterLink::linkLost, this, &Recorder::onLinkLost);
    connect(&m_link, &MeterLink::portStatusChanged, this, &Recorder::portStatusChanged);
    connect(&m_link, &MeterLink::over16Message, this, &Recorder::over16Message);
}

void Recorder::setClockMs(Clock clock)
{
    if (!clock)
        return;
    m_clock = clock;
    m_monoClock = std::move(clock);
}

int64_t Recorder::now() const
{
    // To the nearest second: a sample's time is then within half a second
    // of the moment its reading was taken.
    return floorDiv(m_clock() + 500, 1000);
}

void Recorder::start(int comPort)
{
    m_link.setComPort(comPort);
    m_link.start();
    m_bStarted = true;
    m_pollTimer.start(kPollMs);
    m_scanTimer.start();
    m_watchdogTimer.start();
}

void Recorder::shutDown()
{
    m_bStarted = false;
    for (QTimer* t : {&m_pollTimer, &m_scanTimer, &m_watchdogTimer})
        t->stop();
    m_link.closePort();
    // Nothing records any more; the journal is kept unless the owner let
    // it go.
    m_bRecording = false;
    m_bAnchored = false;
    closeJournal();
}

void Recorder::confirmRun(int intervalSeconds, int sampleCount)
{
    m_run.confirm(intervalSeconds, sampleCount);
    noteRunState();
}

void Recorder::stopRun()
{
    m_run.stop();
    m_bRecording = false; // stopped on purpose: not a run that finished
    m_bAnchored = false;
    closeJournal();
}

// --- the samples' schedule -------------------------------------------------

void Recorder::onPollTimer()
{
    pollTick();
    scheduleNextPoll();
}

void Recorder::pollTick()
{
    markSamplesDue();
    m_link.pollTick();
}

void Recorder::scheduleNextPoll()
{
    if (!m_bStarted)
        return;
    if (!m_bAnchored || !recording()) {
        m_pollTimer.start(kPollMs);
        return;
    }
    // The next whole second of the run after the moment this tick stood
    // for; a tick that came so late that the next moment is near skips it
    // rather than send two polls in quick succession (the second would
    // drop the first one's reply).
    const int64_t elapsed = sinceAnchorMs();
    int64_t next = (floorDiv(elapsed + kTickEarlyMs, kPollMs) + 1) * kPollMs;
    if (next - elapsed < kPollMs / 2)
        next += kPollMs;
    m_pollTimer.start(int(next - elapsed));
}

void Recorder::markSamplesDue()
{
    if (!m_bAnchored || !recording())
        return;
    // The second of the run this tick stands for, and the samples whose
    // moment it reaches (sample 0 at 0).
    const int64_t moment = floorDiv(sinceAnchorMs() + kTickEarlyMs, kPollMs) * kPollMs;
    if (moment < 0)
        return;
    const int64_t intervalMs = std::max(m_run.m_nSampleMs, 1000);
    const int64_t due = std::min<int64_t>(moment / intervalMs + 1, m_run.m_nSampleLimit);
    m_nDue = std::max(m_nDue, int(due));
}

void Recorder::fillMissedSamples()
{
    // A sample whose moment passed without a reply before the next one fell
    // due is filled in once the meter answers again (a meter that stays
    // silent gets none: the watchdog ends the run): with the latest reading
    // from before its moment if one came, else with the sample before it.
    // The reply that came is then the sample due now.
    if (!m_bAnchored)
        return;
    while (recording() && m_run.m_nCount < m_nDue - 1) {
        if (!commitSample(true))
            return;
    }
}

void Recorder::takeSample(const ReadingUpdate& update)
{
    if (!recording())
        return;
    if (update.runStarted || !m_bAnchored) {
        // The reading that started the run is its first sample: the run's
        // time and the polls' phase are its own.
        // (A run that records without having been seen to start takes its
        // next sample now, and a run without samples takes its time too.)
        const int taking = m_run.m_nCount;
        m_bAnchored = true;
        m_anchorMs = m_monoClock() - int64_t(taking) * std::max(m_run.m_nSampleMs, 1000);
        m_nDue = taking + 1;
        if (taking == 0)
            m_run.m_tStart = update.time;
        if (m_pollTimer.isActive())
            m_pollTimer.start(kPollMs);
    }
    if (m_run.m_nCount < m_nDue)
        commitSample(false);
}

bool Recorder::commitSample(bool hold)
{
    if (hold && !m_run.m_bNewFrame) {
        // No reading since the last sample: it is repeated.
        const int i = m_run.m_nCount;
        if (i > 0)
            m_live.writeSlot(i, sampleAt(i - 1));
        m_run.m_bNewFrame = true;
    }
    if (!m_run.commit())
        return false;
    // A run whose start was not seen here begins its journal now.
    noteRunState();
    appendToJournal();
    emit sampleCommitted(m_run.m_nCount);
    // A run ends with its last sample.
    m_run.checkRunEnd();
    noteRunState();
    return true;
}

void Recorder::onReadingReceived(const meter::MeterReading& reading)
{
    // Before this reading takes the slot being filled.
    fillMissedSamples();
    const AlarmFlags before = m_fold.readout().alarms;
    const ReadingUpdate update = m_fold.fold(reading, now(), m_limits);
    if (!m_bLinkUp) {
        m_bLinkUp = true;
        emit linkChanged(true);
    }
    emit readingDecoded(update);
    if (update.alarmsChanged)
        signalAlarmChanges(before, update.time);
    noteRunState();
    takeSample(update);
}

void Recorder::onBufferRejected()
{
    m_fold.foldInvalid();
    emit bufferRejected();
    noteRunState();
}

void Recorder::signalAlarmChanges(const AlarmFlags& before, int64_t time)
{
    const AlarmFlags& after = m_fold.readout().alarms;
    for (int c = 0; c < kChannelCount; ++c) {
        for (AlarmLimitSet::Bound b : {AlarmLimitSet::High, AlarmLimitSet::Low}) {
            if (after.at(c, b) != before.at(c, b))
                emit alarmChanged(AlarmChange {c, b, after.at(c, b), time});
        }
    }
}

void Recorder::onLinkLost(bool meterSilent)
{
    // A silent meter raises no alarm; a refused port leaves them as they
    // were (the watchdog clears them once no frame comes).
    if (meterSilent) {
        const AlarmFlags before = m_fold.readout().alarms;
        m_fold.clearAlarms();
        signalAlarmChanges(before, now());
    }
    m_bLinkUp = false;
    emit linkChanged(false);
    noteRunState();
}

void Recorder::noteRunState()
{
    // Recording (also after Run from stopped-started, which records without
    // a new start step); a run that leaves it by itself has finished.
    const bool recording = this->recording();
    const bool wasRecording = m_bRecording;
    m_bRecording = recording;
    if (recording && !wasRecording)
        beginJournal();
    if (wasRecording && !recording) {
        m_bAnchored = false;
        closeJournal();
        emit runFinished();
    }
}

// --- the run journal -------------------------------------------------------

void Recorder::setJournalScale(YScaleValues scale)
{
    m_journalScale = scale;
    if (m_journal.isOpen()) {
        if (Status s = m_journal.noteScale(scale); !s.ok())
            reportJournalFailure(m_journal.path(), s);
    }
}

void Recorder::runSaved(const RunInfo& saved)
{
    m_release = {true, saved.start, saved.count};
    m_settled = m_release;
    removeJournalIfReleased();
}

void Recorder::runDiscarded(int upTo)
{
    m_release = {true, m_run.m_tStart, upTo};
    m_settled = m_release;
    removeJournalIfReleased();
}

int Recorder::samplesOutsideJournal() const
{
    int kept = 0;
    if (!m_journal.path().isEmpty() && m_journalStart == m_run.m_tStart)
        kept = m_journal.count();
    if (m_settled.given && m_settled.start == m_run.m_tStart)
        kept = std::max(kept, m_settled.upTo);
    return std::max(0, m_run.m_nCount - kept);
}

Status Recorder::writeRunJournal(const QString& path)
{
    RunJournal copy;
    if (Status begun = copy.begin(path, journalFacts()); !begun.ok())
        return begun;
    for (int i = 0; i < m_run.m_nCount; ++i) {
        if (Status s = copy.append(i, sampleAt(i), m_run.m_bFahrenheit); !s.ok())
            return s;
    }
    copy.close();
    // The copy holds everything the run's own journal holds and more.
    if (!m_journal.isOpen() && !m_journal.path().isEmpty() && m_journalStart == m_run.m_tStart)
        (void)m_journal.remove();
    return Status::success();
}

JournalFacts Recorder::journalFacts() const
{
    JournalFacts facts;
    facts.start = m_run.m_tStart;
    facts.interval = m_run.intervalSeconds();
    facts.sampleLimit = m_run.m_nSampleLimit;
    facts.fahrenheit = m_run.m_bFahrenheit;
    facts.unit = m_run.m_strUnit;
    facts.scale = m_journalScale;
    return facts;
}

ChannelValues Recorder::sampleAt(int index) const
{
    ChannelValues v;
    for (int c = 0; c < kChannelCount; ++c)
        v[size_t(c)] = m_live.at(c, index);
    return v;
}

void Recorder::beginJournal()
{
    // A new run: what was said about the last one does not apply to it.
    m_release = {};
    m_settled = {};
    m_bJournalFailureReported = false;
    m_bJournalBegun = false;
    m_bJournalBehind = false;
    m_bJournalReported = false;
    m_bJournalRun = bool(m_journalPathFor);
    if (!m_bJournalRun)
        return;
    QString path;
    if (Status begun = tryBeginJournal(path); !begun.ok())
        reportJournalFailure(path, begun);
}

Status Recorder::tryBeginJournal(QString& path)
{
    Status begun = m_journalPathFor(m_run.m_tStart, path);
    if (begun.ok()) {
        JournalFacts facts;
        facts.start = m_run.m_tStart;
        facts.interval = m_run.intervalSeconds();
        facts.sampleLimit = m_run.m_nSampleLimit;
        facts.fahrenheit = m_run.m_bFahrenheit;
        facts.unit = m_run.m_strUnit;
        facts.scale = m_journalScale;
        begun = m_journal.begin(path, facts);
    }
    if (begun.ok()) {
        m_bJournalBegun = true;
        m_journalStart = m_run.m_tStart;
    }
    return begun;
}

void Recorder::appendToJournal()
{
    if (!m_bJournalRun)
        return;
    QString path;
    Status failure;
    // A journal that could not be begun is tried again.
    if (!m_bJournalBegun)
        failure = tryBeginJournal(path);
    if (m_bJournalBegun) {
        path = m_journal.path();
        // Normally the one sample just committed; after a failed write also
        // the ones before it, so a passing fault costs the journal nothing.
        for (int i = m_journal.count(); i < m_run.m_nCount; ++i) {
            ChannelValues v;
            for (int c = 0; c < kChannelCount; ++c)
                v[size_t(c)] = m_live.at(c, i);
            if (Status s = m_journal.append(i, v, m_run.m_bFahrenheit); !s.ok()) {
                failure = s;
                break;
            }
        }
    }
    const int missing = m_run.m_nCount - samplesInJournal();
    if (missing > 0) {
        if (failure.ok())
            failure = Status::failure(Status::Code::Failed, QStringLiteral("The journal is closed."));
        reportJournalFailure(path, failure);
        m_bJournalBehind = true;
        const int64_t now = this->now();
        // Also when the clock went back.
        if (!m_bJournalReported || now < m_journalReportedAt || now - m_journalReportedAt >= kJournalBehindSeconds) {
            m_bJournalReported = true;
            m_journalReportedAt = now;
            emit journalBehind(path, failure.message(), missing);
        }
    } else if (m_bJournalBehind) {
        m_bJournalBehind = false;
        // A new failure is news again at once.
        m_bJournalReported = false;
        emit journalCaughtUp(path, samplesInJournal());
    }
}

void Recorder::closeJournal()
{
    // The last chance to write what the journal misses.
    if (m_bJournalRun && samplesInJournal() < m_run.m_nCount)
        appendToJournal();
    m_bJournalRun = false;
    if (!m_journal.isOpen())
        return;
    m_journal.close();
    // A journal without a sample has nothing to recover; a reserved one
    // keeps its name for the next run.
    if (m_journal.count() == 0) {
        if (m_journal.isReserved())
            (void)m_journal.empty();
        else
            (void)m_journal.remove(); // an empty leftover is only clutter
        return;
    }
    removeJournalIfReleased();
}

void Recorder::removeJournalIfReleased()
{
    // Only a run that has ended can be complete in its saved files; a run
    // still recording keeps its journal until it ends.
    if (!m_release.given || m_journal.isOpen() || m_journal.path().isEmpty())
        return;
    if (m_journalStart != m_release.start || m_journal.count() > m_release.upTo)
        return;
    m_release = {};
    // A journal that cannot be removed stays, like one of an unsaved run:
    // the next start offers it, and Discard says why it cannot go.
    (void)m_journal.remove();
}

void Recorder::reportJournalFailure(const QString& path, const Status& failure)
{
    if (m_bJournalFailureReported)
        return;
    m_bJournalFailureReported = true;
    m_bJournalReported = true;
    m_journalReportedAt = now();
    emit journalFailed(path, failure.message());
}
