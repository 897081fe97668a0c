#include "SystemdNotify.h"

#include <cstdlib>

#ifdef ZB740_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

SystemdNotify::SystemdNotify(QObject* parent)
    : QObject(parent)
{
#ifdef ZB740_HAVE_SYSTEMD
    const char* socket = std::getenv("NOTIFY_SOCKET");
    m_active = socket != nullptr && *socket != '\0';
    uint64_t usec = 0;
    if (m_active && sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        m_watchdog.setInterval(int(std::max<uint64_t>(usec / 2000, 1)));
        connect(&m_watchdog, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
        m_watchdog.start();
    }
#endif
}

void SystemdNotify::ready(const QString& status)
{
    m_lastStatus = status;
    send("READY=1\nSTATUS=" + status.toUtf8());
}

void SystemdNotify::status(const QString& status)
{
    if (status == m_lastStatus)
        return;
    m_lastStatus = status;
    send("STATUS=" + status.toUtf8());
}

void SystemdNotify::stopping()
{
    m_watchdog.stop();
    send("STOPPING=1");
}

void SystemdNotify::send(const QByteArray& state)
{
#ifdef ZB740_HAVE_SYSTEMD
    if (m_active)
        (void)sd_notify(0, state.constData());
#else
    Q_UNUSED(state);
#endif
}
