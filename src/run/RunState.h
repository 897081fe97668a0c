#pragma once
// The run state machine with the run's bookkeeping. Window-free: the meter
// link feeds it frames, the recorder commits samples, the window's
// commands confirm and stop; views read its facts through info().
//
// States, as (m_bRunning, m_bStartPending, m_bIdle):
//   Idle (0,0,1)  Armed (1,1,1)  Recording (1,0,0)
//   Stopped before start (0,1,1)  Stopped-started (0,0,0)
// Run confirmed while no run records arms a run; the next valid frame starts
// it (the start step) and is its first sample.
#include "base/Channel.h"
#include "run/RunInfo.h"

#include <QString>
#include <cstdint>

class RunState {
public:
    // The longest interval a run can have: its milliseconds must fit m_nSampleMs.
    static constexpr int kMaxIntervalSeconds = 2147483647 / 1000;

    // --- run flags ---
    bool m_bRunning = false;
    bool m_bStartPending = false;
    bool m_bIdle = true;
    bool m_bHasRun = false;

    // --- run bookkeeping ---
    int m_nCount = 0;
    int64_t m_tStart = 0;       // seconds since 1970
    int m_nSampleMs = 0;        // no setting before the first Run
    int m_nSampleLimit = 0;
    bool m_bNewFrame = false;   // a valid frame arrived since the last commit
    bool m_bNewSample = false;  // a sample was committed and not yet drawn
    bool m_bNoLink = true;
    bool m_bFahrenheit = false;
    QString m_strUnit;

    // --- command enabling ---
    bool m_bRunEnabled = false;
    bool m_bStopEnabled = false;

    // Confirm step of Run: the dialog's interval (seconds) and sample count.
    // An interval below 1 becomes 1; one longer than kMaxIntervalSeconds and
    // a count above the store are cut to what the run can hold.
    void confirm(int intervalSeconds, int sampleCount);
    // Stop command.
    void stop();
    // Valid frame: start step and Run enabling. Returns true when the run
    // started on this frame (the views must redraw).
    bool onValidFrame(int64_t now);
    // After every receive event: ends the run at its sample limit (not a
    // run still waiting for its start).
    void checkRunEnd();
    // Link watchdog found the meter silent.
    void onLinkLost();
    // Commits the slot being filled as the run's next sample (the recorder
    // decides when). Returns true when a sample was committed.
    bool commit();

    // The sample interval in whole seconds.
    int intervalSeconds() const { return m_nSampleMs / 1000; }
    // The run's facts as a value.
    RunInfo info() const { return {m_tStart, intervalSeconds(), m_nCount, m_bFahrenheit, m_strUnit}; }
};
