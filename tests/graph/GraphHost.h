#pragma once
// A bare widget hosting the real-time graph the way the view does.
#include "app/RunState.h"
#include "data/ReadingStore.h"
#include "graph/CScrollStrip.h"
#include "graph/RealtimeGraph.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <memory>

class GraphHost : public QWidget, public GraphViewFields {
public:
    GraphHost()
        : series(std::make_unique<LiveSeries>())
        , graph(this, *this, run, *series, QFont(QStringLiteral("宋体"), 10))
        , strip(new CScrollStrip(this))
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
        graph.setScrollStrip(strip);
        QObject::connect(&graph, &RealtimeGraph::statusText, [this](int pane, const QString& t) {
            (pane == 1 ? pane1 : pane2) = t;
        });
        QObject::connect(&graph, &RealtimeGraph::undoZoomEnabledChanged, [this](bool on) { undoEnabled = on; });
    }
    RunState run;
    std::unique_ptr<LiveSeries> series;
    RealtimeGraph graph;
    CScrollStrip* strip;
    QString pane1, pane2;
    bool undoEnabled = false;

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QPainter p(this);
        graph.paint(p, e->rect());
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton)
            graph.mousePress(e->position().toPoint());
    }
    void mouseMoveEvent(QMouseEvent* e) override { graph.mouseMove(e->position().toPoint()); }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton)
            graph.mouseRelease(e->position().toPoint());
    }
};
