// zb740-cli record --mqtt against a Mosquitto broker the test starts itself
// (on a free loopback port, its config in the test's folder), read with
// mosquitto_sub: the samples as the saved file holds them, the discovery
// configs, availability and the last will, a broker away in the middle of
// a run, and input that cannot work. The recordings run on real timers
// (a sample a second), so the cases start theirs side by side.
#include "MosquittoBroker.h"
#include "TempDir.h"

#include "data/AlarmLimitSet.h"
#include "publish/MqttPublisher.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <gtest/gtest.h>
#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

const QString kCli = QStringLiteral(ZB740_TOOLS_DIR "/zb740-cli");

void prepareChild(QProcess& p)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC0"));
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([] {
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            ::signal(s, SIG_DFL);
    });
}

// One zb740-cli record --simulate in the background.
struct Recording {
    QProcess process;
    QString output;
    QByteArray err;
    void start(const QString& out, const QStringList& options)
    {
        output = out;
        prepareChild(process);
        process.start(kCli, QStringList {QStringLiteral("record"), QStringLiteral("--simulate")} + options
                                + QStringList {QStringLiteral("-o"), out});
    }
    bool finish(int ms = 60000)
    {
        const bool done = process.waitForFinished(ms);
        err += process.readAllStandardError();
        return done && process.exitStatus() == QProcess::NormalExit;
    }
    QString errText()
    {
        err += process.readAllStandardError();
        return QString::fromUtf8(err);
    }
    void signal(int s) const { ::kill(pid_t(process.processId()), s); }
};

// The saved file's samples in the JSON sample form (zb740-cli export).
QList<QJsonObject> savedSamples(const QString& dataFile)
{
    QProcess p;
    prepareChild(p);
    p.start(kCli, {QStringLiteral("export"), QStringLiteral("--format"), QStringLiteral("jsonl"), dataFile,
                   QStringLiteral("-o"), QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QList<QJsonObject> out;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            out.push_back(QJsonDocument::fromJson(line).object());
    }
    return out;
}

// A state message without its "file": the JSON sample form.
QJsonObject withoutFile(QJsonObject o)
{
    o.remove(QStringLiteral("file"));
    return o;
}

QString fileText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

// Lines of text that hold what.
int linesWith(const QString& text, const QString& what)
{
    int n = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        n += line.contains(what) ? 1 : 0;
    return n;
}

class Mqtt : public TempDirTest {
protected:
    void SetUp() override
    {
        if (!MosquittoBroker::available() || QStandardPaths::findExecutable(QStringLiteral("mosquitto_sub")).isEmpty())
            GTEST_SKIP() << "mosquitto and mosquitto_sub are needed (scripts/setup-deps.sh)";
    }
};

TEST_F(Mqtt, FiveSamplesArriveAsStateWithTheSavedValuesAndDiscoveryIsRetained)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start(path(QStringLiteral("broker")))) << broker.log().toStdString();
    MosquittoSub sub;
    ASSERT_TRUE(sub.start(broker, QStringLiteral("zb740/simulated/#"), QStringLiteral("reader")));

    // Beside it, on a broker of its own, the same without discovery and
    // under a topic of the user's.
    MosquittoBroker quiet;
    ASSERT_TRUE(quiet.start(path(QStringLiteral("quiet")))) << quiet.log().toStdString();
    MosquittoSub quietSub;
    ASSERT_TRUE(quietSub.start(quiet, QStringLiteral("#"), QStringLiteral("everything")));

    Recording r, q;
    r.start(path(QStringLiteral("lab.AsmDat")), {QStringLiteral("--count"), QStringLiteral("5"),
                                                  QStringLiteral("--mqtt"), broker.url()});
    q.start(path(QStringLiteral("quiet.AsmDat")),
            {QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--mqtt"), quiet.url(),
             QStringLiteral("--mqtt-topic"), QStringLiteral("site/room 2"), QStringLiteral("--no-discovery")});
    ASSERT_TRUE(r.finish());
    ASSERT_TRUE(q.finish());
    const QString err = r.errText();
    EXPECT_EQ(r.process.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(q.process.exitCode(), 0) << q.errText().toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("Publishing to %1 under zb740/simulated.").arg(broker.url())))
        << err.toStdString();

    // Every sample once, in order, as the saved file holds it.
    const QString state = QStringLiteral("zb740/simulated/state");
    ASSERT_TRUE(sub.waitFor(state, 5, 10000));
    const QList<QJsonObject> saved = savedSamples(path(QStringLiteral("lab.AsmDat")));
    ASSERT_EQ(saved.size(), 5);
    const auto received = sub.on(state);
    ASSERT_EQ(received.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(received[i].retained);
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(received[i].payload, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << received[i].payload.toStdString();
        EXPECT_EQ(o[QStringLiteral("file")].toString(), QStringLiteral("lab.AsmDat"));
        EXPECT_EQ(withoutFile(o), saved[i]) << received[i].payload.toStdString();
    }
    // Online while it recorded, offline at its clean stop.
    const QString availabilityTopic = QStringLiteral("zb740/simulated/availability");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto a = sub.on(availabilityTopic);
            return a.size() >= 2 && a.last().payload == "offline";
        },
        10000));
    ASSERT_FALSE(sub.on(availabilityTopic).isEmpty());
    EXPECT_EQ(sub.on(availabilityTopic).first().payload, QByteArray("online"));

    // A client that comes later finds the discovery configs retained: five
    // sensors and ten alarms, with their units.
    MosquittoSub later;
    ASSERT_TRUE(later.start(broker, QStringLiteral("homeassistant/#"), QStringLiteral("later")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return later.messages().size() >= 15; }, 10000));
    QTest::qWait(200);
    EXPECT_EQ(later.messages().size(), 15);
    QSet<QString> units;
    for (const auto& m : later.messages()) {
        EXPECT_TRUE(m.retained) << m.topic.toStdString();
        const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
        if (m.topic.startsWith(QStringLiteral("homeassistant/sensor/simulated/"))) {
            units.insert(o[QStringLiteral("unit_of_measurement")].toString());
            EXPECT_EQ(o[QStringLiteral("availability_topic")].toString(),
                      QStringLiteral("zb740/simulated/availability"));
        } else {
            EXPECT_TRUE(m.topic.startsWith(QStringLiteral("homeassistant/binary_sensor/simulated/")))
                << m.topic.toStdString();
        }
    }
    EXPECT_EQ(units, (QSet<QString> {QStringLiteral("°C"), QStringLiteral("%")}));
    ASSERT_TRUE(later.on(QStringLiteral("homeassistant/sensor/simulated/rh/config")).size() == 1);
    const QJsonObject rh =
        QJsonDocument::fromJson(later.on(QStringLiteral("homeassistant/sensor/simulated/rh/config"))[0].payload)
            .object();
    EXPECT_EQ(rh[QStringLiteral("device_class")].toString(), QStringLiteral("humidity"));
    EXPECT_EQ(rh[QStringLiteral("state_topic")].toString(), QStringLiteral("zb740/simulated/state"));

    // Without discovery: the samples under the topic given, nothing for
    // Home Assistant.
    ASSERT_TRUE(quietSub.waitFor(QStringLiteral("site/room 2/state"), 3, 10000));
    for (const auto& m : quietSub.messages())
        EXPECT_FALSE(m.topic.startsWith(QStringLiteral("homeassistant/"))) << m.topic.toStdString();
}

TEST_F(Mqtt, KillingTheRecorderMakesTheBrokerPublishOffline)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start(path(QStringLiteral("broker"))));
    MosquittoSub sub;
    const QString availability = QStringLiteral("zb740/simulated/availability");
    ASSERT_TRUE(sub.start(broker, availability, QStringLiteral("watcher")));
    Recording r;
    r.start(path(QStringLiteral("killed.AsmDat")),
            {QStringLiteral("--count"), QStringLiteral("1000"), QStringLiteral("--mqtt"), broker.url()});
    ASSERT_TRUE(sub.waitFor(availability, 1, 20000)) << r.errText().toStdString();
    EXPECT_EQ(sub.on(availability).last().payload, QByteArray("online"));
    r.signal(SIGKILL);
    r.finish();
    EXPECT_EQ(r.process.exitStatus(), QProcess::CrashExit);
    ASSERT_TRUE(sub.waitFor(availability, 2, 20000));
    EXPECT_EQ(sub.on(availability).last().payload, QByteArray("offline"));
    // And it stays so for those who come later.
    MosquittoSub later;
    ASSERT_TRUE(later.start(broker, availability, QStringLiteral("later")));
    ASSERT_TRUE(later.waitFor(availability, 1, 10000));
    EXPECT_TRUE(later.on(availability).first().retained);
    EXPECT_EQ(later.on(availability).first().payload, QByteArray("offline"));
}

TEST_F(Mqtt, ABrokerAwayInTheMiddleOfARunLosesNoSample)
{
    // The broker keeps its sessions across its restart, and the reader's
    // session outlives its connection: what is published while the reader
    // reconnects waits for it.
    MosquittoBroker::Options options;
    options.persistence = true;
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start(path(QStringLiteral("broker")), options));
    MosquittoSub sub;
    const QString state = QStringLiteral("zb740/simulated/state");
    ASSERT_TRUE(sub.start(broker, state, QStringLiteral("steady"), true));

    constexpr int kCount = 20;
    Recording r;
    r.start(path(QStringLiteral("gap.AsmDat")),
            {QStringLiteral("--count"), QString::number(kCount), QStringLiteral("--mqtt"), broker.url()});
    ASSERT_TRUE(sub.waitFor(state, 4, 30000)) << r.errText().toStdString();
    broker.stop();
    // Away for 5 s: the recorder's waits (1 s, 2 s, 4 s) run past it, and
    // samples go on being committed meanwhile.
    QTest::qWait(5000);
    ASSERT_TRUE(broker.run()) << broker.log().toStdString();
    ASSERT_TRUE(r.finish(90000));
    const QString err = r.errText();
    EXPECT_EQ(r.process.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(linesWith(err, QStringLiteral("lost the connection to the broker")), 1) << err.toStdString();
    EXPECT_EQ(linesWith(err, QStringLiteral("Connected to the broker at %1 again after").arg(broker.url())), 1)
        << err.toStdString();
    // Samples were held back while it was away (one a second).
    const QRegularExpressionMatch held =
        QRegularExpression(QStringLiteral("publishing the (\\d+) samples held back")).match(err);
    ASSERT_TRUE(held.hasMatch()) << err.toStdString();
    EXPECT_GE(held.captured(1).toInt(), 4) << err.toStdString();

    const QList<QJsonObject> saved = savedSamples(path(QStringLiteral("gap.AsmDat")));
    ASSERT_EQ(saved.size(), kCount);
    // Each sample at least once (QoS 1); in order of first arrival, none
    // missing, each as saved.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QSet<int> seen;
            for (const auto& m : sub.on(state))
                seen.insert(QJsonDocument::fromJson(m.payload).object()[QStringLiteral("sample")].toInt());
            return seen.size() >= kCount;
        },
        20000));
    QList<QJsonObject> firsts;
    QSet<int> seen;
    for (const auto& m : sub.on(state)) {
        const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
        const int sample = o[QStringLiteral("sample")].toInt();
        if (seen.contains(sample)) {
            // A repeat is the same sample with the same values.
            EXPECT_EQ(withoutFile(o), saved[sample - 1]);
            continue;
        }
        seen.insert(sample);
        firsts.push_back(withoutFile(o));
    }
    ASSERT_EQ(firsts.size(), kCount);
    for (int i = 0; i < kCount; ++i)
        EXPECT_EQ(firsts[i], saved[i]) << i;
}

TEST_F(Mqtt, APartSavedWhileTheBrokerIsAwayIsReadBackFromItsDataFile)
{
    MosquittoBroker::Options options;
    options.persistence = true;
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start(path(QStringLiteral("broker")), options));
    MosquittoSub sub;
    const QString state = QStringLiteral("zb740/simulated/state");
    ASSERT_TRUE(sub.start(broker, state, QStringLiteral("parts"), true));

    // The meter falls silent after 4 frames for 8 s: the watchdog ends the
    // first part, which is saved as parts.AsmDat, and the recording goes on
    // into parts-2.AsmDat once it answers again. The broker is away from
    // the first sample until the first part is saved.
    Recording r;
    r.start(path(QStringLiteral("parts.AsmDat")),
            {QStringLiteral("--count"), QStringLiteral("7"), QStringLiteral("--silent-after"), QStringLiteral("4"),
             QStringLiteral("--silent-for"), QStringLiteral("8"), QStringLiteral("--mqtt"), broker.url()});
    ASSERT_TRUE(sub.waitFor(state, 1, 30000)) << r.errText().toStdString();
    broker.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(path(QStringLiteral("parts.AsmDat"))); }, 30000));
    ASSERT_TRUE(broker.run());
    ASSERT_TRUE(r.finish(90000));
    const QString err = r.errText();
    EXPECT_EQ(r.process.exitCode(), 0) << err.toStdString();

    const QList<QJsonObject> first = savedSamples(path(QStringLiteral("parts.AsmDat")));
    const QList<QJsonObject> second = savedSamples(path(QStringLiteral("parts-2.AsmDat")));
    ASSERT_GE(first.size(), 2);
    ASSERT_EQ(first.size() + second.size(), 7);
    QList<QPair<QString, QJsonObject>> expected;
    for (const QJsonObject& o : first)
        expected.push_back({QStringLiteral("parts.AsmDat"), o});
    for (const QJsonObject& o : second)
        expected.push_back({QStringLiteral("parts-2.AsmDat"), o});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QSet<QString> seen;
            for (const auto& m : sub.on(state)) {
                const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
                seen.insert(o[QStringLiteral("file")].toString() + QLatin1Char('#')
                            + QString::number(o[QStringLiteral("sample")].toInt()));
            }
            return seen.size() >= 7;
        },
        20000))
        << err.toStdString();
    QList<QPair<QString, QJsonObject>> firsts;
    QSet<QString> seen;
    for (const auto& m : sub.on(state)) {
        const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
        const QString file = o[QStringLiteral("file")].toString();
        const QString key = file + QLatin1Char('#') + QString::number(o[QStringLiteral("sample")].toInt());
        if (seen.contains(key))
            continue;
        seen.insert(key);
        firsts.push_back({file, withoutFile(o)});
    }
    ASSERT_EQ(firsts.size(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(firsts[i].first, expected[i].first) << i;
        EXPECT_EQ(firsts[i].second, expected[i].second) << i;
    }
}

TEST_F(Mqtt, AlarmFlagsAreRetainedAndEventsWaitForTheBroker)
{
    MosquittoBroker::Options options;
    options.persistence = true;
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start(path(QStringLiteral("broker")), options));
    MosquittoSub sub;
    ASSERT_TRUE(sub.start(broker, QStringLiteral("room/#"), QStringLiteral("events"), true));
    MqttPublisher publisher;
    MqttSettings settings;
    settings.url = broker.url();
    settings.topic = QStringLiteral("room");
    settings.discovery = false;
    ASSERT_TRUE(publisher.start(settings, QStringLiteral("x")).ok());
    ASSERT_TRUE(QTest::qWaitFor([&] { return publisher.state() == MqttPublisher::State::Connected; }, 10000));

    publisher.alarmChanged(kRh, AlarmLimitSet::Low, true);
    publisher.publishEvent(R"({"event":"alarm","channel":"rh","bound":"low","on":true})");
    ASSERT_TRUE(sub.waitFor(QStringLiteral("room/alarm/rh_low"), 1, 10000));
    EXPECT_EQ(sub.on(QStringLiteral("room/alarm/rh_low")).last().payload, QByteArray("ON"));
    ASSERT_TRUE(sub.waitFor(QStringLiteral("room/event"), 1, 10000));

    // Away: the events wait, in order, and go once it is back; the alarm
    // flags are published again on the new connection.
    broker.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return publisher.state() == MqttPublisher::State::Waiting; }, 10000));
    publisher.alarmChanged(kRh, AlarmLimitSet::Low, false);
    for (int i = 1; i <= 3; ++i)
        publisher.publishEvent(QByteArray(R"({"event":"test","n":)") + QByteArray::number(i) + "}");
    ASSERT_TRUE(broker.run());
    ASSERT_TRUE(QTest::qWaitFor([&] { return publisher.state() == MqttPublisher::State::Connected; }, 20000));
    ASSERT_TRUE(sub.waitFor(QStringLiteral("room/event"), 4, 20000));
    const auto events = sub.on(QStringLiteral("room/event"));
    QList<int> numbers;
    for (const auto& m : events) {
        const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
        if (o[QStringLiteral("event")].toString() == QLatin1String("test") && !numbers.contains(o["n"].toInt()))
            numbers.push_back(o[QStringLiteral("n")].toInt());
    }
    EXPECT_EQ(numbers, (QList<int> {1, 2, 3}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto flags = sub.on(QStringLiteral("room/alarm/rh_low"));
            return !flags.isEmpty() && flags.last().payload == "OFF";
        },
        10000));
    publisher.stop(2000);
    EXPECT_EQ(publisher.state(), MqttPublisher::State::Off);
    // (A message the broker had not seen acknowledged before its restart
    // may come again: what counts is the last.)
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto availability = sub.on(QStringLiteral("room/availability"));
            return !availability.isEmpty() && availability.last().payload == "offline";
        },
        10000));
}

// A self-signed certificate for 127.0.0.1, its own authority.
bool makeCertificate(const QString& folder, QString& cert, QString& key)
{
    cert = QDir(folder).filePath(QStringLiteral("cert.pem"));
    key = QDir(folder).filePath(QStringLiteral("key.pem"));
    QProcess p;
    p.start(QStringLiteral("openssl"),
            {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
             QStringLiteral("-nodes"), QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert,
             QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
             QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

TEST_F(Mqtt, WhatCannotWorkIsSaidOnceAndRecordingGoesOn)
{
    if (QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        GTEST_SKIP() << "mosquitto_passwd and openssl are needed";
    const QByteArray password = "pw-7f3a9c2e-not-this";
    // A broker that wants a password.
    const QString passwords = path(QStringLiteral("passwords"));
    QProcess mp;
    mp.start(QStringLiteral("mosquitto_passwd"),
             {QStringLiteral("-b"), QStringLiteral("-c"), passwords, QStringLiteral("meter"),
              QStringLiteral("right-password")});
    ASSERT_TRUE(mp.waitForFinished(20000) && mp.exitCode() == 0) << mp.readAllStandardError().toStdString();
    MosquittoBroker::Options locked;
    locked.passwordFile = passwords;
    MosquittoBroker guarded;
    ASSERT_TRUE(guarded.start(path(QStringLiteral("guarded")), locked)) << guarded.log().toStdString();
    const QString wrongCredentials = path(QStringLiteral("wrong.credentials"));
    {
        QFile f(wrongCredentials);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("meter\n" + password + "\n");
    }
    // A TLS broker whose certificate no system authority signed.
    QString cert, key;
    ASSERT_TRUE(makeCertificate(m_tmp.path(), cert, key));
    MosquittoBroker::Options tlsOptions;
    tlsOptions.certFile = cert;
    tlsOptions.keyFile = key;
    MosquittoBroker tls;
    ASSERT_TRUE(tls.start(path(QStringLiteral("tls")), tlsOptions)) << tls.log().toStdString();
    const QString nobody = QStringLiteral("mqtt://127.0.0.1:%1").arg(MosquittoBroker::freePort());

    struct Case {
        const char* name;
        QStringList options;
        QString says;
        QString url;
    };
    const Case cases[] = {
        {"unreachable", {QStringLiteral("--mqtt"), nobody}, QStringLiteral("cannot connect to the broker"), nobody},
        {"password",
         {QStringLiteral("--mqtt"), guarded.url(), QStringLiteral("--mqtt-credentials"), wrongCredentials},
         QStringLiteral("the broker refused the user name or password"),
         guarded.url()},
        {"tls", {QStringLiteral("--mqtt"), tls.url("mqtts")}, QStringLiteral("TLS failed"), tls.url("mqtts")},
        {"malformed", {QStringLiteral("--mqtt"), QStringLiteral("mqtt//127.0.0.1:1883")},
         QStringLiteral("is not a broker address"), QStringLiteral("--mqtt")},
    };
    std::vector<std::unique_ptr<Recording>> runs;
    for (const Case& c : cases) {
        runs.push_back(std::make_unique<Recording>());
        runs.back()->start(path(QLatin1String(c.name) + QStringLiteral(".AsmDat")),
                           QStringList {QStringLiteral("--count"), QStringLiteral("4")} + c.options);
    }
    // The password is on no command line.
    ASSERT_TRUE(runs[1]->process.waitForStarted());
    // zb740-cli hands record to its meter helper in the same process: the
    // command line is read once that exec is over.
    const QString cmdlinePath = QStringLiteral("/proc/%1/cmdline").arg(runs[1]->process.processId());
    QString cmdline;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        cmdline = fileText(cmdlinePath);
        return cmdline.contains(wrongCredentials);
    }, 10000));
    EXPECT_FALSE(cmdline.contains(QString::fromLatin1(password)));
    EXPECT_TRUE(cmdline.contains(wrongCredentials));

    for (size_t i = 0; i < runs.size(); ++i) {
        const Case& c = cases[i];
        Recording& r = *runs[i];
        ASSERT_TRUE(r.finish()) << c.name;
        const QString err = r.errText();
        EXPECT_EQ(r.process.exitCode(), 0) << c.name << ": " << err.toStdString();
        EXPECT_TRUE(QFile::exists(r.output)) << c.name;
        EXPECT_EQ(savedSamples(r.output).size(), 4) << c.name;
        // One error line, naming the broker (or the option), saying what.
        EXPECT_EQ(linesWith(err, QStringLiteral("zb740-cli: ")), 1) << c.name << ":\n" << err.toStdString();
        EXPECT_EQ(linesWith(err, QStringLiteral("zb740-cli: %1: ").arg(c.url)), 1) << c.name << ":\n"
                                                                                    << err.toStdString();
        EXPECT_EQ(linesWith(err, c.says), 1) << c.name << ":\n" << err.toStdString();
        EXPECT_FALSE(err.contains(QString::fromLatin1(password))) << c.name;
    }
    // The password is in no file of the recording either.
    for (const QString& name : QDir(m_tmp.path()).entryList({QStringLiteral("password*")}, QDir::Files)) {
        const QString text = fileText(path(name));
        EXPECT_FALSE(text.contains(QString::fromLatin1(password))) << name.toStdString();
    }
    EXPECT_TRUE(guarded.log().contains(QStringLiteral("not authorised")) || guarded.log().contains(QStringLiteral("not authorized")))
        << guarded.log().toStdString();
}

TEST_F(Mqtt, TlsWithTheAuthorityGivenAndAPassword)
{
    if (QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        GTEST_SKIP() << "mosquitto_passwd and openssl are needed";
    QString cert, key;
    ASSERT_TRUE(makeCertificate(m_tmp.path(), cert, key));
    const QString passwords = path(QStringLiteral("passwords"));
    QProcess mp;
    mp.start(QStringLiteral("mosquitto_passwd"), {QStringLiteral("-b"), QStringLiteral("-c"), passwords,
                                                  QStringLiteral("meter"), QStringLiteral("pw-right-5b1d")});
    ASSERT_TRUE(mp.waitForFinished(20000) && mp.exitCode() == 0);
    MosquittoBroker::Options options;
    options.certFile = cert;
    options.keyFile = key;
    options.passwordFile = passwords;
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start(path(QStringLiteral("broker")), options)) << broker.log().toStdString();
    MosquittoSub sub;
    ASSERT_TRUE(sub.start(broker, QStringLiteral("tls/#"), QStringLiteral("tls-reader"), false,
                          {QStringLiteral("--cafile"), cert, QStringLiteral("-u"), QStringLiteral("meter"),
                           QStringLiteral("-P"), QStringLiteral("pw-right-5b1d")}));
    const QString credentials = path(QStringLiteral("meter.credentials"));
    {
        QFile f(credentials);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("meter\r\npw-right-5b1d\r\n");
    }
    Recording r;
    r.start(path(QStringLiteral("tls.AsmDat")),
            {QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--mqtt"), broker.url("mqtts"),
             QStringLiteral("--mqtt-cafile"), cert, QStringLiteral("--mqtt-credentials"), credentials,
             QStringLiteral("--mqtt-topic"), QStringLiteral("tls")});
    ASSERT_TRUE(r.finish());
    const QString err = r.errText();
    EXPECT_EQ(r.process.exitCode(), 0) << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("pw-right-5b1d")));
    EXPECT_EQ(linesWith(err, QStringLiteral("zb740-cli: ")), 0) << err.toStdString();
    ASSERT_TRUE(sub.waitFor(QStringLiteral("tls/state"), 3, 10000)) << err.toStdString();
    const QList<QJsonObject> saved = savedSamples(path(QStringLiteral("tls.AsmDat")));
    ASSERT_EQ(saved.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(withoutFile(QJsonDocument::fromJson(sub.on(QStringLiteral("tls/state"))[i].payload).object()),
                  saved[i]);
}

// The lines of a JSON lines file, in order.
QList<QByteArray> jsonLines(const QString& path)
{
    QList<QByteArray> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (!line.isEmpty())
            out.push_back(line);
    }
    return out;
}

QStringList texts(const QList<QByteArray>& lines)
{
    QStringList out;
    for (const QByteArray& line : lines)
        out.push_back(QString::fromUtf8(line));
    return out;
}

// The payloads in the order they first came (a repeat is QoS 1's right).
QStringList firstArrivals(const QList<MosquittoSub::Message>& messages)
{
    QStringList out;
    for (const auto& m : messages) {
        const QString text = QString::fromUtf8(m.payload);
        if (!out.contains(text))
            out.push_back(text);
    }
    return out;
}

TEST_F(Mqtt, AContinuousRecordingLosesNeitherSampleNorEventAcrossAnOutageAndItsRotations)
{
    MosquittoBroker::Options options;
    options.persistence = true;
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start(path(QStringLiteral("broker")), options));
    MosquittoSub sub;
    const QString state = QStringLiteral("zb740/simulated/state");
    const QString eventTopic = QStringLiteral("zb740/simulated/event");
    ASSERT_TRUE(sub.start(broker, QStringLiteral("zb740/simulated/#"), QStringLiteral("service"), true));

    // Three samples a file. The simulated room is at about 22 °C: above
    // the high limit of 10 from the first reading. The meter falls silent
    // after 4 frames for 5 s: the link is lost (the alarm goes off, the
    // file ends) and comes back (the alarm comes on again) while the
    // broker is away.
    QDir().mkpath(path(QStringLiteral("data")));
    const QString prefix = path(QStringLiteral("data/room"));
    Recording r;
    r.start(prefix, {QStringLiteral("--continuous"), QStringLiteral("--file-samples"), QStringLiteral("3"),
                     QStringLiteral("--limit"), QStringLiteral("air:..10"), QStringLiteral("--silent-after"),
                     QStringLiteral("4"), QStringLiteral("--silent-for"), QStringLiteral("5"), QStringLiteral("--mqtt"),
                     broker.url()});
    ASSERT_TRUE(sub.waitFor(state, 1, 30000)) << r.errText().toStdString();
    ASSERT_TRUE(sub.waitFor(eventTopic, 2, 10000)) << r.errText().toStdString(); // start, alarm on
    broker.stop();
    const qsizetype outageAt = r.errText().size();
    const QString alarmOn = QStringLiteral("AIR above its high limit");
    // Away until the alarm came on again and one more file was written
    // after it.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QString during = r.errText().mid(outageAt);
            const qsizetype again = during.indexOf(alarmOn);
            return again >= 0 && during.indexOf(QStringLiteral(" complete: "), again) >= 0;
        },
        60000))
        << r.errText().toStdString();
    ASSERT_TRUE(broker.run()) << broker.log().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return r.errText().contains(QStringLiteral("again after")); }, 90000))
        << r.errText().toStdString();
    const int before = int(sub.on(state).size());
    ASSERT_TRUE(sub.waitFor(state, before + 2, 30000));
    r.signal(SIGTERM);
    ASSERT_TRUE(r.finish(60000));
    const QString err = r.errText();
    EXPECT_EQ(r.process.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("lost the connection to the broker"))) << err.toStdString();

    // The files in the order the events log names them, each sample with
    // its file's name.
    const QList<QByteArray> logged = jsonLines(prefix + QStringLiteral(".events.jsonl"));
    QList<QPair<QString, QJsonObject>> expected;
    QStringList files;
    for (const QByteArray& line : logged) {
        const QJsonObject e = QJsonDocument::fromJson(line).object();
        if (e[QStringLiteral("event")].toString() != QLatin1String("file"))
            continue;
        const QString file = e[QStringLiteral("file")].toString();
        files.push_back(file);
        for (const QJsonObject& o : savedSamples(path(QStringLiteral("data/")) + file))
            expected.push_back({file, o});
    }
    ASSERT_GE(files.size(), 3) << err.toStdString();
    int alarmsOn = 0;
    for (const QByteArray& line : logged)
        alarmsOn += line.contains("\"event\":\"alarm\"") && line.contains("\"state\":\"on\"") ? 1 : 0;
    EXPECT_EQ(alarmsOn, 2);

    // Every sample at least once; in order of first arrival, each as saved
    // in the file it names.
    QList<QPair<QString, QJsonObject>> firsts;
    QSet<QString> seen;
    for (const auto& m : sub.on(state)) {
        const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
        const QString file = o[QStringLiteral("file")].toString();
        const QString key = file + QLatin1Char('#') + QString::number(o[QStringLiteral("sample")].toInt());
        if (seen.contains(key))
            continue;
        seen.insert(key);
        firsts.push_back({file, withoutFile(o)});
    }
    ASSERT_EQ(firsts.size(), expected.size()) << err.toStdString();
    for (int i = 0; i < int(expected.size()); ++i) {
        EXPECT_EQ(firsts[i].first, expected[i].first) << i;
        EXPECT_EQ(firsts[i].second, expected[i].second) << i;
    }

    // Every event of the log, the alarm that came on during the outage
    // among them, in the log's order (repeats aside), the stop last.
    ASSERT_FALSE(logged.isEmpty());
    EXPECT_TRUE(logged.last().contains("\"event\":\"stop\""));
    EXPECT_TRUE(QTest::qWaitFor([&] { return firstArrivals(sub.on(eventTopic)).size() >= logged.size(); }, 20000));
    EXPECT_EQ(firstArrivals(sub.on(eventTopic)), texts(logged));
}

TEST_F(Mqtt, ARunsEventsWaitInItsEventsFileForABrokerAwayFromTheStart)
{
    MosquittoBroker::Options options;
    options.persistence = true;
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start(path(QStringLiteral("broker")), options));
    MosquittoSub sub;
    const QString eventTopic = QStringLiteral("zb740/simulated/event");
    ASSERT_TRUE(sub.start(broker, eventTopic, QStringLiteral("run"), true));
    broker.stop();

    // The alarm comes on with the first reading, the broker still away.
    Recording r;
    r.start(path(QStringLiteral("run.AsmDat")), {QStringLiteral("--count"), QStringLiteral("4"), QStringLiteral("--limit"),
                                                  QStringLiteral("air:..10"), QStringLiteral("--mqtt"), broker.url()});
    ASSERT_TRUE(QTest::qWaitFor([&] { return r.errText().contains(QStringLiteral("AIR above its high limit")); }, 30000))
        << r.errText().toStdString();
    ASSERT_TRUE(broker.run()) << broker.log().toStdString();
    ASSERT_TRUE(r.finish(90000));
    const QString err = r.errText();
    EXPECT_EQ(r.process.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(linesWith(err, QStringLiteral("cannot connect to the broker")), 1) << err.toStdString();

    // Start, the alarm, the file, the stop: as the events file holds them.
    const QList<QByteArray> logged = jsonLines(path(QStringLiteral("run.events.jsonl")));
    ASSERT_EQ(logged.size(), 4) << err.toStdString();
    EXPECT_TRUE(logged[1].contains("\"event\":\"alarm\""));
    EXPECT_TRUE(QTest::qWaitFor([&] { return firstArrivals(sub.on(eventTopic)).size() >= 4; }, 20000));
    EXPECT_EQ(firstArrivals(sub.on(eventTopic)), texts(logged)) << err.toStdString();
}

TEST_F(Mqtt, PublishingOptionsGoWithMqtt)
{
    QProcess p;
    prepareChild(p);
    p.start(kCli, {QStringLiteral("record"), QStringLiteral("--simulate"), QStringLiteral("--no-discovery"),
                   QStringLiteral("-o"), path(QStringLiteral("x.AsmDat"))});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("--no-discovery goes with --mqtt"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("x.AsmDat"))));
}

// libmosquitto is loaded only for --mqtt; where it cannot be (here: the
// file named in its place does not exist), record says so and records
// nothing, rather than record without publishing what was asked for.
using MqttWithoutLibrary = TempDirTest;
TEST_F(MqttWithoutLibrary, RecordSaysSoAndRecordsNothing)
{
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("out"))));
    const QStringList outputs[] = {
        {QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("-o"), path(QStringLiteral("out/run.AsmDat"))},
        {QStringLiteral("--continuous"), QStringLiteral("-o"), path(QStringLiteral("out/room"))},
    };
    for (const QStringList& output : outputs) {
        QProcess p;
        prepareChild(p);
        QProcessEnvironment env = p.processEnvironment();
        env.insert(QStringLiteral("ZB740_LIBMOSQUITTO"), path(QStringLiteral("libmosquitto-missing.so.1")));
        p.setProcessEnvironment(env);
        p.start(kCli, QStringList {QStringLiteral("record"), QStringLiteral("--simulate"), QStringLiteral("--mqtt"),
                                   QStringLiteral("mqtt://127.0.0.1:1")}
                          + output);
        ASSERT_TRUE(p.waitForFinished(30000));
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), 1) << err.toStdString();
        EXPECT_TRUE(err.startsWith(QStringLiteral("zb740-cli: --mqtt: the MQTT library %1 cannot be loaded (")
                                       .arg(path(QStringLiteral("libmosquitto-missing.so.1")))))
            << err.toStdString();
        EXPECT_TRUE(err.endsWith(QLatin1String("); it comes with the package libmosquitto1; nothing recorded\n")))
            << err.toStdString();
        EXPECT_EQ(QDir(path(QStringLiteral("out"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList())
            << output.join(QLatin1Char(' ')).toStdString();
    }
}

} // namespace
