// zb740-cli report FILE.AsmDat -o OUT.pdf: the printed test report of a data
// file, as the logger window prints it, written as a one-page A4 PDF. A FIFO
// or device node named by -o is written through, never replaced; "-o -"
// writes it to standard output.
#include "CliCommands.h"
#include "CliOutput.h"

#include "base/CommandLine.h"
#include "base/LocalTime.h"
#include "data/AlarmLimitSet.h"
#include "data/DataFile.h"
#include "plot/PlotScale.h"
#include "report/ReportFacts.h"
#include "report/ReportInput.h"
#include "report/ReportPdf.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

namespace {

constexpr int kGains[] = {1, 2, 5, 10, 20, 50, 100, 200, 500};
constexpr int kOffsets[] = {0, 2, 5, -2, -5};

const char kUsage[] = "Usage: zb740-cli report FILE.AsmDat -o OUT.pdf [--curves LIST] [--gain G --offset O]\n"
                      "                        [--date \"YYYY-MM-DD HH:MM\"] [--layout classic|full]\n"
                      "                        [--operator TEXT] [--note TEXT] [--limit air:5..30 ...]\n\n"
                      "Writes the test report of the data file as the logger window prints it:\n"
                      "one A4 portrait page, printable area 10 mm inside every edge (the full\n"
                      "layout: 15 mm).\n"
                      "  -o OUT.pdf    the PDF to write (replaced only once complete); - for\n"
                      "                standard output\n"
                      "  --curves LIST curves to print, a comma list of AIR, WB, DP, K/IR, RH\n"
                      "                (default: all five)\n"
                      "  --gain G      value units per division: 1, 2, 5, 10, 20, 50, 100, 200, 500\n"
                      "  --offset O    divisions below zero at the bottom line: 0, 2, 5, -2, -5\n"
                      "                (both default to the scale stored in the file)\n"
                      "  --date D      the printed date, \"YYYY-MM-DD HH:MM\" local time (default: now)\n"
                      "  --layout L    classic (the default: the graph in the corner) or full (the\n"
                      "                test report with the run's facts, statistics, limits and the\n"
                      "                data's SHA-256)\n"
                      "  --operator T  the operator named on the full page\n"
                      "  --note T      a line of the notes on the full page; may repeat\n"
                      "  --limit C:LO..HI  the limits a channel (air, wet_bulb, dew_point, k_ir, rh) is judged\n"
                      "                against on the full page, in the file's unit; may repeat\n"
                      "                (default: none)\n";

std::optional<std::array<bool, kChannelCount>> parseCurves(const QString& list)
{
    std::array<bool, kChannelCount> shown {};
    bool any = false;
    for (const QString& part : list.split(QLatin1Char(','))) {
        const QString name = part.trimmed();
        int found = -1;
        for (int c = 0; c < kChannelCount; ++c) {
            if (name.compare(QLatin1String(kChannelLegend[c]), Qt::CaseInsensitive) == 0)
                found = c;
        }
        if (found < 0)
            return std::nullopt;
        shown[found] = true;
        any = true;
    }
    if (!any)
        return std::nullopt;
    return shown;
}

template <size_t N> std::optional<int> parseChoice(const QString& text, const int (&choices)[N])
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    for (int c : choices) {
        if (c == v)
            return v;
    }
    return std::nullopt;
}

// "YYYY-MM-DD HH:MM" in local time.
std::optional<int64_t> parseDate(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2}) (\\d{2}):(\\d{2})$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    LocalTime::Fields f;
    f.year = m.captured(1).toInt();
    f.month = m.captured(2).toInt();
    f.day = m.captured(3).toInt();
    f.hour = m.captured(4).toInt();
    f.minute = m.captured(5).toInt();
    f.second = 0;
    if (!QDate::isValid(f.year, f.month, f.day) || f.hour > 23 || f.minute > 59)
        return std::nullopt;
    return LocalTime::join(f);
}

} // namespace

int cli::runReport(const QStringList& args)
{
    CommandLine line(QStringLiteral("zb740-cli report"), QLatin1String(kUsage), versionLine());
    line.addValue(QStringLiteral("o"), QStringLiteral("OUT.pdf"), CommandLine::Once | CommandLine::NotEmpty);
    line.addValue(QStringLiteral("curves"), QStringLiteral("LIST"));
    line.addValue(QStringLiteral("gain"), QStringLiteral("G"));
    line.addValue(QStringLiteral("offset"), QStringLiteral("O"));
    line.addValue(QStringLiteral("date"), QStringLiteral("D"));
    line.addValue(QStringLiteral("layout"), QStringLiteral("L"));
    line.addValue(QStringLiteral("operator"), QStringLiteral("TEXT"));
    line.addValue(QStringLiteral("note"), QStringLiteral("TEXT"), 0);
    line.addValue(QStringLiteral("limit"), QStringLiteral("C:LO..HI"), 0);
    if (const int status = line.process(args); status >= 0)
        return status;
    const QStringList files = line.arguments();
    if (files.isEmpty())
        return line.usageError(QStringLiteral("no data file given"));
    if (files.size() > 1)
        return line.usageError(QStringLiteral("unexpected argument '%1'").arg(files[1]));
    const QString input = files.first();
    const std::optional<QString> output = line.value(QStringLiteral("o"));
    if (!output)
        return line.usageError(QStringLiteral("no output file given (-o OUT.pdf)"));
    const std::optional<QString> curves = line.value(QStringLiteral("curves")), gain = line.value(QStringLiteral("gain")),
                                 offset = line.value(QStringLiteral("offset")), date = line.value(QStringLiteral("date"));

    std::array<bool, kChannelCount> shown {true, true, true, true, true};
    if (curves) {
        const auto parsed = parseCurves(*curves);
        if (!parsed)
            return line.usageError(QStringLiteral("--curves takes a comma list of AIR, WB, DP, K/IR, RH"));
        shown = *parsed;
    }
    std::optional<int> gainValue, offsetValue;
    if (gain && !(gainValue = parseChoice(*gain, kGains)))
        return line.usageError(QStringLiteral("--gain is one of 1, 2, 5, 10, 20, 50, 100, 200, 500"));
    if (offset && !(offsetValue = parseChoice(*offset, kOffsets)))
        return line.usageError(QStringLiteral("--offset is one of 0, 2, 5, -2, -5"));
    int64_t printedAt = QDateTime::currentSecsSinceEpoch();
    if (date) {
        const auto parsed = parseDate(*date);
        if (!parsed)
            return line.usageError(QStringLiteral("--date takes \"YYYY-MM-DD HH:MM\""));
        printedAt = *parsed;
    }
    ReportOptions options;
    if (const std::optional<QString> layout = line.value(QStringLiteral("layout"))) {
        if (*layout == QLatin1String("full"))
            options.style = ReportStyle::Full;
        else if (*layout != QLatin1String("classic"))
            return line.usageError(QStringLiteral("--layout is classic or full"));
    }
    options.operatorName = line.value(QStringLiteral("operator")).value_or(QString());
    options.notes = line.values(QStringLiteral("note")).join(QLatin1Char('\n'));
    // The same limits as record takes (a side may stay open); channels
    // without one are not judged.
    AlarmLimits given = noAlarmLimits();
    for (const QString& text : line.values(QStringLiteral("limit"))) {
        QString error;
        if (!applyLimitOption(text, given, error))
            return line.usageError(QStringLiteral("--limit: ") + error);
    }
    ReportLimits limits {};
    const AlarmLimits open = noAlarmLimits();
    for (size_t c = 0; c < limits.size(); ++c) {
        if (given.low[c] != open.low[c] || given.high[c] != open.high[c])
            limits[c] = LimitPair {double(given.low[c]), double(given.high[c])};
    }
    if (!isStandardOutput(*output)
        && QDir::cleanPath(QFileInfo(*output).absoluteFilePath())
               == QDir::cleanPath(QFileInfo(input).absoluteFilePath()))
        return line.usageError(QStringLiteral("the report would replace its own data file"));

    auto record = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    const Status r = DataFile::load(input, *record, scale);
    if (r.code() == Status::Code::InvalidFormat || r.code() == Status::Code::Damaged)
        return fail(input, QLatin1String(kInvalidFormatText));
    if (!r.ok())
        return fail(input, r.message());
    // The logger window prints nothing for an empty set either.
    if (record->count <= 0)
        return fail(input, QStringLiteral("the data file holds no samples, so there is no report"));
    // A scale no graph can draw prints with the default one, as the logger
    // window shows it; a note says so unless both options replace it.
    if (!plot::isUsableScale(scale)) {
        if (!(gainValue && offsetValue))
            (void)fail(input, plot::unusableScaleNote(scale));
        scale = YScaleValues {};
    }
    if (gainValue)
        scale.gain = *gainValue;
    if (offsetValue)
        scale.offset = *offsetValue;

    ReportInput report = ReportInputs::ofReviewRecord(*record, shown, scale);
    report.options = options;
    report.limits = limits;
    // The data's hash is of the file's bytes as they are.
    ReportInputs::setDataFile(report, input);
    // An empty graph is never silent.
    if (const std::optional<QString> note = ReportFacts::offScaleNote(report))
        (void)fail(input, *note);
    // A FIFO or a device node named by -o is written through, as export
    // writes it; "-" is standard output.
    const QString target = shownOutput(*output);
    QByteArray pdf;
    Status s = ReportPdf::render(target, report, printedAt, pdf,
                                 options.style == ReportStyle::Full ? ReportPdf::fullLayout() : ReportPdf::a4Layout());
    if (s.ok())
        s = writeOutput(*output, pdf).prefixed(ReportPdf::failedPrefix(target));
    if (!s.ok())
        return error(s.message());
    return 0;
}
