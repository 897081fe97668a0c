#pragma once
// zb740-cli itself links Qt Core alone. The commands that need more run in
// helpers that lie in the package's libexec folder (the build tree keeps
// the same layout beside the tool): zb740-cli-draw (plot, report: the
// painters and Qt Gui) and zb740-cli-meter (record, simulate: the serial
// port, the simulated meter, MQTT, systemd).
#include <QString>
#include <QStringList>
#include <cstring>
#include <span>

namespace cli {

// Runs the command with its arguments in the helper named (found from the
// tool's own executable), in place of this process: the same process id,
// standard streams and environment, so its output and exit status are the
// command's. The helper is given the program's name as its first argument,
// then the command and its arguments. Returns only when the helper cannot
// be started: 1, after a line on standard error.
int runInHelper(const char* helper, const char* program, const QString& command, const QStringList& args);

// In a helper: the command its command line names ("PROGRAM COMMAND
// ARGS..."), with the command's arguments in `args`; null when it names
// none of `commands`.
template <class Command>
const Command* helperCommand(std::span<const Command> commands, int argc, char** argv, QStringList& args)
{
    const Command* command = nullptr;
    for (const Command& c : commands)
        if (argc >= 2 && std::strcmp(argv[1], c.name) == 0)
            command = &c;
    for (int i = 2; command && i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return command;
}

} // namespace cli
