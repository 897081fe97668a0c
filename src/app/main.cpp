// zb740: the desktop companion of the ZB740 thermo-hygrometer.
#include "app/AppOptions.h"
#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "app/CSampleRateDlg.h"
#include "app/RecoveryOffer.h"
#include "app/SingleInstance.h"
#include "recorder/StopSignals.h"

#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QStandardPaths>
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <memory>

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
    "  --help               show this help and exit\n"
    "  --version            show the version and exit\n";

// The ranges the help and the refusal of --run name are the Run dialog's.
static_assert(CSampleRateDlg::kMinSampleRate == 1 && CSampleRateDlg::kMaxSampleRate == 2147483
                  && CSampleRateDlg::kMinSampleData == 1000 && CSampleRateDlg::kMaxSampleData == 10000,
              "the texts of --run name the Run dialog's ranges");

// "SECONDS,COUNT" within the Run dialog's limits.
bool parseRunSettings(const char* text, AppOptions& o)
{
    const QStringList parts = QString::fromLocal8Bit(text).split(QLatin1Char(','));
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

// Runs with the settings of --run once Run becomes available (the meter
// answers), once.
void runWhenReady(CMainFrame& frame, int interval, int count)
{
    auto started = std::make_shared<bool>(false);
    QObject::connect(&frame.recorder(), &Recorder::readingDecoded, &frame, [&frame, interval, count, started] {
        if (*started || !frame.run().m_bRunEnabled)
            return;
        *started = true;
        frame.startRun(interval, count);
    }, Qt::QueuedConnection);
}

// What a later start for the same settings folder asked: its files open in
// the logger window, or, without files, this window comes to the front.
// The answer is the line the later start shows; the work is done after it
// went, so a message box about a file cannot keep the other start waiting.
QString answerAnotherStart(CMainFrame& frame, const QStringList& files)
{
    if (files.isEmpty()) {
        QMetaObject::invokeMethod(&frame, [&frame] {
            frame.setWindowState(frame.windowState() & ~Qt::WindowMinimized);
            frame.show();
            frame.raise();
            frame.activateWindow();
        }, Qt::QueuedConnection);
        const RunState& run = frame.run();
        QString text = QStringLiteral("ZB740 runs already for this settings folder; its window was brought to the front");
        if (run.m_bRunning && !run.m_bIdle)
            text += QStringLiteral(" (recording: %1 %2)").arg(run.m_nCount).arg(run.m_nCount == 1 ? "sample" : "samples");
        return text + QLatin1Char('.');
    }
    QMetaObject::invokeMethod(&frame, [&frame, files] {
        const int opened = frame.openLoggerWithFiles(files);
        std::fprintf(stderr, "zb740: opened %d of %d %s from another start\n", opened, int(files.size()),
                     files.size() == 1 ? "file" : "files");
        std::fflush(stderr);
    }, Qt::QueuedConnection);
    return QStringLiteral("ZB740 runs already for this settings folder; %1 %2 handed to its logger window.")
        .arg(files.size())
        .arg(files.size() == 1 ? QStringLiteral("file is") : QStringLiteral("files are"));
}

// Parses the options before any window exists, so --help and --version work
// without a display. Returns -1 to continue, else the exit status.
int parseOptions(int argc, char** argv, AppOptions& o, QStringList& files)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zb740: %s needs a value\n", name);
                return nullptr;
            }
            return argv[++i];
        };
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!std::strcmp(a, "--version")) {
            std::printf("%s\n", kVersionText);
            return 0;
        }
        // Anything not an option is a data file for the logger window.
        if (a[0] != '-') {
            files << QString::fromLocal8Bit(a);
            continue;
        }
        if (!std::strcmp(a, "--simulate")) {
            o.simulate = true;
            continue;
        }
        if (!std::strcmp(a, "--run")) {
            const char* v = value(a);
            if (!v)
                return 2;
            if (!parseRunSettings(v, o)) {
                std::fprintf(stderr, "zb740: --run takes SECONDS,COUNT with SECONDS 1..2147483 and COUNT "
                                     "1000..10000, not '%s'\n", v);
                return 2;
            }
            continue;
        }
        const char* const withValue[] = {"--port", "--settings-dir", "--config", "--sysfs-root"};
        QString* const targets[] = {&o.portDevice, &o.settingsDir, &o.configFile, &o.sysfsRoot};
        bool matched = false;
        for (int k = 0; k < 4; ++k) {
            if (!std::strcmp(a, withValue[k])) {
                const char* v = value(a);
                if (!v)
                    return 2;
                *targets[k] = QString::fromLocal8Bit(v);
                matched = true;
            }
        }
        if (!matched && std::strncmp(a, "-platform", 9) != 0 && std::strncmp(a, "-style", 6) != 0) {
            std::fprintf(stderr, "zb740: unknown option '%s'\n%s", a, kUsage);
            return 2;
        }
        if (!matched)
            ++i; // Qt's own option and its value
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    AppOptions options = AppOptions::defaults();
    QStringList files;
    const int status = parseOptions(argc, argv, options, files);
    if (status >= 0)
        return status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZB740"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/res/app_icon.svg")));

    // One window per settings folder: a later start hands its files to the
    // window that runs and ends, before it offers that window's journals
    // as crashed runs or starts a second recorder.
    SingleInstance instance(options.settingsDir, QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
    QString note;
    switch (instance.claim(&note)) {
    case SingleInstance::Role::First:
        break;
    case SingleInstance::Role::Alone:
        std::fprintf(stderr, "zb740: cannot tell whether ZB740 runs already (%s); starting anyway\n",
                     note.toLocal8Bit().constData());
        break;
    case SingleInstance::Role::Second: {
        QString answer;
        const Status handed = instance.handOver(files, &answer);
        std::fprintf(stderr, "zb740: %s\n", (handed.ok() ? answer : handed.message()).toLocal8Bit().constData());
        return handed.ok() ? 0 : 1;
    }
    }

    // Runs a crash left unsaved come first, before the window and before
    // the meter is polled.
    RecoveryOffer(options.settingsDir, options.homeDir).offerAll(nullptr);

    CMainFrame frame(options);
    instance.setHandler([&frame](const QStringList& handed) { return answerAnotherStart(frame, handed); });
    // A logout, a shutdown or a closed terminal ends the program like a
    // close that cannot ask: settings written, port closed.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &frame, [&frame] {
        frame.closeWithoutAsking();
        QApplication::quit();
    });
    // Without a window manager "maximised" means nothing: start at the size
    // of the screen so the window is as large either way.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        frame.setGeometry(screen->availableGeometry());
    frame.showMaximized();
    if (options.runInterval > 0)
        runWhenReady(frame, options.runInterval, options.runCount);
    if (!files.isEmpty())
        QMetaObject::invokeMethod(&frame, [&frame, files] { frame.openLoggerWithFiles(files); }, Qt::QueuedConnection);
    return app.exec();
}
