#pragma once
// The recorder's news as events (data/MonitorEvent.h): every alarm change
// with the reading and the limit it was compared against, the link lost
// and back. Whoever shows or logs events (the window's event list, the
// continuous recording's events log) listens here, so all of them tell the
// same story.
#include "data/MonitorEvent.h"
#include "recorder/Recorder.h"

#include <QObject>

class RecorderEvents : public QObject {
    Q_OBJECT
public:
    explicit RecorderEvents(Recorder& recorder, QObject* parent = nullptr);

    // The link answered since the last loss (as last reported).
    bool linkUp() const { return m_linkUp; }

signals:
    void eventOccurred(const MonitorEvent& event);

private:
    void onReading(const ReadingUpdate& update);
    void onAlarm(const AlarmChange& change);
    void onLink(bool up);

    Recorder& m_recorder;
    ChannelValues m_values {}; // the last reading, as stored
    bool m_haveValues = false;
    bool m_fahrenheit = false;
    bool m_linkUp = false;
    bool m_lost = false; // a loss was reported: the next answer is news
};
