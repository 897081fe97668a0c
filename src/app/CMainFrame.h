#pragma once
// The main window: menu, toolbar, status bar, the run commands and the close
// sequence. It owns the document, the run state and the view; the panels and
// the graph are drawn by the view.
#include "app/AppOptions.h"
#include "run/RunState.h"
#include "settings/Settings.h"
#include "data/CKMDoc.h"

#include <QFont>
#include <QMainWindow>
#include <array>

class CKMView;
class ReportCommands;
class MeterLink;
class SimulatedMeter;
class QAction;
class QLabel;
class QTimer;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(const AppOptions& options, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The commands of the menu and toolbar.
    enum class Command { Save, Open, Print, Exit, Run, Stop, UndoZoom, About, Contents };
    QAction* action(Command c) const { return m_actions[static_cast<int>(c)]; }

    RunState& run() { return m_run; }
    CKMDoc& doc() { return m_doc; }
    CKMView* view() const { return m_view; }
    const AppOptions& options() const { return m_options; }
    const QFont& graphFont() const { return m_graphFont; }
    // Print and Export Report as PDF.
    ReportCommands* reportCommands() const { return m_report; }
    // The meter link: serial control, decoder, port discovery, watchdog.
    MeterLink* link() const { return m_link; }
    // The in-process simulated meter of --simulate (else null).
    SimulatedMeter* simulatedMeter() const { return m_simulator; }

    // Status bar panes 0..2 (150, 150 and 500 pixels).
    QString paneText(int pane) const;
    void setPaneText(int pane, const QString& text);

    // Frame client rectangle (below the menu bar, toolbar and status bar
    // included) in the coordinates of the view.
    QRect clientRectInView() const;

    // The state of the meter's port as last reported by the link (shown,
    // shortened, in pane 0).
    const QString& portStatusText() const { return m_strPortStatus; }
    void setPortStatus(const QString& text);

    // Enabled states follow the run flags; called after every state change
    // and on a short timer.
    void updateCommands();

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
    void confirmRun(int intervalSeconds, int sampleCount);
    // Writes the data files of the current run; a failure has been shown to
    // the user.
    Status saveRun();
    bool askYesNo(const QString& text);
    void writeSettingsAtClose();
    void onPollTimer();
    void onScanTimer();
    void createLink();
    void onFrameDecoded(bool runStarted, bool lcdChanged, bool alarmsChanged);
    void onLinkLost();

    AppOptions m_options;
    CKMDoc m_doc;
    RunState m_run;
    CKMView* m_view = nullptr;
    QFont m_graphFont;
    std::array<QAction*, 9> m_actions {};
    std::array<QLabel*, 3> m_panes {};
    QString m_strPortStatus;
    QTimer* m_pollTimer = nullptr;
    QTimer* m_scanTimer = nullptr;
    QTimer* m_commandTimer = nullptr;
    SimulatedMeter* m_simulator = nullptr;
    MeterLink* m_link = nullptr;
    ReportCommands* m_report = nullptr;
};
