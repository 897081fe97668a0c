// zb740-cli record (--port DEVICE | --simulate) [--interval SECONDS]
//                  [--count N] -o FILE.AsmDat
// Records a run without a window, through the same recorder as the window
// program (link, watchdog, decoder, run rules and commit timing), with its
// journal at FILE.AsmDat.journal. A meter that falls silent ends the run as
// the watchdog does in the window; here the run so far is saved and the
// recording goes on into FILE-2.AsmDat (-3, ...) once the meter answers
// again, until the count is reached or the command is interrupted.
#include "CliCommands.h"

#include "base/LocalTime.h"
#include "data/Recovery.h"
#include "data/RunFiles.h"
#include "link/PortStatus.h"
#include "link/SimulatedMeter.h"
#include "recorder/Recorder.h"
#include "recorder/StopSignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int kMinInterval = 1, kMaxInterval = 3600;
constexpr int kMinCount = 1, kMaxCount = kMaxRunSamples;

void printUsage(FILE* out)
{
    std::fprintf(out,
                 "Usage: zb740-cli record (--port DEVICE | --simulate) [--interval SECONDS]\n"
                 "                        [--count N] -o FILE.AsmDat\n\n"
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
                 "  -o FILE.AsmDat       the data file to write\n"
                 "Faults of the simulated meter (with --simulate):\n"
                 "  --silent-after N     fall silent after N frames\n"
                 "  --silent-for SECONDS answer again after SECONDS\n");
}

int usageError(const QString& message)
{
    std::fprintf(stderr, "zb740-cli record: %s\n", qPrintable(message));
    printUsage(stderr);
    return 2;
}

void fail(const QString& file, const QString& message)
{
    std::fprintf(stderr, "zb740-cli: %s: %s\n", qPrintable(QDir::toNativeSeparators(file)), qPrintable(message));
    std::fflush(stderr);
}

struct RecordOptions {
    QString device;
    bool simulate = false;
    int interval = 1;
    int count = 1000;
    QString output;
    SimulatedMeterOptions meter;
    bool meterFaults = false;
};

// Parses the arguments; -1 to go on, else the exit status.
int parseOptions(const QStringList& args, RecordOptions& o)
{
    QStringList seen;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == u"--help" || a == u"-h") {
            printUsage(stdout);
            return 0;
        }
        const bool known = a == u"--port" || a == u"--simulate" || a == u"--interval" || a == u"--count"
            || a == u"-o" || a == u"--silent-after" || a == u"--silent-for";
        if (!known)
            return usageError(QStringLiteral("unknown option or argument '%1'").arg(a));
        if (seen.contains(a))
            return usageError(QStringLiteral("%1 is given twice").arg(a));
        seen << a;
        if (a == u"--simulate") {
            o.simulate = true;
            continue;
        }
        if (i + 1 >= args.size() || args[i + 1].isEmpty())
            return usageError(QStringLiteral("%1 needs a value").arg(a));
        const QString v = args[++i];
        auto number = [&](int low, int high, int& out) {
            bool ok = false;
            const int n = v.toInt(&ok);
            if (!ok || n < low || n > high)
                return false;
            out = n;
            return true;
        };
        if (a == u"--port") {
            o.device = v;
        } else if (a == u"-o") {
            o.output = v;
        } else if (a == u"--interval") {
            if (!number(kMinInterval, kMaxInterval, o.interval))
                return usageError(QStringLiteral("--interval takes 1..3600 seconds, not '%1'").arg(v));
        } else if (a == u"--count") {
            if (!number(kMinCount, kMaxCount, o.count))
                return usageError(QStringLiteral("--count takes 1..10000 samples, not '%1'").arg(v));
        } else if (a == u"--silent-after") {
            if (!number(1, 1000000, o.meter.silentAfterFrames))
                return usageError(QStringLiteral("--silent-after takes a number of frames, not '%1'").arg(v));
            o.meterFaults = true;
        } else if (a == u"--silent-for") {
            bool ok = false;
            const double seconds = v.toDouble(&ok);
            if (!ok || seconds <= 0 || seconds > 86400)
                return usageError(QStringLiteral("--silent-for takes seconds, not '%1'").arg(v));
            o.meter.silentForMs = int(seconds * 1000.0);
            o.meterFaults = true;
        }
    }
    if (o.simulate == !o.device.isEmpty())
        return usageError(QStringLiteral("give either --port DEVICE or --simulate"));
    if (o.output.isEmpty())
        return usageError(QStringLiteral("-o FILE.AsmDat is missing"));
    if (o.meterFaults && !o.simulate)
        return usageError(QStringLiteral("--silent-after and --silent-for go with --simulate"));
    return -1;
}

// Part n of the output: FILE.AsmDat, then FILE-2.AsmDat, FILE-3.AsmDat...
QString partName(const QString& output, int part)
{
    if (part == 1)
        return output;
    const QFileInfo info(output);
    const QString number = QLatin1Char('-') + QString::number(part);
    if (info.suffix().isEmpty())
        return output + number;
    return info.dir().filePath(info.completeBaseName() + number + QLatin1Char('.') + info.suffix());
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

// One recording, from the first open of the port to the last file written.
class Recording : public QObject {
public:
    Recording(const RecordOptions& options, const QString& device)
        : m_options(options)
        , m_device(device)
        , m_live(std::make_unique<LiveSeries>())
        , m_recorder(linkOptions(device), *m_live)
        , m_terminal(stderrIsTerminal())
    {
        m_partPath = options.output;
        m_recorder.setJournalPaths([this](int64_t, QString& path) {
            path = Recovery::journalPathFor(m_partPath);
            return Status::success();
        });
        connect(&m_recorder, &Recorder::frameDecoded, this, [this](const DecodeResult& r) {
            if (r.runStarted && m_recorder.run().m_bRunning)
                m_partStarted = true;
        });
        connect(&m_recorder, &Recorder::sampleCommitted, this, &Recording::onCommitted);
        connect(&m_recorder, &Recorder::runFinished, this, &Recording::onRunFinished);
        connect(&m_recorder, &Recorder::linkChanged, this, &Recording::onLinkChanged);
        connect(&m_recorder, &Recorder::journalFailed, this, [](const QString& path, const QString& message) {
            fail(path.isEmpty() ? QStringLiteral("journal") : path,
                 message + QStringLiteral(" Recording goes on; a crash would lose the samples not in the journal."));
        });
        // Connected after the recorder's own handler: by then the first
        // open has been tried.
        connect(&m_recorder.scanTimer(), &QTimer::timeout, this, &Recording::checkFirstOpen,
                Qt::SingleShotConnection);
        connect(&m_stopSignals, &StopSignals::stopRequested, this, &Recording::onStopRequested);
        m_redraw.setInterval(1000);
        connect(&m_redraw, &QTimer::timeout, this, [this] { drawProgress(); });
    }

    int exec()
    {
        m_elapsed.start();
        m_recorder.start(1); // the device is pinned: the number is not used
        confirmRun();
        const int status = QCoreApplication::exec();
        m_recorder.shutDown();
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

    void confirmRun()
    {
        m_recorder.confirmRun(m_options.interval, m_options.count - m_done);
        m_recorder.rearmSampleTimer();
    }

    void checkFirstOpen()
    {
        if (!m_recorder.link().comm().portOpen()) {
            fail(m_device, m_recorder.link().portStatus());
            finish(1);
            return;
        }
        std::fprintf(stderr, "Recording %d samples every %d s from %s into %s (journal %s).\n", m_options.count,
                     m_options.interval, qPrintable(QDir::toNativeSeparators(m_device)),
                     qPrintable(QDir::toNativeSeparators(m_options.output)),
                     qPrintable(QDir::toNativeSeparators(Recovery::journalPathFor(m_options.output))));
        m_begun = true;
        if (m_terminal)
            m_redraw.start();
        drawProgress();
    }

    void onCommitted(int count)
    {
        const RunState& run = m_recorder.run();
        m_lastAir = toDisplayUnit(m_live->at(kAir, count - 1), kAir, run.m_bFahrenheit);
        m_lastRh = m_live->at(kRh, count - 1);
        m_lastUnit = run.m_strUnit;
        m_haveReading = true;
        progressStep();
        if (recorded() >= m_options.count) {
            // The run is complete with this sample: no need to wait for
            // the next frame to end it.
            m_recorder.stopRun();
            finishPart();
            finish(exitStatus());
        }
    }

    void onRunFinished()
    {
        finishPart();
        if (m_done >= m_options.count)
            finish(exitStatus());
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
            say(QStringLiteral("Link lost: no answer from the meter on %1; waiting for it.")
                    .arg(QDir::toNativeSeparators(m_device)));
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
        m_recorder.stopRun();
        say(QStringLiteral("Interrupted: %1 of %2 samples recorded.").arg(recorded()).arg(m_options.count));
        finishPart();
        if (m_filesWritten == 0 && m_failures == 0)
            fail(m_options.output, QStringLiteral("no samples were recorded; nothing written"));
        finish(exitStatus());
    }

    // 0 once a file was written, else 1 (every failure has been said).
    int exitStatus() const { return m_filesWritten > 0 ? 0 : 1; }

    // Saves the run that just ended, when it has samples, and moves on to
    // the next part's name.
    void finishPart()
    {
        if (!m_partStarted)
            return;
        m_partStarted = false;
        const RunView run = m_recorder.view();
        if (run.count() == 0)
            return; // its empty journal is gone already
        m_done += run.count();
        if (const Status s = RunFiles::saveRun(m_partPath, run, YScaleValues {}); !s.ok()) {
            ++m_failures;
            const QString journal = Recovery::journalPathFor(m_partPath);
            fail(m_partPath, s.message()
                                 + QStringLiteral(" The samples are kept in %1 (zb740-cli recover %1).")
                                       .arg(QDir::toNativeSeparators(journal)));
        } else {
            ++m_filesWritten;
            m_recorder.runSaved(run.info());
            clearProgress();
            std::printf("Wrote %d samples (started %s, interval %d s) to %s and %s.\n", run.count(),
                        qPrintable(LocalTime::format(run.start(), "%d/%m/%y %H:%M:%S")), run.interval(),
                        qPrintable(QDir::toNativeSeparators(m_partPath)),
                        qPrintable(QDir::toNativeSeparators(QDir::cleanPath(RunFiles::exportPathFor(m_partPath)))));
            std::fflush(stdout);
        }
        m_partPath = nextPartPath();
    }

    // A part's name never replaces the files of another recording.
    QString nextPartPath()
    {
        for (;;) {
            const QString path = partName(m_options.output, ++m_part);
            if (!QFileInfo::exists(path) && !QFileInfo::exists(RunFiles::exportPathFor(path))
                && !QFileInfo::exists(Recovery::journalPathFor(path)))
                return path;
        }
    }

    void finish(int status)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_redraw.stop();
        if (m_terminal && m_begun) {
            // The last state stays on the screen, its line ended.
            drawProgress(true);
            std::fputc('\n', stderr);
        }
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

    void drawProgress(bool force = false)
    {
        if (!m_terminal || (m_finished && !force))
            return;
        QString text = progressText();
        const int columns = terminalColumns();
        if (columns > 1 && text.size() >= columns)
            text.truncate(columns - 1);
        std::fprintf(stderr, "\r%s\033[K", qPrintable(text));
        std::fflush(stderr);
        m_progressShown = true;
    }

    void clearProgress()
    {
        if (m_terminal && m_progressShown) {
            std::fputs("\r\033[K", stderr);
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

    RecordOptions m_options;
    QString m_device;
    std::unique_ptr<LiveSeries> m_live;
    Recorder m_recorder;
    StopSignals m_stopSignals;
    const bool m_terminal;
    QTimer m_redraw;
    QElapsedTimer m_elapsed;
    QString m_partPath;
    int m_part = 1;
    bool m_partStarted = false; // the current part's run has started
    int m_done = 0;             // samples of the parts finished
    int m_filesWritten = 0;
    int m_failures = 0;
    int m_lastTenth = 0;
    bool m_progressShown = false;
    bool m_begun = false;   // the port opened: recording is under way
    bool m_linkUp = false;
    bool m_finished = false;
    // The last sample's readings, as shown.
    bool m_haveReading = false;
    float m_lastAir = 0, m_lastRh = 0;
    QString m_lastUnit;
};

// What must hold before a long recording starts: a folder to write into,
// and no journal of an earlier recording under the same name.
bool checkOutput(const QString& output)
{
    const QFileInfo info(output);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir()) {
        fail(output, QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder.filePath())));
        return false;
    }
    if (info.isDir()) {
        fail(output, QStringLiteral("is a folder"));
        return false;
    }
    const QString journal = Recovery::journalPathFor(output);
    if (QFileInfo::exists(journal)) {
        fail(journal, QStringLiteral("exists already: an earlier recording was not saved; recover it with "
                                     "zb740-cli recover or remove it first"));
        return false;
    }
    return true;
}

} // namespace

int cli::runRecord(const QStringList& args)
{
    RecordOptions options;
    if (const int status = parseOptions(args, options); status >= 0)
        return status;
    if (!checkOutput(options.output))
        return 1;

    std::unique_ptr<SimulatedMeter> meter;
    QString device = options.device;
    if (options.simulate) {
        meter = std::make_unique<SimulatedMeter>(options.meter);
        QString error;
        if (!meter->start(&error)) {
            std::fprintf(stderr, "zb740-cli: cannot start the simulated meter: %s\n", qPrintable(error));
            return 1;
        }
        device = meter->devicePath();
    }
    Recording recording(options, device);
    return recording.exec();
}
