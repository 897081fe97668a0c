// zb740-cli: window-free tools over the program's core.
#include "CliCommands.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <cstring>

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList& args);
};

const Command kCommands[] = {
    {"decode", "decode received meter buffers given in hex, one JSON line each", cli::runDecode},
    {"simulate", "run the simulated meter on a pseudo-terminal", cli::runSimulate},
    {"info", "describe a .AsmDat data file as one JSON line", cli::runInfo},
    {"export", "write the .csv text export of a .AsmDat data file", cli::runExport},
};

void printUsage(FILE* out)
{
    std::fprintf(out, "Usage: zb740-cli COMMAND [ARGS...]\n\nCommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\nRun 'zb740-cli COMMAND --help' for the options of one command.\n");
}

} // namespace

int cli::fail(const QString& file, const QString& message)
{
    std::fprintf(stderr, "zb740-cli: %s: %s\n", qPrintable(file), qPrintable(message));
    return 1;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.isEmpty()) {
        printUsage(stderr);
        return 2;
    }
    const QString name = args.takeFirst();
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (name == QLatin1String(c.name))
            return c.run(args);
    }
    std::fprintf(stderr, "zb740-cli: unknown command '%s'\n", qPrintable(name));
    printUsage(stderr);
    return 2;
}
