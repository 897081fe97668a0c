#pragma once
// A stand-in for the meter on a pseudo-terminal: it answers the wake packet
// and each poll byte with one 46-byte frame after the wire time of those
// bytes at 4800 baud, with slowly drifting readings, and reacts to the
// remote key packets. Fault options make it fall silent, send garbage,
// split frames or put a stray byte before them. It runs in the caller's
// event loop.
#include "base/Status.h"
#include "link/MeterProtocol.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QTimer>
#include <functional>
#include <limits>
#include <memory>

class QSocketNotifier;

struct SimulatedMeterOptions {
    // Fall silent after this many frames (0: never) and answer again after
    // silentForMs milliseconds (0: stay silent).
    int silentAfterFrames = 0;
    int silentForMs = 0;
    // Replace every n-th reply by 1..90 random bytes (0: never).
    int garbageEvery = 0;
    // Write each frame in three pieces a few milliseconds apart.
    bool splitFrames = false;
    // Send one stray byte before each frame.
    bool leadByte = false;
    // Starting state of the meter.
    bool fahrenheit = false;
    bool typeK = false;
    bool batteryLow = false;
    // A fixed K/IR reading in degrees C instead of the simulated one; -1000
    // means no probe. Unset (NaN) simulates a surface a few degrees above
    // the air.
    float fixedKir = std::numeric_limits<float>::quiet_NaN();
    quint32 seed = 4800;
    // Reply delay; the wire time of a frame by default.
    int replyDelayMs = meter::wireTimeMs(meter::kFrameSize);
};

class SimulatedMeter : public QObject {
    Q_OBJECT
public:
    explicit SimulatedMeter(SimulatedMeterOptions options = {}, QObject* parent = nullptr);
    ~SimulatedMeter() override;

    // Opens the pseudo-terminal; on failure the message names the step
    // that failed and why ("posix_openpt: Too many open files").
    Status start();
    void stop();
    // The device the program opens (the pseudo-terminal's slave side).
    const QString& devicePath() const { return m_devicePath; }

    // What was received, in order, and the command packets found in it
    // (the most recent 64 KiB and 1024 packets).
    const QByteArray& received() const { return m_received; }
    const QList<QByteArray>& packets() const { return m_packets; }
    int pollsReceived() const { return m_nPolls; }
    int wakesReceived() const { return m_nWakes; }
    int framesSent() const { return m_nFrames; }

    // Current state, as the frame flags report it.
    bool poweredOn() const { return m_bPowered; }
    bool silent() const { return m_bSilent; }
    bool fahrenheit() const { return m_bFahrenheit; }
    bool typeK() const { return m_bTypeK; }
    bool backlight() const { return m_bBacklight; }
    bool holdA() const { return m_bHoldA; }
    bool holdB() const { return m_bHoldB; }
    int maxMinA() const { return m_nMaxMinA; }
    int maxMinB() const { return m_nMaxMinB; }

    // Where the simulated readings take their time from (milliseconds, any
    // origin): the meter's own elapsed time unless set.
    void setClockMs(std::function<int64_t()> clock) { m_clockMs = std::move(clock); }

    // Makes the meter silent now (or answering again).
    void setSilent(bool silent);
    // The frame the meter would send now.
    meter::FrameBytes currentFrame();

signals:
    void packetReceived(const QByteArray& packet);
    void frameSent();

private:
    void onReadable();
    void parse();
    void onPacket(const uint8_t* p);
    void requestReply();
    void sendReply();
    void writeBytes(const char* data, qsizetype size);
    void writePending();
    void simulate();

    SimulatedMeterOptions m_options;
    int m_master = -1;
    int m_slaveKeeper = -1;
    QString m_devicePath;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_replyTimer;
    QTimer m_splitTimer;
    QTimer m_silenceTimer;
    QElapsedTimer m_clock;
    std::function<int64_t()> m_clockMs;
    QRandomGenerator m_rng;

    QByteArray m_inbox;
    QByteArray m_received;
    QList<QByteArray> m_packets;
    QByteArray m_splitRest;
    int m_nPendingReplies = 0;
    int m_nPolls = 0;
    int m_nWakes = 0;
    int m_nFrames = 0;
    int m_nReplies = 0;
    bool m_bSilenceDone = false;

    // Meter state.
    bool m_bPowered = true;
    bool m_bSilent = false;
    bool m_bFahrenheit = false;
    bool m_bTypeK = false;
    bool m_bBacklight = false;
    bool m_bHoldA = false;
    bool m_bHoldB = false;
    bool m_bRecA = false;
    bool m_bRecB = false;
    int m_nMaxMinA = 0; // 0 off, 1 MAX, 2 MIN
    int m_nMaxMinB = 0;
    int m_nUpperShows = 0; // 0 AIR, 1 WB, 2 DP
    float m_fAir = 0, m_fRh = 0, m_fWb = 0, m_fDp = 0, m_fKir = 0;
    float m_fAirMax = -1e9f, m_fAirMin = 1e9f, m_fKirMax = -1e9f, m_fKirMin = 1e9f;
    float m_fAirWalk = 0, m_fRhWalk = 0;
    float m_fHeldLcd1 = 0, m_fHeldLcd2 = 0, m_fHeldLcd3 = 0;
};
