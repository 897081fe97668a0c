#include "recorder/ContinuousRecorder.h"

#include "base/LocalTime.h"
#include "data/Recovery.h"
#include "data/RunFiles.h"
#include "data/RunJournal.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <utility>

namespace {

using Reason = MonitorEvent::Reason;
using Kind = MonitorEvent::Kind;

// The local date of a moment, as one number (YYYYMMDD).
int32_t localDate(int64_t t)
{
    const LocalTime::Fields f = LocalTime::split(t);
    return f.year * 10000 + f.month * 100 + f.day;
}

QString fileName(const QString& path) { return QFileInfo(path).fileName(); }

} // namespace

ContinuousRecorder::ContinuousRecorder(Recorder& recorder, ContinuousOptions options, QObject* parent)
    : QObject(parent)
    , m_recorder(recorder)
    , m_options(std::move(options))
    , m_events(recorder)
{
    connect(&m_events, &RecorderEvents::eventOccurred, this, &ContinuousRecorder::log);
    connect(&recorder, &Recorder::readingDecoded, this, &ContinuousRecorder::onReading);
    connect(&recorder, &Recorder::sampleCommitted, this, &ContinuousRecorder::onCommitted);
    connect(&recorder, &Recorder::runFinished, this, &ContinuousRecorder::onRunFinished);
    connect(&recorder, &Recorder::linkChanged, this, &ContinuousRecorder::onLink);
    connect(&recorder, &Recorder::journalFailed, this, [this](const QString& path, const QString& message) {
        noteFailure(QStringLiteral("The journal %1 cannot be written (%2); its samples are kept in memory and "
                                   "written when it can be.")
                        .arg(QDir::toNativeSeparators(path), message));
    });
    connect(&recorder, &Recorder::journalBehind, this, [this](const QString& path, const QString& message, int missing) {
        noteFailure(QStringLiteral("The journal %1 still cannot be written (%2): %3 samples are only in memory; "
                                   "recording goes on.")
                        .arg(QDir::toNativeSeparators(path), message, QString::number(missing)));
    });
    recorder.setJournalPaths([this](int64_t, QString& path) {
        if (m_filePath.isEmpty())
            return Status::failure(Status::Code::Failed, QStringLiteral("No file is being recorded."));
        path = Recovery::journalPathFor(m_filePath);
        return Status::success();
    });
}

ContinuousRecorder::~ContinuousRecorder() = default;

QString ContinuousRecorder::eventsPathFor(const QString& folder, const QString& prefix)
{
    return QDir(folder).filePath(prefix + QStringLiteral(".events.jsonl"));
}

bool ContinuousRecorder::isFileOf(const QString& prefix, const QString& name, bool journal)
{
    // PREFIX-YYYYMMDD-HHMMSS[-N].AsmDat[.journal], read by hand.
    QStringView rest(name);
    const QLatin1String end = journal ? QLatin1String(".AsmDat.journal") : QLatin1String(".AsmDat");
    if (!rest.startsWith(prefix) || !rest.endsWith(end))
        return false;
    rest = rest.mid(prefix.size()).chopped(end.size());
    const auto digits = [](QStringView v) {
        return !v.isEmpty() && std::all_of(v.begin(), v.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (rest.size() < 16 || rest[0] != u'-' || rest[9] != u'-' || !digits(rest.mid(1, 8)) || !digits(rest.mid(10, 6)))
        return false;
    rest = rest.mid(16);
    return rest.isEmpty() || (rest[0] == u'-' && digits(rest.mid(1)));
}

Status ContinuousRecorder::begin()
{
    const QString events = eventsPathFor(m_options.folder, m_options.prefix);
    if (Status s = m_log.open(events); !s.ok())
        return s.prefixed(QStringLiteral("%1: ").arg(QDir::toNativeSeparators(events)));
    m_begun = true;
    recoverLeftovers();
    log(MonitorEvent::simple(Kind::Start, m_recorder.now()));
    arm();
    return Status::success();
}

void ContinuousRecorder::recoverLeftovers()
{
    QDir folder(m_options.folder);
    QStringList names = folder.entryList({m_options.prefix + QStringLiteral("-*.AsmDat.journal")},
                                         QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
    auto run = std::make_unique<RecoveredRun>();
    for (const QString& name : names) {
        if (!isFileOf(m_options.prefix, name, true))
            continue;
        const QString journal = folder.filePath(name);
        const QString shown = QDir::toNativeSeparators(journal);
        FoundJournal found;
        if (Status s = found.open(journal, FoundJournal::Access::Take); !s.ok()) {
            emit problem(QStringLiteral("%1 cannot be recovered now (%2).").arg(shown, s.message()));
            continue;
        }
        const Status read = found.read(*run);
        if (found.holdsNoSample()) {
            (void)found.remove();
            continue;
        }
        if (!read.ok()) {
            emit problem(QStringLiteral("%1 cannot be recovered (%2); it is left where it is.").arg(shown, read.message()));
            continue;
        }
        const QString data = Recovery::dataPathFor(journal, run->facts.start);
        if (Status s = RunFiles::saveRun(data, run->view(), run->facts.scale); !s.ok()) {
            emit problem(QStringLiteral("%1 cannot be recovered now (%2); it is tried again at the next start.")
                             .arg(shown, s.message()));
            continue;
        }
        (void)found.remove();
        emit notice(QStringLiteral("Recovered %1 samples from %2 into %3.")
                        .arg(QString::number(run->count), shown, QDir::toNativeSeparators(data)));
        log(MonitorEvent::ofFile(Kind::Recovered, m_recorder.now(), fileName(data), run->count, Reason::None));
    }
}

void ContinuousRecorder::arm()
{
    if (m_finished || m_fileOpen)
        return;
    m_recorder.confirmRun(m_options.interval, m_options.fileSamples);
}

QString ContinuousRecorder::newDataPath(int64_t start) const
{
    const QString base = m_options.prefix + QLatin1Char('-') + LocalTime::format(start, "%Y%m%d-%H%M%S");
    const QDir folder(m_options.folder);
    for (int n = 1;; ++n) {
        const QString name = base + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".AsmDat");
        const QString path = folder.filePath(name);
        bool taken = QFileInfo::exists(path) || QFileInfo::exists(RunFiles::exportPathFor(path))
            || QFileInfo::exists(Recovery::journalPathFor(path));
        for (const EndedFile& f : m_ended)
            taken = taken || f.path == path;
        if (!taken)
            return path;
    }
}

void ContinuousRecorder::onReading(const ReadingUpdate& update)
{
    if (!update.runStarted || !m_recorder.run().m_bRunning || m_finished)
        return;
    // The file is named after its first sample, which this reading is.
    m_fileOpen = true;
    m_filePath = newDataPath(update.time);
    emit fileBegun(m_filePath);
}

void ContinuousRecorder::onCommitted(int count)
{
    if (m_options.daily && m_fileOpen) {
        const RunState& run = m_recorder.run();
        const int64_t next = run.m_tStart + int64_t(count) * m_options.interval;
        if (localDate(next) != localDate(run.m_tStart)) {
            // The next sample belongs to another day: it starts the next
            // file.
            m_recorder.stopRun();
            endFile(Reason::Midnight);
            arm();
        }
    }
    retryWrites();
}

void ContinuousRecorder::onRunFinished()
{
    if (!m_fileOpen)
        return;
    const bool full = m_recorder.run().m_nCount >= m_options.fileSamples;
    endFile(full ? Reason::Count : Reason::Dropout);
    arm();
}

void ContinuousRecorder::onLink(bool up)
{
    // Each verdict of the watchdog while the meter is silent ends the run
    // waiting for its start too; the next one is armed each time.
    if (!up && !m_fileOpen)
        arm();
}

void ContinuousRecorder::endFile(Reason reason)
{
    if (!m_fileOpen)
        return;
    m_fileOpen = false;
    const RunView run = m_recorder.view();
    if (run.count() > 0) {
        EndedFile ended;
        ended.path = m_filePath;
        ended.info = run.info();
        ended.reason = reason;
        ended.values.resize(size_t(run.count()) * kChannelCount);
        for (int i = 0; i < run.count(); ++i)
            for (int c = 0; c < kChannelCount; ++c)
                ended.values[size_t(i) * kChannelCount + size_t(c)] = run.value(i, c);
        m_ended.push_back(std::move(ended));
    }
    const QString path = std::exchange(m_filePath, QString());
    emit fileEnded(path);
    writeEnded();
}

void ContinuousRecorder::writeEnded()
{
    // In order: a file is written only after every file before it.
    while (!m_ended.empty()) {
        EndedFile& f = m_ended.front();
        const RunView view = RunView::ofSampleMajor(f.values.data(), f.info);
        if (Status s = RunFiles::saveRun(f.path, view, f.scale); !s.ok()) {
            noteFailure(QStringLiteral("%1 (%2 samples are kept in memory and written when it can be).")
                            .arg(s.message(), QString::number(samplesInMemory())));
            return;
        }
        // Its journal holds nothing the files do not.
        const QString journal = Recovery::journalPathFor(f.path);
        if (m_recorder.journal().path() == journal)
            m_recorder.runSaved(f.info);
        else if (QFileInfo::exists(journal))
            (void)RunJournal::removeFile(journal);
        ++m_filesWritten;
        m_samplesWritten += f.info.count;
        const MonitorEvent written =
            MonitorEvent::ofFile(Kind::File, m_recorder.now(), fileName(f.path), f.info.count, f.reason);
        emit fileWritten(f.path, f.info);
        m_ended.pop_front();
        log(written);
    }
}

void ContinuousRecorder::retryWrites()
{
    if (!m_ended.empty())
        writeEnded();
    if (m_log.pending() > 0) {
        if (Status s = m_log.retry(); !s.ok())
            noteFailure(QStringLiteral("The events log %1 cannot be written (%2); %3 events are kept in memory.")
                            .arg(QDir::toNativeSeparators(m_log.path()), s.message(), QString::number(m_log.pending())));
    }
    if (m_troubled && m_ended.empty() && m_log.pending() == 0 && m_recorder.samplesOutsideJournal() == 0) {
        m_troubled = false;
        m_reported = false;
        emit notice(QStringLiteral("Writing works again: every file, journal and event is on disk."));
    }
}

void ContinuousRecorder::log(const MonitorEvent& event)
{
    if (m_begun) {
        if (Status s = m_log.append(event); !s.ok())
            noteFailure(QStringLiteral("The events log %1 cannot be written (%2); %3 events are kept in memory.")
                            .arg(QDir::toNativeSeparators(m_log.path()), s.message(), QString::number(m_log.pending())));
    }
    emit eventOccurred(event);
}

void ContinuousRecorder::noteFailure(const QString& text)
{
    m_troubled = true;
    const int64_t now = m_recorder.now();
    // Also when the clock went back.
    if (m_reported && now >= m_reportedAt && now - m_reportedAt < kReportSeconds)
        return;
    m_reported = true;
    m_reportedAt = now;
    emit problem(text);
}

int ContinuousRecorder::samplesInMemory() const
{
    int n = 0;
    for (const EndedFile& f : m_ended)
        n += f.info.count;
    return n;
}

int ContinuousRecorder::finish()
{
    if (m_finished)
        return samplesInMemory();
    if (m_fileOpen) {
        m_recorder.stopRun();
        endFile(Reason::Stop);
    } else {
        m_recorder.stopRun();
    }
    m_finished = true;
    retryWrites();
    MonitorEvent stop = MonitorEvent::simple(Kind::Stop, m_recorder.now());
    stop.samples = int(std::min<int64_t>(m_samplesWritten, std::numeric_limits<int>::max()));
    log(stop);
    (void)m_log.retry();
    return samplesInMemory();
}
