#include "AlarmCommand.h"

#include "data/SampleExport.h"

#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

// What the watcher tells the recording: 'H' the command still runs after
// the time given, 'X' it ended with the wait status given, 'E' it could
// not be started (the error number given).
struct Report {
    char kind;
    int value;
};

void writeReport(int fd, char kind, int value)
{
    const Report r {kind, value};
    ssize_t n;
    do {
        n = ::write(fd, &r, sizeof r);
    } while (n < 0 && errno == EINTR);
}

QString valueText(float v)
{
    if (!std::isfinite(v))
        return {};
    const double tenths = std::round(double(v) * 10.0) / 10.0;
    return QString::number(tenths == 0.0 ? 0.0 : tenths, 'f', 1);
}

} // namespace

struct AlarmCommand::Watcher {
    pid_t pid = -1;
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    bool reported = false;
};

AlarmCommand::AlarmCommand(QString command, int hangSeconds, QObject* parent)
    : QObject(parent)
    , m_command(std::move(command))
    , m_hangSeconds(hangSeconds)
{
}

AlarmCommand::~AlarmCommand()
{
    // The commands run on by themselves; the watchers end once theirs has
    // ended (their reports then go nowhere).
    for (auto& w : m_watchers) {
        w->notifier.reset();
        ::close(w->fd);
        int status;
        // A watcher whose command is over has exited or is about to.
        (void)::waitpid(w->pid, &status, WNOHANG);
    }
}

void AlarmCommand::run(const MonitorEvent& e)
{
    if (int(m_watchers.size()) >= kMaxRunning) {
        emit failed(QStringLiteral("%1 was not run for this alarm: %2 earlier runs of it are still running")
                        .arg(m_command)
                        .arg(kMaxRunning));
        return;
    }
    // Everything the child needs is made here: between fork and exec only
    // async-signal-safe calls are allowed.
    QList<QByteArray> env;
    for (char** p = environ; *p != nullptr; ++p) {
        if (std::strncmp(*p, "ZB740_", 6) != 0)
            env.append(QByteArray(*p));
    }
    const auto put = [&env](const char* name, const QString& value) {
        env.append(QByteArray(name) + '=' + value.toUtf8());
    };
    put("ZB740_CHANNEL", QLatin1String(SampleExport::channelKey(e.channel)));
    put("ZB740_BOUND", QLatin1String(MonitorEvents::boundName(e.bound)));
    put("ZB740_STATE", e.on ? QStringLiteral("on") : QStringLiteral("off"));
    put("ZB740_VALUE", valueText(e.value));
    put("ZB740_LIMIT", valueText(e.limit));
    put("ZB740_UNIT", e.channel == kRh ? QStringLiteral("%") : e.fahrenheit ? QStringLiteral("F") : QStringLiteral("C"));
    const QByteArray json = MonitorEvents::json(e);
    put("ZB740_TIME", QString::fromLatin1(json.mid(9, json.indexOf('"', 9) - 9)));
    put("ZB740_EVENT", QString::fromUtf8(json));
    std::vector<char*> envp;
    for (QByteArray& v : env)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    QByteArray command = m_command.toUtf8();
    char sh[] = "/bin/sh", dashC[] = "-c";
    char* argv[] = {sh, dashC, command.data(), nullptr};
    const int hangSeconds = m_hangSeconds;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        emit failed(QStringLiteral("%1 could not be started: %2").arg(m_command, QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    const pid_t watcher = ::fork();
    if (watcher < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        emit failed(QStringLiteral("%1 could not be started: %2").arg(m_command, QString::fromLocal8Bit(std::strerror(error))));
        return;
    }
    if (watcher == 0) {
        // The watcher: starts the command and waits for it.
        ::signal(SIGPIPE, SIG_IGN);
        const pid_t child = ::fork();
        if (child < 0) {
            writeReport(fds[1], 'E', errno);
            ::_exit(0);
        }
        if (child == 0) {
            for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
                ::signal(s, SIG_DFL);
            const int null = ::open("/dev/null", O_RDONLY);
            if (null >= 0)
                ::dup2(null, STDIN_FILENO);
            ::execve(argv[0], argv, envp.data());
            ::_exit(127);
        }
        int status = 0;
        const timespec tick {0, 50 * 1000 * 1000};
        bool hangReported = false;
        for (long waited = 0;; ++waited) {
            const pid_t done = ::waitpid(child, &status, hangReported ? 0 : WNOHANG);
            if (done == child)
                break;
            if (done < 0 && errno != EINTR)
                ::_exit(0);
            if (!hangReported && waited * 50 >= long(hangSeconds) * 1000) {
                writeReport(fds[1], 'H', hangSeconds);
                hangReported = true;
                continue;
            }
            if (!hangReported)
                ::nanosleep(&tick, nullptr);
        }
        writeReport(fds[1], 'X', status);
        ::_exit(0);
    }
    ::close(fds[1]);
    auto w = std::make_unique<Watcher>();
    w->pid = watcher;
    w->fd = fds[0];
    w->notifier = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
    Watcher* raw = w.get();
    connect(w->notifier.get(), &QSocketNotifier::activated, this, [this, raw] { onReadable(raw); });
    m_watchers.push_back(std::move(w));
}

void AlarmCommand::onReadable(Watcher* w)
{
    Report r {};
    ssize_t n;
    do {
        n = ::read(w->fd, &r, sizeof r);
    } while (n < 0 && errno == EINTR);
    if (n == ssize_t(sizeof r)) {
        if (r.kind == 'H') {
            emit failed(QStringLiteral("%1 is still running after %2 s; recording goes on").arg(m_command).arg(r.value));
        } else if (r.kind == 'E') {
            emit failed(QStringLiteral("%1 could not be started: %2").arg(m_command, QString::fromLocal8Bit(std::strerror(r.value))));
        } else if (r.kind == 'X') {
            if (WIFEXITED(r.value) && WEXITSTATUS(r.value) != 0)
                emit failed(QStringLiteral("%1 failed with exit status %2").arg(m_command).arg(WEXITSTATUS(r.value)));
            else if (WIFSIGNALED(r.value))
                emit failed(QStringLiteral("%1 was ended by signal %2").arg(m_command).arg(WTERMSIG(r.value)));
        }
        return;
    }
    // The watcher has gone: reap it (it exits right after its last report).
    // The notifier is in the middle of its signal: it goes later.
    w->notifier->setEnabled(false);
    w->notifier.release()->deleteLater();
    ::close(w->fd);
    int status;
    while (::waitpid(w->pid, &status, 0) < 0 && errno == EINTR) {
    }
    for (auto it = m_watchers.begin(); it != m_watchers.end(); ++it) {
        if (it->get() == w) {
            m_watchers.erase(it);
            break;
        }
    }
}
