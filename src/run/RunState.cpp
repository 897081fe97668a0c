#include "run/RunState.h"

#include "base/LocalTime.h"

void RunState::confirm(int intervalSeconds, int sampleCount)
{
    const int interval = intervalSeconds < 1 ? 1 : intervalSeconds;
    // A count typed into the configuration file can exceed what the store
    // holds: a run never records more than kMaxRunSamples.
    const int limit = sampleCount > kMaxRunSamples ? kMaxRunSamples : sampleCount;
    m_nSampleMs = interval * 1000;
    m_nSampleLimit = limit;
    m_strSampleRateText = QString::number(interval);
    m_strSampleDataText = QString::number(limit);
    if (m_bRunEnabled) {
        m_bRunEnabled = false;
        m_bStopEnabled = true;
    }
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
    if (!m_bNewFrame || !m_bRunning)
        return false;
    // The run never grows past its limit, nor past the store.
    if (m_nCount >= m_nSampleLimit || m_nCount >= kMaxRunSamples)
        return false;
    m_bNewSample = true;
    if (m_strStartTimeText.isEmpty() || m_tStartOfTexts != m_tStart) {
        // The start texts change once per run, not once per sample.
        m_strStartTimeText = LocalTime::format(m_tStart, "%d/%m/%y %H:%M:%S");
        m_strStartClockText = LocalTime::format(m_tStart, "%H:%M:%S");
        m_tStartOfTexts = m_tStart;
    }
    m_nCount += 1;
    m_strCountText = QString::number(m_nCount);
    m_bNewFrame = false;
    return true;
}
