#include "recorder/RecorderEvents.h"

#include <limits>

RecorderEvents::RecorderEvents(Recorder& recorder, QObject* parent)
    : QObject(parent)
    , m_recorder(recorder)
{
    connect(&recorder, &Recorder::readingDecoded, this, &RecorderEvents::onReading);
    connect(&recorder, &Recorder::alarmChanged, this, &RecorderEvents::onAlarm);
    connect(&recorder, &Recorder::linkChanged, this, &RecorderEvents::onLink);
}

void RecorderEvents::onReading(const ReadingUpdate& update)
{
    m_values = update.values;
    m_haveValues = true;
    m_fahrenheit = m_recorder.run().m_bFahrenheit;
}

void RecorderEvents::onAlarm(const AlarmChange& change)
{
    const AlarmLimits& limits = m_recorder.alarmLimits();
    const float limit = change.bound == AlarmLimitSet::High ? limits.high[size_t(change.channel)]
                                                           : limits.low[size_t(change.channel)];
    // Flags cleared because the meter fell silent have no reading behind
    // them.
    float value = std::numeric_limits<float>::quiet_NaN();
    if (m_haveValues && !m_recorder.run().m_bNoLink)
        value = toDisplayUnit(m_values[size_t(change.channel)], change.channel, m_fahrenheit);
    emit eventOccurred(MonitorEvent::alarm(change.time, change.channel, int(change.bound), change.on, value, limit,
                                   m_fahrenheit));
}

void RecorderEvents::onLink(bool up)
{
    // The watchdog repeats its verdict every few seconds: only the changes
    // are news.
    if (up == m_linkUp)
        return;
    m_linkUp = up;
    if (!up) {
        m_lost = true;
        emit eventOccurred(MonitorEvent::simple(MonitorEvent::Kind::LinkLost, m_recorder.now()));
    } else if (m_lost) {
        emit eventOccurred(MonitorEvent::simple(MonitorEvent::Kind::LinkBack, m_recorder.now()));
    }
}
