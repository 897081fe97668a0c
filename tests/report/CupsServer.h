#pragma once
// A private CUPS scheduler for the tests: its own configuration, spool and
// socket in a temporary folder, a cups-pdf queue added the ordinary way
// (lpadmin), and the PDF that queue writes found where cups-pdf puts it.
// Stopped by its own process id; nothing of it outlives the test program.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

class CupsServer {
public:
    ~CupsServer() { stop(); }

    // Starts cupsd; false with the reason when it cannot run here.
    bool start(QString* why)
    {
        if (findCupsd().isEmpty())
            return fail(why, QStringLiteral("cupsd is not installed (scripts/setup-deps.sh installs cups)"));
        if (geteuid() != 0)
            return fail(why, QStringLiteral("cupsd and the cups-pdf backend need root here"));
        const group* lp = getgrnam("lp");
        if (!lp)
            return fail(why, QStringLiteral("there is no lp group for the filters to run as"));
        if (!m_dir.isValid())
            return fail(why, QStringLiteral("no temporary folder"));
        // The scheduler runs its filters as lp: they must reach the spool.
        QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                                | QFileDevice::ReadOther | QFileDevice::ExeOther);
        for (const char* sub : {"etc", "etc/ppd", "spool", "spool/tmp", "cache", "run", "log"}) {
            const QString p = m_dir.filePath(QLatin1String(sub));
            QDir().mkpath(p);
            if (std::strncmp(sub, "etc", 3) != 0) {
                if (::chown(QFile::encodeName(p).constData(), 0, lp->gr_gid) != 0
                    || ::chmod(QFile::encodeName(p).constData(), 0775) != 0)
                    return fail(why, QStringLiteral("cannot hand %1 to the lp group").arg(p));
            }
        }
        const QString conf = m_dir.filePath(QStringLiteral("etc/cupsd.conf"));
        const QString files = m_dir.filePath(QStringLiteral("etc/cups-files.conf"));
        writeText(conf, QStringLiteral("Listen %1\n"
                                       "LogLevel info\n"
                                       "Browsing No\n"
                                       "WebInterface No\n"
                                       "DefaultAuthType None\n"
                                       "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                       "<Policy default>\n  <Limit All>\n    Order deny,allow\n    Allow all\n"
                                       "  </Limit>\n</Policy>\n")
                            .arg(socketPath()));
        writeText(files, QStringLiteral("ServerRoot %1/etc\n"
                                        "RequestRoot %1/spool\n"
                                        "TempDir %1/spool/tmp\n"
                                        "CacheDir %1/cache\n"
                                        "StateDir %1/run\n"
                                        "ErrorLog %1/log/error_log\n"
                                        "AccessLog %1/log/access_log\n"
                                        "PageLog %1/log/page_log\n"
                                        "User lp\n"
                                        "Group lp\n"
                                        "SystemGroup root\n")
                             .arg(m_dir.path()));
        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        m_cupsd.start(findCupsd(), {QStringLiteral("-f"), QStringLiteral("-c"), conf,
                                                   QStringLiteral("-s"), files});
        if (!m_cupsd.waitForStarted(10000))
            return fail(why, QStringLiteral("cupsd did not start: %1").arg(m_cupsd.errorString()));
        QElapsedTimer t;
        t.start();
        while (!QFileInfo::exists(socketPath()) && t.elapsed() < 15000) {
            if (m_cupsd.state() != QProcess::Running)
                return fail(why, QStringLiteral("cupsd stopped at once: %1 %2")
                                     .arg(QString::fromLocal8Bit(m_cupsd.readAll()), errorLog()));
            QTest::qWait(50);
        }
        if (!QFileInfo::exists(socketPath()))
            return fail(why, QStringLiteral("cupsd opened no socket: %1").arg(errorLog()));
        return true;
    }

    // Ends the scheduler this object started, by its process id.
    void stop()
    {
        if (m_cupsd.state() == QProcess::NotRunning)
            return;
        m_cupsd.terminate();  // SIGTERM to exactly that process
        if (!m_cupsd.waitForFinished(10000)) {
            m_cupsd.kill();
            m_cupsd.waitForFinished(5000);
        }
    }

    QString socketPath() const { return m_dir.filePath(QStringLiteral("cups.sock")); }
    QString errorLog() const
    {
        QFile f(m_dir.filePath(QStringLiteral("log/error_log")));
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll().right(4000)) : QString();
    }

    // Runs one of CUPS' own commands against this scheduler.
    bool command(const QString& program, const QStringList& args, QString* output = nullptr) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CUPS_SERVER"), socketPath());
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (output)
            *output = QString::fromLocal8Bit(p.readAll());
        return ok;
    }

    bool addPdfQueue(const QString& name, QString* why) const
    {
        QString out;
        if (!command(QStringLiteral("lpadmin"), {QStringLiteral("-p"), name, QStringLiteral("-v"),
                                                 QStringLiteral("cups-pdf:/"), QStringLiteral("-E"),
                                                 QStringLiteral("-m"),
                                                 QStringLiteral("lsb/usr/cups-pdf/CUPS-PDF_opt.ppd")},
                     &out))
            return fail(why, QStringLiteral("lpadmin could not add the cups-pdf queue: %1").arg(out));
        return true;
    }
    bool removeQueue(const QString& name) const
    {
        return command(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
    }

    // Waits until the queue has finished every job it was given and has
    // finished at least `completed` of them.
    bool waitForJobs(const QString& queue, int completed, int timeoutMs = 60000) const
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            QString pending, done;
            command(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue}, &pending);
            command(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("completed"),
                                               QStringLiteral("-o"), queue},
                    &done);
            if (pending.trimmed().isEmpty() && done.count(QLatin1Char('\n')) >= completed)
                return true;
            QTest::qWait(200);
        }
        return false;
    }

    // The folder cups-pdf writes a user's jobs to: the Out line of its
    // configuration, ${HOME} and ${USER} standing for the printing user's.
    static QString pdfFolderOf(const QString& queue)
    {
        QString out = QStringLiteral("${HOME}/PDF");
        for (const QString& conf : {QStringLiteral("/etc/cups/cups-pdf-%1.conf").arg(queue),
                                    QStringLiteral("/etc/cups/cups-pdf.conf")}) {
            QFile f(conf);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            static const QRegularExpression outLine(QStringLiteral("^\\s*Out\\s+(\\S.*)$"),
                                                    QRegularExpression::MultilineOption);
            const auto m = outLine.match(QString::fromLocal8Bit(f.readAll()));
            if (m.hasMatch())
                out = m.captured(1).trimmed();
            break;
        }
        const passwd* me = getpwuid(geteuid());
        if (me) {
            out.replace(QLatin1String("${HOME}"), QString::fromLocal8Bit(me->pw_dir));
            out.replace(QLatin1String("${USER}"), QString::fromLocal8Bit(me->pw_name));
        }
        return out;
    }

private:
    static bool fail(QString* why, const QString& text)
    {
        if (why)
            *why = text;
        return false;
    }
    static void writeText(const QString& path, const QString& text)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(text.toLocal8Bit());
    }
    static QString findCupsd()
    {
        for (const char* p : {"/usr/sbin/cupsd", "/usr/local/sbin/cupsd"})
            if (QFileInfo(QLatin1String(p)).isExecutable())
                return QLatin1String(p);
        return {};
    }

    QTemporaryDir m_dir {QDir::tempPath() + QStringLiteral("/zb740-cups-XXXXXX")};
    QProcess m_cupsd;
};
