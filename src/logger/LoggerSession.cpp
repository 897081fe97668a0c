#include "logger/LoggerSession.h"

#include "data/DataFile.h"
#include "logger/LoggerPolicy.h"
#include "plot/PlotFrame.h"
#include "plot/PlotScale.h"

LoggerSession::LoggerSession(ReviewRecord& record)
    : m_record(record)
    , m_scratch(new float[size_t(kMaxSamples) * kChannelCount])
{
}

void LoggerSession::setScale(YScaleValues s)
{
    m_nLogYGain = s.gain;
    m_nLogYOffset = s.offset;
}

RunView LoggerSession::run() const
{
    RunInfo info;
    info.start = m_record.startTime;
    info.interval = m_record.interval;
    info.count = m_record.count;
    info.fahrenheit = m_record.unitFlag != 0;
    info.unit = m_record.unitText;
    return RunView::ofSampleMajor(m_record.values, info);
}

Status LoggerSession::load(const QString& path)
{
    m_bAppendPending = false;
    m_loadNote.clear();
    YScaleValues fileScale = scale();
    // The record and the scale change only when the whole file was read.
    const Status s = DataFile::load(path, m_record, fileScale, m_scratch.get());
    if (!s.ok())
        return s;
    // A file's scale that no graph can draw (a gain of zero or less, or
    // axis values beyond what the labels hold) gives way to the default.
    if (!plot::isUsableScale(fileScale)) {
        m_loadNote = plot::unusableScaleNote(fileScale);
        fileScale = YScaleValues {};
    }
    setScale(fileScale);
    m_record.readMagic = QStringLiteral("00");
    plot::clearReadout(readout);
    m_bAppendPending = true;
    return s;
}

std::optional<LoggerSetTable::Appended> LoggerSession::appendPending()
{
    if (!m_bAppendPending)
        return std::nullopt;
    m_bAppendPending = false;
    return m_table.append(m_record, scale());
}

bool LoggerSession::select(int index)
{
    YScaleValues s;
    if (!m_table.copyTo(index, m_record, s))
        return false;
    setScale(s);
    plot::clearReadout(readout);
    return true;
}

bool LoggerSession::moveCursor(const plot::PlotFrame& last, int x)
{
    if (!hasSet())
        return false;
    if (plot::moveCursor(display, last, kLoggerPolicy, x))
        followCursor();
    return true;
}

plot::LimitInputs LoggerSession::shownLimitMarks() const
{
    plot::LimitInputs marks = limitMarks;
    for (int c = 0; c < kChannelCount; ++c)
        marks.channels[size_t(c)] = marks.channels[size_t(c)] && showCurve[size_t(c)];
    return marks;
}

void LoggerSession::followCursor()
{
    const RunView r = run();
    if (display.nCursorSample >= 0 && display.nCursorSample < r.count())
        plot::buildReadout(r, display.nCursorSample, readout);
}

void LoggerSession::close()
{
    m_table.clear();
    plot::undoZoom(display);
    display.bBandActive = 0;
    display.bDragging = false;
    m_bLoggerOpen = false;
    m_bLoggerShown = false;
    m_bAppendPending = false;
}
