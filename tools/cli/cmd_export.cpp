// zb740-cli export FILE.AsmDat [-o OUT]: the text export of a data file,
// the same bytes Save writes beside the data file. "-o -" writes it to
// standard output; a FIFO or device node is written through, never replaced.
#include "CliCommands.h"
#include "CliOutput.h"

#include "base/CommandLine.h"
#include "data/DataFile.h"
#include "data/RunFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>

namespace {

const char kUsage[] = "Usage: zb740-cli export FILE.AsmDat [-o OUT]\n\n"
                      "Writes the tab-separated UTF-16 text export of the data file.\n"
                      "  -o OUT   output file (default: FILE with .csv in place of .AsmDat);\n"
                      "           - for standard output\n";

} // namespace

int cli::runExport(const QStringList& args)
{
    CommandLine line(QStringLiteral("zb740-cli export"), QLatin1String(kUsage), versionLine());
    line.addValue(QStringLiteral("o"), QStringLiteral("OUT"), CommandLine::Once | CommandLine::NotEmpty);
    if (const int status = line.process(args); status >= 0)
        return status;
    const QStringList files = line.arguments();
    if (files.isEmpty())
        return line.usageError(QStringLiteral("no data file given"));
    if (files.size() > 1)
        return line.usageError(QStringLiteral("unexpected argument '%1'").arg(files[1]));
    const QString input = files.first();
    const QString output = line.value(QStringLiteral("o")).value_or(RunFiles::exportPathFor(input));

    const bool toStdout = isStandardOutput(output);
    if (!toStdout
        && QDir::cleanPath(QFileInfo(output).absoluteFilePath()) == QDir::cleanPath(QFileInfo(input).absoluteFilePath()))
        return fail(input, QStringLiteral("the export would replace its own data file"), 2);

    auto record = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    if (const Status r = DataFile::load(input, *record, scale); !r.ok())
        return fail(input, r.message());

    if (toStdout) {
        QFile out;
        Status s = openStandardOutput(out);
        if (s.ok())
            s = RunFiles::writeExport(out, RunView::of(*record));
        if (!s.ok())
            return fail(shownOutput(output), s.message());
        return 0;
    }
    if (const Status s = RunFiles::saveExport(output, RunView::of(*record)); !s.ok())
        return fail(output, s.message());
    return 0;
}
