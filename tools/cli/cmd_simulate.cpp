// zb740-cli simulate: runs the simulated meter on a pseudo-terminal until
// interrupted. The first line on standard output is the device to open.
#include "CliCommands.h"
#include "CliOutput.h"

#include "base/CommandLine.h"
#include "link/SimulatedMeter.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <optional>
#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

const char kUsage[] =
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
    "  --help               show this help\n";

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
    // Every option may be given again: the last one counts.
    CommandLine line(QStringLiteral("zb740-cli simulate"), QLatin1String(kUsage), versionLine());
    for (const char* name : {"fahrenheit", "type-k", "battery-low", "split", "lead-byte"})
        line.addSwitch(QLatin1String(name), 0);
    for (const char* name : {"kir", "seed", "silent-after", "silent-for", "garbage"})
        line.addValue(QLatin1String(name), QStringLiteral("N"), 0);
    if (const int status = line.process(args); status >= 0)
        return status;
    if (const QStringList rest = line.arguments(); !rest.isEmpty())
        return line.usageError(QStringLiteral("unexpected argument '%1'").arg(rest.first()));

    SimulatedMeterOptions options;
    options.fahrenheit = line.isSet(QStringLiteral("fahrenheit"));
    options.typeK = line.isSet(QStringLiteral("type-k"));
    options.batteryLow = line.isSet(QStringLiteral("battery-low"));
    options.splitFrames = line.isSet(QStringLiteral("split"));
    options.leadByte = line.isSet(QStringLiteral("lead-byte"));
    // The value of a number option, when given; a value that is no number
    // or out of the option's range is a usage error.
    QString bad;
    auto number = [&](const char* name, bool (*fits)(double)) -> std::optional<double> {
        const std::optional<QString> text = line.value(QLatin1String(name));
        if (!text || !bad.isEmpty())
            return std::nullopt;
        bool ok = false;
        const double n = text->toDouble(&ok);
        if (ok && fits(n))
            return n;
        bad = QStringLiteral("bad value '%1' for %2").arg(*text, CommandLine::spelled(QLatin1String(name)));
        return std::nullopt;
    };
    if (const auto n = number("kir", [](double) { return true; }))
        options.fixedKir = static_cast<float>(*n);
    if (const auto n = number("seed", [](double v) { return v >= 0; }))
        options.seed = static_cast<quint32>(*n);
    if (const auto n = number("silent-after", [](double v) { return v >= 1; }))
        options.silentAfterFrames = static_cast<int>(*n);
    if (const auto n = number("silent-for", [](double v) { return v > 0; }))
        options.silentForMs = static_cast<int>(*n * 1000.0);
    if (const auto n = number("garbage", [](double v) { return v >= 1; }))
        options.garbageEvery = static_cast<int>(*n);
    if (!bad.isEmpty())
        return line.usageError(bad);

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
