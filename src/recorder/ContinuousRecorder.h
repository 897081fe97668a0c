#pragma once
// Recording for weeks: one recorder (link, watchdog, run, journal) whose
// runs become a chain of data files in one folder, named after each
// file's first sample, PREFIX-YYYYMMDD-HHMMSS.AsmDat with its .csv
// (-2, -3, ... where the name is taken). A file ends, and the next one
// begins with the next reading, when it holds fileSamples samples, at
// local midnight when rotating daily (the next sample would fall on
// another date, so a file never spans two dates, also across a
// daylight-saving change), when the meter stops answering (the run ends
// as the watchdog ends it; the next file starts when the meter answers
// again) and when the recording stops. A file is written, complete and
// durable, before the next one starts.
//
// Nothing is lost across crashes and full disks:
// - every sample goes to the file's journal at once (the recorder's run
//   journal, FILE.AsmDat.journal); begin() first recovers the journals an
//   earlier recording under the same folder and prefix left behind into
//   their files;
// - a file, its journal or the events log that cannot be written keeps
//   its data in memory, in order; the writes are tried again at each
//   sample, and the trouble is reported at once and then at most once a
//   minute (problem()) until everything is on disk again (notice()).
// The events (alarm changes, link lost and back, files written, journals
// recovered, start and stop) go to PREFIX.events.jsonl in the folder,
// appended and synced line by line; its lock keeps a second recording off
// the same folder and prefix.
//
// Window-free, and driven by the recorder's signals alone: a test may
// drive the recorder by hand on an injected clock.
#include "base/Status.h"
#include "data/EventLog.h"
#include "data/MonitorEvent.h"
#include "recorder/Recorder.h"
#include "recorder/RecorderEvents.h"
#include "run/RunInfo.h"

#include <QObject>
#include <QString>
#include <list>
#include <vector>

struct ContinuousOptions {
    QString folder;               // where the files go
    QString prefix;               // their names' start
    int interval = 1;             // seconds between samples
    int fileSamples = kMaxRunSamples; // samples per file, 1..10000
    bool daily = false;           // a new file at local midnight
};

class ContinuousRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr int kReportSeconds = 60;

    ContinuousRecorder(Recorder& recorder, ContinuousOptions options, QObject* parent = nullptr);
    // Like a kill: whatever is not written stays where it is (the journal).
    ~ContinuousRecorder() override;

    // "DIR/PREFIX.events.jsonl".
    static QString eventsPathFor(const QString& folder, const QString& prefix);
    // Whether name (no folder) is a data file or journal of this prefix:
    // PREFIX-YYYYMMDD-HHMMSS[-N].AsmDat[.journal].
    static bool isFileOf(const QString& prefix, const QString& name, bool journal);

    // Takes the events log (Busy when another recording holds it; a folder
    // that cannot be written fails), recovers the journals left behind,
    // logs the start and arms the first file. The recorder is started by
    // the caller.
    Status begin();
    // Logs an event from outside (a command for an alarm that failed).
    void logEvent(const MonitorEvent& event) { log(event); }

    // Stops: the current file is ended and written with everything still
    // in memory. Returns the samples that are in no data file (0 when all
    // are written).
    int finish();

    // --- what a status line shows ---
    // The data file being recorded ("" between files).
    const QString& currentFile() const { return m_filePath; }
    bool fileOpen() const { return m_fileOpen; }
    int filesWritten() const { return m_filesWritten; }
    int64_t samplesWritten() const { return m_samplesWritten; }
    // Samples of ended files waiting in memory for their data file.
    int samplesInMemory() const;
    bool linkUp() const { return m_events.linkUp(); }
    // Any write is behind (files, journal or the events log).
    bool troubled() const { return m_troubled; }
    const EventLog& eventLog() const { return m_log; }

signals:
    // Every event, as it was logged (or queued to be).
    void eventOccurred(const MonitorEvent& event);
    // A file begins with the run just started: its samples are to be
    // saved as path.
    void fileBegun(const QString& path);
    // That file has ended (no more samples go into it); it is written now,
    // or, when it cannot be, kept in memory and its journal on disk.
    void fileEnded(const QString& path);
    // A data file and its .csv are on disk.
    void fileWritten(const QString& path, const RunInfo& info);
    // Something cannot be written: at once, then at most once a minute.
    void problem(const QString& text);
    // Something worth a line of its own: a journal recovered, writing
    // works again.
    void notice(const QString& text);

private:
    struct EndedFile {
        QString path;
        RunInfo info;
        YScaleValues scale;
        MonitorEvent::Reason reason = MonitorEvent::Reason::None;
        std::vector<float> values; // sample-major
    };

    void recoverLeftovers();
    void arm();
    void endFile(MonitorEvent::Reason reason);
    void writeEnded();
    void retryWrites();
    void log(const MonitorEvent& event);
    void noteFailure(const QString& text);
    QString newDataPath(int64_t start) const;
    void onReading(const ReadingUpdate& update);
    void onCommitted(int count);
    void onRunFinished();
    void onLink(bool up);

    Recorder& m_recorder;
    ContinuousOptions m_options;
    RecorderEvents m_events;
    EventLog m_log;
    bool m_begun = false;
    bool m_finished = false;
    bool m_fileOpen = false;   // a run has started and its file is not ended
    QString m_filePath;
    // Waiting for their data file, oldest first (a list: nothing of it is
    // kept once it is empty again).
    std::list<EndedFile> m_ended;
    int m_filesWritten = 0;
    int64_t m_samplesWritten = 0;
    bool m_troubled = false;
    bool m_reported = false;
    int64_t m_reportedAt = 0;
};
