// zb740-cli: window-free tools over the program's core.
#include "CliCommands.h"

#include "base/Version.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList& args);
    bool paints = false;  // draws text, which needs a GUI application
};

const Command kCommands[] = {
    {"decode", "decode received meter buffers given in hex, one JSON line each", cli::runDecode},
    {"simulate", "run the simulated meter on a pseudo-terminal", cli::runSimulate},
    {"info", "describe a .AsmDat data file as one JSON line", cli::runInfo},
    {"export", "write the .csv text export of a .AsmDat data file", cli::runExport},
    {"recover", "write the data file and .csv of an unsaved run from its journal", cli::runRecover, false},
    {"report", "write the test report of a .AsmDat data file as a PDF", cli::runReport, true},
    {"record", "record a run from the meter without a window", cli::runRecord, false},
    {"plot", "write the logger window's plot of a .AsmDat data file as a PNG", cli::runPlot, false},
};

void printUsage(FILE* out)
{
    std::fprintf(out, "Usage: zb740-cli COMMAND [ARGS...]\n\nCommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\nRun 'zb740-cli COMMAND --help' for the options of one command;\n"
                      "'zb740-cli --version' prints the version.\n");
}

// Painting text needs a GUI application. It never opens a window, so where
// no platform was chosen it runs on the offscreen one and works without a
// display; the other commands keep a core application.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv)
{
    bool paints = false;
    for (const Command& c : kCommands)
        paints |= argc > 1 && c.paints && std::strcmp(argv[1], c.name) == 0;
    if (!paints)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's notes about its surroundings (no runtime folder, a font stood in
    // for another) are not the tool's output; its failures are.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    return std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace

int cli::fail(const QString& file, const QString& message)
{
    std::fprintf(stderr, "zb740-cli: %s: %s\n", qPrintable(file), qPrintable(message));
    return 1;
}

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
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    QStringList args = app->arguments();
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
    if (name == "--version") {
        std::printf("zb740-cli %s\n", kVersionNumber);
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
