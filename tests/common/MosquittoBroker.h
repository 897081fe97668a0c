#pragma once
// A Mosquitto broker of the test's own: Debian's mosquitto, started on a
// free loopback port with its config (and its persistence, password file
// and certificates) in the test's temporary folder; never the machine's
// broker. And mosquitto_sub as the client that reads what was published:
// a program the team did not write.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QCoreApplication>
#include <QList>
#include <QThread>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

// Runs the event loop for about ms milliseconds (the tests' and the
// benchmark's wait, without QtTest).
inline void mosquittoWait(int ms)
{
    const QDeadlineTimer deadline(ms);
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    } while (!deadline.hasExpired());
}

// Connects to 127.0.0.1:port, or binds it when port is 0; returns the
// port bound, or whether the connect succeeded (1/0).
inline int loopbackSocket(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    int result = 0;
    if (port == 0) {
        socklen_t len = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            result = ntohs(a.sin_port);
    } else {
        result = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 1 : 0;
    }
    ::close(fd);
    return result;
}

struct MosquittoBrokerOptions {
    bool persistence = false;  // keeps sessions and queued messages across a restart
    QString passwordFile;      // made by mosquitto_passwd; anonymous clients refused then
    QString certFile, keyFile; // a TLS listener
};

class MosquittoBroker {
public:
    using Options = MosquittoBrokerOptions;

    ~MosquittoBroker() { kill(); }

    static bool available()
    {
        return !QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin"),
                                                                             QStringLiteral("/usr/local/sbin")})
                    .isEmpty()
            || !QStandardPaths::findExecutable(QStringLiteral("mosquitto")).isEmpty();
    }
    static QString program()
    {
        QString p = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
        if (p.isEmpty())
            p = QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                               {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
        return p;
    }

    // A port nobody listens on right now.
    static int freePort() { return loopbackSocket(0); }

    bool start(const QString& folder, const Options& options = {})
    {
        m_folder = folder;
        m_port = freePort();
        if (m_port == 0)
            return false;
        QDir().mkpath(folder);
        QByteArray conf;
        conf += "listener " + QByteArray::number(m_port) + " 127.0.0.1\n";
        if (!options.passwordFile.isEmpty())
            conf += "allow_anonymous false\npassword_file " + QFile::encodeName(options.passwordFile) + "\n";
        else
            conf += "allow_anonymous true\n";
        if (!options.certFile.isEmpty())
            conf += "certfile " + QFile::encodeName(options.certFile) + "\nkeyfile "
                + QFile::encodeName(options.keyFile) + "\n";
        if (options.persistence)
            conf += "persistence true\npersistence_location " + QFile::encodeName(folder) + "/\n";
        else
            conf += "persistence false\n";
        // Started as root, mosquitto would change to its own user, who
        // cannot reach the test's folder.
        if (const passwd* pw = ::getpwuid(::getuid()))
            conf += QByteArray("user ") + pw->pw_name + "\n";
        conf += "log_dest file " + QFile::encodeName(folder) + "/mosquitto.log\nlog_type all\n";
        QFile f(QDir(folder).filePath(QStringLiteral("mosquitto.conf")));
        if (!f.open(QIODevice::WriteOnly) || f.write(conf) != conf.size())
            return false;
        f.close();
        return run();
    }

    // Starts it again on the same port, with the same config.
    bool run()
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        // A test that dies (a crash, a timeout) takes its broker with it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(program(), {QStringLiteral("-c"), QDir(m_folder).filePath(QStringLiteral("mosquitto.conf"))});
        if (!m_process.waitForStarted(5000))
            return false;
        // Ready once it accepts connections.
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            if (m_process.state() != QProcess::Running)
                return false;
            if (loopbackSocket(m_port) == 1)
                return true;
            mosquittoWait(50);
        }
        return false;
    }

    // A clean stop (SIGTERM), which saves its persistence.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            kill();
    }
    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // Waits until the broker's log holds text.
    bool waitForLog(const QString& text, int ms) const
    {
        const QDeadlineTimer deadline(ms);
        while (!log().contains(text)) {
            if (deadline.hasExpired())
                return false;
            mosquittoWait(20);
        }
        return true;
    }

    int port() const { return m_port; }
    QString url(const char* scheme = "mqtt") const
    {
        return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(m_port);
    }
    QString log() const
    {
        QFile f(QDir(m_folder).filePath(QStringLiteral("mosquitto.log")));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    QString m_folder;
    int m_port = 0;
    QProcess m_process;
};

// mosquitto_sub reading topics of a broker: each message as its retain
// flag, topic and payload (a line each, tab-separated). With an id, its session outlives its
// connection (QoS 1 messages wait for it at the broker while it is away).
class MosquittoSub {
public:
    struct Message {
        bool retained = false;
        QString topic;
        QByteArray payload;
    };

    ~MosquittoSub() { stop(); }

    // Subscribes as client id to topic; returns once the broker has the
    // subscription (it says so in its log).
    bool start(const MosquittoBroker& broker, const QString& topic, const QString& id, bool persistent = false,
               const QStringList& extra = {})
    {
        QStringList args {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                          QString::number(broker.port()), QStringLiteral("-t"), topic, QStringLiteral("-q"),
                          QStringLiteral("1"), QStringLiteral("-F"), QStringLiteral("%r\\t%t\\t%p"),
                          QStringLiteral("-i"), id};
        if (persistent)
            args << QStringLiteral("-c");
        args << extra;
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(QStringLiteral("mosquitto_sub"), args);
        if (!m_process.waitForStarted(5000))
            return false;
        return broker.waitForLog(QStringLiteral("Received SUBSCRIBE from ") + id, 10000);
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Every message read so far.
    const QList<Message>& messages()
    {
        m_buffer += m_process.readAllStandardOutput();
        qsizetype nl;
        while ((nl = m_buffer.indexOf('\n')) >= 0) {
            const QByteArray line = m_buffer.left(nl);
            m_buffer.remove(0, nl + 1);
            const qsizetype s1 = line.indexOf('\t');
            const qsizetype s2 = s1 < 0 ? -1 : line.indexOf('\t', s1 + 1);
            if (s2 < 0)
                continue;
            m_messages.push_back({line.left(s1) == "1", QString::fromUtf8(line.mid(s1 + 1, s2 - s1 - 1)),
                                  line.mid(s2 + 1)});
        }
        return m_messages;
    }
    QList<Message> on(const QString& topic)
    {
        QList<Message> out;
        for (const Message& m : messages())
            if (m.topic == topic)
                out.push_back(m);
        return out;
    }
    // Waits (the event loop running) until at least n messages came on
    // topic, or ms passed.
    bool waitFor(const QString& topic, int n, int ms)
    {
        const QDeadlineTimer deadline(ms);
        while (on(topic).size() < n && !deadline.hasExpired())
            mosquittoWait(50);
        return on(topic).size() >= n;
    }
    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    QByteArray m_buffer;
    QList<Message> m_messages;
};
