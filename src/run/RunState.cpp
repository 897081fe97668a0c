#include "run/RunState.h"

#include <algorithm>

void RunState::confirm(int intervalSeconds, int sampleCount)
{
    const int interval = std::clamp(intervalSeconds, 1, kMaxIntervalSeconds);
    // A count typed into the configuration file can exceed what the store
    // holds: a run never records more than kMaxRunSamples.
    const int limit = sampleCount > kMaxRunSamples ? kMaxRunSamples : sampleCount;
    m_nSampleMs = interval * 1000;
    m_nSampleLimit = limit;
    if (m_bRunEnabled) {
        m_bRunEnabled = false;
        m_bStopEnabled = true;
    }
    // A run stopped before its start and then started by a frame has no
    // sample and a start time of that frame: a new Run waits for the next
    // reading like any other, so its first sample is its start.
    if (!m_bRunning && !m_bStartPending && !m_bIdle)
        m_bIdle = true;
    m_bStartPending = true;
    m_bRunning = true;
}

void RunState::stop()
{
    m_bIdle = true;
    m_bRunning = false;
    m_bNewSample = false;
    m_bStopEnabled = false;
}

bool RunState::onValidFrame(int64_t now)
{
    m_bNewFrame = true;
    m_bNoLink = false;
    bool started = false;
    if (m_bStartPending && m_bIdle) {
        m_bStartPending = false;
        m_bIdle = false;
        m_tStart = now;
        m_nCount = 0;
        started = true;
    }
    if (!m_bRunning)
        m_bRunEnabled = true;
    return started;
}

void RunState::checkRunEnd()
{
    // A run waiting for its start step has no samples yet: the count is the
    // last run's, which may well exceed the new limit, and a buffer that is
    // no frame must not end the new run before it began.
    if (m_bStartPending && m_bIdle)
        return;
    if (m_nCount >= m_nSampleLimit) {
        m_bIdle = true;
        m_bRunning = false;
        m_bStopEnabled = false;
    }
}

void RunState::onLinkLost()
{
    m_bNoLink = true;
    m_bNewSample = false;
    m_bRunEnabled = false;
    m_bStopEnabled = false;
    m_bRunning = false;
    m_bIdle = true;
}

bool RunState::commit()
{
    // Only a started run commits: while Armed the latest frame is one from
    // before Run, and the run has no start time yet.
    if (!m_bNewFrame || !m_bRunning || m_bIdle)
        return false;
    // The run never grows past its limit, nor past the store.
    if (m_nCount >= m_nSampleLimit || m_nCount >= kMaxRunSamples)
        return false;
    m_bNewSample = true;
    m_nCount += 1;
    m_bNewFrame = false;
    return true;
}
