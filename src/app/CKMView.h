#pragma once
// The view: fills the frame's client area, owns the real-time graph and the
// instrument panels, and keeps what the user chose for the graph (its Y
// scale and the curves shown). The panels report the user's choices here;
// the view applies them, and stores the scale in the settings file.
#include "base/Channel.h"
#include "base/YScale.h"
#include "plot/CurveMap.h"
#include "plot/PlotFrame.h"
#include "panels/CAlarmPanel.h"
#include "panels/CCurveBar.h"
#include "panels/CMeterPanel.h"
#include "widgets/CScrollStrip.h"

#include <QWidget>
#include <array>

class CMainFrame;
class RealtimeGraph;

class CKMView : public QWidget {
    Q_OBJECT
public:
    explicit CKMView(CMainFrame* frame);
    ~CKMView() override;

    // The real-time graph's Y scale (value units per division, divisions)
    // and the curves it shows.
    int m_nYGain = 10;
    int m_nYOffset = 0;
    CurveSet m_bShowCurve {true, true, true, true, true};

    YScaleValues yScale() const { return {m_nYGain, m_nYOffset}; }

    // "Limits" in the curve bar: the graphs mark the alarm limits of their
    // shown curves. On from the start when a limit is set (differs from the
    // built-in default), and following that as limits change until the user
    // toggles it. The alarm limits a graph showing `shown` marks.
    plot::LimitInputs limitMarks(const CurveSet& shown) const;
    bool isZoomed() const;

    // Places the panels from the frame's client rectangle.
    void layoutPanels();

    CCurveBar* curveBar() const { return m_curveBar; }
    CAlarmPanel* alarmPanel() const { return m_alarmPanel; }
    CMeterPanel* meterPanel() const { return m_meterPanel; }
    CScrollStrip* scrollStrip() const { return m_scrollStrip; }
    RealtimeGraph* graph() const { return m_graph; }

    // UndoZoom (command 32811): back to the whole run.
    void onUndoZoom();
    // One zoom level back; from level 0, the whole run.
    void onStepBack();
    // A sample was committed: the graph draws it, the curve bar shows it.
    void onSampleCommitted();

    // What a screen reader reads as the graph's description: the last
    // sample of each shown curve ("AIR 23.2 °C, RH 53.5 %RH"), or that the
    // run has none yet.
    QString lastReadingsText() const;

signals:
    // The user chose another Y scale (a run's journal keeps it).
    void yScaleChanged(YScaleValues scale);
    // The limits to mark or the toggle changed.
    void limitMarksChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void showOnlyCurve(int channel);
    void showAllCurves();
    void chooseYScale();
    void onLimitsChanged();
    void onLimitsToggled(bool shown);

    CMainFrame* m_frame;
    CCurveBar* m_curveBar = nullptr;
    CAlarmPanel* m_alarmPanel = nullptr;
    CMeterPanel* m_meterPanel = nullptr;
    CScrollStrip* m_scrollStrip = nullptr;
    RealtimeGraph* m_graph = nullptr;
    bool m_bShownOnce = false;
    bool m_bShowLimits = false;
    bool m_bLimitsChosen = false;  // the user toggled "Limits"
};
