// zb740-cli-draw: the commands of zb740-cli that draw (plot, report), with
// the painters and Qt Gui that the tool itself never loads. zb740-cli runs
// it in its own place as "PROGRAM COMMAND ARGS...", PROGRAM being the name
// zb740-cli was started by.
#include "CliCommands.h"
#include "CliOutput.h"
#include "Helpers.h"

#include <QGuiApplication>
#include <QStringList>
#include <cstdio>
#include <memory>

namespace {

enum class Needs {
    Painter, // draws text, which needs a GUI application
    Itself,  // makes its own application once its arguments are read
};

struct Command {
    const char* name;
    int (*run)(const QStringList& args);
    Needs needs;
};

const Command kCommands[] = {
    {"report", cli::runReport, Needs::Painter},
    {"plot", cli::runPlot, Needs::Itself},
};

// The application a command runs in. It is given the program's name only:
// the arguments are the command's, never options for Qt. Painting text needs
// a GUI application (plot makes its own); it never opens a window, so where
// no platform was chosen it runs on the offscreen one and works without a
// display.
std::unique_ptr<QGuiApplication> makeApplication(Needs needs, char* program)
{
    static int argc = 1;
    static char* argv[] = {program, nullptr};
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

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    const Command* command = cli::helperCommand(std::span<const Command>(kCommands), argc, argv, args);
    if (!command)
        return cli::error(QStringLiteral("the drawing helper runs plot or report: zb740-cli plot|report ..."), 2);
    const std::unique_ptr<QGuiApplication> app = makeApplication(command->needs, argv[0]);
    return command->run(args);
}
