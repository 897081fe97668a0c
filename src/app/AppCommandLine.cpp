#include "app/AppCommandLine.h"

#include "app/CSampleRateDlg.h"
#include "base/CommandLine.h"
#include "base/Version.h"

namespace {

const char kUsage[] =
    "Usage: zb740 [OPTIONS] [FILE.AsmDat...]\n"
    "\n"
    "Desktop companion of the ZB740 thermo-hygrometer: finds the meter on its\n"
    "CP210x USB serial bridge, mirrors its display, records and plots runs.\n"
    "Data files named on the command line open in the logger window, loaded in\n"
    "order; the last one is displayed. While ZB740 runs for the same settings\n"
    "folder, a new start hands its files to that window (or brings it to the\n"
    "front) and exits.\n"
    "\n"
    "Options:\n"
    "  --port DEVICE        use this serial device (no port discovery)\n"
    "  --simulate           start the simulated meter and connect to it\n"
    "  --settings-dir DIR   folder of ZB740.ini and saved runs (default: Documents/ZB740)\n"
    "  --config FILE        logger configuration file (default: /etc/KM4471config.ini)\n"
    "  --sysfs-root DIR     root of the device listing (default: /sys)\n"
    "  --run SECONDS,COUNT  start a run as soon as the meter answers, as Run\n"
    "                       answered with this interval (1..2147483 s) and\n"
    "                       sample count (1000..10000) does\n"
    "  -h, --help           show this help and exit\n"
    "  -V, --version        show the version and exit\n"
    "  --                   what follows is a data file, even if it begins with -\n"
    "Qt's own options (-style NAME, -style=NAME, -platform NAME, -reverse,\n"
    "-qwindowgeometry WxH+X+Y, ...) are passed to Qt.\n";

// The ranges the help and the refusal of --run name are the Run dialog's.
static_assert(CSampleRateDlg::kMinSampleRate == 1 && CSampleRateDlg::kMaxSampleRate == 2147483
                  && CSampleRateDlg::kMinSampleData == 1000 && CSampleRateDlg::kMaxSampleData == 10000,
              "the texts of --run name the Run dialog's ranges");

// The program's options that take a value: the next argument is theirs,
// whatever it looks like.
const char* const kValueOptions[] = {"port", "settings-dir", "config", "sysfs-root", "run"};

// Qt's options as QGuiApplication, QApplication and the X11 platform read
// them: those that take the next argument as their value, those that take
// none, and those that take a value after '='.
const char* const kQtValueOptions[] = {
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry", "-qwindowicon",
    "-qwindowtitle", "-session", "-style", "-stylesheet", "-qmljsdebugger", "-display", "-geometry", "-title",
    "-icon", "-name", "-visual"};
const char* const kQtSwitches[] = {"-reverse", "-testability", "-widgetcount", "-nograb", "-dograb", "-sync"};
const char* const kQtAssigned[] = {"-style=", "-stylesheet=", "-qmljsdebugger="};

bool isOneOf(const QString& word, const auto& names)
{
    for (const char* name : names)
        if (word == QLatin1String(name))
            return true;
    return false;
}

// "SECONDS,COUNT" within the Run dialog's limits.
bool parseRunSettings(const QString& text, AppOptions& o)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return false;
    bool intervalOk = false, countOk = false;
    const int interval = parts[0].toInt(&intervalOk);
    const int count = parts[1].toInt(&countOk);
    if (!intervalOk || !countOk || interval < CSampleRateDlg::kMinSampleRate || interval > CSampleRateDlg::kMaxSampleRate
        || count < CSampleRateDlg::kMinSampleData || count > CSampleRateDlg::kMaxSampleData)
        return false;
    o.runInterval = interval;
    o.runCount = count;
    return true;
}

} // namespace

appcommandline::Split appcommandline::split(const QStringList& args)
{
    Split s;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--")) {
            s.program << args.mid(i);
            break;
        }
        // Qt reads "--style" as "-style".
        const QString word = a.startsWith(QLatin1String("--")) ? a.mid(1) : a;
        if (isOneOf(word, kQtValueOptions)) {
            if (i + 1 >= args.size()) {
                s.error = QStringLiteral("%1 needs a value").arg(a);
                break;
            }
            s.qt << a << args[++i];
            continue;
        }
        bool qtOption = isOneOf(word, kQtSwitches);
        for (const char* prefix : kQtAssigned)
            qtOption = qtOption || word.startsWith(QLatin1String(prefix));
        if (qtOption) {
            s.qt << a;
            continue;
        }
        s.program << a;
        if (a.startsWith(QLatin1String("--")) && !a.contains(QLatin1Char('=')) && isOneOf(a.mid(2), kValueOptions)
            && i + 1 < args.size())
            s.program << args[++i];
    }
    return s;
}

int appcommandline::parse(const QStringList& args, AppOptions& o, QStringList& files, QStringList& qtOptions)
{
    // Each option may be given again: the last one counts.
    CommandLine line(QStringLiteral("zb740"), QLatin1String(kUsage), QLatin1String(kVersionText));
    line.addSwitch(QStringLiteral("simulate"), 0);
    line.addValue(QStringLiteral("port"), QStringLiteral("DEVICE"), 0);
    line.addValue(QStringLiteral("settings-dir"), QStringLiteral("DIR"), 0);
    line.addValue(QStringLiteral("config"), QStringLiteral("FILE"), 0);
    line.addValue(QStringLiteral("sysfs-root"), QStringLiteral("DIR"), 0);
    line.addValue(QStringLiteral("run"), QStringLiteral("SECONDS,COUNT"), 0);
    const Split sorted = split(args);
    if (!sorted.error.isEmpty())
        return line.usageError(sorted.error);
    const CommandLine::Outcome outcome = line.parse(sorted.program);
    if (outcome == CommandLine::Outcome::Refused)
        return line.answer(outcome);
    // A --run the Run dialog would refuse is refused whatever else is asked.
    if (const auto run = line.value(QStringLiteral("run")); run && !parseRunSettings(*run, o)) {
        return line.usageError(QStringLiteral("--run takes SECONDS,COUNT with SECONDS 1..2147483 and COUNT "
                                              "1000..10000, not '%1'")
                                   .arg(*run));
    }
    if (outcome != CommandLine::Outcome::Go)
        return line.answer(outcome);
    o.simulate = line.isSet(QStringLiteral("simulate"));
    const std::pair<const char*, QString*> values[] = {
        {"port", &o.portDevice}, {"settings-dir", &o.settingsDir}, {"config", &o.configFile}, {"sysfs-root", &o.sysfsRoot}};
    for (const auto& [name, target] : values) {
        if (const auto v = line.value(QLatin1String(name)))
            *target = *v;
    }
    files = line.arguments();
    qtOptions = sorted.qt;
    return -1;
}
