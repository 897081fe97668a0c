#pragma once
// The run state machine and run bookkeeping shared by the frame, the view,
// the meter link and the panels. Window-free: the widgets call it and draw
// what it holds; the meter link feeds it frames.
//
// States, as (m_bRunning, m_bStartPending, m_bIdle):
//   Idle (0,0,1)  Armed (1,1,1)  Recording (1,0,0)
//   Stopped before start (0,1,1)  Stopped-started (0,0,0)
#include "base/Channel.h"
#include "run/RunInfo.h"

#include <QString>
#include <cstdint>

class RunState {
public:
    // --- frame flags ---
    bool m_bRunning = false;
    bool m_bStartPending = false;
    bool m_bIdle = true;
    bool m_bHasRun = false;

    // --- view run bookkeeping ---
    int m_nCount = 0;
    int64_t m_tStart = 0;       // seconds since 1970
    int m_nSampleMs = 0;        // no setting before the first Run
    int m_nSampleLimit = 0;
    bool m_bNewFrame = false;
    bool m_bNewSample = false;
    bool m_bRunEnabled = false;
    bool m_bStopEnabled = false;
    bool m_bRearmSampleTimer = false;
    bool m_bNoLink = true;
    bool m_bFahrenheit = false;
    QString m_strUnit;

    // Sample settings as decimal texts (empty before the first Run).
    QString m_strSampleRateText;
    QString m_strSampleDataText;
    // Texts refreshed at each commit.
    QString m_strStartTimeText;   // "%d/%m/%y %H:%M:%S"
    QString m_strStartClockText;  // "%H:%M:%S"
    QString m_strCountText;       // "%d"

    // Confirm step of Run: the dialog's interval (seconds) and sample count.
    void confirm(int intervalSeconds, int sampleCount);
    // Stop command.
    void stop();
    // Valid frame: start step and Run enabling. Returns true when the run
    // started on this frame (the views must redraw).
    bool onValidFrame(int64_t now);
    // After every receive event: ends the run at its sample limit.
    void checkRunEnd();
    // Link watchdog found the meter silent.
    void onLinkLost();
    // Sample timer tick. Returns true when a sample was committed.
    bool commit();

private:
    int64_t m_tStartOfTexts = 0; // m_tStart the start texts were made from

public:
    // The sample interval in whole seconds.
    int intervalSeconds() const { return m_nSampleMs / 1000; }
    // The run's facts as a value.
    RunInfo info() const { return {m_tStart, intervalSeconds(), m_nCount, m_bFahrenheit, m_strUnit}; }
};
