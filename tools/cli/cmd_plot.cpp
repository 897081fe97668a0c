// zb740-cli plot FILE.AsmDat -o OUT.png [--size WxH] [--curves LIST]
//                [--gain G --offset O]
// The logger window's plot of a data file as a PNG, drawn by the window's
// own renderer at a client size of W x H, as the window shows the file right
// after loading it, the cursor never moved. The image is made in memory and
// saved as every file of the program is (DurableFile); a FIFO or device node
// named by -o is written through, never replaced.
#include "CliCommands.h"

#include "base/DurableFile.h"
#include "data/DataFile.h"
#include "logger/LoggerPlotRenderer.h"
#include "logger/LoggerSession.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

constexpr int kDefaultWidth = 946, kDefaultHeight = 598;
// The plot needs at least a pixel inside its margins; the top end keeps the
// three images of the picture within reason.
constexpr int kMinWidth = 368, kMinHeight = 152, kMaxSide = 4096;

void printUsage(FILE* out)
{
    std::fprintf(out,
                 "Usage: zb740-cli plot FILE.AsmDat -o OUT.png [--size WxH] [--curves LIST]\n"
                 "                      [--gain G --offset O]\n\n"
                 "Writes the logger window's plot of the data file as a PNG image, as the\n"
                 "window shows it right after loading the file.\n"
                 "  -o OUT.png       the image to write\n"
                 "  --size WxH       client size of the window (default 946x598; at least\n"
                 "                   368x152, at most 4096x4096)\n"
                 "  --curves LIST    comma list of AIR, WB, DP, K/IR, RH (default all five)\n"
                 "  --gain G         Y gain per division: 1, 2, 5, 10, 20, 50, 100, 200, 500\n"
                 "  --offset O       Y offset in divisions: 0, 2, 5, -2, -5\n"
                 "                   (gain and offset replace the file's own scale)\n");
}

int usageError(const char* why)
{
    std::fprintf(stderr, "zb740-cli plot: %s\n", why);
    printUsage(stderr);
    return 2;
}

std::optional<int> tableValue(const QString& text, auto table)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok)
        return std::nullopt;
    for (int t : table)
        if (t == v)
            return v;
    return std::nullopt;
}

} // namespace

int cli::runPlot(const QStringList& args)
{
    QString input, output;
    QSize size(kDefaultWidth, kDefaultHeight);
    CurveSet curves {true, true, true, true, true};
    std::optional<int> gain, offset;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            printUsage(stdout);
            return 0;
        }
        const bool takesValue = a == QLatin1String("-o") || a == QLatin1String("--size")
                                || a == QLatin1String("--curves") || a == QLatin1String("--gain")
                                || a == QLatin1String("--offset");
        if (takesValue && i + 1 >= args.size())
            return usageError("an option without its value");
        if (a == QLatin1String("-o")) {
            if (!output.isEmpty())
                return usageError("-o given twice");
            output = args[++i];
        } else if (a == QLatin1String("--size")) {
            static const QRegularExpression form(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
            const QRegularExpressionMatch m = form.match(args[++i]);
            if (!m.hasMatch())
                return usageError("--size takes WIDTHxHEIGHT, for example 946x598");
            size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
            if (size.width() < kMinWidth || size.height() < kMinHeight || size.width() > kMaxSide
                || size.height() > kMaxSide)
                return usageError("--size out of range (368x152 to 4096x4096)");
        } else if (a == QLatin1String("--curves")) {
            curves.fill(false);
            const QStringList names = args[++i].split(QLatin1Char(','));
            for (const QString& name : names) {
                int found = -1;
                for (int c = 0; c < kChannelCount; ++c)
                    if (name.trimmed().compare(QLatin1String(kChannelLegend[size_t(c)]), Qt::CaseInsensitive) == 0)
                        found = c;
                if (found < 0)
                    return usageError("--curves takes a comma list of AIR, WB, DP, K/IR, RH");
                curves[size_t(found)] = true;
            }
        } else if (a == QLatin1String("--gain")) {
            gain = tableValue(args[++i], kGainTable);
            if (!gain)
                return usageError("--gain must be one of 1, 2, 5, 10, 20, 50, 100, 200, 500");
        } else if (a == QLatin1String("--offset")) {
            offset = tableValue(args[++i], kOffsetTable);
            if (!offset)
                return usageError("--offset must be one of 0, 2, 5, -2, -5");
        } else if (a.startsWith(QLatin1Char('-')) || !input.isEmpty()) {
            return usageError(qPrintable(QStringLiteral("unexpected argument '%1'").arg(a)));
        } else {
            input = a;
        }
    }
    if (input.isEmpty())
        return usageError("no data file given");
    if (output.isEmpty())
        return usageError("no output image given (-o OUT.png)");
    if (QDir::cleanPath(QFileInfo(output).absoluteFilePath()) == QDir::cleanPath(QFileInfo(input).absoluteFilePath()))
        return usageError("the image would replace its own data file");

    // The file goes through the window's own load and append.
    auto record = std::make_unique<ReviewRecord>();
    auto session = std::make_unique<LoggerSession>(*record);
    session->m_bLoggerOpen = true;
    if (const Status s = session->load(input); !s.ok()) {
        std::fprintf(stderr, "zb740-cli: %s: %s\n", qPrintable(input), qPrintable(s.message()));
        return 1;
    }
    // The file's scale set aside for the default one, unless both options
    // replace it anyway: a note, and the plot is drawn.
    if (!session->loadNote().isEmpty() && !(gain && offset))
        std::fprintf(stderr, "zb740-cli: %s: %s\n", qPrintable(input), qPrintable(session->loadNote()));
    (void)session->appendPending();
    loggerplot::resetDisplay(session->display);
    session->display.showCurve = curves;
    YScaleValues scale = session->scale();
    if (gain)
        scale.gain = *gain;
    if (offset)
        scale.offset = *offset;
    session->setScale(scale);

    // Text and pictures need the GUI library, never a display: the
    // offscreen platform unless one is chosen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "zb740-cli";
    static char* argv[] = {name, nullptr};
    const QGuiApplication app(argc, argv);

    auto frame = std::make_unique<loggerplot::Frame>();
    LoggerPlotRenderer renderer;
    layoutAndRender(*session, size, *frame, renderer);

    QBuffer png;
    png.open(QIODevice::WriteOnly);
    Status saved = renderer.picture().save(&png, "PNG")
                     ? DurableFile::saveOrWriteThrough(output, png.data())
                     : Status::failure(Status::Code::Failed, QStringLiteral("the PNG image could not be made"));
    if (!saved.ok()) {
        std::fprintf(stderr, "zb740-cli: cannot write %s: %s\n", qPrintable(output), qPrintable(saved.message()));
        return 1;
    }
    return 0;
}
