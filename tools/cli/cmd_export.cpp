// zb740-cli export FILE.AsmDat [-o OUT | -o -]: the text export of a data
// file, the same bytes Save writes beside the data file; "-" writes them to
// standard output.
#include "CliCommands.h"

#include "data/DataFile.h"
#include "data/RunFiles.h"

#include "data/TextExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <memory>

namespace {

void printUsage(FILE* out)
{
    std::fprintf(out,
                 "Usage: zb740-cli export FILE.AsmDat [-o OUT]\n\n"
                 "Writes the tab-separated UTF-16 text export of the data file.\n"
                 "  -o OUT   output file (default: FILE with .csv in place of .AsmDat);\n"
                 "           - writes to standard output\n");
}

// The export on standard output, for a pipe or a redirection.
int writeToStdout(const QString& input, const RunView& run)
{
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly)) {
        std::fprintf(stderr, "zb740-cli: standard output: %s\n", qPrintable(out.errorString()));
        return 1;
    }
    if (const Status s = TextExport::write(out, run); !s.ok() || !out.flush()) {
        std::fprintf(stderr, "zb740-cli: %s: could not write the export to standard output: %s\n",
                     qPrintable(input), qPrintable(s.ok() ? out.errorString() : s.message()));
        return 1;
    }
    return 0;
}

} // namespace

int cli::runExport(const QStringList& args)
{
    QString input, output;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            printUsage(stdout);
            return 0;
        }
        if (a == QLatin1String("-o")) {
            if (i + 1 >= args.size() || !output.isEmpty()) {
                printUsage(stderr);
                return 2;
            }
            output = args[++i];
        } else if (a.startsWith(QLatin1Char('-')) || !input.isEmpty()) {
            printUsage(stderr);
            return 2;
        } else {
            input = a;
        }
    }
    if (input.isEmpty() || (args.contains(QLatin1String("-o")) && output.isEmpty())) {
        printUsage(stderr);
        return 2;
    }
    if (output.isEmpty())
        output = RunFiles::exportPathFor(input);
    const bool toStdout = output == QLatin1String("-");

    if (!toStdout && QDir::cleanPath(QFileInfo(output).absoluteFilePath()) == QDir::cleanPath(QFileInfo(input).absoluteFilePath())) {
        std::fprintf(stderr, "zb740-cli: %s: the export would replace its own data file\n", qPrintable(input));
        return 2;
    }

    auto record = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    const Status r = DataFile::load(input, *record, scale);
    if (!r.ok()) {
        std::fprintf(stderr, "zb740-cli: %s: %s\n", qPrintable(input), qPrintable(r.message()));
        return 1;
    }
    if (toStdout)
        return writeToStdout(input, RunView::of(*record));
    if (const Status s = RunFiles::saveExport(output, RunView::of(*record)); !s.ok()) {
        std::fprintf(stderr, "zb740-cli: %s: %s\n", qPrintable(output), qPrintable(s.message()));
        return 1;
    }
    return 0;
}
