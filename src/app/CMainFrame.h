#pragma once
// The main window: menu, toolbar, status bar, the run commands and the close
// sequence. It owns the document, the recorder (the meter session and the
// run) and the view; the panels and the graph are drawn by the view. Data
// flows one way: the recorder reports, the window shows; the window hands
// the user's commands to the recorder and writes the settings file.
#include "app/AppOptions.h"
#include "base/Status.h"
#include "data/CKMDoc.h"
#include "data/MonitorEvent.h"
#include "recorder/Recorder.h"
#include "settings/Settings.h"

#include <QFont>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>

class CEventList;
class CKMView;
class RecorderEvents;
class ExportCommands;
class MqttCommands;
class ReportCommands;
class CLoggerGraphDlg;
class LoggerSession;
class SimulatedMeter;
class StatusPane;
class QAction;
class QDockWidget;
class QLabel;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(const AppOptions& options, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The commands of the menu and toolbar.
    // StepBack (Backspace) leaves one zoom level; it is a key of the window,
    // in no menu or toolbar.
    enum class Command { Save, Open, Print, Exit, Run, Stop, UndoZoom, About, Contents, StepBack };
    QAction* action(Command c) const { return m_actions[static_cast<int>(c)]; }

    Recorder& recorder() { return *m_recorder; }
    const Recorder& recorder() const { return *m_recorder; }
    RunState& run() { return m_recorder->run(); }
    CKMDoc& doc() { return m_doc; }
    CKMView* view() const { return m_view; }
    const AppOptions& options() const { return m_options; }
    const QFont& graphFont() const { return m_graphFont; }
    // The meter link: serial control, frame parsing, port discovery.
    MeterLink* link() const { return &m_recorder->link(); }
    // Print and Export Report as PDF.
    ReportCommands* reportCommands() const { return m_report; }
    // File > Export: the run as a spreadsheet table or as JSON lines.
    ExportCommands* exportCommands() const { return m_export; }
    // The "Events" list of the current run.
    CEventList* eventList() const { return m_eventList; }
    // Why the last run ended, as the status bar says until the next run
    // ("" while none has ended since).
    QString runEndText() const;

    // The in-process simulated meter of --simulate (else null).
    SimulatedMeter* simulatedMeter() const { return m_simulator; }

    // Status bar panes 0..2 (150, 150 and 500 pixels).
    QString paneText(int pane) const;
    void setPaneText(int pane, const QString& text);

    // Frame client rectangle (below the menu bar, toolbar and status bar
    // included) in the coordinates of the view.
    QRect clientRectInView() const;

    // The state of the meter's port as last reported by the link: shown,
    // shortened, in pane 0, whole in its tool tip and when the pane is
    // clicked, and written to stderr as one line per change.
    const QString& portStatusText() const { return m_strPortStatus; }
    void setPortStatus(const QString& text);

    // Enabled states follow the run flags; called after every state change.
    void updateCommands();

    // The logger window (File > Open): what it works on outlives it.
    LoggerSession& loggerSession() { return *m_loggerSession; }
    CLoggerGraphDlg* loggerWindow() const;
    // Opens the logger window (or brings the open one to the front).
    CLoggerGraphDlg* onOpen();
    // Opens the logger window with these data files loaded in order;
    // returns how many loaded (each failure was shown).
    int openLoggerWithFiles(const QStringList& paths);

    // Ends the program without asking anything, as when the session ends:
    // the settings are written, the port is closed, the window closes, and
    // a run's journal is kept for the next start. Samples of the run that
    // are in no journal (it could not be written) and not saved go, with
    // the whole run, into an emergency journal: in the recovery folder, else
    // in the settings folder, else in the home folder; the next start
    // offers it from there.
    void closeWithoutAsking();

    // Samples of the current run that no successful save holds.
    int unsavedSamples() const;
    // What the title names: the file the last save wrote when it holds the
    // current run (all of it or a part), else "unsaved run". The title is
    // "ZB740 — NAME[*]", marked modified while unsavedSamples() is not 0.
    QString runName() const;
    // Whether a successful save holds the current run with all its samples.
    bool runSavedAsItStands() const;

    // Run confirmed with these settings without showing the dialog, as
    // when Run was answered with them (the --run option, before any other
    // run: there is nothing to ask about saving).
    void startRun(int intervalSeconds, int sampleCount);

public slots:
    void onRun();
    void onStop();
    void onSave();
    void onHelp();
    void onAbout();
    // Remote key packets from the meter face, for the serial control's Output.
    void sendKeyPacket(const QByteArray& packet);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void createRecorder();
    void confirmRun(int intervalSeconds, int sampleCount);
    void afterRunCommand();
    void updateTitle();
    // The run's journal: where it goes, and a journal that cannot be written.
    void setUpJournal();
    void onJournalFailed(const QString& path, const QString& message);
    // Writes the data files of the current run; a failure has been shown to
    // the user.
    Status saveRun();
    bool askYesNo(const QString& text);
    // The question before closing; returns false when the close is called
    // off (a save was cancelled or failed).
    bool askToSaveBeforeClosing();
    // The text of that question while `unsaved` of the run's samples are
    // not saved.
    QString closingQuestion(int unsaved) const;
    void keepSamplesOutsideJournal();
    void writeSettingsAtClose();
    void onReadingDecoded(const ReadingUpdate& update);
    void onAlarmChanged(const AlarmChange& change);
    void onLinkChanged(bool up);
    // A run ended: the status bar and the event list say why.
    void noteRunEnded(MonitorEvent::Reason reason);

    AppOptions m_options;
    CKMDoc m_doc;
    Recorder* m_recorder = nullptr;
    CKMView* m_view = nullptr;
    QFont m_graphFont;
    std::array<QAction*, 10> m_actions {};
    StatusPane* m_portPane = nullptr;
    std::array<QLabel*, 3> m_panes {};
    QString m_strPortStatus;
    SimulatedMeter* m_simulator = nullptr;
    ReportCommands* m_report = nullptr;
    ExportCommands* m_export = nullptr;
    MqttCommands* m_mqtt = nullptr; // publishing to an MQTT broker
    bool m_bClosingWithoutAsking = false;
    // The run the last successful save wrote (start and count).
    RunInfo m_saved;
    QString m_strSavedName;
    QString m_strTitleName; // the name the title shows
    QString m_savedPath;  // the data file of the last successful save
    bool m_bSavedAny = false;
    std::unique_ptr<LoggerSession> m_loggerSession;
    QPointer<CLoggerGraphDlg> m_loggerDlg;
    RecorderEvents* m_events = nullptr;
    CEventList* m_eventList = nullptr;
    QDockWidget* m_eventsDock = nullptr;
    QLabel* m_runEndPane = nullptr;
    bool m_bPowerSent = false; // POWER was sent during the run
};
