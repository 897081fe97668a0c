#pragma once
// The view: fills the frame's client area, owns the graph state and the
// instrument panels, commits samples at the run's interval and runs the
// link watchdog's timer.
#include "data/Channel.h"

#include <QWidget>
#include <array>

class CMainFrame;
class RunState;
class QTimer;

class CKMView : public QWidget {
    Q_OBJECT
public:
    explicit CKMView(CMainFrame* frame);
    ~CKMView() override;

    // Vertical scale of the real-time graph (values, not indexes).
    int m_nYGain = 10;
    int m_nYOffset = 0;
    // Which curves the graph draws, in channel order.
    std::array<bool, kChannelCount> m_bShowCurve {true, true, true, true, true};
    int m_nScrollShift = 0;
    int m_nFirstVisible = 0;
    // A rubber band is being dragged: sample commits do not repaint.
    bool m_bDragging = false;
    // Logger window flags.
    bool m_bLoggerOpen = false;
    bool m_bLoggerShown = false;
    bool m_bAppendPending = false;

    bool isZoomed() const;

    // Places the panels from the frame's client rectangle.
    void layoutPanels();

    // The four panel places of the layout, in view coordinates.
    QWidget* curveBar() const { return m_curveBar; }
    QWidget* alarmPanel() const { return m_alarmPanel; }
    QWidget* meterPanel() const { return m_meterPanel; }
    QWidget* scrollStrip() const { return m_scrollStrip; }

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

public:
    // Sample timer tick: commits the latest reading of a running run.
    void onSampleTimer();

private:
    void onWatchdogTimer();

    CMainFrame* m_frame;
    RunState& m_run;
    QWidget* m_curveBar = nullptr;
    QWidget* m_alarmPanel = nullptr;
    QWidget* m_meterPanel = nullptr;
    QWidget* m_scrollStrip = nullptr;
    QTimer* m_sampleTimer = nullptr;
    QTimer* m_watchdogTimer = nullptr;
    bool m_bTimersStarted = false;
};
