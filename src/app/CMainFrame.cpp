#include "app/CMainFrame.h"

#include "app/CAboutDlg.h"
#include "app/CKMView.h"
#include "app/CSampleRateDlg.h"
#include "app/EmergencyJournal.h"
#include "app/ExportCommands.h"
#include "app/MqttCommands.h"
#include "app/RunSaver.h"
#include "base/LocalTime.h"
#include "data/EventLog.h"
#include "data/Recovery.h"
#include "data/RunJournal.h"
#include "graph/RealtimeGraph.h"
#include "link/SimulatedMeter.h"
#include "widgets/HelpContents.h"
#include "widgets/Mnemonics.h"
#include "widgets/Pictures.h"
#include "logger/CLoggerGraphDlg.h"
#include "logger/LoggerSession.h"
#include "panels/CEventList.h"
#include "recorder/RecorderEvents.h"
#include "widgets/StatusPane.h"
#include "report/ReportCommands.h"
#include "report/ReportInput.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int kToolBarHeight = 31;
constexpr QSize kToolBarIconSize(27, 20);

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

// A toolbar picture drawn once at the toolbar's size for the window's screen.
QIcon toolBarIcon(QLatin1String name, qreal devicePixelRatio)
{
    return renderPictureIcon(QStringLiteral(":/res/%1.svg").arg(name), {kToolBarIconSize}, devicePixelRatio);
}

} // namespace

CMainFrame::CMainFrame(const AppOptions& options, QWidget* parent)
    : QMainWindow(parent)
    , m_options(options)
{
    // Every question and warning can be answered with Alt and a letter.
    mnemonics::giveToMessageBoxes(QCoreApplication::instance());

    // The meter session and the run; made before the view, which draws them.
    createRecorder();
    m_loggerSession = std::make_unique<LoggerSession>(m_doc.review());

    // The view, which builds the panels.
    m_graphFont = makeGraphFont();
    m_view = new CKMView(this);
    setCentralWidget(m_view);
    connect(m_view->meterPanel(), &CMeterPanel::keyPacket, this, &CMainFrame::sendKeyPacket);
    // Decoding compares against the alarm panel's limits, handed over as
    // they change.
    m_recorder->setAlarmLimits(m_view->alarmPanel()->alarmLimits());
    connect(m_view->alarmPanel(), &CAlarmPanel::limitsChanged, m_recorder, &Recorder::setAlarmLimits);
    // The logger plot marks the same limits on its own curves.
    const auto handLimitsToLogger = [this] {
        m_loggerSession->limitMarks = m_view->limitMarks(kAllCurves);
        if (m_loggerDlg)
            m_loggerDlg->invalidate();
    };
    handLimitsToLogger();
    connect(m_view, &CKMView::limitMarksChanged, this, handLimitsToLogger);
    setUpJournal();

    // The events of the run, in a window of their own beside the main
    // window (RealTime > Events): the view's panels keep the whole client
    // area their layout is made for, so it does not dock.
    m_eventList = new CEventList(this);
    m_eventsDock = new QDockWidget(QStringLiteral("Events"), this);
    m_eventsDock->setObjectName(QStringLiteral("eventsDock"));
    m_eventsDock->setWidget(m_eventList);
    m_eventsDock->setAllowedAreas(Qt::NoDockWidgetArea);
    m_eventsDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable
                              | QDockWidget::DockWidgetFloatable);
    // Hidden first: a dock made floating while not hidden is shown as a
    // window of its own there and then.
    m_eventsDock->hide();
    m_eventsDock->setFloating(true);
    m_eventsDock->resize(520, 240);
    m_events = new RecorderEvents(*m_recorder, this);
    connect(m_events, &RecorderEvents::eventOccurred, m_eventList, &CEventList::add);

    // Toolbar and status bar.
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();

    // The port number from the settings file; the poll and scan timers.
    m_recorder->start(settings::readComPort(settings::settingsFile(m_options)));
    updateCommands();
}

CMainFrame::~CMainFrame()
{
    // The logger window works on the session: it goes first.
    delete m_loggerDlg.data();
    delete m_mqtt; // before the recorder it reads

}

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
        {Command::Exit, "&Exit", "Exit", nullptr, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {Command::Run, "&Run", "Start", "tb_run", QKeySequence(Qt::Key_F5)},
        {Command::Stop, "&Stop", "Stop", "tb_stop", QKeySequence(Qt::SHIFT | Qt::Key_F5)},
        {Command::UndoZoom, "&UndoZoom", "UndoZoom", "tb_undozoom", QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {Command::About, "&About ZB740...", "About", nullptr, {}},
        {Command::Contents, "&Contents", "Help", "tb_help", QKeySequence(Qt::Key_F1)},
        {Command::StepBack, "Zoom &Back", "One zoom level back", nullptr, QKeySequence(Qt::Key_Backspace)},
    };
    for (const ActionDef& s : defs) {
        auto* a = new QAction(QString::fromLatin1(s.text), this);
        a->setToolTip(QString::fromLatin1(s.tip));
        a->setStatusTip(QString::fromLatin1(s.tip));
        if (s.icon)
            a->setIcon(toolBarIcon(QLatin1String(s.icon), devicePixelRatioF()));
        if (!s.key.isEmpty())
            a->setShortcut(s.key);
        m_actions[static_cast<int>(s.id)] = a;
    }
    // A key of the window alone: the fields keep Backspace for their text.
    addAction(action(Command::StepBack));
    connect(action(Command::Save), &QAction::triggered, this, &CMainFrame::onSave);
    connect(action(Command::Open), &QAction::triggered, this, &CMainFrame::onOpen);
    connect(action(Command::Exit), &QAction::triggered, this, &QWidget::close);
    connect(action(Command::Run), &QAction::triggered, this, &CMainFrame::onRun);
    connect(action(Command::Stop), &QAction::triggered, this, &CMainFrame::onStop);
    connect(action(Command::About), &QAction::triggered, this, &CMainFrame::onAbout);
    connect(action(Command::Contents), &QAction::triggered, this, &CMainFrame::onHelp);

    // The printed report of the live run, with the graph's shown curves and
    // the axis values of its last repaint.
    m_report = new ReportCommands(this, action(Command::Print), m_options.settingsDir, [this] {
        ReportInput in = ReportInputs::ofLiveRun(m_recorder->view(), m_view->m_bShowCurve,
                                                 m_view->graph()->frame().axis[0]);
        in.limits = ReportInputs::limitsOf(m_view->alarmPanel()->alarmLimits());
        // A run saved as it stands is its data file: the report names it
        // and carries its hash.
        if (runSavedAsItStands())
            ReportInputs::setDataFile(in, m_savedPath);
        if (m_simulator)
            in.meter = QStringLiteral("simulated");
        return in;
    });
    m_report->printer().setSettingsFile(settings::settingsFilePath(m_options));
    // The run's samples in the forms spreadsheets and scripts read.
    m_export = new ExportCommands(this, m_options.settingsDir, [this] { return m_recorder->view(); });
    m_mqtt = new MqttCommands(this, *m_recorder, settings::settingsFilePath(m_options),
                              MqttCommands::meterIdFor(m_options), statusBar());
    connect(m_events, &RecorderEvents::eventOccurred, m_mqtt, &MqttCommands::publishEvent);
}

void CMainFrame::createMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(action(Command::Save));
    file->addAction(action(Command::Open));
    file->addAction(action(Command::Print));
    file->addAction(m_report->exportAction());
    file->addMenu(m_export->menu());
    file->addAction(m_mqtt->action());
    file->addSeparator();
    file->addAction(action(Command::Exit));
    QMenu* realTime = menuBar()->addMenu(QStringLiteral("&RealTime"));
    realTime->addAction(action(Command::Run));
    realTime->addAction(action(Command::Stop));
    realTime->addAction(action(Command::UndoZoom));
    realTime->addSeparator();
    QAction* events = m_eventsDock->toggleViewAction();
    events->setText(QStringLiteral("&Events"));
    realTime->addAction(events);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(action(Command::About));
    help->addAction(action(Command::Contents));
}

void CMainFrame::createToolBar()
{
    QToolBar* bar = addToolBar(QStringLiteral("Standard"));
    bar->setObjectName(QStringLiteral("mainToolBar"));
    bar->setIconSize(kToolBarIconSize);
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
    const char* const names[3] = {"Meter port", "Time at the cursor", "Readings at the cursor"};
    m_portPane = new StatusPane(this);
    m_portPane->setObjectName(QStringLiteral("portStatusPane"));
    m_portPane->setFullText(m_strPortStatus);
    for (int i = 0; i < 3; ++i) {
        m_panes[i] = i == 0 ? m_portPane : new QLabel(this);
        m_panes[i]->setFixedWidth(widths[i]);
        m_panes[i]->setAccessibleName(QLatin1String(names[i]));
        m_panes[i]->setFrameShape(QFrame::StyledPanel);
        m_panes[i]->setFrameShadow(QFrame::Sunken);
        statusBar()->addWidget(m_panes[i]);
    }
    // Why the last run ended, until the next one.
    m_runEndPane = new QLabel(this);
    m_runEndPane->setObjectName(QStringLiteral("runEndPane"));
    statusBar()->addWidget(m_runEndPane, 1);
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
    // the first pane, cut to its width; the whole advice is one hover or
    // click away, and on the terminal for those who started from one.
    if (text == m_strPortStatus)
        return;
    m_strPortStatus = text;
    if (m_portPane)
        m_portPane->setFullText(text);
    std::fprintf(stderr, "zb740: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

QRect CMainFrame::clientRectInView() const
{
    const int clientTop = menuBar()->isHidden() ? 0 : menuBar()->geometry().bottom() + 1;
    const int viewTop = m_view->geometry().top();
    return QRect(0, clientTop - viewTop, width(), height() - clientTop);
}

void CMainFrame::updateCommands()
{
    const RunState& run = m_recorder->run();
    const bool hasSamples = run.m_nCount != 0;
    action(Command::Save)->setEnabled(hasSamples);
    action(Command::Run)->setEnabled(run.m_bRunEnabled);
    action(Command::Stop)->setEnabled(run.m_bStopEnabled);
    action(Command::UndoZoom)->setEnabled(m_view->isZoomed());
    action(Command::StepBack)->setEnabled(m_view->isZoomed());
    m_report->setRunHasSamples(hasSamples);
    m_export->setRunHasSamples(hasSamples);
    // One logger window at a time: Open is disabled once it has painted.
    action(Command::Open)->setEnabled(!m_loggerSession->m_bLoggerShown);
    updateTitle();
}

QString CMainFrame::runName() const
{
    const RunState& run = m_recorder->run();
    if (m_bSavedAny && m_saved.start == run.m_tStart)
        return m_strSavedName;
    return QStringLiteral("unsaved run");
}

void CMainFrame::updateTitle()
{
    // Called after every sample: the texts are made only when they change.
    const QString name = runName();
    if (name != m_strTitleName || windowTitle().isEmpty()) {
        m_strTitleName = name;
        setWindowTitle(QStringLiteral("ZB740 \u2014 %1[*]").arg(name));
    }
    const bool unsaved = unsavedSamples() > 0;
    if (isWindowModified() != unsaved)
        setWindowModified(unsaved);
}

bool CMainFrame::askYesNo(const QString& text)
{
    return QMessageBox::question(this, QStringLiteral("ZB740"), text, QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}

void CMainFrame::onRun()
{
    RunState& run = m_recorder->run();
    CSampleRateDlg dlg(m_options.configFile, this);
    if (run.intervalSeconds() >= 1)
        dlg.setSampleRate(run.intervalSeconds());
    if (run.m_nSampleLimit >= 1000 && run.m_nSampleLimit <= 10000)
        dlg.setSampleData(run.m_nSampleLimit);

    // A run that a save holds as it stands is not asked about again, and a
    // run without a sample (stopped before its first one) has nothing to save.
    if (run.m_bHasRun && unsavedSamples() > 0) {
        if (askYesNo(QStringLiteral("Do you want to save the existing graph data before continuing?")))
            (void)saveRun(); // a failure was shown; the new run may still replace the old one
        else
            m_recorder->runDiscarded(run.m_nCount);
    }
    if (dlg.exec() == QDialog::Accepted)
        confirmRun(dlg.sampleRate(), dlg.sampleData());
    afterRunCommand();
}

void CMainFrame::startRun(int intervalSeconds, int sampleCount)
{
    confirmRun(intervalSeconds, sampleCount);
    afterRunCommand();
}

void CMainFrame::afterRunCommand()
{
    RunState& run = m_recorder->run();
    if (run.m_bRunning)
        run.m_bHasRun = true;
    m_view->graph()->invalidate();
    updateCommands();
}

void CMainFrame::confirmRun(int intervalSeconds, int sampleCount)
{
    // A new run: its own events, and nothing said about the last one.
    m_eventList->clear();
    m_runEndPane->clear();
    m_bPowerSent = false;
    m_recorder->confirmRun(intervalSeconds, sampleCount);
    const RunState& run = m_recorder->run();
    m_view->curveBar()->setSampleSettings(run.intervalSeconds(), run.m_nSampleLimit);
    m_view->graph()->invalidate();
}

void CMainFrame::onStop()
{
    const RunState& run = m_recorder->run();
    const bool recording = run.m_bRunning && !run.m_bIdle;
    m_recorder->stopRun();
    if (recording)
        noteRunEnded(MonitorEvent::Reason::Stop);
    updateCommands();
}

QString CMainFrame::runEndText() const
{
    return m_runEndPane->text();
}

void CMainFrame::noteRunEnded(MonitorEvent::Reason reason)
{
    const int kept = m_recorder->run().m_nCount;
    const int64_t now = m_recorder->now();
    QString why;
    switch (reason) {
    case MonitorEvent::Reason::Count: why = QStringLiteral("%1 samples recorded").arg(kept); break;
    case MonitorEvent::Reason::Link: why = QStringLiteral("the meter stopped answering (%1 samples kept)").arg(kept); break;
    case MonitorEvent::Reason::Power: why = QStringLiteral("the meter was turned off (%1 samples kept)").arg(kept); break;
    default: why = QStringLiteral("stopped (%1 samples kept)").arg(kept); break;
    }
    m_runEndPane->setText(QStringLiteral("Run ended at %1: %2").arg(LocalTime::format(now, "%H:%M:%S"), why));
    MonitorEvent e = MonitorEvent::simple(MonitorEvent::Kind::RunEnded, now);
    e.reason = reason;
    e.samples = kept;
    m_eventList->add(e);
    m_mqtt->publishEvent(e);
}

void CMainFrame::onSave()
{
    (void)saveRun(); // a failure was shown by the saver
}

Status CMainFrame::saveRun()
{
    // Read when the file is chosen: the run may go on while the dialog is open.
    RunSaver saver([this] { return m_recorder->view(); }, m_options.settingsDir);
    Status saved = saver.save(this, m_view->yScale());
    if (saved.ok()) {
        m_saved = saver.savedRun();
        m_strSavedName = QFileInfo(saver.savedPath()).fileName();
        m_savedPath = saver.savedPath();
        m_bSavedAny = true;
        m_recorder->runSaved(m_saved);
        // The run's events beside it.
        const QString events = EventLog::pathBeside(saver.savedPath());
        if (const Status s = EventLog::save(events, m_eventList->events()); !s.ok())
            RunSaver::showError(this, QStringLiteral("Could not save \"%1\": %2").arg(QDir::toNativeSeparators(events), s.message()));
        updateCommands();
    }
    return saved;
}

bool CMainFrame::runSavedAsItStands() const
{
    const RunState& run = m_recorder->run();
    return m_bSavedAny && m_saved.start == run.m_tStart && m_saved.count >= run.m_nCount;
}

int CMainFrame::unsavedSamples() const
{
    const RunState& run = m_recorder->run();
    const int saved = m_bSavedAny && m_saved.start == run.m_tStart ? m_saved.count : 0;
    return std::max(0, run.m_nCount - saved);
}

void CMainFrame::createRecorder()
{
    if (m_options.simulate) {
        // The simulated meter answers on a pseudo-terminal in this process;
        // the link opens it like any pinned device.
        m_simulator = new SimulatedMeter({}, this);
        const Status started = m_simulator->start();
        if (started.ok()) {
            m_options.portDevice = m_simulator->devicePath();
        } else {
            const QString text = QStringLiteral("Cannot start the simulated meter: %1").arg(started.message());
            QMetaObject::invokeMethod(this, [this, text] { setPortStatus(text); }, Qt::QueuedConnection);
        }
    }
    m_recorder = new Recorder(m_options, m_doc.live(), this);
    connect(m_recorder, &Recorder::readingDecoded, this, &CMainFrame::onReadingDecoded);
    connect(m_recorder, &Recorder::alarmChanged, this, &CMainFrame::onAlarmChanged);
    // The run-end check runs on every receive event, a rejected one too.
    connect(m_recorder, &Recorder::bufferRejected, this, &CMainFrame::updateCommands);
    connect(m_recorder, &Recorder::linkChanged, this, &CMainFrame::onLinkChanged);
    connect(m_recorder, &Recorder::sampleCommitted, this, [this] {
        m_view->onSampleCommitted();
        updateCommands();
    });
    connect(m_recorder, &Recorder::runFinished, this, [this] {
        const RunState& run = m_recorder->run();
        if (run.m_nCount >= run.m_nSampleLimit)
            noteRunEnded(MonitorEvent::Reason::Count);
        else
            noteRunEnded(m_bPowerSent ? MonitorEvent::Reason::Power : MonitorEvent::Reason::Link);
        updateCommands();
    });
    connect(m_recorder, &Recorder::portStatusChanged, this, &CMainFrame::setPortStatus);
    connect(m_recorder, &Recorder::over16Message, this, [this](const QString& text) {
        QMessageBox::warning(this, QStringLiteral("ZB740"), text, QMessageBox::Ok);
    });
}

void CMainFrame::onReadingDecoded(const ReadingUpdate& update)
{
    // The panels repaint what changed themselves.
    const MeterReadout& shown = m_recorder->readout();
    m_view->meterPanel()->setDisplayTexts(shown.lcd);
    m_view->alarmPanel()->setMinMaxTexts(shown.minMax);
    m_view->alarmPanel()->setFahrenheit(m_recorder->run().m_bFahrenheit);
    m_view->curveBar()->setBatteryText(shown.battery);
    if (update.runStarted)
        m_view->graph()->invalidate();
    updateCommands();
}

void CMainFrame::onAlarmChanged(const AlarmChange& change)
{
    m_view->alarmPanel()->setAlarm(change.channel, change.bound, change.on);
}

void CMainFrame::onLinkChanged(bool up)
{
    m_view->meterPanel()->setLinkUp(up);
    updateCommands();
}

void CMainFrame::sendKeyPacket(const QByteArray& packet)
{
    // POWER during a run ends it: asked first.
    const RunState& run = m_recorder->run();
    if (packet == meter::keyPressPacket(meter::RemoteKey::PowerOff) && run.m_bRunning && !run.m_bIdle) {
        if (!askYesNo(QStringLiteral("This turns the meter off and ends the recording.")))
            return;
        m_bPowerSent = true;
    }
    m_recorder->sendKeyPacket(packet);
}

CLoggerGraphDlg* CMainFrame::loggerWindow() const
{
    return m_loggerDlg;
}

CLoggerGraphDlg* CMainFrame::onOpen()
{
    if (m_loggerDlg) {
        m_loggerDlg->raise();
        m_loggerDlg->activateWindow();
        return m_loggerDlg;
    }
    m_loggerSession->m_bLoggerOpen = true;
    auto* dlg = new CLoggerGraphDlg(*m_loggerSession, settings::settingsFilePath(m_options), m_options.settingsDir,
                                    this);
    connect(dlg, &CLoggerGraphDlg::shownChanged, this, &CMainFrame::updateCommands);
    // Print: the displayed set with the logger's own curves and scale.
    dlg->setPrintHandler([this, dlg] {
        const LoggerSession& s = *m_loggerSession;
        // A failure was shown by the printer; a set without samples prints nothing.
        ReportInput in = ReportInputs::ofReviewRecord(s.record(), s.showCurve, s.scale());
        in.limits = ReportInputs::limitsOf(m_view->alarmPanel()->alarmLimits());
        (void)m_report->printer().printLoggerSet(dlg, in);
    });
    // Export: the displayed set, all five channels.
    dlg->setExportHandler([this, dlg](SampleExport::Format format) {
        if (!m_loggerSession->hasSet())
            return;
        (void)ExportCommands::exportRun(dlg, format, m_options.settingsDir,
                                        [this] { return m_loggerSession->run(); }); // failures were shown
    });
    m_loggerDlg = dlg;
    dlg->show();
    return dlg;
}

int CMainFrame::openLoggerWithFiles(const QStringList& paths)
{
    CLoggerGraphDlg* dlg = onOpen();
    int loaded = 0;
    for (const QString& path : paths) {
        if (dlg->loadFile(path).ok())
            ++loaded;
    }
    return loaded;
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
    const RunState& run = m_recorder->run();
    settings::CloseValues v;
    v.comPort = m_recorder->link().m_nComPort;
    v.limits = m_view->alarmPanel()->limitTexts();
    // Empty before the first Run.
    if (run.m_nSampleMs > 0) {
        v.sampleRateText = QString::number(run.intervalSeconds());
        v.sampleDataText = QString::number(run.m_nSampleLimit);
    }
    v.gain = m_view->m_nYGain;
    v.offset = m_view->m_nYOffset;
    // A settings file that cannot be written is not worth a question at
    // close; the next start reads its defaults.
    (void)settings::writeAtClose(settings::settingsFile(m_options), v);
    // The logger window, still open, keeps its size for the next start.
    if (m_loggerDlg)
        (void)m_loggerDlg->storeSize();
}

void CMainFrame::closeWithoutAsking()
{
    m_bClosingWithoutAsking = true;
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // The question comes first: a close the user abandons, or a save that
    // was cancelled or failed, leaves everything as it was, the run still
    // recording. Only a close that goes ahead writes the settings and
    // lets go of the meter.
    if (!m_bClosingWithoutAsking && !askToSaveBeforeClosing()) {
        event->ignore();
        return;
    }
    writeSettingsAtClose();
    m_recorder->shutDown();
    if (m_bClosingWithoutAsking)
        keepSamplesOutsideJournal();
    event->accept();
}

QString CMainFrame::closingQuestion(int unsaved) const
{
    // A run never saved is asked about as a whole; after a save, the
    // question says what No would throw away.
    if (unsaved >= m_recorder->run().m_nCount)
        return QStringLiteral("Do you want to save the data before closing?");
    if (unsaved == 1)
        return QStringLiteral("1 sample recorded since the last save is not saved. Save it?");
    return QStringLiteral("%1 samples recorded since the last save are not saved. Save them?").arg(unsaved);
}

bool CMainFrame::askToSaveBeforeClosing()
{
    // One sample is not worth a question; a run saved as it stands is not
    // asked about.
    if (m_recorder->run().m_nCount <= 1 || unsavedSamples() == 0)
        return true;
    // The run may go on recording while the question is open: the text
    // follows it, so No throws away exactly the samples it names.
    QMessageBox box(QMessageBox::Question, QStringLiteral("ZB740"), closingQuestion(unsavedSamples()),
                    QMessageBox::Yes | QMessageBox::No, this);
    int named = m_recorder->run().m_nCount;
    const QMetaObject::Connection follow = connect(m_recorder, &Recorder::sampleCommitted, &box, [this, &box, &named] {
        named = m_recorder->run().m_nCount;
        box.setText(closingQuestion(unsavedSamples()));
    });
    const bool yes = box.exec() == QMessageBox::Yes;
    disconnect(follow);
    if (!yes) {
        m_recorder->runDiscarded(named);
        return true;
    }
    return saveRun().ok();
}

// --- the run journal -------------------------------------------------------

void CMainFrame::keepSamplesOutsideJournal()
{
    const int outside = m_recorder->samplesOutsideJournal();
    if (outside == 0)
        return;
    const RunState& run = m_recorder->run();
    // The whole run goes into one new journal, at the first place that
    // takes all of it. A place that took only a part keeps it until a later
    // one takes the whole.
    QStringList partial;
    QStringList failures;
    QString kept;
    const QString folders[] = {Recovery::folderIn(m_options.settingsDir), m_options.settingsDir, m_options.homeDir};
    for (int place = 0; place < 3 && kept.isEmpty(); ++place) {
        if (folders[place].isEmpty())
            continue;
        QString path;
        Status s = place == 0 ? Recovery::newJournalPath(m_options.settingsDir, run.m_tStart, path)
                              : EmergencyJournal::newPathIn(folders[place], run.m_tStart, path);
        if (s.ok())
            s = m_recorder->writeRunJournal(path);
        if (s.ok()) {
            kept = path;
        } else {
            failures << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path.isEmpty() ? folders[place] : path),
                                                    s.message());
            if (!path.isEmpty() && QFileInfo::exists(path))
                partial << path;
        }
    }
    QString text;
    if (!kept.isEmpty()) {
        for (const QString& p : partial)
            (void)RunJournal::removeFile(p); // the whole run is in the one kept
        text = QStringLiteral("The run of %1 samples (%2 of them in no journal) is kept in \"%3\"; the next start "
                              "offers it.")
                   .arg(run.m_nCount)
                   .arg(outside)
                   .arg(QDir::toNativeSeparators(kept));
    } else {
        text = QStringLiteral("%1 samples of the run are in no journal and could not be kept: %2")
                   .arg(outside)
                   .arg(failures.join(QStringLiteral("; ")));
    }
    std::fprintf(stderr, "zb740: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void CMainFrame::setUpJournal()
{
    // A new file in the recovery folder for every run; the next start
    // offers what is left there.
    m_recorder->setJournalPaths([dir = m_options.settingsDir](int64_t start, QString& path) {
        return Recovery::newJournalPath(dir, start, path);
    });
    m_recorder->setJournalScale(m_view->yScale());
    connect(m_view, &CKMView::yScaleChanged, m_recorder, &Recorder::setJournalScale);
    connect(m_recorder, &Recorder::journalFailed, this, &CMainFrame::onJournalFailed);
}

void CMainFrame::onJournalFailed(const QString& path, const QString& message)
{
    // Said once per run, without stopping anything: the run goes on
    // recording and can be saved as always.
    const QString text = QStringLiteral("The journal of this run cannot be written (%1): %2\n"
                                        "Recording goes on; save the run before closing, as a crash would lose it.")
                             .arg(QDir::toNativeSeparators(path), message);
    std::fprintf(stderr, "zb740: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("ZB740"), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
