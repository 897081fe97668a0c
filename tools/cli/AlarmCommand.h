#pragma once
// --on-alarm CMD: runs CMD through /bin/sh for each alarm change, with the
// event in its environment (ZB740_CHANNEL, ZB740_BOUND, ZB740_STATE,
// ZB740_VALUE, ZB740_LIMIT, ZB740_TIME, ZB740_UNIT, and ZB740_EVENT, the
// event's JSON line). The command runs detached: run() only forks, and a
// small watcher process between us and the command waits for it and
// reports, through a pipe read from the event loop, a command still
// running after hangSeconds and one that fails. Nothing on the recording
// path ever waits for it; when the recording ends, a command still running
// goes on by itself.
#include "data/MonitorEvent.h"

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

class QSocketNotifier;

class AlarmCommand : public QObject {
    Q_OBJECT
public:
    static constexpr int kHangSeconds = 10;
    // Commands running at once; an alarm change beyond that is not run
    // (and said so).
    static constexpr int kMaxRunning = 8;

    explicit AlarmCommand(QString command, int hangSeconds = kHangSeconds, QObject* parent = nullptr);
    ~AlarmCommand() override;

    void run(const MonitorEvent& event);
    int running() const { return int(m_watchers.size()); }

signals:
    // The command failed, hangs, or could not be started: what and why.
    void failed(const QString& text);

private:
    struct Watcher;
    void onReadable(Watcher* watcher);

    QString m_command;
    int m_hangSeconds;
    std::vector<std::unique_ptr<Watcher>> m_watchers;
};
