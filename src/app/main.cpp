// zb740: the desktop companion of the ZB740 thermo-hygrometer.
#include "app/AppOptions.h"
#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "recorder/StopSignals.h"

#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QStringList>
#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: zb740 [OPTIONS] [FILE.AsmDat...]\n"
    "\n"
    "Desktop companion of the ZB740 thermo-hygrometer: finds the meter on its\n"
    "CP210x USB serial bridge, mirrors its display, records and plots runs.\n"
    "Data files named on the command line open in the logger window, loaded in\n"
    "order; the last one is displayed.\n"
    "\n"
    "Options:\n"
    "  --port DEVICE        use this serial device (no port discovery)\n"
    "  --simulate           start the simulated meter and connect to it\n"
    "  --settings-dir DIR   folder of ZB740.ini and saved runs (default: Documents/ZB740)\n"
    "  --config FILE        logger configuration file (default: /etc/KM4471config.ini)\n"
    "  --sysfs-root DIR     root of the device listing (default: /sys)\n"
    "  --help               show this help and exit\n"
    "  --version            show the version and exit\n";

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

    CMainFrame frame(options);
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
    if (!files.isEmpty())
        QMetaObject::invokeMethod(&frame, [&frame, files] { frame.openLoggerWithFiles(files); }, Qt::QueuedConnection);
    return app.exec();
}
