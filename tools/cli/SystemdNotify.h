#pragma once
// Telling systemd how a recording run as a service (Type=notify) is doing,
// through libsystemd's sd_notify(): READY=1 once recording is under way,
// STATUS= with a line a person reads in `systemctl status`, and WATCHDOG=1
// pings at half the watchdog interval the service manager asked for
// (WATCHDOG_USEC), from the event loop, so a recording stuck anywhere
// stops pinging and is restarted. Without NOTIFY_SOCKET (not started by
// systemd) every call does nothing.
#include <QObject>
#include <QString>
#include <QTimer>

class SystemdNotify : public QObject {
    Q_OBJECT
public:
    explicit SystemdNotify(QObject* parent = nullptr);

    // Whether a service manager listens.
    bool active() const { return m_active; }
    void ready(const QString& status);
    void status(const QString& status);
    void stopping();

private:
    void send(const QByteArray& state);

    bool m_active = false;
    QTimer m_watchdog;
    QString m_lastStatus;
};
