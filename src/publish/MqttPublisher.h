#pragma once
// Publishes a recording to an MQTT broker (see MqttMessages.h for what goes
// where), through libmosquitto; no MQTT of our own. The library is loaded
// when publishing first starts (MosquittoLibrary.h); without it, start()
// fails and says so.
//
// The recording never waits for the broker. Each connection is a
// libmosquitto client whose connect (name lookup, TCP and TLS handshake)
// and network loop (mosquitto_loop_forever) run on a thread of the
// publisher; the owner's thread only hands it messages (mosquitto_publish
// queues them and returns) and hears of acknowledgements and connection
// changes as queued calls. The connect is on that thread too, rather than
// under mosquitto_loop_start, because mosquitto_connect blocks.
//
// Nothing is lost while the broker is away, and nothing piles up in memory:
// the samples are not queued here. A recording's samples are already in
// its run (and its journal), and once a part of the recording is saved, in
// its data file. The publisher only keeps, per part, how many samples were
// committed, handed over and acknowledged (PUBACK); at most kWindow
// messages are handed to libmosquitto unacknowledged at a time. When the
// connection goes, what was not acknowledged is handed over again on the
// next one, read back from the run or, for a part already saved, from its
// data file (or its journal), in order and with the samples' own times,
// before newer samples. Each connection starts clean, so libmosquitto holds
// nothing across one (a sample can arrive twice, never out of its place
// among the first arrivals, and never not at all: QoS 1).
//
// The connection is tried again after 1 s, then after waits doubling up to
// 60 s; an accepted connection starts the waits at 1 s again. Each outage
// is reported once (what failed and that it is tried again) and the return
// once (how long it took, what is sent again).
//
// Events (a ready JSON object each) go to PREFIX/event. Where the owner
// keeps them in an events log (eventsKeptIn), each event is its log's
// next line, and those the broker has not acknowledged are read back from
// the log after a reconnect, in order, like the samples: nothing is held
// here while the broker is away. Events that are in no log wait in memory,
// up to kMaxPendingEvents, the oldest dropped (and counted) beyond that.
#include "base/Status.h"
#include "data/RunView.h"
#include "publish/MqttCredentials.h"
#include "publish/MqttMessages.h"
#include "publish/MqttUrl.h"
#include "settings/Settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

class EventLog;
class QEventLoop;
struct MosquittoFunctions;
struct ReviewRecord;
struct RecoveredRun;

// What the user chose.
struct MqttSettings {
    QString url;             // mqtt://host[:port] or mqtts://host[:port]
    QString topic;           // the prefix; empty: zb740/METER
    QString credentialsFile; // empty: no user name
    QString caFile;          // empty: the system's certificate authorities
    bool discovery = true;   // Home Assistant's discovery configs

    // The choice as the settings file keeps it.
    static MqttSettings fromStored(const settings::MqttValues& stored);
};

// Reads and checks the settings for the meter: the address, the topic
// prefix (the default one when empty), the credentials file and the CA
// file. A failure says what is wrong in one sentence, never with a
// password.
[[nodiscard]] Status checkMqttSettings(const MqttSettings& settings, const QString& meterId, MqttUrl& url,
                                       QString& topic, MqttCredentials& credentials);

// The waits between connection attempts: 1 s, 2 s, 4 s, ... up to 60 s.
class MqttBackOff {
public:
    static constexpr int kFirstMs = 1000;
    static constexpr int kMaxMs = 60000;
    // The wait before the next attempt.
    int next();
    // A connection was accepted: the next wait is the first again.
    void reset() { m_nextMs = kFirstMs; }

private:
    int m_nextMs = kFirstMs;
};

class MqttPublisher : public QObject {
    Q_OBJECT
public:
    enum class State {
        Off,        // not publishing
        Connecting, // the first connection is being made
        Connected,
        Waiting,    // the broker is away; tried again later
    };
    // Messages handed to libmosquitto and not yet acknowledged, at most.
    static constexpr int kWindow = 32;
    static constexpr int kMaxPendingEvents = 256;
    static constexpr int kKeepAliveSeconds = 30;

    explicit MqttPublisher(QObject* parent = nullptr);
    ~MqttPublisher() override;

    // Reads the settings (the address, the topic prefix, the credentials
    // and CA files), loads libmosquitto and begins connecting. A failure
    // says what is wrong in one sentence, never with a password; nothing is
    // published then.
    [[nodiscard]] Status start(const MqttSettings& settings, const QString& meterId);
    // Publishing ends: what is not acknowledged yet is sent for up to
    // drainMs (the broker away, it is tried once more at once); then
    // "offline" is published and the connection closed. Samples left
    // unpublished are reported.
    void stop(int drainMs = 10000);

    State state() const { return m_state; }
    bool publishing() const { return m_state != State::Off; }
    const MqttUrl& url() const { return m_url; }
    const QString& topic() const { return m_topic; }
    // Samples committed and not acknowledged by the broker.
    int unacknowledged() const;

    // A part of the recording begins, to be saved as dataPath (empty: not
    // known yet; "file" is null then): its samples are view()'s, committed
    // one by one (committed()).
    void beginPart(const QString& dataPath, std::function<RunView()> view);
    // The current part has `count` samples. Hands what it can to the
    // connection; allocates nothing of its own (libmosquitto copies each
    // message it is handed until its PUBACK).
    void committed(int count);
    // The current part has ended; its samples are to be read back from its
    // data file from now on (or its journal, when the data file cannot be
    // read).
    void partEnded(const QString& journalPath);
    // An alarm flag went on or off (channel, AlarmLimitSet::Bound).
    void alarmChanged(int channel, int bound, bool on);
    // One event, a JSON object. With an events log, the line just appended
    // to it (MonitorEvents::json of the event the log took).
    void publishEvent(const QByteArray& json);
    // The events passed to publishEvent from now on are lines of log (open
    // by then, or opened before the first event): the unacknowledged ones
    // are read back from it. The log outlives the publishing (stop()).
    void eventsKeptIn(const EventLog* log) { m_eventLog = log; }

signals:
    void stateChanged(MqttPublisher::State state);
    // A line of news: connected, connected again, what stop left behind.
    void note(const QString& line);
    // A problem with the broker at url (an outage, a refusal): one sentence.
    void problem(const QString& url, const QString& message);

private:
    struct Link;
    struct Relay;
    friend struct MqttCallbacks;

    struct Part {
        QString dataPath;
        QString journalPath;
        QByteArray fileJson; // the data file's name as a JSON string
        std::function<RunView()> view; // while live
        bool live = true;
        int committed = 0;
        int sent = 0;  // handed to the current connection (from acked on)
        int acked = 0; // acknowledged, in order
        std::shared_ptr<ReviewRecord> record; // read back from the data file
        std::shared_ptr<RecoveredRun> recovered; // or from the journal
    };
    struct InFlight {
        int mid = 0;
        bool acked = false;
        bool event = false;
        bool logged = false; // an event read from the events log
        int64_t part = 0; // sequence number of its part
        int index = 0;
        QByteArray json;  // an event's
    };

    void connectNow();
    void onConnected(int generation, int code);
    void onLost(int generation, int code);
    void onAcked(int generation, int mid);
    void onEnded(int generation, int code, const QString& reason);
    void closeLink(int waitMs);
    void pump();
    bool viewOf(Part& part, RunView& view);
    void publishRetained(const QByteArray& topic, const QByteArray& payload);
    void publishDiscovery(bool fahrenheit);
    void setState(State state);
    void reportOutage(const QString& message);
    void rewind();
    bool drained() const;
    // Runs the event loop until done() or the time (ms since 1970).
    bool waitUntil(const std::function<bool()>& done, qint64 until);
    Part* partBySeq(int64_t seq);
    void wakeWaiter();

    MqttSettings m_settings;
    MqttUrl m_url;
    QString m_topic;
    QString m_meterId;
    MqttCredentials m_credentials;
    QByteArray m_stateTopic, m_eventTopic, m_availabilityTopic, m_host;
    QByteArray m_clientId;
    State m_state = State::Off;
    bool m_stopping = false;
    bool m_finalAttempt = false; // stop() tries the broker once more

    const MosquittoFunctions* m_api = nullptr; // set by the first start()
    std::shared_ptr<Relay> m_relay;
    Link* m_link = nullptr;
    int m_generation = 0;
    MqttBackOff m_backOff;
    QTimer m_retry;
    bool m_everConnected = false;
    bool m_outageReported = false;
    int64_t m_outageSinceMs = 0;

    std::deque<Part> m_parts;
    int64_t m_firstSeq = 0; // sequence number of m_parts.front()
    std::array<InFlight, kWindow> m_inFlight;
    int m_inFlightHead = 0, m_inFlightCount = 0;
    std::deque<QByteArray> m_events;
    int m_eventsDropped = 0;
    // Events kept in an events log: counted, and where in the log the
    // first unacknowledged one and the next one to hand over start.
    const EventLog* m_eventLog = nullptr;
    int64_t m_loggedEvents = 0, m_loggedSent = 0, m_loggedAcked = 0;
    qint64 m_loggedSentAt = 0, m_loggedAckedAt = 0;
    bool pumpLoggedEvent(InFlight& f);
    bool m_discovered = false;
    bool m_discoveredFahrenheit = false;
    // Alarm flags as last told: known, on.
    std::array<std::array<signed char, 2>, 5> m_alarms {};
    char m_buffer[MqttMessages::kMaxStateLength];
    QEventLoop* m_waiter = nullptr;
    int m_offlineMid = -1;
    bool m_offlineAcked = false;
};
