// zb740-cli simulate: runs the simulated meter on a pseudo-terminal until
// interrupted. The first line on standard output is the device to open.
#include "CliCommands.h"

#include "link/SimulatedMeter.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdio>
#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

void printHelp(FILE* out)
{
    std::fprintf(out,
        "Usage: zb740-cli simulate [options]\n"
        "\n"
        "Runs a simulated meter on a pseudo-terminal and prints the device path to\n"
        "open as the first line; runs until interrupted. It answers the wake packet\n"
        "and each poll byte with one 46-byte frame after the wire time at 4800 baud,\n"
        "and reacts to the remote key packets. Received key packets are logged on\n"
        "standard error.\n"
        "\n"
        "Readings:\n"
        "  --fahrenheit         start with the display in degrees F\n"
        "  --type-k             start with the type-K input (default infrared)\n"
        "  --kir VALUE          fixed K/IR reading in degrees C (-1000: no probe)\n"
        "  --battery-low        report a low battery\n"
        "  --seed N             seed of the drifting readings\n"
        "Faults:\n"
        "  --silent-after N     fall silent after N frames\n"
        "  --silent-for SECONDS answer again after SECONDS (default: stay silent)\n"
        "  --garbage N          replace every N-th reply by random bytes\n"
        "  --split              write each frame in pieces a few milliseconds apart\n"
        "  --lead-byte          send a stray byte before each frame\n"
        "  --help               show this help\n");
}

#ifdef Q_OS_UNIX
// The one place a signal handler can reach: the write end of a pipe that
// the event loop watches.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}
#endif

} // namespace

int cli::runSimulate(const QStringList& args)
{
    SimulatedMeterOptions options;
    auto numberArg = [&](qsizetype& i, double& out) {
        if (i + 1 >= args.size())
            return false;
        bool ok = false;
        out = args[++i].toDouble(&ok);
        return ok;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        double n = 0;
        if (a == u"--help" || a == u"-h") {
            printHelp(stdout);
            return 0;
        } else if (a == u"--fahrenheit") {
            options.fahrenheit = true;
        } else if (a == u"--type-k") {
            options.typeK = true;
        } else if (a == u"--battery-low") {
            options.batteryLow = true;
        } else if (a == u"--split") {
            options.splitFrames = true;
        } else if (a == u"--lead-byte") {
            options.leadByte = true;
        } else if (a == u"--kir" && numberArg(i, n)) {
            options.fixedKir = static_cast<float>(n);
        } else if (a == u"--seed" && numberArg(i, n) && n >= 0) {
            options.seed = static_cast<quint32>(n);
        } else if (a == u"--silent-after" && numberArg(i, n) && n >= 1) {
            options.silentAfterFrames = static_cast<int>(n);
        } else if (a == u"--silent-for" && numberArg(i, n) && n > 0) {
            options.silentForMs = static_cast<int>(n * 1000.0);
        } else if (a == u"--garbage" && numberArg(i, n) && n >= 1) {
            options.garbageEvery = static_cast<int>(n);
        } else {
            std::fprintf(stderr, "zb740-cli simulate: bad option or value '%s'\n", qPrintable(a));
            printHelp(stderr);
            return 2;
        }
    }

    SimulatedMeter meter(options);
    if (const Status started = meter.start(); !started.ok()) {
        return fail(QStringLiteral("/dev/ptmx"), QStringLiteral("cannot open a pseudo-terminal (%1)").arg(started.message()));
    }
    QObject::connect(&meter, &SimulatedMeter::packetReceived, [](const QByteArray& packet) {
        std::fprintf(stderr, "received %s\n", packet.toHex(' ').toUpper().constData());
    });

#ifdef Q_OS_UNIX
    // Interrupts end the event loop cleanly through a pipe.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        return fail(QStringLiteral("socketpair"), qt_error_string(errno));
    }
    QSocketNotifier quitNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
#endif

    std::printf("%s\n", qPrintable(meter.devicePath()));
    std::fflush(stdout);
    const int rc = QCoreApplication::exec();
    meter.stop();
    return rc;
}
