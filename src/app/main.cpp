// zb740: the desktop companion of the ZB740 thermo-hygrometer.
#include "app/AppCommandLine.h"
#include "app/AppOptions.h"
#include "app/CMainFrame.h"
#include "app/RecoveryOffer.h"
#include "app/SingleInstance.h"
#include "recorder/StopSignals.h"
#include "widgets/Mnemonics.h"
#include "widgets/LazyIconStyle.h"
#include "widgets/Pictures.h"

#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QStandardPaths>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

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

} // namespace

int main(int argc, char** argv)
{
    // The options are read before any window exists, so that --help,
    // --version and a usage error need no display. Qt is given its own
    // options only: it never takes a file or the value of an option for one
    // of its own.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    AppOptions options = AppOptions::defaults();
    QStringList files, qtOptions;
    if (const int status = appcommandline::parse(args, options, files, qtOptions); status >= 0)
        return status;

    std::vector<QByteArray> qtArgs {QByteArray(argv[0])};
    for (const QString& a : qtOptions)
        qtArgs.push_back(a.toLocal8Bit());
    std::vector<char*> qtArgv;
    for (QByteArray& a : qtArgs)
        qtArgv.push_back(a.data());
    qtArgv.push_back(nullptr);
    int qtArgc = int(qtArgs.size());
    QApplication app(qtArgc, qtArgv.data());
    QApplication::setApplicationName(QStringLiteral("ZB740"));
    // The style's icons for buttons the window does not show at first (a
    // toolbar's overflow arrow, the Events window's title buttons) are read
    // when first drawn: reading them loads every image format plugin.
    QApplication::setStyle(new LazyIconStyle(QApplication::style()->name()));
    // Drawn once, at the picture's own size (its text makes every drawing
    // cost a font), without an icon engine plugin: the window manager
    // scales it for its title bar and task list.
    QApplication::setWindowIcon(renderPictureIcon(QStringLiteral(":/res/app_icon.svg"), {QSize(64, 64)}, 1.0));

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

    // Every question can be answered with Alt and a letter, the first ones
    // included.
    mnemonics::giveToMessageBoxes(&app);

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
    if (!files.isEmpty()) {
        QMetaObject::invokeMethod(&frame, [&frame, files] {
            const int opened = frame.openLoggerWithFiles(files);
            std::fprintf(stderr, "zb740: opened %d of %d %s from the command line\n", opened, int(files.size()),
                         files.size() == 1 ? "file" : "files");
            std::fflush(stderr);
        }, Qt::QueuedConnection);
    }
    return app.exec();
}
