// zb740-cli export FILE.AsmDat [--format tsv|csv|jsonl] [--utc] [-o OUT]:
// the samples of a data file. tsv is the text export, the same bytes Save
// writes beside the data file; csv and jsonl are the forms spreadsheets and
// scripts read (data/SampleExport.h). "-o -" writes to standard output; a
// FIFO or device node is written through, never replaced.
#include "CliCommands.h"
#include "CliOutput.h"

#include "base/CommandLine.h"
#include "data/DataFile.h"
#include "data/RunFiles.h"
#include "data/SampleExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>

namespace {

const char kUsage[] =
    "Usage: zb740-cli export FILE.AsmDat [--format tsv|csv|jsonl] [--utc] [-o OUT]\n\n"
    "Writes the samples of the data file.\n"
    "  --format tsv    the tab-separated UTF-16 .csv that Save writes beside each\n"
    "                  run, byte for byte: for the original tools and macros\n"
    "                  (the default)\n"
    "  --format csv    UTF-8, comma-separated, ISO 8601 times: for spreadsheets\n"
    "                  and pandas; columns time,utc_offset,air_C,wet_bulb_C,\n"
    "                  dew_point_C,k_ir_C,rh_percent (_F for a file in degrees F)\n"
    "  --format jsonl  one JSON object per sample: for scripts (jq, Python)\n"
    "  --utc           times in UTC rather than local time (csv and jsonl)\n"
    "  -o OUT          output file, - for standard output (default: beside the\n"
    "                  data file, FILE.csv for tsv, FILE.utf8.csv for csv,\n"
    "                  FILE.jsonl for jsonl)\n"
    "A K/IR reading the meter did not have is an empty field in csv, null in\n"
    "jsonl.\n";

// The default output beside the data file: never the tab-separated .csv
// for another format.
QString defaultOutput(const QString& input, SampleExport::Format format)
{
    const QString csv = RunFiles::exportPathFor(input);
    switch (format) {
    case SampleExport::Format::Tsv:
        return csv;
    case SampleExport::Format::Csv:
        return csv.left(csv.size() - 4) + QStringLiteral(".utf8.csv");
    case SampleExport::Format::Jsonl:
        return csv.left(csv.size() - 4) + QStringLiteral(".jsonl");
    }
    return csv;
}

} // namespace

int cli::runExport(const QStringList& args)
{
    CommandLine line(QStringLiteral("zb740-cli export"), QLatin1String(kUsage), versionLine());
    line.addValue(QStringLiteral("o"), QStringLiteral("OUT"), CommandLine::Once | CommandLine::NotEmpty);
    line.addValue(QStringLiteral("format"), QStringLiteral("FORMAT"), CommandLine::Once | CommandLine::NotEmpty);
    line.addSwitch(QStringLiteral("utc"));
    if (const int status = line.process(args); status >= 0)
        return status;
    const QStringList files = line.arguments();
    if (files.isEmpty())
        return line.usageError(QStringLiteral("no data file given"));
    if (files.size() > 1)
        return line.usageError(QStringLiteral("unexpected argument '%1'").arg(files[1]));
    SampleExport::Format format = SampleExport::Format::Tsv;
    if (const auto name = line.value(QStringLiteral("format"))) {
        const auto named = SampleExport::formatNamed(*name);
        if (!named)
            return line.usageError(QStringLiteral("--format takes tsv, csv or jsonl, not '%1'").arg(*name));
        format = *named;
    }
    const bool utc = line.isSet(QStringLiteral("utc"));
    if (utc && format == SampleExport::Format::Tsv)
        return line.usageError(QStringLiteral("--utc goes with --format csv or jsonl: the tsv export keeps the "
                                              "local times Save writes"));
    const QString input = files.first();
    const QString output = line.value(QStringLiteral("o")).value_or(defaultOutput(input, format));

    const bool toStdout = isStandardOutput(output);
    if (!toStdout
        && QDir::cleanPath(QFileInfo(output).absoluteFilePath()) == QDir::cleanPath(QFileInfo(input).absoluteFilePath()))
        return fail(input, QStringLiteral("the export would replace its own data file"), 2);

    auto record = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    if (const Status r = DataFile::load(input, *record, scale); !r.ok())
        return fail(input, r.message());

    const RunView run = RunView::of(*record);
    if (format == SampleExport::Format::Tsv) {
        if (toStdout) {
            QFile out;
            Status s = openStandardOutput(out);
            if (s.ok())
                s = RunFiles::writeExport(out, run);
            if (!s.ok())
                return fail(shownOutput(output), s.message());
            return 0;
        }
        if (const Status s = RunFiles::saveExport(output, run); !s.ok())
            return fail(output, s.message());
        return 0;
    }
    if (const Status s = writeOutput(output, SampleExport::bytes(run, format, utc)); !s.ok())
        return fail(shownOutput(output), s.message());
    return 0;
}
