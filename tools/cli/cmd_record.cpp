// zb740-cli record (--port DEVICE | --simulate) [--interval SECONDS]
//                  [--count N] [--jsonl FILE|-] [--utc] -o FILE.AsmDat
// Records a run without a window, through the same recorder as the window
// program (link, watchdog, decoder, run rules and commit timing), with its
// journal at FILE.AsmDat.journal. A meter that falls silent ends the run as
// the watchdog does in the window; here the run so far is saved and the
// recording goes on into FILE-2.AsmDat (-3, ...) once the meter answers
// again, until the count is reached or the command is interrupted.
//
// The journal is taken (created and locked) before anything is recorded:
// it proves the folder can be written, and a second recording under the
// same name finds it in use and refuses to start. A journal an earlier
// recording left there is looked at first: one without a sample is removed
// (with a note); one with samples is named with the command that recovers
// it, and nothing is recorded (recovering it here would write FILE.AsmDat,
// which this recording would then replace).
//
// Samples the journal cannot take stay in memory; the journal is tried
// again at each sample and reported at least once a minute while it misses
// samples. At the end every sample is accounted for: in the data file, in
// the journal (with the command that recovers it), or lost, with counts;
// the exit status is 1 unless every sample is in a data file.
//
// With --jsonl, each sample also goes out as one JSON line the moment it is
// committed (the form of zb740-cli export --format jsonl), written and
// flushed line by line to FILE or standard output, so the recording can be
// piped into jq. Its sample numbers count from 1 in each data file. When
// the stream cannot be written (its reader went away), it stops with a
// warning and the recording goes on.
//
// With --mqtt, the samples, alarm flags and events are also published to
// an MQTT broker (CliMqtt.h); a broker away or misconfigured never stops
// the recording. The events then go to FILE.events.jsonl too (as with
// alarm limits), from which those the broker missed are read back.
#include "CliCommands.h"
#include "CliMqtt.h"
#include "CliOutput.h"
#include "AlarmCommand.h"
#include "RecordOptions.h"

#include "base/CommandLine.h"
#include "base/LocalTime.h"
#include "data/Recovery.h"
#include "data/RunFiles.h"
#include "data/EventLog.h"
#include "data/RunJournal.h"
#include "data/SampleExport.h"
#include "base/DurableFile.h"
#include "link/PortStatus.h"
#include "link/SimulatedMeter.h"
#include "recorder/Recorder.h"
#include "recorder/RecorderEvents.h"
#include "settings/Settings.h"
#include "recorder/StopSignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int kMinInterval = 1, kMaxInterval = 3600;
constexpr int kMinCount = 1, kMaxCount = kMaxRunSamples;

using cli::fail;

const char kUsage[] =
    "Usage: zb740-cli record (--port DEVICE | --simulate) [--interval SECONDS]\n"
    "                        [--count N] [ALARM OPTIONS] -o FILE.AsmDat\n"
    "       zb740-cli record --continuous (--port DEVICE | --simulate)\n"
    "                        [--interval SECONDS] [--file-samples N]\n"
    "                        [--rotate daily] [ALARM OPTIONS] -o DIR/PREFIX\n\n"
    "Records a run without a window and writes FILE.AsmDat and its .csv when\n"
    "the count is reached or when interrupted (Ctrl+C, SIGTERM). Every sample\n"
    "also goes to FILE.AsmDat.journal at once, so a crash loses nothing\n"
    "(zb740-cli recover FILE.AsmDat.journal). When the meter stops answering,\n"
    "the run so far is saved and recording goes on into FILE-2.AsmDat (-3, ...)\n"
    "once it answers again.\n"
    "  --port DEVICE        the meter's serial device (/dev/ttyUSB0, ...)\n"
    "  --simulate           record from the simulated meter\n"
    "  --interval SECONDS   seconds between samples, 1..3600 (default 1)\n"
    "  --count N            samples to record, 1..10000 (default 1000)\n"
    "  -o FILE.AsmDat       the data file to write; its .csv and its journal go\n"
    "                       beside it (so not - for standard output)\n"
    "  --jsonl FILE         also write each sample as one JSON line as it is\n"
    "                       taken (the form of export --format jsonl), flushed\n"
    "                       line by line; - for standard output, where the\n"
    "                       closing report then goes to standard error\n"
    "  --utc                times in UTC in the JSON lines\n"
    "Recording for weeks (until Ctrl+C or SIGTERM):\n"
    "  --continuous         record into one file after another in DIR, each\n"
    "                       named PREFIX-YYYYMMDD-HHMMSS.AsmDat (with its .csv)\n"
    "                       after its first sample; journals an earlier\n"
    "                       recording of DIR/PREFIX left are recovered first;\n"
    "                       the events go to DIR/PREFIX.events.jsonl\n"
    "  --file-samples N     a new file after N samples, 1..10000 (default 10000)\n"
    "  --rotate daily       also a new file at local midnight\n"
    "                       (with --mqtt, each sample is published with the\n"
    "                       name of its file, and what the broker missed is\n"
    "                       read back from the files and the events file)\n"
    "Alarms (each change is a line on standard error, and in the events file):\n"
    "  --limit CH:LOW..HIGH alarm limits of a channel (air, wet_bulb, dew_point,\n"
    "                       k_ir, rh) in its display unit, either side may be\n"
    "                       empty (rh:..65); may be given for several channels\n"
    "  --settings FILE      the alarm limits of a ZB740.ini (--limit overrides)\n"
    "  --on-alarm CMD       run CMD (through /bin/sh) for each alarm change, with\n"
    "                       ZB740_CHANNEL, ZB740_BOUND, ZB740_STATE, ZB740_VALUE,\n"
    "                       ZB740_LIMIT, ZB740_TIME in its environment; never\n"
    "                       waited for: a failing or hanging command is reported\n"
    "Faults of the simulated meter (with --simulate):\n"
    "  --silent-after N     fall silent after N frames\n"
    "  --silent-for SECONDS answer again after SECONDS\n";


// Reads the arguments; -1 to go on, else the exit status. Each option may
// be given once, and each value must not be empty.
int parseOptions(const QStringList& args, RecordOptions& o)
{
    CommandLine line(QStringLiteral("zb740-cli record"), QLatin1String(kUsage) + QLatin1String(cli::kMqttUsage),
                     cli::versionLine());
    const int once = CommandLine::Once | CommandLine::NotEmpty;
    line.addValue(QStringLiteral("port"), QStringLiteral("DEVICE"), once);
    line.addSwitch(QStringLiteral("simulate"));
    line.addValue(QStringLiteral("interval"), QStringLiteral("SECONDS"), once);
    line.addValue(QStringLiteral("count"), QStringLiteral("N"), once);
    line.addValue(QStringLiteral("o"), QStringLiteral("FILE.AsmDat"), once);
    line.addValue(QStringLiteral("silent-after"), QStringLiteral("N"), once);
    line.addValue(QStringLiteral("silent-for"), QStringLiteral("SECONDS"), once);
    line.addValue(QStringLiteral("jsonl"), QStringLiteral("FILE"), once);
    line.addSwitch(QStringLiteral("utc"));
    line.addSwitch(QStringLiteral("continuous"));
    line.addValue(QStringLiteral("file-samples"), QStringLiteral("N"), once);
    line.addValue(QStringLiteral("rotate"), QStringLiteral("daily"), once);
    line.addValue(QStringLiteral("limit"), QStringLiteral("CH:LOW..HIGH"), CommandLine::NotEmpty);
    line.addValue(QStringLiteral("settings"), QStringLiteral("FILE"), once);
    line.addValue(QStringLiteral("on-alarm"), QStringLiteral("CMD"), once);
    cli::addMqttOptions(line);
    if (const int status = line.process(args); status >= 0)
        return status;
    if (const int status = cli::readMqttOptions(line, o.mqtt); status >= 0)
        return status;
    if (const QStringList rest = line.arguments(); !rest.isEmpty())
        return line.usageError(QStringLiteral("unexpected argument '%1'").arg(rest.first()));

    auto number = [](const QString& v, int low, int high, int& out) {
        bool ok = false;
        const int n = v.toInt(&ok);
        if (!ok || n < low || n > high)
            return false;
        out = n;
        return true;
    };
    o.simulate = line.isSet(QStringLiteral("simulate"));
    o.device = line.value(QStringLiteral("port")).value_or(QString());
    o.output = line.value(QStringLiteral("o")).value_or(QString());
    o.jsonl = line.value(QStringLiteral("jsonl")).value_or(QString());
    o.utc = line.isSet(QStringLiteral("utc"));
    if (const auto v = line.value(QStringLiteral("interval")); v && !number(*v, kMinInterval, kMaxInterval, o.interval))
        return line.usageError(QStringLiteral("--interval takes 1..3600 seconds, not '%1'").arg(*v));
    if (const auto v = line.value(QStringLiteral("count")); v && !number(*v, kMinCount, kMaxCount, o.count))
        return line.usageError(QStringLiteral("--count takes 1..10000 samples, not '%1'").arg(*v));
    if (const auto v = line.value(QStringLiteral("silent-after"))) {
        if (!number(*v, 1, 1000000, o.meter.silentAfterFrames))
            return line.usageError(QStringLiteral("--silent-after takes a number of frames, not '%1'").arg(*v));
        o.meterFaults = true;
    }
    if (const auto v = line.value(QStringLiteral("silent-for"))) {
        bool ok = false;
        const double seconds = v->toDouble(&ok);
        if (!ok || seconds <= 0 || seconds > 86400)
            return line.usageError(QStringLiteral("--silent-for takes seconds, not '%1'").arg(*v));
        o.meter.silentForMs = int(seconds * 1000.0);
        o.meterFaults = true;
    }
    if (o.simulate == !o.device.isEmpty())
        return line.usageError(QStringLiteral("give either --port DEVICE or --simulate"));
    o.continuous = line.isSet(QStringLiteral("continuous"));
    if (const auto v = line.value(QStringLiteral("file-samples")); v) {
        if (!o.continuous)
            return line.usageError(QStringLiteral("--file-samples goes with --continuous"));
        if (!number(*v, kMinCount, kMaxCount, o.fileSamples))
            return line.usageError(QStringLiteral("--file-samples takes 1..10000 samples, not '%1'").arg(*v));
    }
    if (const auto v = line.value(QStringLiteral("rotate")); v) {
        if (!o.continuous)
            return line.usageError(QStringLiteral("--rotate goes with --continuous"));
        if (*v != QLatin1String("daily"))
            return line.usageError(QStringLiteral("--rotate takes daily, not '%1'").arg(*v));
        o.daily = true;
    }
    if (o.continuous && line.value(QStringLiteral("count")))
        return line.usageError(QStringLiteral("--count does not go with --continuous, which records until stopped"));
    if (const auto v = line.value(QStringLiteral("settings")); v) {
        if (!QFileInfo(*v).isFile())
            return line.usageError(QStringLiteral("--settings %1: no such file").arg(*v));
        const settings::LimitTexts texts = settings::readConfiguredLimitTexts(IniFile(*v));
        o.limits = alarmLimitsFromTexts(texts.high, texts.low);
        o.limitsGiven = true;
    }
    for (const QString& limit : line.values(QStringLiteral("limit"))) {
        QString error;
        if (!applyLimitOption(limit, o.limits, error))
            return line.usageError(QStringLiteral("--limit %1").arg(error));
        o.limitsGiven = true;
    }
    o.onAlarm = line.value(QStringLiteral("on-alarm")).value_or(QString());
    if (o.output.isEmpty())
        return line.usageError(o.continuous ? QStringLiteral("-o DIR/PREFIX is missing")
                                            : QStringLiteral("-o FILE.AsmDat is missing"));
    if (o.continuous) {
        if (cli::isStandardOutput(o.output) || o.output.endsWith(QLatin1Char('/')) || QFileInfo(o.output).fileName().isEmpty())
            return line.usageError(QStringLiteral("--continuous records into -o DIR/PREFIX: name the folder and the "
                                                  "files' prefix, not '%1'").arg(o.output));
        return -1;
    }
    if (cli::isStandardOutput(o.output))
        return line.usageError(QStringLiteral("-o - (standard output) cannot take a recording: it is a data file, its "
                                              ".csv and its journal; name the data file to write"));
    if (o.meterFaults && !o.simulate)
        return line.usageError(QStringLiteral("--silent-after and --silent-for go with --simulate"));
    if (o.utc && o.jsonl.isEmpty())
        return line.usageError(QStringLiteral("--utc goes with --jsonl"));
    if (!o.jsonl.isEmpty() && !cli::isStandardOutput(o.jsonl)) {
        const auto same = [](const QString& a, const QString& b) {
            return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
        };
        if (same(o.jsonl, o.output) || same(o.jsonl, RunFiles::exportPathFor(o.output))
            || same(o.jsonl, Recovery::journalPathFor(o.output)) || same(o.jsonl, EventLog::pathBeside(o.output)))
            return line.usageError(QStringLiteral("--jsonl %1 would replace a file of the recording").arg(o.jsonl));
    }
    return -1;
}

// Part n of the output: FILE.AsmDat, then FILE-2.AsmDat, FILE-3.AsmDat...
// in the folder as it was given ("drop.AsmDat", "drop-2.AsmDat").
QString partName(const QString& output, int part)
{
    if (part == 1)
        return output;
    const QString number = QLatin1Char('-') + QString::number(part);
    const qsizetype slash = output.lastIndexOf(QLatin1Char('/'));
    const QString name = output.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return output + number;
    return output.left(slash + 1) + name.left(dot) + number + name.mid(dot);
}

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// A message as a sentence: with its full stop.
QString sentence(const QString& message)
{
    return message.endsWith(QLatin1Char('.')) ? message : message + QLatin1Char('.');
}

// "H:MM:SS".
QString clockText(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

bool stderrIsTerminal()
{
#ifdef Q_OS_UNIX
    return ::isatty(STDERR_FILENO) == 1;
#else
    return false;
#endif
}

// Columns of the terminal on stderr (0: unknown).
int terminalColumns()
{
#ifdef Q_OS_UNIX
    struct winsize ws {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0)
        return ws.ws_col;
#endif
    return 0;
}

// A part whose data file could not be written: its samples, kept in
// memory to be tried again at the end.
struct UnsavedPart {
    QString path;
    RunInfo info;
    std::vector<float> values; // sample-major
    RunView view() const { return RunView::ofSampleMajor(values.data(), info); }
};

// Samples of a journal on disk, read back (0 when it cannot be read).
int samplesInJournalFile(const QString& journal)
{
    if (!QFileInfo::exists(journal))
        return 0;
    auto run = std::make_unique<RecoveredRun>();
    return Journal::load(journal, *run).ok() ? run->count : 0;
}

// One recording, from the first open of the port to the last file written.
class Recording : public QObject {
public:
    Recording(const RecordOptions& options, const QString& device)
        : m_options(options)
        , m_device(device)
        , m_live(std::make_unique<LiveSeries>())
        , m_recorder(linkOptions(device), *m_live)
        , m_publishing(options.mqtt, m_recorder, cli::meterIdFor(options.simulate, device),
                       [this] { return m_partPath; }, [this](const QString& line) { say(line); },
                       [this](const QString& where, const QString& message) { warn(where, message); })
        , m_terminal(stderrIsTerminal())
    {
        m_partPath = options.output;
        m_recorder.setJournalPaths([this](int64_t, QString& path) {
            path = Recovery::journalPathFor(m_partPath);
            return Status::success();
        });
        connect(&m_recorder, &Recorder::readingDecoded, this, [this](const ReadingUpdate& r) {
            if (r.runStarted && m_recorder.run().m_bRunning)
                m_partStarted = true;
        });
        connect(&m_recorder, &Recorder::sampleCommitted, this, &Recording::onCommitted);
        connect(&m_recorder, &Recorder::runFinished, this, &Recording::onRunFinished);
        connect(&m_recorder, &Recorder::linkChanged, this, &Recording::onLinkChanged);
        connect(&m_recorder, &Recorder::journalFailed, this, [this](const QString& path, const QString& message) {
            warn(journalShown(path), sentence(message)
                     + QStringLiteral(" Recording goes on: the samples are kept in memory, and the journal is "
                                      "tried again at each sample."));
        });
        connect(&m_recorder, &Recorder::journalBehind, this,
                [this](const QString& path, const QString& message, int missing) {
                    warn(journalShown(path),
                         QStringLiteral("still cannot be written (%1): %2 samples are only in memory; recording goes "
                                        "on.")
                             .arg(message, QString::number(missing)));
                });
        connect(&m_recorder, &Recorder::journalCaughtUp, this, [this](const QString& path, int count) {
            say(QStringLiteral("The journal %1 holds all %2 samples again.").arg(shown(path), QString::number(count)));
        });
        // Connected after the recorder's own handler: by then the first
        // open has been tried.
        connect(&m_recorder.scanTimer(), &QTimer::timeout, this, &Recording::checkFirstOpen,
                Qt::SingleShotConnection);
        connect(&m_stopSignals, &StopSignals::stopRequested, this, &Recording::onStopRequested);
        // Alarms: each change on stderr, and the command for it.
        m_recorder.setAlarmLimits(options.limits);
        if (!options.onAlarm.isEmpty()) {
            m_onAlarm = std::make_unique<AlarmCommand>(options.onAlarm);
            connect(m_onAlarm.get(), &AlarmCommand::failed, this,
                    [this](const QString& text) {
                        warn(QStringLiteral("--on-alarm"), text);
                        MonitorEvent e = MonitorEvent::simple(MonitorEvent::Kind::CommandFailed, m_recorder.now());
                        e.message = text;
                        logEvent(e);
                    });
        }
        connect(&m_events, &RecorderEvents::eventOccurred, this, [this](const MonitorEvent& e) {
            logEvent(e);
            if (e.kind != MonitorEvent::Kind::Alarm)
                return;
            say(cli::eventLine(e));
            if (m_onAlarm)
                m_onAlarm->run(e);
        });
        m_redraw.setInterval(1000);
        connect(&m_redraw, &QTimer::timeout, this, [this] { drawProgress(); });
    }

    int exec()
    {
        if (!openStream())
            return 1;
        if (!takeJournal())
            return 1;
        // With alarms or publishing, the events go to FILE.events.jsonl
        // beside the data.
        const bool logged = m_options.limitsGiven || !m_options.onAlarm.isEmpty() || m_options.mqtt.enabled;
        if (logged) {
            const QString events = EventLog::pathBeside(m_options.output);
            if (const Status s = m_log.open(events); !s.ok()) {
                fail(events, QStringLiteral("cannot be written (%1); nothing recorded").arg(s.message()));
                return 1;
            }
            m_publishing.eventsKeptIn(&m_log);
        }
        m_elapsed.start();
        m_publishing.start();
        if (logged)
            logEvent(MonitorEvent::simple(MonitorEvent::Kind::Start, m_recorder.now()));
        m_recorder.start(1); // the device is pinned: the number is not used
        confirmRun();
        const int status = QCoreApplication::exec();
        m_recorder.shutDown();
        m_publishing.stop();
        return status;
    }

private:
    static LinkOptions linkOptions(const QString& device)
    {
        LinkOptions o;
        o.portDevice = device;
        return o;
    }

    int recorded() const { return m_done + (m_partStarted ? m_recorder.run().m_nCount : 0); }

    QString journalShown(const QString& path) const
    {
        return shown(path.isEmpty() ? Recovery::journalPathFor(m_partPath) : path);
    }

    // The first part's journal, taken before anything is recorded: it is
    // the proof that the folder can be written, and the mark that keeps a
    // second recording off the same name.
    bool takeJournal()
    {
        const QString journal = Recovery::journalPathFor(m_partPath);
        const Status taken = m_recorder.reserveJournal(journal);
        if (taken.ok())
            return true;
        if (taken.code() == Status::Code::Busy) {
            fail(journal, QStringLiteral("%1: another recording writes %2; nothing recorded")
                              .arg(QLatin1String(Journal::kInUse), shown(m_options.output)));
        } else {
            fail(m_options.output, QStringLiteral("the folder %1 cannot be written (%2); nothing recorded")
                                       .arg(shown(QFileInfo(m_options.output).absolutePath()), taken.message()));
        }
        return false;
    }

    // The JSON lines stream, opened before anything is recorded.
    bool openStream()
    {
        if (m_options.jsonl.isEmpty())
            return true;
        const Status opened = cli::openLineStream(m_options.jsonl, m_stream);
        if (!opened.ok()) {
            fail(cli::shownOutput(m_options.jsonl), opened.message());
            return false;
        }
        m_streaming = true;
        return true;
    }

    // Sample `index` of the current part as its JSON line.
    void streamSample(int index)
    {
        if (!m_streaming)
            return;
        char line[SampleExport::kMaxLineLength];
        const size_t n = SampleExport::jsonLine(line, m_recorder.view(), index, m_options.utc);
        const Status s = DurableFile::writeFully(m_stream, QByteArray::fromRawData(line, qsizetype(n)));
        if (!s.ok()) {
            m_streaming = false;
            warn(cli::shownOutput(m_options.jsonl),
                 sentence(s.message()) + QStringLiteral(" The JSON lines stop here; recording goes on."));
        }
    }

    // Where the closing report goes: standard output, unless the JSON lines
    // go there.
    FILE* reportStream() const
    {
        return cli::isStandardOutput(m_options.jsonl) ? stderr : stdout;
    }

    void confirmRun()
    {
        m_recorder.confirmRun(m_options.interval, m_options.count - m_done);
    }

    void checkFirstOpen()
    {
        if (!m_recorder.link().comm().portOpen()) {
            fail(m_device, m_recorder.link().portStatus());
            finish(1);
            return;
        }
        std::fprintf(stderr, "Recording %d samples every %d s from %s into %s (journal %s).\n", m_options.count,
                     m_options.interval, qPrintable(shown(m_device)), qPrintable(shown(m_options.output)),
                     qPrintable(shown(Recovery::journalPathFor(m_options.output))));
        m_begun = true;
        if (m_terminal)
            m_redraw.start();
        drawProgress();
    }

    // An event into the events file, when there is one; a line it cannot
    // take waits in memory for the next event or sample, and the trouble
    // is said at once and then at most once a minute.
    void logEvent(const MonitorEvent& e)
    {
        if (!m_log.isOpen())
            return;
        reportLog(m_log.append(e));
        m_publishing.publishEvent(e);
    }
    void reportLog(const Status& s)
    {
        if (s.ok())
            return;
        const int64_t now = m_recorder.now();
        if (m_logReported && now >= m_logReportedAt && now - m_logReportedAt < 60)
            return;
        m_logReported = true;
        m_logReportedAt = now;
        warn(shown(m_log.path()), QStringLiteral("cannot be written (%1): %2 events are kept in memory; recording goes on.")
                                      .arg(s.message())
                                      .arg(m_log.pending()));
    }

    void onCommitted(int count)
    {
        if (m_log.pending() > 0)
            reportLog(m_log.retry());
        streamSample(count - 1);
        const RunState& run = m_recorder.run();
        m_lastAir = toDisplayUnit(m_live->at(kAir, count - 1), kAir, run.m_bFahrenheit);
        m_lastRh = m_live->at(kRh, count - 1);
        m_lastUnit = run.m_strUnit;
        m_haveReading = true;
        progressStep();
        if (recorded() >= m_options.count) {
            // The run is complete with this sample: no need to wait for
            // the next frame to end it.
            endProgress();
            m_recorder.stopRun();
            finishPart(true);
            finish();
        }
    }

    void onRunFinished()
    {
        const bool complete = recorded() >= m_options.count;
        if (complete)
            endProgress();
        finishPart(complete);
        if (complete)
            finish();
        else
            QMetaObject::invokeMethod(this, &Recording::keepRecording, Qt::QueuedConnection);
    }

    void onLinkChanged(bool up)
    {
        // Every watchdog verdict while the meter is silent ends the run
        // waiting for its start too: arm the next one each time.
        if (!up)
            QMetaObject::invokeMethod(this, &Recording::keepRecording, Qt::QueuedConnection);
        // It repeats every 3 s: only the changes are news.
        if (up == m_linkUp)
            return;
        m_linkUp = up;
        if (up)
            say(portstatus::connectedText(m_device) + QLatin1Char('.'));
        else
            say(QStringLiteral("Link lost: no answer from the meter on %1; waiting for it.").arg(shown(m_device)));
    }

    // Unattended, a lost link does not end the recording: the next run is
    // armed at once and starts when the meter answers again.
    void keepRecording()
    {
        if (m_finished || m_recorder.run().m_bRunning || m_done >= m_options.count)
            return;
        confirmRun();
    }

    void onStopRequested(int)
    {
        if (m_finished)
            return;
        endProgress();
        m_recorder.stopRun();
        say(QStringLiteral("Interrupted: %1 of %2 samples recorded.").arg(recorded()).arg(m_options.count));
        finishPart(true);
        if (m_done == 0)
            fail(m_options.output, QStringLiteral("no samples were recorded; nothing written"));
        finish();
    }

    // Saves the run that just ended, when it has samples, and moves on to
    // the next part's name unless it is the last part.
    void finishPart(bool last)
    {
        m_unsavedAtEnd = false;
        if (!m_partStarted)
            return;
        m_partStarted = false;
        const RunView run = m_recorder.view();
        if (run.count() == 0)
            return; // its empty journal is gone already
        m_done += run.count();
        if (const Status s = RunFiles::saveRun(m_partPath, run, YScaleValues {}); !s.ok()) {
            // Kept in memory: the next parts reuse the live series.
            UnsavedPart part {m_partPath, run.info(), {}};
            part.values.resize(size_t(run.count()) * kChannelCount);
            for (int i = 0; i < run.count(); ++i)
                for (int c = 0; c < kChannelCount; ++c)
                    part.values[size_t(i) * kChannelCount + size_t(c)] = run.value(i, c);
            reportUnsaved(part, s.message());
            m_unsaved.push_back(std::move(part));
            m_unsavedAtEnd = true;
        } else {
            m_recorder.runSaved(run.info());
            reportWritten(m_partPath, run);
        }
        m_publishing.partEnded(Recovery::journalPathFor(m_partPath));
        if (!last)
            m_partPath = nextPartPath();
    }

    void reportWritten(const QString& path, const RunView& run)
    {
        logEvent(MonitorEvent::ofFile(MonitorEvent::Kind::File, m_recorder.now(), QFileInfo(path).fileName(), run.count(),
                                      MonitorEvent::Reason::None));
        ++m_filesWritten;
        clearProgress();
        std::fprintf(reportStream(), "Wrote %d samples (started %s, interval %d s) to %s and %s.\n", run.count(),
                     qPrintable(LocalTime::format(run.start(), "%d/%m/%y %H:%M:%S")), run.interval(),
                     qPrintable(shown(path)), qPrintable(shown(QDir::cleanPath(RunFiles::exportPathFor(path)))));
        std::fflush(reportStream());
    }

    // Where the samples of a part whose data file failed are: read back
    // from its journal, so that nothing is said to be kept that is not.
    void reportUnsaved(const UnsavedPart& part, const QString& reason)
    {
        const QString journal = Recovery::journalPathFor(part.path);
        const int count = part.info.count;
        const int inJournal = std::min(samplesInJournalFile(journal), count);
        QString where;
        if (inJournal == count) {
            where = QStringLiteral("The %1 samples are in the journal %2 (zb740-cli recover %2).")
                        .arg(QString::number(count), shown(journal));
        } else if (inJournal > 0) {
            where = QStringLiteral("%1 of the %2 samples are in the journal %3 (zb740-cli recover %3); %4 samples "
                                   "are lost.")
                        .arg(QString::number(inJournal), QString::number(count), shown(journal),
                             QString::number(count - inJournal));
        } else {
            where = QStringLiteral("The %1 samples are lost: the journal %2 could not take them either.")
                        .arg(QString::number(count), shown(journal));
        }
        warn(shown(part.path), sentence(reason) + QLatin1Char(' ') + where);
    }

    // A part's name never replaces the files of another recording, and is
    // taken at once, so no other recording starts under it meanwhile.
    QString nextPartPath()
    {
        for (;;) {
            const QString path = partName(m_options.output, ++m_part);
            if (QFileInfo::exists(path) || QFileInfo::exists(RunFiles::exportPathFor(path)))
                continue;
            const Status taken = m_recorder.reserveJournal(Recovery::journalPathFor(path));
            // When it cannot be made at all, the recorder says so when the
            // part begins.
            if (taken.code() != Status::Code::Busy)
                return path;
        }
    }

    // Parts that could not be written are tried once more; then the
    // command ends: 0 only when every sample is in a data file.
    void finish()
    {
        if (m_finished)
            return;
        const int lastUnsaved = int(m_unsaved.size()) - 1;
        for (int i = 0; i < int(m_unsaved.size()); ++i) {
            UnsavedPart& part = m_unsaved[size_t(i)];
            // The last part has just failed: no need to try it again.
            if (i == lastUnsaved && m_unsavedAtEnd)
                continue;
            const RunView run = part.view();
            const Status s = RunFiles::saveRun(part.path, run, YScaleValues {});
            if (!s.ok()) {
                reportUnsaved(part, s.message());
                continue;
            }
            // Its journal holds nothing the files do not.
            if (const QString journal = Recovery::journalPathFor(part.path); QFileInfo::exists(journal))
                (void)RunJournal::removeFile(journal);
            reportWritten(part.path, run);
            part.values.clear();
        }
        int unsaved = 0;
        for (const UnsavedPart& part : m_unsaved)
            unsaved += part.values.empty() ? 0 : part.info.count;
        finish(m_filesWritten > 0 && unsaved == 0 ? 0 : 1);
    }

    void finish(int status)
    {
        if (m_finished)
            return;
        MonitorEvent stop = MonitorEvent::simple(MonitorEvent::Kind::Stop, m_recorder.now());
        stop.samples = recorded();
        logEvent(stop);
        m_finished = true;
        m_redraw.stop();
        std::fflush(stderr);
        QCoreApplication::exit(status);
    }

    // --- progress on stderr ---

    QString progressText() const
    {
        const int done = recorded();
        const qint64 remaining = qint64(m_options.count - done) * m_options.interval;
        QString text = QStringLiteral("%1/%2 samples  elapsed %3  remaining %4")
                           .arg(done)
                           .arg(m_options.count)
                           .arg(clockText(m_elapsed.elapsed() / 1000))
                           .arg(clockText(remaining));
        if (m_haveReading) {
            text += QStringLiteral("  AIR %1 %2  RH %3 %")
                        .arg(double(m_lastAir), 0, 'f', 1)
                        .arg(m_lastUnit)
                        .arg(double(m_lastRh), 0, 'f', 1);
        }
        text += m_recorder.run().m_bNoLink ? QStringLiteral("  no link") : QStringLiteral("  link up");
        return text;
    }

    // On a terminal: the one updating line. Elsewhere: a line per tenth of
    // the count.
    void progressStep()
    {
        if (m_terminal) {
            drawProgress();
            return;
        }
        const int tenth = recorded() * 10 / m_options.count;
        if (tenth > m_lastTenth) {
            m_lastTenth = tenth;
            std::fprintf(stderr, "%s\n", qPrintable(progressText()));
            std::fflush(stderr);
        }
    }

    void drawProgress()
    {
        if (!m_terminal || m_progressEnded)
            return;
        QString text = progressText();
        const int columns = terminalColumns();
        if (columns > 1 && text.size() >= columns)
            text.truncate(columns - 1);
        std::fprintf(stderr, "\r%s\033[K", qPrintable(text));
        std::fflush(stderr);
        m_progressShown = true;
    }

    // Recording is over: the last state stays on the screen, its line
    // ended, above the closing messages; it is not drawn again.
    void endProgress()
    {
        if (m_progressEnded)
            return;
        if (m_terminal && m_begun) {
            drawProgress();
            std::fputc('\n', stderr);
            std::fflush(stderr);
        }
        m_progressShown = false;
        m_progressEnded = true;
        m_redraw.stop();
    }

    void clearProgress()
    {
        if (m_terminal && m_progressShown) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            m_progressShown = false;
        }
    }

    // A line of its own, above the progress line on a terminal.
    void say(const QString& line)
    {
        clearProgress();
        std::fprintf(stderr, "%s\n", qPrintable(line));
        std::fflush(stderr);
        drawProgress();
    }

    // A warning naming its file, above the progress line.
    void warn(const QString& file, const QString& message) { say(cli::errorLine(file, message)); }

    RecordOptions m_options;
    QString m_device;
    std::unique_ptr<LiveSeries> m_live;
    Recorder m_recorder;
    RecorderEvents m_events {m_recorder};
    EventLog m_log;
    bool m_logReported = false;
    int64_t m_logReportedAt = 0;
    std::unique_ptr<AlarmCommand> m_onAlarm;
    cli::RecordPublishing m_publishing;
    StopSignals m_stopSignals;
    QFile m_stream;          // the JSON lines, while m_streaming
    bool m_streaming = false;
    const bool m_terminal;
    QTimer m_redraw;
    QElapsedTimer m_elapsed;
    QString m_partPath;
    int m_part = 1;
    bool m_partStarted = false; // the current part's run has started
    int m_done = 0;             // samples of the parts finished
    int m_filesWritten = 0;
    std::vector<UnsavedPart> m_unsaved;
    bool m_unsavedAtEnd = false; // the last part finished is the last of m_unsaved
    int m_lastTenth = 0;
    bool m_progressShown = false;
    bool m_progressEnded = false;
    bool m_begun = false;   // the port opened: recording is under way
    bool m_linkUp = false;
    bool m_finished = false;
    // The last sample's readings, as shown.
    bool m_haveReading = false;
    float m_lastAir = 0, m_lastRh = 0;
    QString m_lastUnit;
};

// What must hold before a long recording starts: a folder to write into,
// and no journal of an earlier recording under the same name that holds
// samples or belongs to a recording still running. One without a sample
// is removed.
bool checkOutput(const QString& output)
{
    const QFileInfo info(output);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir()) {
        fail(output, QStringLiteral("the folder %1 does not exist").arg(shown(folder.filePath())));
        return false;
    }
    if (info.isDir()) {
        fail(output, QStringLiteral("is a folder"));
        return false;
    }
    const QString journal = Recovery::journalPathFor(output);
    const QFileInfo journalInfo(journal);
    if (!journalInfo.exists() && !journalInfo.isSymLink())
        return true;
    FoundJournal found;
    if (const Status s = found.open(journal, FoundJournal::Access::Take); !s.ok()) {
        if (s.code() == Status::Code::Busy)
            fail(journal, QStringLiteral("%1: another recording writes %2; nothing recorded")
                              .arg(QLatin1String(Journal::kInUse), shown(output)));
        else
            fail(journal, QStringLiteral("exists already and cannot be read (%1); remove it first").arg(s.message()));
        return false;
    }
    auto run = std::make_unique<RecoveredRun>();
    const Status read = found.read(*run);
    if (found.holdsNoSample()) {
        if (const Status removed = found.remove(); !removed.ok()) {
            fail(journal, removed.message());
            return false;
        }
        std::fprintf(stderr, "Removed %s: an earlier recording left it without a sample.\n", qPrintable(shown(journal)));
        return true;
    }
    if (!read.ok()) {
        fail(journal, QStringLiteral("exists already and is not a journal this program can recover (%1); remove it "
                                     "first")
                          .arg(read.message()));
    } else {
        fail(journal, QStringLiteral("exists already: an earlier recording of %1 samples was not saved; recover it "
                                     "with zb740-cli recover %2, or remove it first")
                          .arg(QString::number(run->count), shown(journal)));
    }
    return false;
}

} // namespace

int cli::runRecord(const QStringList& args)
{
    RecordOptions options;
    if (const int status = parseOptions(args, options); status >= 0)
        return status;
    if (const int status = cli::checkMqttLibrary(options.mqtt); status >= 0)
        return status;
    if (!options.continuous && !checkOutput(options.output))
        return 1;

    std::unique_ptr<SimulatedMeter> meter;
    QString device = options.device;
    if (options.simulate) {
        meter = std::make_unique<SimulatedMeter>(options.meter);
        if (const Status started = meter->start(); !started.ok())
            return cli::error(QStringLiteral("cannot start the simulated meter: %1").arg(started.message()));
        device = meter->devicePath();
    }
    if (options.continuous)
        return cli::runContinuousRecording(options, device);
    Recording recording(options, device);
    return recording.exec();
}
