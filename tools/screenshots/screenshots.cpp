// zb740-screenshots OUT_DIR: draws the pictures of docs/ with the program's
// own windows on the offscreen platform: the main window recording with
// limit lines (limits.png), the logger window sized larger than its default
// with three saved runs (logger-resized.png) and the main window in a dark
// theme (dark.png). Everything it writes besides the pictures goes to a
// temporary folder; the user's settings are never read. Run by
// scripts/screenshots.sh; not installed.
#include "app/AppOptions.h"
#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "data/DataFile.h"
#include "data/ReadingStore.h"
#include "data/RunView.h"
#include "graph/RealtimeGraph.h"
#include "logger/CLoggerGraphDlg.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPalette>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

constexpr int64_t kStart = 1781337600;  // a morning in June 2026, UTC

// A day in a greenhouse, sample s of `count`: air, wet bulb, dew point,
// K/IR and relative humidity as the meter stores them (degrees C, %RH).
float reading(int channel, int s, int count, double phase)
{
    const double t = double(s) / count;
    const double air = 21 + 7 * std::sin(3.1 * t + phase) + 0.6 * std::sin(40 * t);
    const double rh = 62 - 18 * std::sin(3.1 * t + phase) + 1.5 * std::sin(29 * t);
    switch (channel) {
    case kAir: return float(air);
    case kWb: return float(air - 4.5 + 2.5 * std::sin(3.1 * t + phase + 0.4));
    case kDp: return float(air - 9 + 1.2 * std::cos(11 * t));
    case kKir: return float(air + 3 + 5 * std::sin(7 * t + phase));
    default: return float(rh);
    }
}

void fillRun(CMainFrame& f, int count)
{
    RunState& run = f.run();
    for (int s = 0; s < count; ++s)
        for (int c = 0; c < kChannelCount; ++c)
            f.doc().live().values[c][s] = reading(c, s, count, 0);
    run.m_tStart = kStart;
    run.m_nSampleMs = 5000;
    run.m_nSampleLimit = 1000;
    run.m_nCount = count;
    f.view()->graph()->invalidate();
}

bool writeSet(const QString& path, int count, int interval, double phase, int64_t start)
{
    auto live = std::make_unique<LiveSeries>();
    for (int s = 0; s < count; ++s)
        for (int c = 0; c < kChannelCount; ++c)
            live->values[c][s] = reading(c, s, count, phase);
    RunInfo info;
    info.count = count;
    info.start = start;
    info.interval = interval;
    info.unit = QStringLiteral("C");
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && DataFile::write(f, RunView::of(*live, info), {10, 0}).ok();
}

bool save(QWidget* w, const QString& path)
{
    QApplication::processEvents();
    const QImage picture = w->grab().toImage();
    if (picture.save(path, "PNG")) {
        std::printf("%s %dx%d\n", qPrintable(path), picture.width(), picture.height());
        return true;
    }
    std::fprintf(stderr, "zb740-screenshots: cannot write %s\n", qPrintable(path));
    return false;
}

QPalette darkPalette()
{
    QPalette p;
    const QColor window(45, 45, 48), text(230, 230, 230), base(30, 30, 32), button(60, 60, 64);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::black);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(150, 150, 150));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(150, 150, 150));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(150, 150, 150));
    return p;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "UTC0");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "Usage: zb740-screenshots OUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir tmp;
    if (!tmp.isValid() || !out.exists()) {
        std::fprintf(stderr, "zb740-screenshots: no folder to work in\n");
        return 1;
    }
    AppOptions options;
    options.settingsDir = tmp.filePath(QStringLiteral("ZB740"));
    options.configFile = tmp.filePath(QStringLiteral("KM4471config.ini"));
    options.sysfsRoot = tmp.filePath(QStringLiteral("sys"));
    // Alarm limits for AIR and RH: the graph marks them.
    const IniFile config(options.configFile);
    bool ok = config.writeText(settings::alarmHighSection(kAir), settings::alarmHighKey(kAir), QStringLiteral("27.0")).ok()
              && config.writeText(settings::alarmLowSection(kAir), settings::alarmLowKey(kAir), QStringLiteral("16.0")).ok()
              && config.writeText(settings::alarmHighSection(kRh), settings::alarmHighKey(kRh), QStringLiteral("75.0")).ok()
              && config.writeText(settings::alarmLowSection(kRh), settings::alarmLowKey(kRh), QStringLiteral("40.0")).ok();

    // The main window recording, AIR and RH shown with their limits.
    auto shootMain = [&](const QString& name) {
        CMainFrame f(options);
        f.resize(1400, 900);
        f.show();
        if (!QTest::qWaitForWindowExposed(&f))
            return false;
        f.view()->m_bShowCurve = {true, false, false, false, true};
        fillRun(f, 620);
        const bool saved = save(&f, out.filePath(name));
        f.closeWithoutAsking();
        f.close();
        return saved;
    };
    ok = ok && shootMain(QStringLiteral("limits.png"));

    // The logger window at 1280 x 760 with three runs, the last one shown.
    {
        CMainFrame f(options);
        f.resize(1400, 900);
        f.show();
        CLoggerGraphDlg* w = f.onOpen();
        w->resize(1280, 760);
        if (!QTest::qWaitForWindowExposed(w))
            return 1;
        QStringList files;
        const struct {
            const char* name;
            int count, interval;
            double phase;
        } sets[] = {{"greenhouse-monday.AsmDat", 720, 60, 0.0},
                    {"greenhouse-tuesday.AsmDat", 720, 60, 0.7},
                    {"cold-store.AsmDat", 2400, 15, 1.9}};
        int64_t start = kStart;
        for (const auto& s : sets) {
            const QString path = tmp.filePath(QLatin1String(s.name));
            ok = ok && writeSet(path, s.count, s.interval, s.phase, start);
            files << path;
            start += 86400;
        }
        w->loadFiles(files);
        w->repaintNow();
        ok = ok && save(w, out.filePath(QStringLiteral("logger-resized.png")));
        f.closeWithoutAsking();
        f.close();
    }

    // The same main window in a dark theme.
    QApplication::setPalette(darkPalette());
    ok = ok && shootMain(QStringLiteral("dark.png"));
    return ok ? 0 : 1;
}
