// zb740-cli record --continuous: recording for weeks, the command over
// ContinuousRecorder (recorder/ContinuousRecorder.h), which does the work:
// rotating files, recovery of journals left behind, writes retried when
// the disk fails, the events log. Here: the options, the lines on standard
// error (events, trouble at most once a minute, the progress line on a
// terminal), the JSON lines stream, --on-alarm, and systemd's notifications
// when run as a service (READY=1, STATUS=, watchdog pings), and with
// --mqtt, publishing (CliMqtt.h): each sample with its file's name, the
// events, read back from the files and the events log after an outage.
//
// The exit status is 0 when every sample recorded is in a data file when
// the recording is stopped (SIGINT, SIGTERM), 1 otherwise (the samples not
// written are then in their journals, recovered at the next start), and 1
// when recording cannot begin: the folder is missing or cannot be written,
// another recording holds DIR/PREFIX, or the port cannot be opened.
#include "AlarmCommand.h"
#include "CliCommands.h"
#include "CliMqtt.h"
#include "CliOutput.h"
#include "RecordOptions.h"
#include "SystemdNotify.h"

#include "base/DurableFile.h"
#include "base/LocalTime.h"
#include "data/Recovery.h"
#include "data/SampleExport.h"
#include "link/PortStatus.h"
#include "recorder/ContinuousRecorder.h"
#include "recorder/Recorder.h"
#include "recorder/StopSignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

class ContinuousRecording : public QObject {
public:
    ContinuousRecording(const RecordOptions& options, const QString& device)
        : m_options(options)
        , m_device(device)
        , m_live(std::make_unique<LiveSeries>())
        , m_recorder(linkOptions(device), *m_live)
        , m_publishing(options.mqtt, m_recorder, cli::meterIdFor(options.simulate, device), nullptr,
                       [this](const QString& line) { say(line); },
                       [this](const QString& where, const QString& message) { say(cli::errorLine(where, message)); })
#ifdef Q_OS_UNIX
        , m_terminal(::isatty(STDERR_FILENO) == 1)
#endif
    {
        const QFileInfo out(options.output);
        m_folder = out.path();
        m_prefix = out.fileName();
        m_recorder.setAlarmLimits(options.limits);
        // Before the continuous recorder's own handler, which may start the
        // next file at this very sample.
        connect(&m_recorder, &Recorder::sampleCommitted, this, &ContinuousRecording::onCommitted);
        ContinuousOptions c;
        c.folder = m_folder;
        c.prefix = m_prefix;
        c.interval = options.interval;
        c.fileSamples = options.fileSamples;
        c.daily = options.daily;
        m_continuous = std::make_unique<ContinuousRecorder>(m_recorder, c);
        connect(m_continuous.get(), &ContinuousRecorder::eventOccurred, this, &ContinuousRecording::onEvent);
        // Each file's samples are published with its name; once it ended,
        // they are read back from it (or its journal) when the broker did
        // not take them all, and the events from the events log.
        connect(m_continuous.get(), &ContinuousRecorder::fileBegun, this,
                [this](const QString& path) { m_publishing.beginPart(path); });
        connect(m_continuous.get(), &ContinuousRecorder::fileEnded, this,
                [this](const QString& path) { m_publishing.partEnded(Recovery::journalPathFor(path)); });
        m_publishing.eventsKeptIn(&m_continuous->eventLog());
        connect(m_continuous.get(), &ContinuousRecorder::problem, this, [this](const QString& text) {
            say(cli::errorLine(shown(m_folder + QLatin1Char('/') + m_prefix), text));
            m_notify.status(QStringLiteral("Trouble: %1").arg(text));
        });
        connect(m_continuous.get(), &ContinuousRecorder::notice, this, [this](const QString& text) { say(text); });
        if (!options.onAlarm.isEmpty()) {
            m_onAlarm = std::make_unique<AlarmCommand>(options.onAlarm);
            connect(m_onAlarm.get(), &AlarmCommand::failed, this, [this](const QString& text) {
                say(cli::errorLine(QStringLiteral("--on-alarm"), text));
                MonitorEvent e = MonitorEvent::simple(MonitorEvent::Kind::CommandFailed, m_recorder.now());
                e.message = text;
                m_commandFailures.append(e);
                QMetaObject::invokeMethod(this, &ContinuousRecording::logCommandFailures, Qt::QueuedConnection);
            });
        }
        connect(&m_recorder.scanTimer(), &QTimer::timeout, this, &ContinuousRecording::checkFirstOpen,
                Qt::SingleShotConnection);
        connect(&m_stopSignals, &StopSignals::stopRequested, this, &ContinuousRecording::stop);
        m_redraw.setInterval(1000);
        connect(&m_redraw, &QTimer::timeout, this, [this] { drawProgress(); });
    }

    int exec()
    {
        const QFileInfo folder(m_folder);
        if (!folder.isDir()) {
            cli::fail(m_options.output, QStringLiteral("the folder %1 does not exist").arg(shown(m_folder)));
            return 1;
        }
        if (!openStream())
            return 1;
        // Before the first events (the start, journals recovered).
        m_publishing.start();
        if (const Status s = m_continuous->begin(); !s.ok()) {
            m_publishing.stop();
            if (s.code() == Status::Code::Busy)
                cli::fail(m_options.output, QStringLiteral("another recording writes here; nothing recorded"));
            else
                cli::fail(m_options.output,
                          QStringLiteral("the folder %1 cannot be written (%2); nothing recorded").arg(shown(m_folder), s.message()));
            return 1;
        }
        m_recorder.start(1); // the device is pinned: the number is not used
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

    void checkFirstOpen()
    {
        if (!m_recorder.link().comm().portOpen()) {
            cli::fail(m_device, m_recorder.link().portStatus());
            (void)m_continuous->finish();
            QCoreApplication::exit(1);
            return;
        }
        QString what = QStringLiteral("Recording every %1 s from %2 into %3-YYYYMMDD-HHMMSS.AsmDat, %4 samples a file")
                           .arg(m_options.interval)
                           .arg(shown(m_device), shown(QDir(m_folder).filePath(m_prefix)))
                           .arg(m_options.fileSamples);
        if (m_options.daily)
            what += QStringLiteral(" and a new file at midnight");
        what += QStringLiteral("; events in %1; until stopped.")
                    .arg(shown(ContinuousRecorder::eventsPathFor(m_folder, m_prefix)));
        say(what);
        m_notify.ready(statusText());
        if (m_terminal)
            m_redraw.start();
    }

    void onCommitted(int count)
    {
        streamSample(count - 1);
        const RunState& run = m_recorder.run();
        m_lastAir = toDisplayUnit(m_live->at(kAir, count - 1), kAir, run.m_bFahrenheit);
        m_lastRh = m_live->at(kRh, count - 1);
        m_lastUnit = run.m_strUnit;
        m_haveReading = true;
        m_notify.status(statusText());
        drawProgress();
    }

    void onEvent(const MonitorEvent& e)
    {
        say(cli::eventLine(e));
        m_publishing.publishEvent(e);
        if (e.kind == MonitorEvent::Kind::Alarm && m_onAlarm)
            m_onAlarm->run(e);
        if (e.kind != MonitorEvent::Kind::Start && e.kind != MonitorEvent::Kind::Stop)
            m_notify.status(statusText());
    }

    // A failing command's report goes to the events log too (outside the
    // handler of the event that ran it).
    void logCommandFailures()
    {
        // Logged through the recorder's events, in order.
        const QList<MonitorEvent> failures = std::exchange(m_commandFailures, {});
        for (const MonitorEvent& e : failures)
            m_continuous->logEvent(e);
    }

    void stop(int)
    {
        if (m_stopping)
            return;
        m_stopping = true;
        m_notify.stopping();
        endProgress();
        const int unwritten = m_continuous->finish();
        std::fprintf(stderr, "Stopped: %lld samples in %d files written.\n",
                     static_cast<long long>(m_continuous->samplesWritten()), m_continuous->filesWritten());
        if (unwritten > 0) {
            cli::fail(shown(m_folder),
                      QStringLiteral("%1 samples could not be written to their data files; those in their "
                                     "journals are recovered at the next start")
                          .arg(unwritten));
        }
        std::fflush(stderr);
        QCoreApplication::exit(unwritten > 0 ? 1 : 0);
    }

    QString statusText() const
    {
        QString text;
        if (m_continuous->fileOpen())
            text = QStringLiteral("%1: %2 samples")
                       .arg(QFileInfo(m_continuous->currentFile()).fileName())
                       .arg(m_recorder.run().m_nCount);
        else
            text = QStringLiteral("waiting for the meter");
        text += QStringLiteral("; %1 files written").arg(m_continuous->filesWritten());
        text += m_recorder.run().m_bNoLink ? QStringLiteral("; no link") : QStringLiteral("; link up");
        if (m_haveReading) {
            text += QStringLiteral("; AIR %1 %2, RH %3 %")
                        .arg(double(m_lastAir), 0, 'f', 1)
                        .arg(m_lastUnit)
                        .arg(double(m_lastRh), 0, 'f', 1);
        }
        if (m_continuous->troubled())
            text += QStringLiteral("; writes behind");
        return text;
    }

    // --- the JSON lines stream ---

    bool openStream()
    {
        if (m_options.jsonl.isEmpty())
            return true;
        const Status opened = cli::openLineStream(m_options.jsonl, m_stream);
        if (!opened.ok()) {
            cli::fail(cli::shownOutput(m_options.jsonl), opened.message());
            return false;
        }
        m_streaming = true;
        return true;
    }

    void streamSample(int index)
    {
        if (!m_streaming)
            return;
        char line[SampleExport::kMaxLineLength];
        const size_t n = SampleExport::jsonLine(line, m_recorder.view(), index, m_options.utc);
        if (const Status s = DurableFile::writeFully(m_stream, QByteArray::fromRawData(line, qsizetype(n))); !s.ok()) {
            m_streaming = false;
            say(cli::errorLine(cli::shownOutput(m_options.jsonl),
                               s.message() + QStringLiteral(". The JSON lines stop here; recording goes on.")));
        }
    }

    // --- standard error ---

    void drawProgress()
    {
        if (!m_terminal || m_progressEnded)
            return;
        std::fprintf(stderr, "\r%s\033[K", qPrintable(statusText()));
        std::fflush(stderr);
        m_progressShown = true;
    }

    void endProgress()
    {
        if (m_progressShown) {
            std::fputc('\n', stderr);
            m_progressShown = false;
        }
        m_progressEnded = true;
        m_redraw.stop();
    }

    void say(const QString& line)
    {
        if (m_progressShown) {
            std::fputs("\r\033[K", stderr);
            m_progressShown = false;
        }
        std::fprintf(stderr, "%s\n", qPrintable(line));
        std::fflush(stderr);
        drawProgress();
    }

    RecordOptions m_options;
    QString m_device;
    QString m_folder, m_prefix;
    std::unique_ptr<LiveSeries> m_live;
    Recorder m_recorder;
    // Before the continuous recorder: a sample reaches the publisher before
    // the file it ends is ended.
    cli::RecordPublishing m_publishing;
    std::unique_ptr<ContinuousRecorder> m_continuous;
    std::unique_ptr<AlarmCommand> m_onAlarm;
    QList<MonitorEvent> m_commandFailures;
    SystemdNotify m_notify;
    StopSignals m_stopSignals;
    QFile m_stream;
    bool m_streaming = false;
    bool m_terminal = false;
    QTimer m_redraw;
    bool m_progressShown = false;
    bool m_progressEnded = false;
    bool m_stopping = false;
    bool m_haveReading = false;
    float m_lastAir = 0, m_lastRh = 0;
    QString m_lastUnit;
};

} // namespace

QString cli::eventLine(const MonitorEvent& e)
{
    const QByteArray json = MonitorEvents::json(e);
    // The time as the JSON form writes it: "2026-12-11T02:00:07+01:00".
    const QString time = QString::fromLatin1(json.mid(9, json.indexOf('"', 9) - 9));
    return QStringLiteral("%1 %2.").arg(time, MonitorEvents::describe(e));
}

int cli::runContinuousRecording(const RecordOptions& options, const QString& device)
{
    ContinuousRecording recording(options, device);
    return recording.exec();
}
