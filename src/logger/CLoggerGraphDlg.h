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
class QLabel;
class QMenu;
class QScrollBar;
class QTableWidget;
class QToolBar;
class QToolButton;

class CLoggerGraphDlg : public QWidget, private PlotController::Host {
    Q_OBJECT
public:
    // The window's client size when it opens the first time, from its
    // template; the user may size it (the plot grows with it) and the size
    // is kept in ZB740.ini for the next window.
    static constexpr int kClientWidth = 946;
    static constexpr int kClientHeight = 598;
    // The smallest client: the list, a plot and the toolbar's faces.
    static constexpr int kMinWidth = 640;
    static constexpr int kMinHeight = 360;

    // settingsFile: ZB740.ini, read for the Y scale dialog's preselection
    // and the window's size; only the window's own size keys are written
    // (storeSize). startFolder: where Download's file dialog opens.
    CLoggerGraphDlg(LoggerSession& session, QString settingsFile, QString startFolder, QWidget* parent = nullptr);
    ~CLoggerGraphDlg() override;

    // The toolbar's commands, in button order.
    enum class Command { Download, Print, ZoomOut, Air, Wb, Dp, Kir, Rh, Combine, YAxis };
    QAction* action(Command c) const { return m_actions[size_t(c)]; }
    QToolBar* toolBar() const { return m_toolBar; }
    // Backspace: one zoom level back (from level 0, the whole set).
    QAction* stepBackAction() const { return m_stepBack; }
    QTableWidget* list() const { return m_list; }
    QScrollBar* scrollBar() const { return m_scrollBar; }
    // The line under the list that says when a load started the list over.
    QLabel* listNotice() const { return m_listNotice; }
    // The list's columns.
    enum Column { SetColumn, TimeColumn, RateColumn, CountColumn, FileColumn, ColumnCount };

    // Writes the window's size to ZB740.ini when it differs from the one
    // stored (or, with none stored, from the default size). Done when the
    // window closes, and by the main frame when the program ends.
    Status storeSize() const;

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
    // Loads the files in order; the last one loaded stays displayed. The
    // files that cannot be loaded are named in one message, each with its
    // reason ("run3.AsmDat: Invalid Format!").
    void loadFiles(const QStringList& paths);
    // A double-click on list row `row`.
    void selectRow(int row);
    void showOnlyCurve(int channel);
    void showAllCurves();
    void onYAxis();
    void onZoomOut();
    void onStepBack();

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
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createToolBar();
    void createList();
    // Places the toolbar, the list, its notice and the scroll bar for the
    // window's size.
    void layoutChildren();
    // PlotController::Host: the mouse handlers work on the layout of the
    // picture the user sees; one a state change has outdated is laid out
    // (and drawn) first.
    const plot::PlotFrame& currentFrame() override;
    const plot::PlotFrame& lastFrame() const override { return m_plot.frame(); }
    void repaintOverlay(const QRect& area) override { update(area); }
    void cursorMoved() override;

    void render();
    // A list row for an appended set; a non-empty note marks it.
    void addRow(const LoggerSetTable::Appended& appended, const QString& path, const QString& note);
    void resetDisplay();
    // A load without a message box (the failure goes to stderr).
    Status loadQuietly(const QString& path);
    // The message of one file's failure, and its reason alone.
    static QString failureText(const QString& path, const Status& status);
    static QString reasonText(const Status& status);
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
    QLabel* m_listNotice = nullptr;
    std::array<QAction*, 10> m_actions {};
    QAction* m_stepBack = nullptr;
    std::function<void()> m_print;
    QToolButton* m_exportButton = nullptr;
    QMenu* m_exportMenu = nullptr;
    std::function<void(SampleExport::Format)> m_export;
    bool m_dirty = true;          // the whole picture must be drawn again
    bool m_readoutDirty = false;  // only the read-out changed
};
