#include "app/CMqttDlg.h"

#include "publish/MqttMessages.h"
#include "publish/MqttUrl.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CMqttDlg::CMqttDlg(const settings::MqttValues& values, QString meterId, QWidget* parent)
    : QDialog(parent)
    , m_meterId(std::move(meterId))
    , m_broker(new QLineEdit(values.broker, this))
    , m_topic(new QLineEdit(values.topic, this))
    , m_credentials(new QLineEdit(values.credentialsFile, this))
    , m_caFile(new QLineEdit(values.caFile, this))
    , m_discovery(new QCheckBox(QStringLiteral("Home Assistant discovery"), this))
    , m_test(new QPushButton(QStringLiteral("Test connection"), this))
    , m_result(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Publish to MQTT"));
    m_broker->setObjectName(QStringLiteral("mqttBroker"));
    m_topic->setObjectName(QStringLiteral("mqttTopic"));
    m_credentials->setObjectName(QStringLiteral("mqttCredentials"));
    m_caFile->setObjectName(QStringLiteral("mqttCaFile"));
    m_discovery->setObjectName(QStringLiteral("mqttDiscovery"));
    m_test->setObjectName(QStringLiteral("mqttTest"));
    m_result->setObjectName(QStringLiteral("mqttResult"));
    m_broker->setPlaceholderText(QStringLiteral("mqtt://host[:port] or mqtts://host[:port]; empty: off"));
    m_topic->setPlaceholderText(MqttMessages::defaultTopic(m_meterId));
    m_credentials->setPlaceholderText(QStringLiteral("a file: user name, then password"));
    m_caFile->setPlaceholderText(QStringLiteral("the system's certificate authorities"));
    m_discovery->setChecked(values.discovery);
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto withBrowse = [this](QLineEdit* edit, const QString& title) {
        auto* row = new QHBoxLayout;
        row->addWidget(edit, 1);
        auto* button = new QPushButton(QStringLiteral("Browse…"), this);
        connect(button, &QPushButton::clicked, this, [this, edit, title] { browse(edit, title); });
        row->addWidget(button);
        return row;
    };
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Broker:"), m_broker);
    form->addRow(QStringLiteral("&Topic prefix:"), m_topic);
    form->addRow(QStringLiteral("&Credentials file:"), withBrowse(m_credentials, QStringLiteral("Credentials file")));
    form->addRow(QStringLiteral("C&A file:"), withBrowse(m_caFile, QStringLiteral("CA file")));
    form->addRow(QString(), m_discovery);

    auto* test = new QHBoxLayout;
    test->addWidget(m_test);
    test->addWidget(m_result, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMqttDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_test, &QPushButton::clicked, this, &CMqttDlg::testConnection);
    connect(&m_probe, &MqttProbe::finished, this, [this](bool, const QString& message) {
        m_result->setText(message);
        m_test->setEnabled(true);
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(test);
    layout->addWidget(buttons);
    setMinimumWidth(520);
}

settings::MqttValues CMqttDlg::values() const
{
    settings::MqttValues v;
    v.broker = m_broker->text().trimmed();
    v.topic = m_topic->text().trimmed();
    v.credentialsFile = m_credentials->text().trimmed();
    v.caFile = m_caFile->text().trimmed();
    v.discovery = m_discovery->isChecked();
    return v;
}

void CMqttDlg::accept()
{
    const settings::MqttValues v = values();
    if (!v.broker.isEmpty()) {
        MqttUrl url;
        if (Status s = parseMqttUrl(v.broker, url); !s.ok()) {
            m_result->setText(s.message() + QLatin1Char('.'));
            m_broker->setFocus();
            return;
        }
    }
    QDialog::accept();
}

void CMqttDlg::testConnection()
{
    const settings::MqttValues v = values();
    if (v.broker.isEmpty()) {
        m_result->setText(QStringLiteral("Give the broker's address first."));
        return;
    }
    if (Status s = m_probe.start(MqttSettings::fromStored(v), m_meterId); !s.ok()) {
        m_result->setText(s.message() + QLatin1Char('.'));
        return;
    }
    m_test->setEnabled(false);
    m_result->setText(QStringLiteral("Connecting…"));
}

void CMqttDlg::browse(QLineEdit* edit, const QString& title)
{
    const QString path = QFileDialog::getOpenFileName(this, title, edit->text());
    if (!path.isEmpty())
        edit->setText(path);
}
