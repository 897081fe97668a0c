#pragma once
// The events log of a recording: one JSON line per event (MonitorEvent),
// appended and synced before append() returns, so a crash keeps every
// event logged before it. The file is only ever appended to; a write that
// fails part way is cut back to the last whole line. Lines that cannot be
// written (a full disk) wait in memory, in order, and go out with the next
// append() or retry(); nothing is said to be logged that is not on disk.
//
// While open, the log holds an exclusive advisory lock (flock) on its
// file: a second recording into the same folder under the same name finds
// it in use.
#include "base/Status.h"
#include "data/MonitorEvent.h"

#include <QByteArray>
#include <QList>
#include <QString>

class EventLog {
public:
    EventLog() = default;
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Opens (creating it when missing) the log at path for appending, and
    // locks it: Busy when another program holds it.
    Status open(const QString& path);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    const QString& path() const { return m_path; }

    // Queues the event's line and writes everything queued; a failure
    // leaves the lines not written queued.
    Status append(const MonitorEvent& event);
    // Writes what is queued (success when nothing is).
    Status retry();
    // Lines waiting in memory.
    int pending() const { return int(m_pending.size()); }

    // Where the next line goes, counted in bytes of the log as if every
    // line waiting in memory were written: the file's size at open plus
    // every line appended since.
    qint64 endOffset() const;
    // The line (without its line end) that starts at offset, read back from
    // the file, or from the lines waiting in memory beyond its end. Fails
    // when no line starts there or the file cannot be read.
    Status lineAt(qint64 offset, QByteArray& line) const;

    // The events file that goes with a data file: NAME.events.jsonl for
    // NAME.AsmDat (another extension is kept: run.dat.events.jsonl).
    static QString pathBeside(const QString& dataPath);

    // The events as a JSON lines file at path, written whole and durably
    // (for a run saved with its events).
    static Status save(const QString& path, const QList<MonitorEvent>& events);

    // Reads every line of a log back; false at the first line that is not
    // an event.
    static Status load(const QString& path, QList<MonitorEvent>& events);

private:
    Status writeLine(const QByteArray& line);

    QString m_path;
    int m_fd = -1;
    qint64 m_size = 0;
    QList<QByteArray> m_pending;
};
