// zb740-cli info FILE.AsmDat [--stats]: one JSON line describing a data
// file; with --stats also each channel's lowest and highest value with its
// time, and its mean.
#include "CliCommands.h"
#include "CliOutput.h"

#include "base/CommandLine.h"
#include "base/LocalTime.h"
#include "data/DataFile.h"
#include "data/RunStats.h"
#include "data/RunView.h"
#include "data/SampleExport.h"

#include <charconv>
#include <cstdio>
#include <memory>
#include <string>

namespace {

const char kUsage[] =
    "Usage: zb740-cli info FILE.AsmDat [--stats]\n\n"
    "Prints one JSON line: count, fahrenheit, unit, start (local time),\n"
    "interval (seconds), gain and offset of the vertical scale, and end (the\n"
    "local time of the last sample; null without samples).\n"
    "  --stats   adds \"stats\": for each channel (air, wet_bulb, dew_point,\n"
    "            k_ir, rh) min and max with the local time of the first sample\n"
    "            that has them (min_time, max_time) and mean, in the file's\n"
    "            unit, in double precision over the values as stored; a K/IR\n"
    "            reading the meter did not have takes no part (all null when\n"
    "            none is left)\n";

// A local time as the start is written: "2026-12-07T23:45:55".
std::string localTime(int64_t t)
{
    return '"' + LocalTime::format(t, "%Y-%m-%dT%H:%M:%S").toStdString() + '"';
}

// The shortest text that reads back as the same double.
std::string number(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string statsJson(const RunView& run)
{
    const RunStats stats = runStats(run);
    std::string out = ",\"stats\":{";
    for (int c = 0; c < kChannelCount; ++c) {
        const ChannelStats& s = stats[size_t(c)];
        if (c > 0)
            out += ',';
        out += '"';
        out += SampleExport::channelKey(c);
        out += "\":";
        if (s.count == 0) {
            out += "{\"min\":null,\"min_time\":null,\"max\":null,\"max_time\":null,\"mean\":null}";
            continue;
        }
        out += "{\"min\":" + number(s.min) + ",\"min_time\":" + localTime(run.timeOf(s.minSample))
            + ",\"max\":" + number(s.max) + ",\"max_time\":" + localTime(run.timeOf(s.maxSample))
            + ",\"mean\":" + number(s.mean) + '}';
    }
    return out + '}';
}

} // namespace

int cli::runInfo(const QStringList& args)
{
    CommandLine line(QStringLiteral("zb740-cli info"), QLatin1String(kUsage), versionLine());
    line.addSwitch(QStringLiteral("stats"));
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
    const RunView run = RunView::of(*record);
    const std::string end = run.count() > 0 ? localTime(run.timeOf(run.count() - 1)) : std::string("null");
    const std::string stats = line.isSet(QStringLiteral("stats")) ? statsJson(run) : std::string();
    std::printf("{\"count\":%d,\"fahrenheit\":%s,\"unit\":%s,\"start\":\"%s\",\"interval\":%d,\"gain\":%d,"
                "\"offset\":%d,\"end\":%s%s}\n",
                record->count, record->unitFlag ? "true" : "false", jsonString(record->unitText).c_str(), start,
                record->interval, scale.gain, scale.offset, end.c_str(), stats.c_str());
    return 0;
}
