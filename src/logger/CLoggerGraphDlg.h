#pragma once
// The logger graph window: a modeless window captioned "Graph", owned by the
// main frame, that reviews saved runs. It lists the data sets loaded since it
// opened, plots the displayed one with zoom, scroll, cursor and read-out, and
// loads files from its Download command, from the command line and from
// files dropped on it. Its state lives in a LoggerSession that outlives it;
// the window shows the session and turns the user's commands into calls on
// it. It deletes itself when it closes.
#include "base/Status.h"
#include "data/SampleExport.h"
#include "logger/LoggerChrome.h"
#include "logger/LoggerSession.h"
#include "widgets/PlotController.h"

#include <QPoint>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QScrollBar;
class QTableWidget;
class QToolBar;
class QToolButton;

class CLoggerGraphDlg : public QWidget, private PlotController::Host {
    Q_OBJECT
public:
    // The window's client size, from its template.
    static constexpr int kClientWidth = 946;
    static constexpr int kClientHeight = 598;

    // settingsFile: ZB740.ini, read (never written) for the Y scale dialog's
    // preselection. startFolder: where Download's file dialog opens.
    CLoggerGraphDlg(LoggerSession& session, QString settingsFile, QString startFolder, QWidget* parent = nullptr);
    ~CLoggerGraphDlg() override;

    // The toolbar's commands, in button order.
    enum class Command { Download, Print, ZoomOut, Air, Wb, Dp, Kir, Rh, Combine, YAxis };
    QAction* action(Command c) const { return m_actions[size_t(c)]; }
    QToolBar* toolBar() const { return m_toolBar; }
    QTableWidget* list() const { return m_list; }
    QScrollBar* scrollBar() const { return m_scrollBar; }

    LoggerSession& session() { return m_session; }
    const plot::PlotFrame& frame() const { return m_plot.frame(); }
    const PlotRenderer& renderer() const { return m_plot.renderer(); }

    // Download: the file dialog, then the load. Cancel does nothing more.
    void onDownload();
    // Loads one file and appends it; a failure is shown (and written to
    // stderr) naming the file and the reason, or "Invalid Format!". A file
    // whose scale gave way to the default scale loads without a question:
    // the note goes to stderr and onto the set's row (a warning sign and
    // the note as the row's tool tip).
    Status loadFile(const QString& path);
    // Loads the files in order; the last one loaded stays displayed.
    void loadFiles(const QStringList& paths);
    // A double-click on list row `row`.
    void selectRow(int row);
    void showOnlyCurve(int channel);
    void showAllCurves();
    void onYAxis();
    void onZoomOut();

    // Print prints the displayed set; until a handler is set it stays
    // disabled.
    void setPrintHandler(std::function<void()> handler);
    // The Export button beside the toolbar: its menu's commands
    // ("Spreadsheet (CSV, UTF-8)…", "JSON lines…") export the displayed
    // set through the handler; until one is set the button is disabled.
    void setExportHandler(std::function<void(SampleExport::Format)> handler);
    QToolButton* exportButton() const { return m_exportButton; }
    QMenu* exportMenu() const { return m_exportMenu; }

    // A full repaint: invalidate() schedules one, repaintNow() paints now.
    void invalidate();
    void repaintNow() override;
    // One tick of the 10 ms drag watch.
    void watchDrag() { m_controller.watchBand(); }
    bool dragWatchRunning() const { return m_controller.bandWatchRunning(); }

signals:
    // The session's m_bLoggerShown changed (first paint, close).
    void shownChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createToolBar();
    void createList();
    // PlotController::Host: the mouse handlers work on the layout of the
    // picture the user sees; one a state change has outdated is laid out
    // (and drawn) first.
    const plot::PlotFrame& currentFrame() override;
    const plot::PlotFrame& lastFrame() const override { return m_plot.frame(); }
    void repaintOverlay(const QRect& area) override { update(area); }
    void cursorMoved() override;

    void render();
    // A list row for an appended set; a non-empty note marks it.
    void addRow(const LoggerSetTable::Appended& appended, const QString& note);
    void resetDisplay();
    void showFailure(const QString& path, const Status& status);
    QRect readoutRect() const;

    LoggerSession& m_session;
    QString m_settingsFile;
    QString m_startFolder;
    LoggerDrawing m_plot;
    PlotController m_controller;
    QToolBar* m_toolBar = nullptr;
    QTableWidget* m_list = nullptr;
    QScrollBar* m_scrollBar = nullptr;
    std::array<QAction*, 10> m_actions {};
    std::function<void()> m_print;
    QToolButton* m_exportButton = nullptr;
    QMenu* m_exportMenu = nullptr;
    std::function<void(SampleExport::Format)> m_export;
    bool m_dirty = true;          // the whole picture must be drawn again
    bool m_readoutDirty = false;  // only the read-out changed
};
