// zb740-cli: window-free tools over the program's core.
#include "CliCommands.h"
#include "CliOutput.h"

#include "base/CommandLine.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>
#include <cstdio>
#include <memory>

namespace {

enum class Needs {
    Core,    // an event loop or nothing more
    Painter, // draws text, which needs a GUI application
    Itself,  // makes its own application once its arguments are read
};

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList& args);
    Needs needs = Needs::Core;
};

const Command kCommands[] = {
    {"decode", "decode received meter buffers given in hex, one JSON line each", cli::runDecode},
    {"simulate", "run the simulated meter on a pseudo-terminal", cli::runSimulate},
    {"info", "describe a .AsmDat data file as one JSON line", cli::runInfo},
    {"export", "write the .csv text export of a .AsmDat data file", cli::runExport},
    {"recover", "write the data file and .csv of an unsaved run from its journal", cli::runRecover},
    {"report", "write the test report of a .AsmDat data file as a PDF", cli::runReport, Needs::Painter},
    {"record", "record a run from the meter without a window", cli::runRecord},
    {"verify", "check that a test report PDF was made from a .AsmDat data file", cli::runVerify},
    {"plot", "write the logger window's plot of a .AsmDat data file as a PNG", cli::runPlot, Needs::Itself},
    {"ports", "list the serial ports where a meter could be", cli::runPorts},
};

QString usage()
{
    QString text = QStringLiteral("Usage: zb740-cli COMMAND [ARGS...]\n\nCommands:\n");
    for (const Command& c : kCommands)
        text += QStringLiteral("  %1 %2\n").arg(QLatin1String(c.name), -10).arg(QLatin1String(c.summary));
    return text + QStringLiteral("\nRun 'zb740-cli COMMAND --help' or 'zb740-cli help COMMAND' for the options of one\n"
                                 "command; 'zb740-cli --version' (-V) prints the version. In every command \"--\"\n"
                                 "ends the options, and --opt=value is --opt value.\n");
}

const Command* find(const QString& name)
{
    for (const Command& c : kCommands)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

// The application a command runs in. It is given the program's name only:
// the arguments are the command's, never options for Qt. Painting text needs
// a GUI application (plot makes its own); it never opens a window, so where
// no platform was chosen it runs on the offscreen one and works without a
// display.
std::unique_ptr<QCoreApplication> makeApplication(Needs needs, char* program)
{
    static int argc = 1;
    static char* argv[] = {program, nullptr};
    if (needs == Needs::Core)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's notes about its surroundings (no runtime folder, a font stood in
    // for another) are not the tool's output; its failures are.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    if (needs == Needs::Itself)
        return nullptr;
    return std::make_unique<QGuiApplication>(argc, argv);
}

int run(const Command& command, const QStringList& args, char* program)
{
    const std::unique_ptr<QCoreApplication> app = makeApplication(command.needs, program);
    return command.run(args);
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    // The tool's own options come before the command; from the command's
    // name on, the arguments are the command's.
    CommandLine line(QStringLiteral("zb740-cli"), usage(), cli::versionLine());
    line.setFirstArgumentEndsOptions();
    if (const int status = line.process(args); status >= 0)
        return status;
    QStringList rest = line.arguments();
    if (rest.isEmpty()) {
        line.printHelp(true);
        return 2;
    }
    const QString name = rest.takeFirst();
    // "help COMMAND" is "COMMAND --help".
    if (name == QLatin1String("help")) {
        if (rest.isEmpty()) {
            line.printHelp(false);
            return 0;
        }
        if (rest.size() > 1)
            return line.usageError(QStringLiteral("help takes one command"));
        const Command* command = find(rest.first());
        if (!command)
            return line.usageError(QStringLiteral("unknown command '%1'").arg(rest.first()));
        return run(*command, {QStringLiteral("--help")}, argv[0]);
    }
    const Command* command = find(name);
    if (!command)
        return line.usageError(QStringLiteral("unknown command '%1'").arg(name));
    return run(*command, rest, argv[0]);
}
