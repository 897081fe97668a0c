// zb740-cli export FILE.AsmDat [-o OUT]: the text export of a data file,
// the same bytes Save writes beside the data file. "-o -" writes it to
// standard output; a FIFO or device node is written through, never replaced.
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
                 "           - for standard output\n");
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
    if (!toStdout
        && QDir::cleanPath(QFileInfo(output).absoluteFilePath()) == QDir::cleanPath(QFileInfo(input).absoluteFilePath())) {
        std::fprintf(stderr, "zb740-cli: %s: the export would replace its own data file\n", qPrintable(input));
        return 2;
    }

    auto record = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    if (const Status r = DataFile::load(input, *record, scale); !r.ok())
        return fail(input, r.message());

    if (toStdout) {
        QFile out;
        if (!out.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered))
            return fail(QStringLiteral("standard output"), out.errorString());
        if (const Status s = RunFiles::writeExport(out, RunView::of(*record)); !s.ok())
            return fail(QStringLiteral("standard output"), s.message());
        return 0;
    }
    if (const Status s = RunFiles::saveExport(output, RunView::of(*record)); !s.ok())
        return fail(output, s.message());
    return 0;
}
