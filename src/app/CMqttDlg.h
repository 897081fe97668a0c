#pragma once
// "Publish to MQTT…": the broker's address (empty: publishing off), the
// topic prefix (empty: zb740/METER), the credentials file (user name and
// password, one a line; the password itself is never asked for nor
// stored), the CA file for mqtts://, Home Assistant discovery on or off,
// and "Test connection", which connects once with what is filled in and
// says how the broker answered. OK takes the values only when the address
// is one (mqtt://host[:port] or mqtts://host[:port]) or empty.
#include "publish/MqttProbe.h"
#include "settings/Settings.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CMqttDlg : public QDialog {
    Q_OBJECT
public:
    CMqttDlg(const settings::MqttValues& values, QString meterId, QWidget* parent = nullptr);

    settings::MqttValues values() const;

    QLineEdit* brokerEdit() const { return m_broker; }
    QLineEdit* topicEdit() const { return m_topic; }
    QLineEdit* credentialsEdit() const { return m_credentials; }
    QLineEdit* caFileEdit() const { return m_caFile; }
    QCheckBox* discoveryCheck() const { return m_discovery; }
    QPushButton* testButton() const { return m_test; }
    // What the last check or test said.
    QLabel* resultLabel() const { return m_result; }

    void accept() override;

private:
    void testConnection();
    void browse(QLineEdit* edit, const QString& title);

    QString m_meterId;
    QLineEdit* m_broker;
    QLineEdit* m_topic;
    QLineEdit* m_credentials;
    QLineEdit* m_caFile;
    QCheckBox* m_discovery;
    QPushButton* m_test;
    QLabel* m_result;
    MqttProbe m_probe;
};
