#pragma once
// One session with the meter: the serial control, port discovery and the
// device watcher, with the link fields. Its owner's timers drive it:
// pollTick() every second, scanTick() once a second after start and after
// each device change, watchdogTick() every three seconds. Received bytes
// are resynchronised on the frame header and parsed (meter::parseFrame);
// the reading goes out as a value, and what it means for the run is the
// owner's business (recorder/ReadingFold.h).
#include "link/CMSComm.h"
#include "link/DeviceWatcher.h"
#include "link/LinkOptions.h"
#include "link/MeterProtocol.h"
#include "run/RunState.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class MeterLink : public QObject {
    Q_OBJECT
public:
    static constexpr int kNoFrameEntries = 20;

    MeterLink(const LinkOptions& options, RunState& run, QObject* parent = nullptr);

    // --- the link fields ---
    int m_nComPort = 1;
    bool m_bNoFrame[kNoFrameEntries] = {};
    bool m_bRequestReady = false;

    // The port number read from the settings file. Numbers outside 1..16
    // fall back to 1, the default of a missing setting: the scan accepts
    // nothing else and the watchdog table must not be indexed past its end.
    void setComPort(int port);
    // Start of the session: clears the watchdog marks, marks the current
    // port, clears the request flag and starts watching for devices (unless
    // a device is pinned).
    void start();

    void pollTick();
    void scanTick();
    // Bytes as they came from the port, handled as a receive event does:
    // resynchronised on the frame header, parsed, and handed over. (A
    // driver without a port, such as a test on a simulated clock, hands
    // the simulated meter's bytes in here.)
    void receive(const QByteArray& bytes);
    void watchdogTick();
    // Remote key packets; a failed send is dropped (the meter's display
    // shows whether the key arrived).
    void sendPacket(const QByteArray& packet);
    // The open sequence: close, configure, open, send the wake packet.
    // A failure shows in the port status; the watchdog tries again.
    void openPort();
    void closePort();

    CMSComm& comm() { return m_comm; }
    const QString& portStatus() const { return m_strStatus; }
    QString devicePath() const { return m_comm.devicePath(); }

signals:
    // A valid frame came: its reading, as the meter sent it.
    void readingReceived(const meter::MeterReading& reading);
    // A receive event brought no valid frame (a wrong header or trailer).
    void bufferRejected();
    // The no-link state is to be shown: the watchdog found the meter silent
    // (meterSilent), or a bridge above COM16 was refused.
    void linkLost(bool meterSilent);
    // Modal message for a bridge registered above COM16.
    void over16Message(const QString& text);
    void portStatusChanged(const QString& text);
    // Serial devices came or went: restart the one-second scan timer.
    void devicesChanged();

private:
    void onComm();
    void decodeReceived();
    void discardReceived();
    Status runOpenSequence();
    void reportOpenError(const Status& failure);
    void setStatus(const QString& text);
    bool& noFrameFlag() { return m_bNoFrame[m_nComPort]; }

    LinkOptions m_options;
    RunState& m_run;
    CMSComm m_comm;
    DeviceWatcher m_watcher;
    QByteArray m_chunk;    // one read from the control
    QByteArray m_rx;       // received bytes from a frame's header on
    bool m_bAwaitingReply = false;  // a poll went out and no valid frame came back yet
    const QByteArray m_pollPacket;
    const QByteArray m_wakePacket;
    QString m_strStatus;
};
