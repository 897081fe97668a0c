#include "publish/MqttPublisher.h"

#include "data/DataFile.h"
#include "data/EventLog.h"
#include "data/RunJournal.h"
#include "publish/MosquittoLibrary.h"
#include "publish/MqttMessages.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <algorithm>

// The publisher as the connection threads reach it: cleared when the
// publisher goes, so a thread that outlives it posts to nobody.
struct MqttPublisher::Relay {
    std::mutex mutex;
    MqttPublisher* publisher = nullptr;
};

// One connection: a libmosquitto client and the thread that connects it
// and runs its loop.
struct MqttPublisher::Link {
    const MosquittoFunctions* api = nullptr;
    mosquitto* mosq = nullptr;
    std::thread thread;
    std::atomic<bool> done {false};
    std::atomic<bool> cancelled {false};
    int generation = 0;
    std::shared_ptr<Relay> relay;
    std::mutex errorMutex;
    std::string lastError; // libmosquitto's last error log line (TLS)

    template <class F>
    void post(F f)
    {
        std::lock_guard<std::mutex> lock(relay->mutex);
        if (MqttPublisher* p = relay->publisher)
            QMetaObject::invokeMethod(p, [p, f = std::move(f)] { f(*p); }, Qt::QueuedConnection);
    }
    std::string error()
    {
        std::lock_guard<std::mutex> lock(errorMutex);
        return lastError;
    }
};

// libmosquitto's callbacks, on the connection's thread.
struct MqttCallbacks {
    static void onConnect(mosquitto* mosq, void* obj, int code)
    {
        auto* link = static_cast<MqttPublisher::Link*>(obj);
        // A refusal ends this connection: the publisher decides when to
        // try again, not libmosquitto's loop.
        if (code != 0)
            (void)link->api->mosquitto_disconnect(mosq);
        const int generation = link->generation;
        link->post([generation, code](MqttPublisher& p) { p.onConnected(generation, code); });
    }
    static void onDisconnect(mosquitto* mosq, void* obj, int code)
    {
        auto* link = static_cast<MqttPublisher::Link*>(obj);
        // Unexpected: ends mosquitto_loop_forever rather than letting it
        // reconnect on its own schedule, with its queue kept.
        if (code != 0)
            (void)link->api->mosquitto_disconnect(mosq);
        const int generation = link->generation;
        link->post([generation, code](MqttPublisher& p) { p.onLost(generation, code); });
    }
    static void onPublish(mosquitto*, void* obj, int mid)
    {
        auto* link = static_cast<MqttPublisher::Link*>(obj);
        const int generation = link->generation;
        link->post([generation, mid](MqttPublisher& p) { p.onAcked(generation, mid); });
    }
    static void onLog(mosquitto*, void* obj, int level, const char* text)
    {
        if (!(level & MOSQ_LOG_ERR) || text == nullptr)
            return;
        auto* link = static_cast<MqttPublisher::Link*>(obj);
        std::lock_guard<std::mutex> lock(link->errorMutex);
        link->lastError = text;
    }
};

namespace {

// What a libmosquitto result means, in words.
QString resultText(const MosquittoFunctions& api, int code, int savedErrno, const std::string& logged)
{
    if (code == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    if (code == MOSQ_ERR_EAI)
        return QStringLiteral("the host name cannot be looked up");
    if (code == MOSQ_ERR_TLS) {
        QString text = QStringLiteral("TLS failed");
        if (!logged.empty())
            text += QStringLiteral(": ") + QString::fromStdString(logged);
        return text;
    }
    return QString::fromUtf8(api.mosquitto_strerror(code));
}

QString sinceText(int64_t ms)
{
    const int64_t s = (ms + 500) / 1000;
    if (s < 120)
        return QStringLiteral("%1 s").arg(s);
    if (s < 7200)
        return QStringLiteral("%1 min").arg(s / 60);
    return QStringLiteral("%1 h").arg(s / 3600);
}

} // namespace

int MqttBackOff::next()
{
    const int wait = m_nextMs;
    m_nextMs = std::min(m_nextMs * 2, kMaxMs);
    return wait;
}

MqttPublisher::MqttPublisher(QObject* parent)
    : QObject(parent)
    , m_relay(std::make_shared<Relay>())
{
    m_relay->publisher = this;
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttPublisher::connectNow);
}

MqttPublisher::~MqttPublisher()
{
    {
        std::lock_guard<std::mutex> lock(m_relay->mutex);
        m_relay->publisher = nullptr;
    }
    closeLink(2000);
}

MqttSettings MqttSettings::fromStored(const settings::MqttValues& stored)
{
    MqttSettings s;
    s.url = stored.broker;
    s.topic = stored.topic;
    s.credentialsFile = stored.credentialsFile;
    s.caFile = stored.caFile;
    s.discovery = stored.discovery;
    return s;
}

Status checkMqttSettings(const MqttSettings& settings, const QString& meterId, MqttUrl& url, QString& topic,
                         MqttCredentials& credentials)
{
    if (Status s = parseMqttUrl(settings.url, url); !s.ok())
        return s;
    topic = settings.topic.isEmpty() ? MqttMessages::defaultTopic(meterId) : settings.topic;
    if (Status s = MqttMessages::checkTopicPrefix(topic); !s.ok())
        return s;
    credentials = MqttCredentials {};
    if (!settings.credentialsFile.isEmpty()) {
        if (Status s = readMqttCredentials(settings.credentialsFile, credentials); !s.ok())
            return Status::failure(s.code(),
                                   QStringLiteral("the credentials file %1 %2")
                                       .arg(settings.credentialsFile,
                                            s.code() == Status::Code::BadSetting
                                                ? s.message()
                                                : QStringLiteral("cannot be read (%1)").arg(s.message())));
    }
    if (!settings.caFile.isEmpty()) {
        QFile ca(settings.caFile);
        if (!ca.open(QIODevice::ReadOnly))
            return Status::failure(Status::Code::CannotOpen, QStringLiteral("the CA file %1 cannot be read (%2)")
                                                                  .arg(settings.caFile, ca.errorString()));
        if (!url.tls)
            return Status::failure(Status::Code::BadSetting,
                                   QStringLiteral("a CA file goes with an mqtts:// address, not %1").arg(url.text()));
    }
    return Status::success();
}

Status MqttPublisher::start(const MqttSettings& settings, const QString& meterId)
{
    if (m_state != State::Off)
        return Status::failure(Status::Code::Busy, QStringLiteral("publishing already"));
    MqttUrl url;
    QString topic;
    MqttCredentials credentials;
    if (Status s = checkMqttSettings(settings, meterId, url, topic, credentials); !s.ok())
        return s;
    const MosquittoLibrary& library = MosquittoLibrary::shared();
    if (!library.status().ok())
        return library.status();
    m_api = &library.functions();
    m_settings = settings;
    m_url = url;
    m_topic = topic;
    m_meterId = meterId;
    m_credentials = credentials;
    m_stateTopic = MqttMessages::stateTopic(topic);
    m_eventTopic = MqttMessages::eventTopic(topic);
    m_availabilityTopic = MqttMessages::availabilityTopic(topic);
    m_host = url.host.toUtf8();
    m_clientId = MqttMessages::clientId(meterId).toUtf8();
    m_stopping = false;
    m_everConnected = false;
    m_outageReported = false;
    m_backOff.reset();
    setState(State::Connecting);
    connectNow();
    return Status::success();
}

void MqttPublisher::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void MqttPublisher::connectNow()
{
    if (m_stopping || m_state == State::Off)
        return;
    closeLink(0);
    if (m_link != nullptr) {
        // The last connection's thread has not ended yet: wait for it.
        m_retry.start(100);
        return;
    }
    const MosquittoFunctions& api = *m_api;
    auto* link = new Link;
    link->api = m_api;
    link->generation = ++m_generation;
    link->relay = m_relay;
    link->mosq = api.mosquitto_new(m_clientId.constData(), true, link);
    if (link->mosq == nullptr) {
        delete link;
        reportOutage(QStringLiteral("cannot make an MQTT client (out of memory)"));
        m_retry.start(m_backOff.next());
        return;
    }
    mosquitto* mosq = link->mosq;
    (void)api.mosquitto_threaded_set(mosq, true);
    (void)api.mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    (void)api.mosquitto_max_inflight_messages_set(mosq, kWindow);
    api.mosquitto_connect_callback_set(mosq, &MqttCallbacks::onConnect);
    api.mosquitto_disconnect_callback_set(mosq, &MqttCallbacks::onDisconnect);
    api.mosquitto_publish_callback_set(mosq, &MqttCallbacks::onPublish);
    api.mosquitto_log_callback_set(mosq, &MqttCallbacks::onLog);
    if (!m_credentials.user.isEmpty())
        (void)api.mosquitto_username_pw_set(mosq, m_credentials.user.constData(),
                                            m_credentials.password.isEmpty() ? nullptr
                                                                             : m_credentials.password.constData());
    (void)api.mosquitto_will_set(mosq, m_availabilityTopic.constData(), int(std::strlen(MqttMessages::kOffline)),
                                 MqttMessages::kOffline, 1, true);
    if (m_url.tls) {
        int rc = MOSQ_ERR_SUCCESS;
        if (!m_settings.caFile.isEmpty())
            rc = api.mosquitto_tls_set(mosq, QFile::encodeName(m_settings.caFile).constData(), nullptr, nullptr,
                                       nullptr, nullptr);
        else
            rc = api.mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        if (rc != MOSQ_ERR_SUCCESS) {
            api.mosquitto_destroy(mosq);
            delete link;
            reportOutage(
                QStringLiteral("TLS cannot be set up (%1)").arg(QString::fromUtf8(api.mosquitto_strerror(rc))));
            m_retry.start(m_backOff.next());
            return;
        }
    }
    m_link = link;
    const QByteArray host = m_host;
    const int port = m_url.port;
    link->thread = std::thread([link, host, port] {
        errno = 0;
        int rc = link->api->mosquitto_connect(link->mosq, host.constData(), port, kKeepAliveSeconds);
        const int savedErrno = errno;
        // Let go while it connected: not run at all.
        if (rc == MOSQ_ERR_SUCCESS && link->cancelled)
            (void)link->api->mosquitto_disconnect(link->mosq);
        else if (rc == MOSQ_ERR_SUCCESS)
            rc = link->api->mosquitto_loop_forever(link->mosq, 1000, 1);
        const int loopErrno = rc == MOSQ_ERR_ERRNO ? errno : savedErrno;
        const QString reason =
            rc == MOSQ_ERR_SUCCESS ? QString() : resultText(*link->api, rc, loopErrno, link->error());
        const int generation = link->generation;
        link->post([generation, rc, reason](MqttPublisher& p) { p.onEnded(generation, rc, reason); });
        link->done = true;
    });
}

// Lets the current connection go: asks it to end and, within waitMs,
// joins its thread and frees it. A thread still busy after that (a
// connect that hangs) is left to end on its own.
void MqttPublisher::closeLink(int waitMs)
{
    Link* link = m_link;
    if (link == nullptr)
        return;
    link->cancelled = true;
    (void)link->api->mosquitto_disconnect(link->mosq);
    if (!link->done && waitMs > 0) {
        const qint64 until = QDateTime::currentMSecsSinceEpoch() + waitMs;
        while (!link->done && QDateTime::currentMSecsSinceEpoch() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!link->done) {
        if (waitMs > 0) {
            // Given up on: it may hang in a connect for minutes. Its client
            // is freed with the process.
            link->thread.detach();
            m_link = nullptr;
        }
        return;
    }
    link->thread.join();
    link->api->mosquitto_destroy(link->mosq);
    delete link;
    m_link = nullptr;
}

void MqttPublisher::reportOutage(const QString& message)
{
    if (m_outageReported)
        return;
    m_outageReported = true;
    m_outageSinceMs = QDateTime::currentMSecsSinceEpoch();
    emit problem(m_url.text(),
                 message
                     + QStringLiteral("; recording goes on, and the samples are published once the broker answers "
                                      "(tried again after 1 s, then waits doubling up to 60 s)"));
}

void MqttPublisher::onConnected(int generation, int code)
{
    if (m_link == nullptr || generation != m_link->generation || m_stopping)
        return;
    if (code != 0) {
        const QString why = QString::fromUtf8(m_api->mosquitto_connack_string(code));
        if (code == 4 || code == 5)
            reportOutage(QStringLiteral("the broker refused the user name or password (%1)").arg(why));
        else
            reportOutage(QStringLiteral("the broker refused the connection (%1)").arg(why));
        return; // the thread ends; onEnded tries again
    }
    const int held = unacknowledged();
    if (!m_everConnected) {
        emit note(QStringLiteral("Publishing to %1 under %2.").arg(m_url.text(), m_topic));
    } else if (m_outageReported) {
        emit note(QStringLiteral("Connected to the broker at %1 again after %2; publishing the %3 samples held back.")
                      .arg(m_url.text(), sinceText(QDateTime::currentMSecsSinceEpoch() - m_outageSinceMs))
                      .arg(held));
    }
    m_everConnected = true;
    m_outageReported = false;
    m_backOff.reset();
    setState(State::Connected);
    wakeWaiter();
    publishRetained(m_availabilityTopic, MqttMessages::kOnline);
    m_discovered = false;
    for (int c = 0; c < 5; ++c) {
        for (int b = 0; b < 2; ++b) {
            if (m_alarms[size_t(c)][size_t(b)] != 0)
                publishRetained(MqttMessages::alarmTopic(m_topic, c, b),
                                m_alarms[size_t(c)][size_t(b)] > 0 ? QByteArray("ON") : QByteArray("OFF"));
        }
    }
    pump();
}

void MqttPublisher::onLost(int generation, int code)
{
    if (m_link == nullptr || generation != m_link->generation)
        return;
    if (m_state != State::Connected || code == 0)
        return; // a refusal, or our own disconnect
    rewind();
    setState(State::Waiting);
    reportOutage(code == MOSQ_ERR_CONN_LOST || code == MOSQ_ERR_KEEPALIVE
                     ? QStringLiteral("lost the connection to the broker")
                     : QStringLiteral("lost the connection to the broker (%1)")
                           .arg(QString::fromUtf8(m_api->mosquitto_strerror(code))));
    wakeWaiter();
}

void MqttPublisher::onEnded(int generation, int code, const QString& reason)
{
    if (m_link == nullptr || generation != m_link->generation)
        return;
    closeLink(1000);
    if (m_state == State::Connected) {
        // Ended without a disconnect callback.
        rewind();
    }
    if (m_stopping || m_finalAttempt || m_state == State::Off) {
        wakeWaiter();
        return;
    }
    setState(m_everConnected ? State::Waiting : State::Connecting);
    if (code != MOSQ_ERR_SUCCESS) {
        if (!m_everConnected && !m_outageReported)
            reportOutage(QStringLiteral("cannot connect to the broker (%1)").arg(reason));
        else
            reportOutage(QStringLiteral("lost the connection to the broker (%1)").arg(reason));
    } else if (!m_outageReported) {
        reportOutage(QStringLiteral("the connection to the broker ended"));
    }
    m_retry.start(m_backOff.next());
    wakeWaiter();
}

// What was handed to the connection that went and not acknowledged is
// handed over again, from the first unacknowledged sample on.
void MqttPublisher::rewind()
{
    std::vector<QByteArray> events;
    for (int i = 0; i < m_inFlightCount; ++i) {
        InFlight& f = m_inFlight[size_t((m_inFlightHead + i) % kWindow)];
        if (f.event && !f.logged && !f.acked)
            events.push_back(std::move(f.json));
    }
    m_events.insert(m_events.begin(), std::make_move_iterator(events.begin()), std::make_move_iterator(events.end()));
    for (InFlight& f : m_inFlight)
        f = InFlight {};
    m_inFlightHead = 0;
    m_inFlightCount = 0;
    for (Part& part : m_parts)
        part.sent = part.acked;
    m_loggedSent = m_loggedAcked;
    m_loggedSentAt = m_loggedAckedAt;
}

MqttPublisher::Part* MqttPublisher::partBySeq(int64_t seq)
{
    const int64_t i = seq - m_firstSeq;
    if (i < 0 || i >= int64_t(m_parts.size()))
        return nullptr;
    return &m_parts[size_t(i)];
}

void MqttPublisher::onAcked(int generation, int mid)
{
    if (m_link == nullptr || generation != m_link->generation)
        return;
    if (mid == m_offlineMid) {
        m_offlineAcked = true;
        wakeWaiter();
        return;
    }
    for (int i = 0; i < m_inFlightCount; ++i) {
        InFlight& f = m_inFlight[size_t((m_inFlightHead + i) % kWindow)];
        if (f.mid == mid && !f.acked) {
            f.acked = true;
            break;
        }
    }
    // The acknowledged front of the window.
    while (m_inFlightCount > 0 && m_inFlight[size_t(m_inFlightHead)].acked) {
        InFlight& f = m_inFlight[size_t(m_inFlightHead)];
        if (!f.event) {
            if (Part* part = partBySeq(f.part))
                part->acked = std::max(part->acked, f.index + 1);
        } else if (f.logged && m_loggedAcked < m_loggedEvents) {
            ++m_loggedAcked;
            m_loggedAckedAt += f.json.size() + 1;
        }
        f = InFlight {};
        m_inFlightHead = (m_inFlightHead + 1) % kWindow;
        --m_inFlightCount;
    }
    // Parts saved and wholly acknowledged are done with.
    while (!m_parts.empty() && !m_parts.front().live && m_parts.front().acked >= m_parts.front().committed) {
        m_parts.pop_front();
        ++m_firstSeq;
    }
    pump();
    wakeWaiter();
}

bool MqttPublisher::viewOf(Part& part, RunView& view)
{
    if (part.live) {
        view = part.view();
        return view.count() >= part.committed;
    }
    if (part.record) {
        view = RunView::of(*part.record);
        return true;
    }
    if (part.recovered) {
        view = part.recovered->view();
        return true;
    }
    // Read back once, when it is needed: the data file, or else the journal.
    auto record = std::make_shared<ReviewRecord>();
    YScaleValues scale;
    if (DataFile::load(part.dataPath, *record, scale).ok() && RunView::of(*record).count() >= part.committed) {
        part.record = record;
        view = RunView::of(*part.record);
        return true;
    }
    record.reset();
    auto recovered = std::make_shared<RecoveredRun>();
    if (!part.journalPath.isEmpty() && Journal::load(part.journalPath, *recovered).ok()
        && recovered->count >= part.committed) {
        part.recovered = recovered;
        view = part.recovered->view();
        return true;
    }
    return false;
}

void MqttPublisher::pump()
{
    if (m_state != State::Connected || m_link == nullptr)
        return;
    while (m_inFlightCount < kWindow) {
        InFlight f;
        Part* next = nullptr;
        int64_t seq = m_firstSeq;
        for (Part& part : m_parts) {
            if (part.sent < part.committed) {
                next = &part;
                break;
            }
            ++seq;
        }
        if (next != nullptr) {
            RunView view;
            if (!viewOf(*next, view)) {
                const int lost = next->committed - next->acked;
                emit problem(m_url.text(),
                             QStringLiteral("%1 samples of %2 cannot be published: neither the data file nor its "
                                            "journal can be read back")
                                 .arg(lost)
                                 .arg(next->dataPath));
                next->sent = next->acked = next->committed;
                continue;
            }
            if (m_settings.discovery && (!m_discovered || m_discoveredFahrenheit != view.fahrenheit()))
                publishDiscovery(view.fahrenheit());
            const size_t n = MqttMessages::stateInto(m_buffer, view, next->sent, next->fileJson);
            int mid = 0;
            if (m_api->mosquitto_publish(m_link->mosq, &mid, m_stateTopic.constData(), int(n), m_buffer, 1, false)
                != MOSQ_ERR_SUCCESS)
                return; // the connection is going: its end hands them over again
            f.mid = mid;
            f.part = seq;
            f.index = next->sent;
            ++next->sent;
        } else if (m_loggedSent < m_loggedEvents) {
            if (!pumpLoggedEvent(f))
                return;
        } else if (!m_events.empty()) {
            int mid = 0;
            const QByteArray& json = m_events.front();
            if (m_api->mosquitto_publish(m_link->mosq, &mid, m_eventTopic.constData(), int(json.size()),
                                         json.constData(), 1, false)
                != MOSQ_ERR_SUCCESS)
                return;
            f.mid = mid;
            f.event = true;
            f.json = std::move(m_events.front());
            m_events.pop_front();
        } else {
            return;
        }
        m_inFlight[size_t((m_inFlightHead + m_inFlightCount) % kWindow)] = std::move(f);
        ++m_inFlightCount;
    }
}

// Hands the next event of the events log to the connection, read back
// from the log; false when nothing was handed over.
bool MqttPublisher::pumpLoggedEvent(InFlight& f)
{
    QByteArray json;
    if (m_eventLog == nullptr || !m_eventLog->lineAt(m_loggedSentAt, json).ok()) {
        // The log was cut or replaced: what it held is gone.
        const int64_t lost = m_loggedEvents - m_loggedAcked;
        emit problem(m_url.text(), QStringLiteral("%1 events cannot be published: the events log cannot be read back")
                                       .arg(lost));
        m_loggedEvents = m_loggedSent = m_loggedAcked = 0;
        return false;
    }
    int mid = 0;
    if (m_api->mosquitto_publish(m_link->mosq, &mid, m_eventTopic.constData(), int(json.size()), json.constData(), 1,
                                 false)
        != MOSQ_ERR_SUCCESS)
        return false;
    f.mid = mid;
    f.event = true;
    f.logged = true;
    m_loggedSentAt += json.size() + 1;
    ++m_loggedSent;
    f.json = std::move(json);
    return true;
}

void MqttPublisher::publishRetained(const QByteArray& topic, const QByteArray& payload)
{
    if (m_link == nullptr)
        return;
    (void)m_api->mosquitto_publish(m_link->mosq, nullptr, topic.constData(), int(payload.size()), payload.constData(),
                                   1, true);
}

void MqttPublisher::publishDiscovery(bool fahrenheit)
{
    m_discovered = true;
    m_discoveredFahrenheit = fahrenheit;
    for (const MqttMessages::Retained& config : MqttMessages::discoveryConfigs(m_meterId, m_topic, fahrenheit))
        publishRetained(config.topic, config.payload);
}

int MqttPublisher::unacknowledged() const
{
    int n = 0;
    for (const Part& part : m_parts)
        n += part.committed - part.acked;
    return n;
}

void MqttPublisher::beginPart(const QString& dataPath, std::function<RunView()> view)
{
    if (m_state == State::Off)
        return;
    if (!m_parts.empty() && m_parts.back().live)
        partEnded(QString());
    Part part;
    part.dataPath = dataPath;
    // A run not saved yet (the window's) has no file: "file" is null.
    if (!dataPath.isEmpty())
        part.fileJson = MqttMessages::jsonString(QFileInfo(dataPath).fileName());
    part.view = std::move(view);
    m_parts.push_back(std::move(part));
}

void MqttPublisher::committed(int count)
{
    if (m_parts.empty() || !m_parts.back().live)
        return;
    m_parts.back().committed = count;
    pump();
}

void MqttPublisher::partEnded(const QString& journalPath)
{
    if (m_parts.empty() || !m_parts.back().live)
        return;
    Part& part = m_parts.back();
    part.live = false;
    part.view = nullptr;
    part.journalPath = journalPath;
    if (part.acked >= part.committed && m_parts.size() == 1) {
        m_parts.pop_front();
        ++m_firstSeq;
    }
}

void MqttPublisher::alarmChanged(int channel, int bound, bool on)
{
    if (channel < 0 || channel >= 5 || bound < 0 || bound > 1)
        return;
    m_alarms[size_t(channel)][size_t(bound)] = on ? 1 : -1;
    if (m_state == State::Connected)
        publishRetained(MqttMessages::alarmTopic(m_topic, channel, bound), on ? QByteArray("ON") : QByteArray("OFF"));
}

void MqttPublisher::publishEvent(const QByteArray& json)
{
    if (m_state == State::Off)
        return;
    if (m_eventLog != nullptr && m_eventLog->isOpen()) {
        const qint64 end = m_eventLog->endOffset();
        if (m_loggedAcked == m_loggedEvents) {
            // Nothing outstanding: counting starts again at this line.
            m_loggedEvents = m_loggedSent = m_loggedAcked = 0;
            m_loggedSentAt = m_loggedAckedAt = end - (json.size() + 1);
        }
        ++m_loggedEvents;
        pump();
        return;
    }
    if (int(m_events.size()) >= kMaxPendingEvents) {
        m_events.pop_front();
        ++m_eventsDropped;
    }
    m_events.push_back(json);
    pump();
}

bool MqttPublisher::drained() const
{
    return unacknowledged() == 0 && m_events.empty() && m_loggedAcked == m_loggedEvents && m_inFlightCount == 0;
}

void MqttPublisher::wakeWaiter()
{
    if (m_waiter != nullptr)
        m_waiter->quit();
}

bool MqttPublisher::waitUntil(const std::function<bool()>& done, qint64 until)
{
    while (!done() && QDateTime::currentMSecsSinceEpoch() < until) {
        QEventLoop loop;
        m_waiter = &loop;
        QTimer::singleShot(int(std::clamp<qint64>(until - QDateTime::currentMSecsSinceEpoch(), 1, 100)), &loop,
                           &QEventLoop::quit);
        loop.exec();
        m_waiter = nullptr;
    }
    return done();
}

void MqttPublisher::stop(int drainMs)
{
    if (m_state == State::Off)
        return;
    m_retry.stop();
    const qint64 until = QDateTime::currentMSecsSinceEpoch() + drainMs;
    // Samples still to publish and the broker away: one more try now,
    // rather than at the end of the current wait.
    if (m_state != State::Connected && !drained()) {
        m_finalAttempt = true;
        if (m_link == nullptr)
            connectNow();
        waitUntil([this] { return m_state == State::Connected || m_link == nullptr; }, until);
    }
    // While connected, what is held back goes first.
    waitUntil([this] { return m_state != State::Connected || drained(); }, until);
    m_stopping = true;
    if (m_state == State::Connected && m_link != nullptr) {
        m_offlineAcked = false;
        if (m_api->mosquitto_publish(m_link->mosq, &m_offlineMid, m_availabilityTopic.constData(),
                                     int(std::strlen(MqttMessages::kOffline)), MqttMessages::kOffline, 1, true)
            == MOSQ_ERR_SUCCESS) {
            waitUntil([this] { return m_offlineAcked || m_state != State::Connected; },
                      QDateTime::currentMSecsSinceEpoch() + 2000);
        }
        m_offlineMid = -1;
    }
    // What is left is said once more as a plain line: the problem itself
    // was said when it began.
    const int left = unacknowledged();
    if (left > 0) {
        emit note(QStringLiteral("%1 samples were not published to %2 (they are in the data files).")
                      .arg(left)
                      .arg(m_url.text()));
    }
    if (const int64_t logged = m_loggedEvents - m_loggedAcked; logged > 0) {
        emit note(QStringLiteral("%1 events were not published to %2 (they are in the events log).")
                      .arg(logged)
                      .arg(m_url.text()));
    }
    if (m_eventsDropped + int(m_events.size()) > 0) {
        emit note(QStringLiteral("%1 events were not published to %2.")
                      .arg(m_eventsDropped + int(m_events.size()))
                      .arg(m_url.text()));
    }
    closeLink(2000);
    m_parts.clear();
    m_events.clear();
    m_eventsDropped = 0;
    rewind();
    m_loggedEvents = m_loggedSent = m_loggedAcked = 0;
    m_eventLog = nullptr;
    m_credentials = MqttCredentials {};
    setState(State::Off);
    m_stopping = false;
    m_finalAttempt = false;
}
