#pragma once
// The commands that draw (plot, report) need Qt Gui and the painters; the
// tool itself loads neither. They run in the helper zb740-cli-draw, which
// lies in the package's libexec folder (the build tree keeps the same
// layout beside the tool).
#include <QString>
#include <QStringList>

namespace cli {

// Runs the drawing command with its arguments in the helper (found from the
// tool's own executable), in place of this process: the same process id,
// standard streams and environment, so its output and exit status are the
// command's. Returns only when the helper cannot be started: 1, after a
// line on standard error.
int runDrawingCommand(const char* program, const QString& command, const QStringList& args);

} // namespace cli
