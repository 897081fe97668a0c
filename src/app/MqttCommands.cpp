#include "app/MqttCommands.h"

#include "app/AppOptions.h"
#include "app/CMqttDlg.h"
#include "link/SerialPortName.h"
#include "publish/MqttMessages.h"
#include "recorder/Recorder.h"
#include "settings/IniFile.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>
#include <QWidget>

MqttCommands::MqttCommands(QWidget* window, Recorder& recorder, QString settingsFile, QString meterId,
                           QStatusBar* bar)
    : QObject(window)
    , m_window(window)
    , m_recorder(recorder)
    , m_settingsFile(std::move(settingsFile))
    , m_meterId(std::move(meterId))
    , m_action(new QAction(QStringLiteral("Publish to &MQTT…"), this))
    , m_pane(new QLabel(window))
{
    m_action->setObjectName(QStringLiteral("mqttAction"));
    m_action->setStatusTip(QStringLiteral("Publish the readings to an MQTT broker"));
    connect(m_action, &QAction::triggered, this, &MqttCommands::onTriggered);
    m_pane->setObjectName(QStringLiteral("mqttStatusPane"));
    m_pane->hide();
    if (bar != nullptr)
        bar->addPermanentWidget(m_pane);

    connect(&m_recorder, &Recorder::readingDecoded, this, [this](const ReadingUpdate& r) {
        if (r.runStarted && m_recorder.run().m_bRunning) {
            // Stopped and started again within a reading: the run before
            // ends here.
            if (m_partLive)
                m_publisher.partEnded(m_partJournal);
            m_publisher.beginPart(QString(), [this] { return m_recorder.view(); });
            m_partLive = true;
        }
        endPartIfStopped();
    });
    connect(&m_recorder, &Recorder::sampleCommitted, this, [this](int count) {
        m_partJournal = m_recorder.journal().path(); // the run's, by now
        m_publisher.committed(count);
    });
    connect(&m_recorder, &Recorder::runFinished, this, &MqttCommands::endPartIfStopped);
    connect(&m_recorder, &Recorder::alarmChanged, this,
            [this](const AlarmChange& c) { m_publisher.alarmChanged(c.channel, int(c.bound), c.on); });
    connect(&m_publisher, &MqttPublisher::stateChanged, this, &MqttCommands::showState);
    connect(&m_publisher, &MqttPublisher::problem, this, [this](const QString& where, const QString& message) {
        m_pane->setToolTip(where + QStringLiteral(": ") + message);
    });
    connect(&m_publisher, &MqttPublisher::note, this, [this](const QString& line) { m_pane->setToolTip(line); });
    apply(settings::readMqtt(IniFile(m_settingsFile)));
}

MqttCommands::~MqttCommands() { m_publisher.stop(2000); }

QString MqttCommands::meterIdFor(const AppOptions& options)
{
    if (options.simulate)
        return QLatin1String(MqttMessages::kSimulatedId);
    const QString device = !options.portDevice.isEmpty()
        ? options.portDevice
        : serialDeviceForPort(settings::readComPort(settings::settingsFile(options)));
    return MqttMessages::meterIdForDevice(device, QStringLiteral("/dev/serial/by-id"));
}

// A run that ended (by itself or by Stop) is read back from its journal
// from now on: the next run's samples take the live series' place.
void MqttCommands::endPartIfStopped()
{
    if (m_partLive && !m_recorder.run().m_bRunning) {
        m_partLive = false;
        m_publisher.partEnded(m_partJournal);
    }
}

void MqttCommands::apply(const settings::MqttValues& values)
{
    m_publisher.stop(2000);
    m_partLive = false;
    m_pane->setToolTip(QString());
    if (values.broker.isEmpty()) {
        showState(MqttPublisher::State::Off);
        return;
    }
    if (Status s = m_publisher.start(MqttSettings::fromStored(values), m_meterId); !s.ok()) {
        m_pane->setText(QStringLiteral("MQTT: not publishing"));
        m_pane->setToolTip(s.message() + QLatin1Char('.'));
        m_pane->show();
        return;
    }
    // A run under way is published from its next sample on, its samples so
    // far too.
    if (m_recorder.run().m_bRunning && m_recorder.run().m_nCount > 0) {
        m_partJournal = m_recorder.journal().path();
        m_publisher.beginPart(QString(), [this] { return m_recorder.view(); });
        m_partLive = true;
        m_publisher.committed(m_recorder.run().m_nCount);
    }
}

void MqttCommands::publishEvent(const MonitorEvent& e) { m_publisher.publishEvent(MonitorEvents::json(e)); }

void MqttCommands::onTriggered()
{
    CMqttDlg dlg(settings::readMqtt(IniFile(m_settingsFile)), m_meterId, m_window);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const settings::MqttValues values = dlg.values();
    if (Status s = settings::writeMqtt(IniFile(m_settingsFile), values); !s.ok())
        QMessageBox::warning(m_window, QStringLiteral("ZB740"),
                             QStringLiteral("The MQTT settings cannot be saved in %1: %2").arg(m_settingsFile, s.message()));
    apply(values);
}

void MqttCommands::showState(MqttPublisher::State state)
{
    switch (state) {
    case MqttPublisher::State::Off:
        m_pane->hide();
        return;
    case MqttPublisher::State::Connecting:
        m_pane->setText(QStringLiteral("MQTT: connecting"));
        break;
    case MqttPublisher::State::Connected:
        m_pane->setText(QStringLiteral("MQTT: connected"));
        break;
    case MqttPublisher::State::Waiting:
        m_pane->setText(QStringLiteral("MQTT: broker away"));
        break;
    }
    m_pane->show();
}
