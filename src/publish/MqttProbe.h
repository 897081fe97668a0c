#pragma once
// "Test connection": connects to the broker once with the settings, as a
// client of its own (zb740-NODE-test, without a last will, publishing
// nothing), waits for the broker's answer and disconnects. The connect runs
// on a thread of the probe, so the caller's thread never waits; the answer
// comes as finished().
#include "base/Status.h"
#include "publish/MqttPublisher.h"

#include <QObject>
#include <QString>
#include <memory>

class MqttProbe : public QObject {
    Q_OBJECT
public:
    explicit MqttProbe(QObject* parent = nullptr);
    ~MqttProbe() override;

    // Begins the test; settings that cannot be used, and a libmosquitto
    // that cannot be loaded, fail at once (and no finished() follows).
    [[nodiscard]] Status start(const MqttSettings& settings, const QString& meterId, int timeoutMs = 5000);
    bool running() const { return m_running; }

    // What the probe and its thread share (the thread may outlive it).
    struct Shared;

signals:
    // ok: the broker accepted the connection. message: one sentence either
    // way.
    void finished(bool ok, const QString& message);

private:
    std::shared_ptr<Shared> m_shared;
    bool m_running = false;
};
