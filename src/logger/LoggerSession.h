#pragma once
// What the logger window works on, and what outlives it: the table of
// loaded data sets, the displayed set (the document's ReviewRecord), the
// logger's own Y scale, the plot's view state, the curves shown and the
// read-out, and the three flags the main frame reads. Window-free: the
// window shows it and turns the user's commands into calls here; one
// session lives as long as the program.
//
// The logger's Y scale is its own: loads and selections set it from the data
// set, the window's Y Axis command from the dialog. It never touches the
// real-time graph's scale or the settings file.
#include "base/Status.h"
#include "base/YScale.h"
#include "data/LoggerSetTable.h"
#include "data/ReadingStore.h"
#include "data/RunView.h"
#include "plot/CurveMap.h"
#include "plot/CursorReadout.h"
#include "plot/PlotFrame.h"
#include "plot/PlotView.h"

#include <QString>
#include <memory>
#include <optional>

class LoggerSession {
public:
    explicit LoggerSession(ReviewRecord& record);
    LoggerSession(const LoggerSession&) = delete;
    LoggerSession& operator=(const LoggerSession&) = delete;

    // Set by the main frame's Open command and a successful load; cleared
    // when the window closes. Loads work only while it is set.
    bool m_bLoggerOpen = false;
    // Set when the window has painted; the main frame's Open command is
    // disabled while it is set.
    bool m_bLoggerShown = false;
    // A record was read completely and waits to be appended to the table.
    bool m_bAppendPending = false;
    // The logger's Y scale: gain (value units per division), offset
    // (divisions).
    int m_nLogYGain = 10;
    int m_nLogYOffset = 0;

    YScaleValues scale() const { return {m_nLogYGain, m_nLogYOffset}; }
    void setScale(YScaleValues s);

    LoggerSetTable& table() { return m_table; }
    const LoggerSetTable& table() const { return m_table; }
    bool hasSet() const { return !m_table.empty(); }
    // The displayed set.
    const ReviewRecord& record() const { return m_record; }
    RunView run() const;

    // The plot's view state: reset by loads, selections, ZoomOut and
    // closing. The curves shown, which a new window keeps.
    plot::ViewState display;
    CurveSet showCurve = kAllCurves;
    plot::Readout readout;
    // The alarm limits the plot marks on its shown curves: the main
    // window's, as its "Limits" toggle says (none until it hands them over).
    plot::LimitInputs limitMarks {};
    plot::LimitInputs shownLimitMarks() const;

    // Reads a data file into the displayed set and the logger's scale.
    // Only a file read completely is taken: a foreign file reads
    // InvalidFormat ("Invalid Format!"), a damaged one Damaged, a file that
    // cannot be opened CannotOpen; the displayed set, the scale and the
    // table are then as they were. Success sets m_bAppendPending. A file
    // whose scale no graph can draw (plot::isUsableScale) loads with the
    // default scale, and loadNote() says so until the next load.
    Status load(const QString& path);
    const QString& loadNote() const { return m_loadNote; }
    // Appends the pending record to the table. Empty when none is pending.
    std::optional<LoggerSetTable::Appended> appendPending();
    // Shows stored set `index`: copies it into the displayed set with its
    // scale. False for an index that holds no set.
    bool select(int index);

    // The cursor moved over the plot to x: the cursor line and the read-out
    // follow. Returns false when there is nothing to follow (no set).
    bool moveCursor(const plot::PlotFrame& last, int x);
    // The read-out of the cursor's sample, when it is one of the set's.
    void followCursor();

    // The window closes: the table empties, the view state is reset and
    // the flags are cleared. The curve flags stay for the next window.
    void close();

private:
    ReviewRecord& m_record;
    LoggerSetTable m_table;
    std::unique_ptr<float[]> m_scratch;  // where a file's samples are read first
    QString m_loadNote;
};
