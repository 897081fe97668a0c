// zb740-cli-meter: zb740-cli's commands about the meter (record, simulate),
// with the serial port, MQTT and systemd libraries that the tool itself
// never loads. zb740-cli runs it in its own place (the same process, as the
// recording service expects) as "PROGRAM COMMAND ARGS...", PROGRAM being
// the name zb740-cli was started by.
#include "CliCommands.h"
#include "CliOutput.h"
#include "Helpers.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

struct Command {
    const char* name;
    int (*run)(const QStringList& args);
};

const Command kCommands[] = {
    {"record", cli::runRecord},
    {"simulate", cli::runSimulate},
};

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    const Command* command = cli::helperCommand(std::span<const Command>(kCommands), argc, argv, args);
    if (!command)
        return cli::error(QStringLiteral("the meter helper runs record or simulate: zb740-cli record|simulate ..."), 2);
    // The arguments are the command's, never options for Qt.
    int appArgc = 1;
    char* appArgv[] = {argv[0], nullptr};
    const QCoreApplication app(appArgc, appArgv);
    return command->run(args);
}
