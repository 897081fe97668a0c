// zb740-cli decode: runs received buffers through the program's frame
// parser and the recorder's fold of readings, and prints what it makes of
// each, one JSON line per buffer.
#include "CliCommands.h"
#include "CliOutput.h"

#include "base/CommandLine.h"
#include "settings/ProgramPaths.h"
#include "settings/IniFile.h"
#include "run/RunState.h"
#include "settings/Settings.h"
#include "data/ReadingStore.h"
#include "link/MeterProtocol.h"
#include "recorder/ReadingFold.h"

#include <QTextStream>
#include <charconv>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace {

QString usage()
{
    return QStringLiteral("Usage: zb740-cli decode [--config FILE] [HEX ...]\n"
                          "\n"
                          "Decodes received meter buffers as the program does, in order, through one\n"
                          "decoder. Each HEX argument (spaces allowed) is one buffer; without arguments\n"
                          "each non-empty line of standard input is one. Prints one JSON line per buffer.\n"
                          "\n"
                          "  --config FILE  logger configuration file with the alarm limits\n"
                          "                 (default %1)\n"
                          "  --help         show this help\n")
        .arg(ProgramPaths::defaults().configFile);
}

std::optional<QByteArray> parseHex(const QString& text)
{
    QByteArray digits;
    for (QChar c : text) {
        if (c.isSpace())
            continue;
        if (!std::isxdigit(c.unicode() < 128 ? static_cast<unsigned char>(c.unicode()) : 'x'))
            return std::nullopt;
        digits.append(static_cast<char>(c.unicode()));
    }
    if (digits.size() % 2 != 0)
        return std::nullopt;
    return QByteArray::fromHex(digits);
}

AlarmLimits readLimits(const QString& path)
{
    const settings::LimitTexts texts = settings::readConfiguredLimitTexts(IniFile(path));
    return alarmLimitsFromTexts(texts.high, texts.low);
}

// Shortest text that reads back as the same float; JSON has no NaN or
// infinity, so those print as null.
std::string jsonFloat(float v)
{
    if (!std::isfinite(v))
        return "null";
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

template <typename T, typename F>
std::string jsonArray(const T& items, F&& item)
{
    std::string out = "[";
    for (int c = 0; c < kChannelCount; ++c) {
        if (c)
            out += ',';
        out += item(items[c]);
    }
    return out + ']';
}

class Decoder {
public:
    explicit Decoder(const AlarmLimits& limits)
        : m_live(std::make_unique<LiveSeries>()), m_fold(m_run, *m_live), m_limits(limits)
    {
    }

    std::string decode(const QByteArray& buffer)
    {
        const std::optional<meter::MeterReading> reading = meter::parseFrame(buffer);
        if (!reading) {
            m_fold.foldInvalid();
            return "{\"valid\":false}";
        }
        const ReadingUpdate u = m_fold.fold(*reading, 0, m_limits);
        const ChannelValues& v = u.values;
        const MeterReadout& shown = m_fold.readout();
        const DisplayTexts& d = shown.lcd;
        const MinMaxTexts& mm = shown.minMax;
        auto str = [](const QString& s) { return cli::jsonString(s); };
        auto flag = [](bool b) { return std::string(b ? "true" : "false"); };
        std::string out = "{\"valid\":true,\"values\":" + jsonArray(v, jsonFloat);
        out += ",\"fahrenheit\":" + flag(m_run.m_bFahrenheit);
        out += ",\"unit\":" + cli::jsonString(m_run.m_strUnit);
        out += ",\"battery\":" + cli::jsonString(shown.battery);
        out += ",\"backlight\":" + flag(d.backlight);
        out += ",\"lcd\":{\"value1\":" + str(d.value1) + ",\"value2\":" + str(d.value2) + ",\"value3\":" + str(d.value3)
            + ",\"unit\":" + str(d.unitMark) + ",\"maxMinA\":" + str(d.maxMinA) + ",\"maxMinB\":" + str(d.maxMinB)
            + ",\"holdA\":" + str(d.holdA) + ",\"holdB\":" + str(d.holdB) + ",\"recordA\":" + str(d.recordA)
            + ",\"recordB\":" + str(d.recordB) + ",\"link\":" + str(d.link) + ",\"wbDp\":" + str(d.wbDp)
            + ",\"mode\":" + str(d.mode) + "}";
        out += ",\"max\":" + jsonArray(mm.max, str);
        out += ",\"min\":" + jsonArray(mm.min, str);
        out += ",\"hiAlarm\":" + jsonArray(shown.alarms.high, flag);
        out += ",\"lowAlarm\":" + jsonArray(shown.alarms.low, flag);
        return out + "}";
    }

private:
    RunState m_run;
    std::unique_ptr<LiveSeries> m_live;
    ReadingFold m_fold;
    AlarmLimits m_limits;
};

} // namespace

int cli::runDecode(const QStringList& args)
{
    // --config may be given again: the last one counts.
    CommandLine options(QStringLiteral("zb740-cli decode"), usage(), cli::versionLine());
    options.addValue(QStringLiteral("config"), QStringLiteral("FILE"), 0);
    if (const int status = options.process(args); status >= 0)
        return status;
    const QString config = options.value(QStringLiteral("config")).value_or(ProgramPaths::defaults().configFile);
    const QStringList hexArgs = options.arguments();
    Decoder decoder(readLimits(config));

    // A buffer that is not hex is a usage error, named by where it came from.
    auto run = [&](const QString& hex, const QString& where) {
        const std::optional<QByteArray> buffer = parseHex(hex);
        if (!buffer) {
            (void)cli::error(QStringLiteral("%1 is not hex digits: '%2'").arg(where, hex), 2);
            return false;
        }
        std::printf("%s\n", decoder.decode(*buffer).c_str());
        return true;
    };

    if (!hexArgs.isEmpty()) {
        for (qsizetype i = 0; i < hexArgs.size(); ++i) {
            if (!run(hexArgs[i], QStringLiteral("argument %1").arg(i + 1)))
                return 2;
        }
        return 0;
    }
    QTextStream in(stdin);
    int lineNumber = 0;
    QString line;
    while (in.readLineInto(&line)) {
        ++lineNumber;
        if (line.trimmed().isEmpty())
            continue;
        if (!run(line, QStringLiteral("standard input: line %1").arg(lineNumber)))
            return 2;
        std::fflush(stdout);
    }
    return 0;
}
