// zb740-cli: window-free tools over the program's core.
#include "CliCommands.h"
#include "CliOutput.h"
#include "Helpers.h"

#include "base/CommandLine.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList& args);
    // The helper that runs the command where it needs more than Qt Core.
    const char* helper = nullptr;
};

constexpr const char* kDraw = "zb740-cli-draw";
constexpr const char* kMeter = "zb740-cli-meter";

const Command kCommands[] = {
    {"decode", "decode received meter buffers given in hex, one JSON line each", cli::runDecode},
    {"simulate", "run the simulated meter on a pseudo-terminal", nullptr, kMeter},
    {"info", "describe a .AsmDat data file as one JSON line", cli::runInfo},
    {"export", "write the .csv text export of a .AsmDat data file", cli::runExport},
    {"recover", "write the data file and .csv of an unsaved run from its journal", cli::runRecover},
    {"report", "write the test report of a .AsmDat data file as a PDF", nullptr, kDraw},
    {"record", "record a run from the meter without a window", nullptr, kMeter},
    {"verify", "check that a test report PDF was made from a .AsmDat data file", cli::runVerify},
    {"plot", "write the logger window's plot of a .AsmDat data file as a PNG", nullptr, kDraw},
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

// A command runs in a Qt Core application given the program's name only:
// the arguments are the command's, never options for Qt. A command of a
// helper replaces this process with the helper.
int run(const Command& command, const QStringList& args, char* program)
{
    if (command.helper)
        return cli::runInHelper(command.helper, program, QLatin1String(command.name), args);
    int argc = 1;
    char* argv[] = {program, nullptr};
    const QCoreApplication app(argc, argv);
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
