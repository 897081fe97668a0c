#include "publish/MqttProbe.h"

#include "publish/MosquittoLibrary.h"
#include "publish/MqttMessages.h"

#include <QDateTime>
#include <QFile>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

struct MqttProbe::Shared {
    std::mutex mutex;
    MqttProbe* probe = nullptr; // cleared when the probe goes
    std::thread thread;
    std::atomic<bool> done {true};
    std::atomic<int> connack {-1};
    std::string lastError;
};

namespace {

void onConnect(mosquitto*, void* obj, int code) { static_cast<MqttProbe::Shared*>(obj)->connack = code; }

void onLog(mosquitto*, void* obj, int level, const char* text)
{
    if (!(level & MOSQ_LOG_ERR) || text == nullptr)
        return;
    auto* shared = static_cast<MqttProbe::Shared*>(obj);
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->lastError = text;
}

} // namespace

MqttProbe::MqttProbe(QObject* parent)
    : QObject(parent)
{
}

MqttProbe::~MqttProbe()
{
    if (!m_shared)
        return;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->probe = nullptr;
    }
    if (m_shared->thread.joinable()) {
        // A connect that hangs is left to end on its own.
        if (m_shared->done)
            m_shared->thread.join();
        else
            m_shared->thread.detach();
    }
}

Status MqttProbe::start(const MqttSettings& settings, const QString& meterId, int timeoutMs)
{
    if (m_running)
        return Status::failure(Status::Code::Busy, QStringLiteral("a test is running"));
    MqttUrl url;
    QString topic;
    MqttCredentials credentials;
    if (Status s = checkMqttSettings(settings, meterId, url, topic, credentials); !s.ok())
        return s;
    const MosquittoLibrary& library = MosquittoLibrary::shared();
    if (!library.status().ok())
        return library.status();
    const MosquittoFunctions* api = &library.functions();
    if (m_shared && m_shared->thread.joinable()) {
        if (m_shared->done)
            m_shared->thread.join();
        else
            m_shared->thread.detach();
    }
    if (m_shared) {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->probe = nullptr;
    }
    m_shared = std::make_shared<Shared>();
    m_shared->probe = this;
    m_shared->done = false;
    m_running = true;
    const QByteArray id = (MqttMessages::clientId(meterId) + QStringLiteral("-test")).toUtf8();
    const QByteArray host = url.host.toUtf8();
    const QByteArray caFile = QFile::encodeName(settings.caFile);
    const QString shown = url.text();
    const int port = url.port;
    const bool tls = url.tls;
    std::shared_ptr<Shared> shared = m_shared;
    m_shared->thread = std::thread([api, shared, id, host, caFile, shown, port, tls, credentials, timeoutMs] {
        bool ok = false;
        QString message;
        mosquitto* mosq = api->mosquitto_new(id.constData(), true, shared.get());
        if (mosq == nullptr) {
            message = QStringLiteral("cannot make an MQTT client (out of memory)");
        } else {
            api->mosquitto_connect_callback_set(mosq, &onConnect);
            api->mosquitto_log_callback_set(mosq, &onLog);
            (void)api->mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
            if (!credentials.user.isEmpty())
                (void)api->mosquitto_username_pw_set(mosq, credentials.user.constData(),
                                                     credentials.password.isEmpty()
                                                         ? nullptr
                                                         : credentials.password.constData());
            int rc = MOSQ_ERR_SUCCESS;
            if (tls)
                rc = caFile.isEmpty()
                    ? api->mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                    : api->mosquitto_tls_set(mosq, caFile.constData(), nullptr, nullptr, nullptr, nullptr);
            errno = 0;
            if (rc == MOSQ_ERR_SUCCESS)
                rc = api->mosquitto_connect(mosq, host.constData(), port, 10);
            const int savedErrno = errno;
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            while (rc == MOSQ_ERR_SUCCESS && shared->connack < 0 && std::chrono::steady_clock::now() < until)
                rc = api->mosquitto_loop(mosq, 100, 1);
            std::string logged;
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                logged = shared->lastError;
            }
            const int connack = shared->connack;
            if (connack == 0) {
                ok = true;
                message = QStringLiteral("The broker at %1 accepted the connection.").arg(shown);
            } else if (connack == 4 || connack == 5) {
                message = QStringLiteral("The broker at %1 refused the user name or password (%2).")
                              .arg(shown, QString::fromUtf8(api->mosquitto_connack_string(connack)));
            } else if (connack > 0) {
                message = QStringLiteral("The broker at %1 refused the connection (%2).")
                              .arg(shown, QString::fromUtf8(api->mosquitto_connack_string(connack)));
            } else if (rc == MOSQ_ERR_SUCCESS) {
                message = QStringLiteral("No answer from the broker at %1 within %2 s.").arg(shown).arg(timeoutMs / 1000);
            } else {
                QString why;
                if (rc == MOSQ_ERR_ERRNO)
                    why = QString::fromLocal8Bit(std::strerror(savedErrno ? savedErrno : errno));
                else if (rc == MOSQ_ERR_EAI)
                    why = QStringLiteral("the host name cannot be looked up");
                else if (rc == MOSQ_ERR_TLS)
                    why = QStringLiteral("TLS failed") + (logged.empty() ? QString() : QStringLiteral(": ") + QString::fromStdString(logged));
                else
                    why = QString::fromUtf8(api->mosquitto_strerror(rc));
                message = QStringLiteral("Cannot connect to the broker at %1 (%2).").arg(shown, why);
            }
            if (connack == 0) {
                (void)api->mosquitto_disconnect(mosq);
                (void)api->mosquitto_loop(mosq, 100, 1);
            }
            api->mosquitto_destroy(mosq);
        }
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (MqttProbe* p = shared->probe) {
            QMetaObject::invokeMethod(
                p,
                [p, ok, message] {
                    p->m_running = false;
                    emit p->finished(ok, message);
                },
                Qt::QueuedConnection);
        }
        shared->done = true;
    });
    return Status::success();
}
