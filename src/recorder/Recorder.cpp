#include "recorder/Recorder.h"

Recorder::Recorder(const LinkOptions& options, LiveSeries& live, QObject* parent)
    : QObject(parent)
    , m_live(live)
    , m_link(options, m_run, live)
{
    m_pollTimer.setInterval(kPollMs);
    m_scanTimer.setSingleShot(true);
    m_scanTimer.setInterval(kScanMs);
    m_watchdogTimer.setInterval(kWatchdogMs);
    connect(&m_pollTimer, &QTimer::timeout, &m_link, &MeterLink::pollTick);
    connect(&m_scanTimer, &QTimer::timeout, &m_link, &MeterLink::scanTick);
    connect(&m_watchdogTimer, &QTimer::timeout, &m_link, &MeterLink::watchdogTick);
    connect(&m_sampleTimer, &QTimer::timeout, this, &Recorder::commitTick);
    connect(&m_link, &MeterLink::devicesChanged, &m_scanTimer, qOverload<>(&QTimer::start));
    connect(&m_link, &MeterLink::frameDecoded, this, &Recorder::onFrameDecoded);
    connect(&m_link, &MeterLink::linkLost, this, &Recorder::onLinkLost);
    connect(&m_link, &MeterLink::portStatusChanged, this, &Recorder::portStatusChanged);
    connect(&m_link, &MeterLink::over16Message, this, &Recorder::over16Message);
}

void Recorder::start(int comPort)
{
    m_link.setComPort(comPort);
    m_link.start();
    m_pollTimer.start();
    m_scanTimer.start();
    m_watchdogTimer.start();
}

void Recorder::shutDown()
{
    for (QTimer* t : {&m_pollTimer, &m_scanTimer, &m_watchdogTimer, &m_sampleTimer})
        t->stop();
    m_link.closePort();
}

void Recorder::confirmRun(int intervalSeconds, int sampleCount)
{
    m_run.confirm(intervalSeconds, sampleCount);
    noteRunState();
}

void Recorder::stopRun()
{
    m_run.stop();
    m_bRecording = false; // stopped on purpose: not a run that finished
}

void Recorder::rearmSampleTimer()
{
    if (m_run.m_nSampleMs > 0)
        m_sampleTimer.start(m_run.m_nSampleMs);
}

bool Recorder::commitTick()
{
    if (!m_run.commit())
        return false;
    emit sampleCommitted(m_run.m_nCount);
    noteRunState();
    return true;
}

void Recorder::onFrameDecoded(const DecodeResult& result)
{
    if (result.valid && !m_bLinkUp) {
        m_bLinkUp = true;
        emit linkChanged(true);
    }
    emit frameDecoded(result);
    noteRunState();
}

void Recorder::onLinkLost()
{
    m_bLinkUp = false;
    emit linkChanged(false);
    noteRunState();
}

void Recorder::noteRunState()
{
    // Recording (also after Run from stopped-started, which records without
    // a new start step); a run that leaves it by itself has finished.
    const bool recording = m_run.m_bRunning && !m_run.m_bIdle;
    if (m_bRecording && !recording)
        emit runFinished();
    m_bRecording = recording;
}
