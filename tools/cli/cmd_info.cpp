// zb740-cli info FILE.AsmDat: one JSON line describing a data file.
#include "CliCommands.h"

#include "data/DataFile.h"

#include <cstdio>
#include <memory>

namespace {

void printUsage(FILE* out)
{
    std::fprintf(out,
                 "Usage: zb740-cli info FILE.AsmDat\n\n"
                 "Prints one JSON line: count, fahrenheit, unit, start (local time),\n"
                 "interval (seconds), gain and offset of the vertical scale.\n");
}

// JSON string literal of a short text.
QByteArray jsonString(const QString& text)
{
    QByteArray out = "\"";
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c > 0x7E) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + '"';
}

} // namespace

int cli::runInfo(const QStringList& args)
{
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        printUsage(stdout);
        return 0;
    }
    if (args.size() != 1 || args.first().startsWith(QLatin1Char('-'))) {
        printUsage(stderr);
        return 2;
    }
    const QString path = args.first();
    auto record = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    if (const Status r = DataFile::load(path, *record, scale); !r.ok())
        return fail(path, r.message());
    char start[64];
    std::snprintf(start, sizeof start, "%04d-%02d-%02dT%02d:%02d:%02d", record->year, record->month, record->day,
                  record->hour, record->minute, record->second);
    std::printf("{\"count\":%d,\"fahrenheit\":%s,\"unit\":%s,\"start\":\"%s\",\"interval\":%d,\"gain\":%d,"
                "\"offset\":%d}\n",
                record->count, record->unitFlag ? "true" : "false", jsonString(record->unitText).constData(), start,
                record->interval, scale.gain, scale.offset);
    return 0;
}
