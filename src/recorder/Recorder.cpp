#include "recorder/Recorder.h"

#include <QDateTime>
#include <algorithm>

Recorder::Recorder(const LinkOptions& options, LiveSeries& live, QObject* parent)
    : QObject(parent)
    , m_live(live)
    , m_link(options, m_run)
    , m_fold(m_run, live)
    , m_clock([] { return QDateTime::currentSecsSinceEpoch(); })
{
    m_pollTimer.setInterval(kPollMs);
    m_scanTimer.setSingleShot(true);
    m_scanTimer.setInterval(kScanMs);
    m_watchdogTimer.setInterval(kWatchdogMs);
    connect(&m_pollTimer, &QTimer::timeout, &m_link, &MeterLink::pollTick);
    connect(&m_scanTimer, &QTimer::timeout, &m_link, &MeterLink::scanTick);
    connect(&m_watchdogTimer, &QTimer::timeout, &m_link, &MeterLink::watchdogTick);
    connect(&m_sampleTimer, &QTimer::timeout, this, &Recorder::commitTick);
    connect(&m_link, &MeterLink::devicesChanged, &m_scanTimer, qOverload<>(&QTimer::start));
    connect(&m_link, &MeterLink::readingReceived, this, &Recorder::onReadingReceived);
    connect(&m_link, &MeterLink::bufferRejected, this, &Recorder::onBufferRejected);
    connect(&m_link, &MeterLink::linkLost, this, &Recorder::onLinkLost);
    connect(&m_link, &MeterLink::portStatusChanged, this, &Recorder::portStatusChanged);
    connect(&m_link, &MeterLink::over16Message, this, &Recorder::over16Message);
}

void Recorder::setClock(Clock clock)
{
    if (clock)
        m_clock = std::move(clock);
}

void Recorder::start(int comPort)
{
    m_link.setComPort(comPort);
    m_link.start();
    m_pollTimer.start();
    m_scanTimer.start();
    m_watchdogTimer.start();
}

void Recorder::shutDown()
{
    for (QTimer* t : {&m_pollTimer, &m_scanTimer, &m_watchdogTimer, &m_sampleTimer})
        t->stop();
    m_link.closePort();
    // Nothing records any more; the journal is kept unless the owner let
    // it go.
    m_bRecording = false;
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
    closeJournal();
}

void Recorder::rearmSampleTimer()
{
    if (m_run.m_nSampleMs > 0)
        m_sampleTimer.start(m_run.m_nSampleMs);
}

bool Recorder::commitTick()
{
    if (!m_run.commit())
        return false;
    // A run whose start was not seen here begins its journal now.
    noteRunState();
    appendToJournal();
    emit sampleCommitted(m_run.m_nCount);
    noteRunState();
    return true;
}

void Recorder::onReadingReceived(const meter::MeterReading& reading)
{
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
    const bool recording = m_run.m_bRunning && !m_run.m_bIdle;
    const bool wasRecording = m_bRecording;
    m_bRecording = recording;
    if (recording && !wasRecording)
        beginJournal();
    if (wasRecording && !recording) {
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
