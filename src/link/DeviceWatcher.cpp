#include "link/DeviceWatcher.h"

#include <QDir>

DeviceWatcher::DeviceWatcher(QString sysfsRoot, QObject* parent) : QObject(parent), m_sysfsRoot(std::move(sysfsRoot))
{
    connect(&m_timer, &QTimer::timeout, this, &DeviceWatcher::check);
}

void DeviceWatcher::start(int intervalMs)
{
    m_last = listing();
    m_timer.start(intervalMs);
}

void DeviceWatcher::stop()
{
    m_timer.stop();
}

void DeviceWatcher::check()
{
    QStringList now = listing();
    if (now != m_last) {
        m_last = std::move(now);
        emit devicesChanged();
    }
}

QStringList DeviceWatcher::listing() const
{
    // USB serial bridges and modems; the fixed ttyS ports never come and go.
    return QDir(m_sysfsRoot + QStringLiteral("/class/tty"))
        .entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
            QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}
