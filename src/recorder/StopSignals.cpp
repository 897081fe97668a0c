#include "recorder/StopSignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end of the pipe the handler reports through: the only thing a
// signal handler may touch.
int g_signalFds[2] = {-1, -1};

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Which of them this program handles: a signal the program was started
// with ignored (nohup, a background job) stays ignored.
bool g_handled[3] = {};

void onSignal(int signalNumber)
{
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_signalFds[0], &byte, 1);
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent)
{
    if (g_signalFds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) != 0)
        return;
    ::fcntl(g_signalFds[0], F_SETFL, O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::onReadable);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        struct sigaction before {};
        g_handled[i] = ::sigaction(kStopSignals[i], nullptr, &before) == 0 && before.sa_handler != SIG_IGN
            && ::sigaction(kStopSignals[i], &sa, nullptr) == 0;
    }
}

StopSignals::~StopSignals()
{
    if (!m_notifier)
        return;
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 3; ++i) {
        if (g_handled[i])
            ::sigaction(kStopSignals[i], &sa, nullptr);
        g_handled[i] = false;
    }
    ::close(g_signalFds[0]);
    ::close(g_signalFds[1]);
    g_signalFds[0] = g_signalFds[1] = -1;
}

void StopSignals::onReadable()
{
    unsigned char byte = 0;
    if (::read(g_signalFds[1], &byte, 1) == 1)
        emit stopRequested(byte);
}

#else

StopSignals::StopSignals(QObject* parent) : QObject(parent) {}
StopSignals::~StopSignals() = default;
void StopSignals::onReadable() {}

#endif
