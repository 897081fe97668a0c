#include "app/CMainFrame.h"

#include "app/CAboutDlg.h"
#include "app/CKMView.h"
#include "app/CSampleRateDlg.h"
#include "app/RunSaver.h"
#include "link/MeterLink.h"
#include "link/SimulatedMeter.h"
#include "widgets/HelpContents.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {

constexpr int kToolBarHeight = 31;
constexpr int kPollMs = 1000;
constexpr int kScanMs = 1000;
constexpr int kCommandRefreshMs = 100;

// The graph font is requested by its own family name; where that face is
// missing the metric-compatible sans serif takes its place, so the layout's
// 7.5 pixels per character still holds.
QFont makeGraphFont()
{
    const QString family = QString::fromUtf8("\xE5\xAE\x8B\xE4\xBD\x93"); // 宋体
    QFont::insertSubstitutions(family, {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                                        QStringLiteral("DejaVu Sans")});
    QFont font(family);
    font.setPointSize(10);
    return font;
}

} // namespace

CMainFrame::CMainFrame(const AppOptions& options, QWidget* parent)
    : QMainWindow(parent)
    , m_options(options)
{
    setWindowTitle(QStringLiteral("ZB740"));
    setWindowIcon(QIcon(QStringLiteral(":/res/app_icon.svg")));

    // 5. the serial control, inside the meter link; made before the view so
    // the panels can reach it
    createLink();

    // 2. the view, which builds the panels
    m_graphFont = makeGraphFont();
    m_view = new CKMView(this);
    setCentralWidget(m_view);
    connect(m_view->meterPanel(), &CMeterPanel::keyPacket, this, &CMainFrame::sendKeyPacket);

    // 3..7. toolbar, status bar
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();

    // 9. the poll timer and the one-shot port scan
    m_pollTimer = new QTimer(this);
    m_pollTimer->setInterval(kPollMs);
    connect(m_pollTimer, &QTimer::timeout, this, &CMainFrame::onPollTimer);
    m_pollTimer->start();
    m_scanTimer = new QTimer(this);
    m_scanTimer->setSingleShot(true);
    m_scanTimer->setInterval(kScanMs);
    connect(m_scanTimer, &QTimer::timeout, this, &CMainFrame::onScanTimer);
    m_scanTimer->start();
    connect(m_link, &MeterLink::devicesChanged, m_scanTimer, qOverload<>(&QTimer::start));
    connect(m_view, &CKMView::watchdogTick, m_link, &MeterLink::watchdogTick);

    m_commandTimer = new QTimer(this);
    m_commandTimer->setInterval(kCommandRefreshMs);
    connect(m_commandTimer, &QTimer::timeout, this, &CMainFrame::updateCommands);
    m_commandTimer->start();
    updateCommands();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::createActions()
{
    struct ActionDef {
        Command id;
        const char* text;
        const char* tip;
        const char* icon;
        QKeySequence key;
    };
    const ActionDef defs[] = {
        {Command::Save, "&Save", "Save", "tb_save", QKeySequence::Save},
        {Command::Open, "&Open", "Open", "tb_open", QKeySequence::Open},
        {Command::Print, "&Print", "Print", "tb_print", QKeySequence::Print},
        {Command::Exit, "&Exit", "Exit", nullptr, {}},
        {Command::Run, "&Run", "Start", "tb_run", {}},
        {Command::Stop, "&Stop", "Stop", "tb_stop", {}},
        {Command::UndoZoom, "&UndoZoom", "UndoZoom", "tb_undozoom", {}},
        {Command::About, "&About ZB740...", "About", nullptr, {}},
        {Command::Contents, "&Contents", "Help", "tb_help", {}},
    };
    for (const ActionDef& s : defs) {
        auto* a = new QAction(QString::fromLatin1(s.text), this);
        a->setToolTip(QString::fromLatin1(s.tip));
        a->setStatusTip(QString::fromLatin1(s.tip));
        if (s.icon)
            a->setIcon(QIcon(QStringLiteral(":/res/%1.svg").arg(QLatin1String(s.icon))));
        if (!s.key.isEmpty())
            a->setShortcut(s.key);
        m_actions[static_cast<int>(s.id)] = a;
    }
    connect(action(Command::Save), &QAction::triggered, this, &CMainFrame::onSave);
    connect(action(Command::Exit), &QAction::triggered, this, &QWidget::close);
    connect(action(Command::Run), &QAction::triggered, this, &CMainFrame::onRun);
    connect(action(Command::Stop), &QAction::triggered, this, &CMainFrame::onStop);
    connect(action(Command::About), &QAction::triggered, this, &CMainFrame::onAbout);
    connect(action(Command::Contents), &QAction::triggered, this, &CMainFrame::onHelp);
}

void CMainFrame::createMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(action(Command::Save));
    file->addAction(action(Command::Open));
    file->addAction(action(Command::Print));
    file->addSeparator();
    file->addAction(action(Command::Exit));
    QMenu* realTime = menuBar()->addMenu(QStringLiteral("&RealTime"));
    realTime->addAction(action(Command::Run));
    realTime->addAction(action(Command::Stop));
    realTime->addAction(action(Command::UndoZoom));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(action(Command::About));
    help->addAction(action(Command::Contents));
}

void CMainFrame::createToolBar()
{
    QToolBar* bar = addToolBar(QStringLiteral("Standard"));
    bar->setObjectName(QStringLiteral("mainToolBar"));
    bar->setIconSize(QSize(27, 20));
    bar->setFixedHeight(kToolBarHeight);
    bar->setMovable(true);
    const Command order[] = {Command::Save, Command::Open, Command::Run, Command::Stop,
                             Command::Print, Command::UndoZoom, Command::Contents};
    for (int i = 0; i < 7; ++i) {
        bar->addAction(action(order[i]));
        if (i < 6)
            bar->addSeparator();
    }
}

void CMainFrame::createStatusBar()
{
    const int widths[3] = {150, 150, 500};
    for (int i = 0; i < 3; ++i) {
        m_panes[i] = new QLabel(this);
        m_panes[i]->setFixedWidth(widths[i]);
        m_panes[i]->setFrameShape(QFrame::StyledPanel);
        m_panes[i]->setFrameShadow(QFrame::Sunken);
        statusBar()->addWidget(m_panes[i]);
    }
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* label = new QLabel(QString::fromLatin1(indicator), this);
        label->setEnabled(false);
        statusBar()->addPermanentWidget(label);
    }
}

QString CMainFrame::paneText(int pane) const
{
    return pane >= 0 && pane < 3 ? m_panes[pane]->text() : QString();
}

void CMainFrame::setPaneText(int pane, const QString& text)
{
    if (pane >= 0 && pane < 3 && m_panes[pane]->text() != text)
        m_panes[pane]->setText(text);
}

void CMainFrame::setPortStatus(const QString& text)
{
    // Panes 1 and 2 belong to the graph's read-out: the port's state goes to
    // the first pane, cut to its width, with the whole advice as tool tip.
    m_strPortStatus = text;
    QLabel* pane = m_panes[0];
    pane->setToolTip(text);
    pane->setText(pane->fontMetrics().elidedText(text, Qt::ElideRight, pane->width() - 6));
}

QRect CMainFrame::clientRectInView() const
{
    const int clientTop = menuBar()->isHidden() ? 0 : menuBar()->geometry().bottom() + 1;
    const int viewTop = m_view->geometry().top();
    return QRect(0, clientTop - viewTop, width(), height() - clientTop);
}

void CMainFrame::updateCommands()
{
    const bool hasSamples = m_run.m_nCount != 0;
    action(Command::Save)->setEnabled(hasSamples);
    action(Command::Run)->setEnabled(m_run.m_bRunEnabled);
    action(Command::Stop)->setEnabled(m_run.m_bStopEnabled);
    action(Command::UndoZoom)->setEnabled(m_view->isZoomed());
    // The logger window and the printed report come with their own windows;
    // until then their commands stay disabled rather than doing nothing.
    action(Command::Open)->setEnabled(false);
    action(Command::Print)->setEnabled(false);
}

bool CMainFrame::askYesNo(const QString& text)
{
    return QMessageBox::question(this, QStringLiteral("ZB740"), text, QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}

void CMainFrame::onRun()
{
    CSampleRateDlg dlg(m_options.configFile, this);
    if (m_run.m_nSampleMs / 1000 >= 1)
        dlg.setSampleRate(m_run.m_nSampleMs / 1000);
    if (m_run.m_nSampleLimit >= 1000 && m_run.m_nSampleLimit <= 10000)
        dlg.setSampleData(m_run.m_nSampleLimit);

    if (m_run.m_bHasRun && askYesNo(QStringLiteral("Do you want to save the existing graph data before continuing?")))
        (void)saveRun(); // a failure was shown; the new run may still replace the old one
    if (dlg.exec() == QDialog::Accepted)
        confirmRun(dlg.sampleRate(), dlg.sampleData());

    if (m_run.m_bRunning)
        m_run.m_bHasRun = true;
    // The view's next repaint restarts the sample timer with the new period.
    m_run.m_bRearmSampleTimer = true;
    m_view->update();
    updateCommands();
}

void CMainFrame::confirmRun(int intervalSeconds, int sampleCount)
{
    m_run.confirm(intervalSeconds, sampleCount);
    m_view->update();
}

void CMainFrame::onStop()
{
    m_run.stop();
    updateCommands();
}

void CMainFrame::onSave()
{
    (void)saveRun(); // a failure was shown by the saver
}

Status CMainFrame::saveRun()
{
    RunSaver saver(RunView::of(m_doc.live(), m_run.info()), m_options.settingsDir);
    return saver.save(this, {m_view->m_nYGain, m_view->m_nYOffset});
}

void CMainFrame::createLink()
{
    if (m_options.simulate) {
        // The simulated meter answers on a pseudo-terminal in this process;
        // the link opens it like any pinned device.
        m_simulator = new SimulatedMeter({}, this);
        QString error;
        if (m_simulator->start(&error)) {
            m_options.portDevice = m_simulator->devicePath();
        } else {
            const QString text = QStringLiteral("Cannot start the simulated meter: %1").arg(error);
            QMetaObject::invokeMethod(this, [this, text] { setPortStatus(text); }, Qt::QueuedConnection);
        }
    }
    // The decoder compares against the limits the alarm panel holds at each
    // frame (the panel exists before the first frame can arrive).
    m_link = new MeterLink(m_options, m_run, m_doc.live(),
        [this] { return m_view ? m_view->alarmPanel()->alarmLimits() : AlarmLimits {}; }, this);
    // 1. the port number from the settings file
    m_link->setComPort(settings::readComPort(settings::settingsFile(m_options)));
    connect(m_link, &MeterLink::frameDecoded, this, [this](const DecodeResult& r) {
        if (r.valid) {
            // The panels repaint what changed themselves.
            const FrameDecoder& d = m_link->decoder();
            m_view->meterPanel()->setDisplayTexts(d.displayTexts());
            m_view->alarmPanel()->setMinMaxTexts(d.minMaxTexts());
            m_view->alarmPanel()->setAlarmFlags(m_link->m_bHiAlarm, m_link->m_bLowAlarm);
            m_view->curveBar()->setBatteryText(d.batteryText());
            m_view->curveBar()->refresh();
        }
        onFrameDecoded(r.runStarted, r.lcdChanged, r.alarmsChanged);
    });
    connect(m_link, &MeterLink::linkLost, this, &CMainFrame::onLinkLost);
    connect(m_link, &MeterLink::portStatusChanged, this, &CMainFrame::setPortStatus);
    connect(m_link, &MeterLink::over16Message, this, [this](const QString& text) {
        QMessageBox::warning(this, QStringLiteral("ZB740"), text, QMessageBox::Ok);
    });
    // 8. the watchdog marks the stored port; no request is outstanding
    m_link->start();
}

void CMainFrame::onFrameDecoded(bool runStarted, bool lcdChanged, bool alarmsChanged)
{
    if (runStarted)
        m_view->update();
    Q_UNUSED(lcdChanged);    // the meter face compares its texts itself
    Q_UNUSED(alarmsChanged); // the alarm panel repaints on a changed flag
    updateCommands();
}

void CMainFrame::onLinkLost()
{
    m_view->meterPanel()->onLinkStateChanged();
    m_view->alarmPanel()->update();
    updateCommands();
}

void CMainFrame::onPollTimer()
{
    m_link->pollTick();
}

void CMainFrame::onScanTimer()
{
    m_link->scanTick();
}

void CMainFrame::sendKeyPacket(const QByteArray& packet)
{
    m_link->sendPacket(packet);
}

void CMainFrame::onHelp()
{
    help::showContents(this, QCoreApplication::applicationDirPath());
}

void CMainFrame::onAbout()
{
    CAboutDlg dlg(this);
    dlg.exec();
}

void CMainFrame::writeSettingsAtClose()
{
    settings::CloseValues v;
    v.comPort = m_link->m_nComPort;
    v.limits = m_view->alarmPanel()->limitTexts();
    v.sampleRateText = m_run.m_strSampleRateText;
    v.sampleDataText = m_run.m_strSampleDataText;
    v.gain = m_view->m_nYGain;
    v.offset = m_view->m_nYOffset;
    // A settings file that cannot be written is not worth a question at
    // close; the next start reads its defaults.
    (void)settings::writeAtClose(settings::settingsFile(m_options), v);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    writeSettingsAtClose();
    m_link->closePort();
    if (m_run.m_nCount > 1 && askYesNo(QStringLiteral("Do you want to save the data before closing?"))) {
        // A save that failed (the user has seen why) keeps the window open,
        // so the run is not lost; a cancelled dialog closes as asked.
        const Status saved = saveRun();
        if (!saved.ok() && !saved.isCancelled()) {
            event->ignore();
            return;
        }
    }
    m_pollTimer->stop();
    m_scanTimer->stop();
    m_commandTimer->stop();
    event->accept();
}
