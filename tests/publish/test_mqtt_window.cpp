// Publishing from the window: the "Publish to MQTT…" dialog (its check of
// the address, its test connection against a broker of the test's own),
// its section of ZB740.ini beside the file's other keys, and the main
// window publishing its run with the connection's state in the status bar.
#include "MosquittoBroker.h"
#include "ModalAnswers.h"
#include "TempDir.h"

#include "app/CMainFrame.h"
#include "app/CMqttDlg.h"
#include "app/MqttCommands.h"
#include "app/CSampleRateDlg.h"
#include "data/MonitorEvent.h"
#include "panels/CEventList.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class MqttWindow : public TempDirTest {
protected:
    void SetUp() override
    {
        if (!MosquittoBroker::available() || QStandardPaths::findExecutable(QStringLiteral("mosquitto_sub")).isEmpty())
            GTEST_SKIP() << "mosquitto and mosquitto_sub are needed (scripts/setup-deps.sh)";
        options = tempOptions();
    }
    QByteArray read(const QString& p)
    {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    AppOptions options;
};

TEST_F(MqttWindow, TheSectionIsWrittenAndReadBackAndNothingElseChanges)
{
    const QString ini = path(QStringLiteral("ZB740.ini"));
    const QByteArray before = "[Settings]\r\nCOM num=3\r\n; a comment\r\n[YGAINInfo]\r\nGAIN num=2\r\n";
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    settings::MqttValues v;
    v.broker = QStringLiteral("mqtts://broker.example:8883");
    v.topic = QStringLiteral("site/lab");
    v.credentialsFile = QStringLiteral("/home/u/.config/zb740-mqtt");
    v.caFile = QStringLiteral("/etc/ssl/lab-ca.pem");
    v.discovery = false;
    ASSERT_TRUE(settings::writeMqtt(IniFile(ini), v).ok());
    const settings::MqttValues back = settings::readMqtt(IniFile(ini));
    EXPECT_EQ(back.broker, v.broker);
    EXPECT_EQ(back.topic, v.topic);
    EXPECT_EQ(back.credentialsFile, v.credentialsFile);
    EXPECT_EQ(back.caFile, v.caFile);
    EXPECT_FALSE(back.discovery);
    // The file's own lines stay byte for byte; the section follows them.
    const QByteArray after = read(ini);
    EXPECT_TRUE(after.startsWith(before)) << after.toStdString();
    EXPECT_TRUE(after.mid(before.size()).startsWith("[MQTT]")) << after.toStdString();
    // Nothing there: the defaults (off, discovery on).
    const settings::MqttValues none = settings::readMqtt(IniFile(path(QStringLiteral("missing.ini"))));
    EXPECT_TRUE(none.broker.isEmpty());
    EXPECT_TRUE(none.discovery);
}

TEST_F(MqttWindow, TheDialogChecksTheAddressAndTestsTheConnection)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start(path(QStringLiteral("broker"))));
    settings::MqttValues v;
    v.broker = QStringLiteral("mqtt//nowhere");
    CMqttDlg dlg(v, QStringLiteral("simulated"));
    dlg.show();
    EXPECT_EQ(dlg.topicEdit()->placeholderText(), QStringLiteral("zb740/simulated"));
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible()) << "a malformed address keeps the dialog open";
    EXPECT_TRUE(dlg.resultLabel()->text().contains(QStringLiteral("is not a broker address")))
        << dlg.resultLabel()->text().toStdString();

    dlg.brokerEdit()->setText(broker.url());
    QTest::mouseClick(dlg.testButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dlg.resultLabel()->text().contains(QStringLiteral("accepted the connection")); }, 10000))
        << dlg.resultLabel()->text().toStdString();
    EXPECT_TRUE(dlg.testButton()->isEnabled());
    EXPECT_TRUE(broker.log().contains(QStringLiteral("zb740-simulated-test")));

    dlg.brokerEdit()->setText(QStringLiteral("mqtt://127.0.0.1:%1").arg(MosquittoBroker::freePort()));
    QTest::mouseClick(dlg.testButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dlg.resultLabel()->text().contains(QStringLiteral("Cannot connect to the broker")); }, 10000))
        << dlg.resultLabel()->text().toStdString();

    dlg.brokerEdit()->setText(broker.url());
    dlg.discoveryCheck()->setChecked(false);
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.values().broker, broker.url());
    EXPECT_FALSE(dlg.values().discovery);
}

TEST_F(MqttWindow, TheWindowPublishesItsRunAndShowsTheConnection)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start(path(QStringLiteral("broker"))));
    MosquittoSub sub;
    ASSERT_TRUE(sub.start(broker, QStringLiteral("zb740/simulated/#"), QStringLiteral("window-reader")));
    options.simulate = true;
    settings::MqttValues v;
    v.broker = broker.url();
    ASSERT_TRUE(settings::writeMqtt(settings::settingsFile(options), v).ok());

    auto f = std::make_unique<CMainFrame>(options);
    f->resize(1200, 800);
    f->show();
    auto* pane = f->findChild<QLabel*>(QStringLiteral("mqttStatusPane"));
    ASSERT_NE(pane, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane->text() == QStringLiteral("MQTT: connected"); }, 10000))
        << pane->text().toStdString();
    EXPECT_TRUE(pane->isVisible());

    // A run of the simulated meter: its samples go out as they are taken.
    ASSERT_TRUE(QTest::qWaitFor([&] { return f->action(CMainFrame::Command::Run)->isEnabled(); }, 20000));
    whenModalAppears([](QWidget* w) {
        auto* dlg = qobject_cast<CSampleRateDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        dlg->rateEdit()->setText(QStringLiteral("1"));
        dlg->okButton()->click();
    });
    f->action(CMainFrame::Command::Run)->trigger();
    const QString state = QStringLiteral("zb740/simulated/state");
    ASSERT_TRUE(sub.waitFor(state, 3, 30000));
    const QJsonObject first = QJsonDocument::fromJson(sub.on(state).first().payload).object();
    EXPECT_EQ(first[QStringLiteral("sample")].toInt(), 1);
    EXPECT_TRUE(first[QStringLiteral("file")].isNull()) << "a run of the window has no file until it is saved";
    f->action(CMainFrame::Command::Stop)->trigger();
    // How the run ended goes out as the event list has it.
    const QString eventTopic = QStringLiteral("zb740/simulated/event");
    ASSERT_TRUE(sub.waitFor(eventTopic, 1, 10000));
    ASSERT_FALSE(f->eventList()->events().isEmpty());
    EXPECT_EQ(f->eventList()->events().last().kind, MonitorEvent::Kind::RunEnded);
    EXPECT_EQ(sub.on(eventTopic).last().payload, MonitorEvents::json(f->eventList()->events().last()));

    // The dialog from the File menu: an empty broker turns publishing off,
    // and the section says so.
    auto* mqtt = f->findChild<QAction*>(QStringLiteral("mqttAction"));
    ASSERT_NE(mqtt, nullptr);
    whenModalAppears([](QWidget* w) {
        auto* dlg = qobject_cast<CMqttDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        dlg->brokerEdit()->clear();
        dlg->accept();
    });
    mqtt->trigger();
    EXPECT_FALSE(pane->isVisible());
    EXPECT_TRUE(settings::readMqtt(settings::settingsFile(options)).broker.isEmpty());
    ASSERT_TRUE(sub.waitFor(QStringLiteral("zb740/simulated/availability"), 2, 10000));
    EXPECT_EQ(sub.on(QStringLiteral("zb740/simulated/availability")).last().payload, QByteArray("offline"));
}

} // namespace
