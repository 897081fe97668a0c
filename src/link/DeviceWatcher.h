#pragma once
// Reports serial devices arriving and leaving. Without a udev daemon to
// listen to, it compares the tty listing of sysfs about once a second;
// that costs one directory read.
#include <QObject>
#include <QStringList>
#include <QTimer>

class DeviceWatcher : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatcher(QString sysfsRoot, QObject* parent = nullptr);

    void start(int intervalMs = 1000);
    void stop();
    // Compares the listing now; emits devicesChanged() on a difference.
    void check();

signals:
    void devicesChanged();

private:
    QStringList listing() const;

    QString m_sysfsRoot;
    QStringList m_last;
    QTimer m_timer;
};
