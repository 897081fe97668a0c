#pragma once
// Turns the signals that ask a process to end (SIGINT, SIGTERM, SIGHUP:
// Ctrl+C, a shutdown, a closed terminal or logout) into a Qt signal on the
// event loop, so the program can end as cleanly as after a close instead of
// dying mid-write. One instance per process.
#include <QObject>

class QSocketNotifier;

class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

    // Whether the handlers are in place (false where the platform has none).
    bool active() const { return m_notifier != nullptr; }

signals:
    // The number of the signal that arrived.
    void stopRequested(int signalNumber);

private:
    void onReadable();
    QSocketNotifier* m_notifier = nullptr;
};
