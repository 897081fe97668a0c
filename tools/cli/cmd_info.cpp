// zb740-cli info FILE.AsmDat: one JSON line describing a data file.
#include "CliCommands.h"
#include "CliOutput.h"

#include "base/CommandLine.h"
#include "data/DataFile.h"

#include <cstdio>
#include <memory>

namespace {

const char kUsage[] = "Usage: zb740-cli info FILE.AsmDat\n\n"
                      "Prints one JSON line: count, fahrenheit, unit, start (local time),\n"
                      "interval (seconds), gain and offset of the vertical scale.\n";

} // namespace

int cli::runInfo(const QStringList& args)
{
    CommandLine line(QStringLiteral("zb740-cli info"), QLatin1String(kUsage), versionLine());
    if (const int status = line.process(args); status >= 0)
        return status;
    const QStringList files = line.arguments();
    if (files.isEmpty())
        return line.usageError(QStringLiteral("no data file given"));
    if (files.size() > 1)
        return line.usageError(QStringLiteral("unexpected argument '%1'").arg(files[1]));
    const QString path = files.first();
    auto record = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    if (const Status r = DataFile::load(path, *record, scale); !r.ok())
        return fail(path, r.message());
    char start[64];
    std::snprintf(start, sizeof start, "%04d-%02d-%02dT%02d:%02d:%02d", record->year, record->month, record->day,
                  record->hour, record->minute, record->second);
    std::printf("{\"count\":%d,\"fahrenheit\":%s,\"unit\":%s,\"start\":\"%s\",\"interval\":%d,\"gain\":%d,"
                "\"offset\":%d}\n",
                record->count, record->unitFlag ? "true" : "false", jsonString(record->unitText).c_str(), start,
                record->interval, scale.gain, scale.offset);
    return 0;
}
