// zb740-cli report FILE.AsmDat -o OUT.pdf: the printed test report of a data
// file, as the logger window prints it, written as a one-page A4 PDF. A FIFO
// or device node named by -o is written through, never replaced.
#include "CliCommands.h"

#include "base/DurableFile.h"
#include "base/LocalTime.h"
#include "data/DataFile.h"
#include "plot/PlotScale.h"
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

namespace {

constexpr int kGains[] = {1, 2, 5, 10, 20, 50, 100, 200, 500};
constexpr int kOffsets[] = {0, 2, 5, -2, -5};

void printUsage(FILE* out)
{
    std::fprintf(out,
                 "Usage: zb740-cli report FILE.AsmDat -o OUT.pdf [--curves LIST] [--gain G --offset O]\n"
                 "                        [--date \"YYYY-MM-DD HH:MM\"]\n\n"
                 "Writes the test report of the data file as the logger window prints it:\n"
                 "one A4 portrait page, printable area 10 mm inside every edge.\n"
                 "  -o OUT.pdf    the PDF to write (replaced only once complete)\n"
                 "  --curves LIST curves to print, a comma list of AIR, WB, DP, K/IR, RH\n"
                 "                (default: all five)\n"
                 "  --gain G      value units per division: 1, 2, 5, 10, 20, 50, 100, 200, 500\n"
                 "  --offset O    divisions below zero at the bottom line: 0, 2, 5, -2, -5\n"
                 "                (both default to the scale stored in the file)\n"
                 "  --date D      the printed date, \"YYYY-MM-DD HH:MM\" local time (default: now)\n");
}

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

int usageError(const char* what)
{
    if (what)
        std::fprintf(stderr, "zb740-cli report: %s\n", what);
    printUsage(stderr);
    return 2;
}

} // namespace

int cli::runReport(const QStringList& args)
{
    QString input, output;
    std::optional<QString> curves, gain, offset, date;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            printUsage(stdout);
            return 0;
        }
        // "--name=value" and "--name value" alike.
        std::optional<QString> inlineValue;
        if (a.startsWith(QLatin1String("--")) && a.contains(QLatin1Char('='))) {
            inlineValue = a.mid(a.indexOf(QLatin1Char('=')) + 1);
            a = a.left(a.indexOf(QLatin1Char('=')));
        }
        auto take = [&](std::optional<QString>& slot) -> bool {
            if (slot)
                return false;  // given twice
            if (inlineValue) {
                slot = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            slot = args[++i];
            return true;
        };
        if (a == QLatin1String("-o") && !inlineValue) {
            if (!output.isEmpty() || i + 1 >= args.size() || args[i + 1].isEmpty())
                return usageError("-o needs one output file");
            output = args[++i];
        } else if (a == QLatin1String("--curves")) {
            if (!take(curves))
                return usageError("--curves needs one list");
        } else if (a == QLatin1String("--gain")) {
            if (!take(gain))
                return usageError("--gain needs one value");
        } else if (a == QLatin1String("--offset")) {
            if (!take(offset))
                return usageError("--offset needs one value");
        } else if (a == QLatin1String("--date")) {
            if (!take(date))
                return usageError("--date needs one value");
        } else if (a.startsWith(QLatin1Char('-')) || !input.isEmpty()) {
            return usageError(nullptr);
        } else {
            input = args[i];
        }
    }
    if (input.isEmpty())
        return usageError("no data file given");
    if (output.isEmpty())
        return usageError("no output file given (-o OUT.pdf)");

    std::array<bool, kChannelCount> shown {true, true, true, true, true};
    if (curves) {
        const auto parsed = parseCurves(*curves);
        if (!parsed)
            return usageError("--curves takes a comma list of AIR, WB, DP, K/IR, RH");
        shown = *parsed;
    }
    std::optional<int> gainValue, offsetValue;
    if (gain && !(gainValue = parseChoice(*gain, kGains)))
        return usageError("--gain is one of 1, 2, 5, 10, 20, 50, 100, 200, 500");
    if (offset && !(offsetValue = parseChoice(*offset, kOffsets)))
        return usageError("--offset is one of 0, 2, 5, -2, -5");
    int64_t printedAt = QDateTime::currentSecsSinceEpoch();
    if (date) {
        const auto parsed = parseDate(*date);
        if (!parsed)
            return usageError("--date takes \"YYYY-MM-DD HH:MM\"");
        printedAt = *parsed;
    }
    if (QDir::cleanPath(QFileInfo(output).absoluteFilePath()) == QDir::cleanPath(QFileInfo(input).absoluteFilePath()))
        return usageError("the report would replace its own data file");

    auto record = std::make_unique<ReviewRecord>();
    YScaleValues scale;
    const Status r = DataFile::load(input, *record, scale);
    if (r.code() == Status::Code::InvalidFormat || r.code() == Status::Code::Damaged) {
        std::fprintf(stderr, "zb740-cli: %s: %s\n", qPrintable(input), kInvalidFormatText);
        return 1;
    }
    if (!r.ok()) {
        std::fprintf(stderr, "zb740-cli: %s: %s\n", qPrintable(input), qPrintable(r.message()));
        return 1;
    }
    if (record->count <= 0) {
        // The logger window prints nothing for an empty set either.
        std::fprintf(stderr, "zb740-cli: %s: the data file holds no samples, so there is no report\n",
                     qPrintable(input));
        return 1;
    }
    // A scale no graph can draw prints with the default one, as the logger
    // window shows it; a note says so unless both options replace it.
    if (!plot::isUsableScale(scale)) {
        if (!(gainValue && offsetValue))
            std::fprintf(stderr, "zb740-cli: %s: %s\n", qPrintable(input), qPrintable(plot::unusableScaleNote(scale)));
        scale = YScaleValues {};
    }
    if (gainValue)
        scale.gain = *gainValue;
    if (offsetValue)
        scale.offset = *offsetValue;

    const ReportInput report = ReportInputs::ofReviewRecord(*record, shown, scale);
    // A FIFO or a device node named by -o is written through, as export
    // writes it.
    QByteArray pdf;
    Status s = ReportPdf::render(output, report, printedAt, pdf);
    if (s.ok())
        s = DurableFile::saveOrWriteThrough(output, pdf).prefixed(ReportPdf::failedPrefix(output));
    if (!s.ok()) {
        std::fprintf(stderr, "zb740-cli: %s\n", qPrintable(s.message()));
        return 1;
    }
    return 0;
}
