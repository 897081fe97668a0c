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
    {"recover", "write the data file and .csv of an unsaved run from its journal", cli::runRecover},
    {"plot", "write the logger window's plot of a .AsmDat data file as a PNG", cli::runPlot},
};

void printUsage(FILE* out)
{
    std::fprintf(out, "Usage: zb740-cli COMMAND [ARGS...]\n\nCommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\nRun 'zb740-cli COMMAND --help' for the options of one command.\n");
}

} // namespace

int main(int argc, char** argv)
{
    // plot draws with the GUI library: it makes its own application once
    // its arguments and its file have been read.
    if (argc > 1 && !std::strcmp(argv[1], "plot")) {
        QStringList plotArgs;
        for (int i = 2; i < argc; ++i)
            plotArgs << QString::fromLocal8Bit(argv[i]);
        return cli::runPlot(plotArgs);
    }
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
