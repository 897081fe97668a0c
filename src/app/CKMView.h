#pragma once
// The view: fills the frame's client area, owns the graph state and the
// instrument panels, commits samples at the run's interval and runs the
// link watchdog's timer.
#include "base/Channel.h"
#include "widgets/CScrollStrip.h"
#include "plot/GraphViewFields.h"
#include "panels/CAlarmPanel.h"
#include "panels/CCurveBar.h"
#include "panels/CMeterPanel.h"

#include <QWidget>
#include <array>

class CMainFrame;
class RunState;
class QTimer;
class RealtimeGraph;

// The graph's fields (m_nYGain, m_nYOffset, m_bShowCurve, m_nScrollShift,
// m_nFirstVisible, m_bDragging, the axis label texts) come with
// GraphViewFields.
class CKMView : public QWidget, public GraphViewFields {
    Q_OBJECT
public:
    explicit CKMView(CMainFrame* frame);
    ~CKMView() override;

    bool isZoomed() const;

    // Places the panels from the frame's client rectangle.
    void layoutPanels();

    // The four panel places of the layout, in view coordinates.
    CCurveBar* curveBar() const { return m_curveBar; }
    CAlarmPanel* alarmPanel() const { return m_alarmPanel; }
    CMeterPanel* meterPanel() const { return m_meterPanel; }
    CScrollStrip* scrollStrip() const { return m_scrollStrip; }
    RealtimeGraph* graph() const { return m_graph; }

    // UndoZoom (command 32811): back to the whole run.
    void onUndoZoom();
    // Sample timer tick: commits the latest reading of a running run.
    void onSampleTimer();

    QTimer* sampleTimer() const { return m_sampleTimer; }
    QTimer* watchdogTimer() const { return m_watchdogTimer; }

signals:
    // A sample was committed (panels refresh their texts).
    void sampleCommitted();
    // The watchdog period passed.
    void watchdogTick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void onWatchdogTimer();

    CMainFrame* m_frame;
    RunState& m_run;
    CCurveBar* m_curveBar = nullptr;
    CAlarmPanel* m_alarmPanel = nullptr;
    CMeterPanel* m_meterPanel = nullptr;
    CScrollStrip* m_scrollStrip = nullptr;
    RealtimeGraph* m_graph = nullptr;
    QTimer* m_sampleTimer = nullptr;
    QTimer* m_watchdogTimer = nullptr;
    bool m_bTimersStarted = false;
};
