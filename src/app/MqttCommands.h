#pragma once
// Publishing from the window: File > "Publish to MQTT…" (the dialog, its
// values kept in ZB740.ini's section MQTT) and the publisher, fed by the
// recorder as zb740-cli record --mqtt feeds it: each committed sample of
// each run (their "file" is null: a run is saved, and named, later), the
// alarm flags, the events. A run that ended is read back from its journal while the
// broker has not acknowledged all of it. The connection's state is a pane
// of the status bar ("MQTT: connected", ...), its last problem the pane's
// tooltip; the pane is hidden while publishing is off.
#include "data/MonitorEvent.h"
#include "publish/MqttPublisher.h"
#include "settings/Settings.h"

#include <QObject>
#include <QString>

class QAction;
class QLabel;
class QStatusBar;
class QWidget;
class Recorder;
struct AppOptions;

class MqttCommands : public QObject {
    Q_OBJECT
public:
    // settingsFile: the path of ZB740.ini. Publishing starts at once when
    // it names a broker.
    MqttCommands(QWidget* window, Recorder& recorder, QString settingsFile, QString meterId, QStatusBar* bar);
    ~MqttCommands() override;

    QAction* action() const { return m_action; }
    QLabel* statusPane() const { return m_pane; }
    MqttPublisher& publisher() { return m_publisher; }
    const QString& meterId() const { return m_meterId; }

    // The meter's id: "simulated", or the stable name of its port.
    static QString meterIdFor(const AppOptions& options);

    // Publishes with these values from now on (stopping what was).
    void apply(const settings::MqttValues& values);
    // One event of the run to PREFIX/event. The window keeps a run's events
    // in memory until the run is saved, so those the broker has not taken
    // wait in the publisher's queue (the newest 256).
    void publishEvent(const MonitorEvent& e);

private:
    void onTriggered();
    void showState(MqttPublisher::State state);
    void endPartIfStopped();

    QWidget* m_window;
    Recorder& m_recorder;
    QString m_settingsFile;
    QString m_meterId;
    QAction* m_action;
    QLabel* m_pane;
    MqttPublisher m_publisher;
    bool m_partLive = false;
    QString m_partJournal; // the journal of the run being published
};
