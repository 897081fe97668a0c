#include "app/CKMView.h"

#include "app/CMainFrame.h"
#include "settings/Settings.h"
#include "widgets/CScrollStrip.h"
#include "graph/RealtimeGraph.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace {

constexpr int kWatchdogMs = 3000;

} // namespace

CKMView::CKMView(CMainFrame* frame)
    : QWidget(frame)
    , m_frame(frame)
    , m_run(frame->run())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);

    // The instrument panels, hidden until the first layout shows them.
    m_curveBar = new CCurveBar(m_run, frame->options(), {&m_bShowCurve, &m_nYGain, &m_nYOffset}, this);
    m_alarmPanel = new CAlarmPanel(frame->options(), this);
    m_meterPanel = new CMeterPanel(m_run, this);
    const std::pair<QWidget*, const char*> panels[] = {
        {m_curveBar, "curveBar"}, {m_alarmPanel, "alarmPanel"}, {m_meterPanel, "meterPanel"}};
    for (const auto& [panel, name] : panels) {
        panel->setObjectName(QLatin1String(name));
        panel->hide();
    }
    connect(m_curveBar, &CCurveBar::viewsNeedUpdate, this, qOverload<>(&QWidget::update));
    connect(this, &CKMView::sampleCommitted, m_curveBar, &CCurveBar::refresh);
    m_scrollStrip = new CScrollStrip(this);
    m_scrollStrip->setObjectName(QStringLiteral("scrollStrip"));
    m_scrollStrip->setAutoFillBackground(true);
    m_scrollStrip->hide(); // shown by the first layout

    m_graph = new RealtimeGraph(this, *this, m_run, frame->doc().live(), frame->graphFont());
    m_graph->setFrameClient([this] { return m_frame->clientRectInView(); });
    m_graph->setScrollStrip(m_scrollStrip);
    connect(m_graph, &RealtimeGraph::statusText, this, [this](int pane, const QString& text) {
        m_frame->setPaneText(pane, text);
    });
    connect(m_graph, &RealtimeGraph::undoZoomEnabledChanged, m_frame, &CMainFrame::updateCommands);
    connect(m_graph, &RealtimeGraph::rearmSampleTimer, this, [this](int periodMs) {
        if (periodMs > 0)
            m_sampleTimer->start(periodMs);
    });

    const IniFile ini = settings::settingsFile(frame->options());
    m_nYGain = settings::gainForIndex(settings::readGainIndex(ini, settings::kViewGainIndex), m_nYGain);
    m_nYOffset = settings::offsetForIndex(settings::readOffsetIndex(ini, settings::kOffsetIndex), m_nYOffset);

    m_sampleTimer = new QTimer(this);
    connect(m_sampleTimer, &QTimer::timeout, this, &CKMView::onSampleTimer);
    m_watchdogTimer = new QTimer(this);
    m_watchdogTimer->setInterval(kWatchdogMs);
    connect(m_watchdogTimer, &QTimer::timeout, this, &CKMView::onWatchdogTimer);
}

CKMView::~CKMView() = default;

bool CKMView::isZoomed() const
{
    return m_graph->undoZoomEnabled();
}

void CKMView::onUndoZoom()
{
    m_graph->undoZoom();
}

void CKMView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_bTimersStarted) {
        m_bTimersStarted = true;
        m_watchdogTimer->start();
        layoutPanels();
        // The frame creates its commands after the view.
        connect(m_frame->action(CMainFrame::Command::UndoZoom), &QAction::triggered, this, &CKMView::onUndoZoom,
                Qt::UniqueConnection);
    }
}

void CKMView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutPanels();
}

void CKMView::moveEvent(QMoveEvent* event)
{
    // The toolbar or the menu bar changed height: the frame's client
    // coordinates moved relative to the view.
    QWidget::moveEvent(event);
    layoutPanels();
}

void CKMView::layoutPanels()
{
    // The layout is given in the frame's client coordinates; the view sits
    // below the toolbar, so every place is shifted by the view's offset.
    const QRect client = m_frame->clientRectInView();
    const int L = client.left(), T = client.top(), R = client.right() + 1, B = client.bottom() + 1;
    auto place = [](QWidget* w, int x, int y, int cx, int cy) {
        w->setGeometry(x, y, std::max(cx, 0), std::max(cy, 0));
        w->show();
        w->raise();
    };
    place(m_curveBar, L + 228, T + 30, R - L - 230, 95);
    if (B - 120 > T + 142)
        place(m_alarmPanel, L + 228, B - 170, R - L - 230, 150);
    place(m_meterPanel, 0, T + 31, 228, B - T - 50);
    if (B - 142 > T + 142)
        place(m_scrollStrip, L + 228, B - 192, R - L - 230, 25);
}

void CKMView::paintEvent(QPaintEvent* event)
{
    // The graph paints the whole view, including the frame's grey areas
    // around it, and re-arms the sample timer when Run asked for it.
    QPainter p(this);
    m_graph->paint(p, event->rect());
    // The panels' texts follow every redraw of the graph.
    m_curveBar->refresh();
    m_alarmPanel->refresh();
}

void CKMView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_graph->mousePress(event->position().toPoint());
    // Right button: consumed, no context menu.
}

void CKMView::contextMenuEvent(QContextMenuEvent* event)
{
    // The right button is consumed: the graph has no context menu.
    event->accept();
}

void CKMView::mouseMoveEvent(QMouseEvent* event)
{
    m_graph->mouseMove(event->position().toPoint());
}

void CKMView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_graph->mouseRelease(event->position().toPoint());
}

void CKMView::onSampleTimer()
{
    const bool newSample = m_run.m_bNewFrame && m_run.m_bRunning;
    if (newSample && !m_bDragging)
        update();
    if (m_run.commit())
        emit sampleCommitted();
}

void CKMView::onWatchdogTimer()
{
    emit watchdogTick();
}
