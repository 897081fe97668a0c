// zb740-cli plot FILE.AsmDat -o OUT.png [--size WxH] [--curves LIST]
//                [--gain G --offset O]
// The logger window's plot of a data file as a PNG, drawn by the window's
// own renderer at a client size of W x H, as the window shows the file right
// after loading it, the cursor never moved. The image is made in memory and
// saved as every file of the program is (DurableFile); a FIFO or device node
// named by -o is written through, never replaced; "-o -" writes it to
// standard output.
#include "CliCommands.h"
#include "CliOutput.h"

#include "base/CommandLine.h"
#include "data/DataFile.h"
#include "logger/LoggerChrome.h"
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

const char kUsage[] = "Usage: zb740-cli plot FILE.AsmDat -o OUT.png [--size WxH] [--curves LIST]\n"
                      "                      [--gain G --offset O]\n\n"
                      "Writes the logger window's plot of the data file as a PNG image, as the\n"
                      "window shows it right after loading the file.\n"
                      "  -o OUT.png       the image to write; - for standard output\n"
                      "  --size WxH       client size of the window (default 946x598; at least\n"
                      "                   368x152, at most 4096x4096)\n"
                      "  --curves LIST    comma list of AIR, WB, DP, K/IR, RH (default all five)\n"
                      "  --gain G         Y gain per division: 1, 2, 5, 10, 20, 50, 100, 200, 500\n"
                      "  --offset O       Y offset in divisions: 0, 2, 5, -2, -5\n"
                      "                   (gain and offset replace the file's own scale)\n";

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
    // Each option but -o may be given again: the last one counts.
    CommandLine line(QStringLiteral("zb740-cli plot"), QLatin1String(kUsage), versionLine());
    line.addValue(QStringLiteral("o"), QStringLiteral("OUT.png"));
    line.addValue(QStringLiteral("size"), QStringLiteral("WxH"), 0);
    line.addValue(QStringLiteral("curves"), QStringLiteral("LIST"), 0);
    line.addValue(QStringLiteral("gain"), QStringLiteral("G"), 0);
    line.addValue(QStringLiteral("offset"), QStringLiteral("O"), 0);
    if (const int status = line.process(args); status >= 0)
        return status;

    QSize size(kDefaultWidth, kDefaultHeight);
    if (const auto text = line.value(QStringLiteral("size"))) {
        static const QRegularExpression form(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
        const QRegularExpressionMatch m = form.match(*text);
        if (!m.hasMatch())
            return line.usageError(QStringLiteral("--size takes WIDTHxHEIGHT, for example 946x598"));
        size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
        if (size.width() < kMinWidth || size.height() < kMinHeight || size.width() > kMaxSide
            || size.height() > kMaxSide)
            return line.usageError(QStringLiteral("--size out of range (368x152 to 4096x4096)"));
    }
    CurveSet curves {true, true, true, true, true};
    if (const auto list = line.value(QStringLiteral("curves"))) {
        curves.fill(false);
        for (const QString& name : list->split(QLatin1Char(','))) {
            int found = -1;
            for (int c = 0; c < kChannelCount; ++c)
                if (name.trimmed().compare(QLatin1String(kChannelLegend[size_t(c)]), Qt::CaseInsensitive) == 0)
                    found = c;
            if (found < 0)
                return line.usageError(QStringLiteral("--curves takes a comma list of AIR, WB, DP, K/IR, RH"));
            curves[size_t(found)] = true;
        }
    }
    std::optional<int> gain, offset;
    if (const auto text = line.value(QStringLiteral("gain")); text && !(gain = tableValue(*text, kGainTable)))
        return line.usageError(QStringLiteral("--gain must be one of 1, 2, 5, 10, 20, 50, 100, 200, 500"));
    if (const auto text = line.value(QStringLiteral("offset")); text && !(offset = tableValue(*text, kOffsetTable)))
        return line.usageError(QStringLiteral("--offset must be one of 0, 2, 5, -2, -5"));

    const QStringList files = line.arguments();
    if (files.isEmpty())
        return line.usageError(QStringLiteral("no data file given"));
    if (files.size() > 1)
        return line.usageError(QStringLiteral("unexpected argument '%1'").arg(files[1]));
    const QString input = files.first();
    const QString output = line.value(QStringLiteral("o")).value_or(QString());
    if (output.isEmpty())
        return line.usageError(QStringLiteral("no output image given (-o OUT.png)"));
    if (!isStandardOutput(output)
        && QDir::cleanPath(QFileInfo(output).absoluteFilePath()) == QDir::cleanPath(QFileInfo(input).absoluteFilePath()))
        return line.usageError(QStringLiteral("the image would replace its own data file"));

    // The file goes through the window's own load and append.
    auto record = std::make_unique<ReviewRecord>();
    auto session = std::make_unique<LoggerSession>(*record);
    session->m_bLoggerOpen = true;
    if (const Status s = session->load(input); !s.ok())
        return fail(input, s.message());
    // The file's scale set aside for the default one, unless both options
    // replace it anyway: a note, and the plot is drawn.
    if (!session->loadNote().isEmpty() && !(gain && offset))
        (void)fail(input, session->loadNote());
    (void)session->appendPending();
    plot::undoZoom(session->display);
    session->showCurve = curves;
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

    auto picture = std::make_unique<LoggerDrawing>();
    picture->layoutAndRender(*session, size);

    QBuffer png;
    png.open(QIODevice::WriteOnly);
    Status saved = picture->renderer().picture().save(&png, "PNG")
                     ? writeOutput(output, png.data())
                     : Status::failure(Status::Code::Failed, QStringLiteral("the PNG image could not be made"));
    if (!saved.ok())
        return error(QStringLiteral("cannot write %1: %2").arg(shownOutput(output), saved.message()));
    return 0;
}
