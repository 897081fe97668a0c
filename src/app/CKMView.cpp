#include "app/CKMView.h"

#include "app/CMainFrame.h"
#include "graph/RealtimeGraph.h"
#include "base/TenthsText.h"
#include "settings/Settings.h"
#include "widgets/Accessible.h"
#include "widgets/CYScaleDlg.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

CKMView::CKMView(CMainFrame* frame)
    : QWidget(frame)
    , m_frame(frame)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);

    // The instrument panels, hidden until the first layout shows them.
    const ProgramPaths& paths = frame->options();
    m_curveBar = new CCurveBar(this);
    m_alarmPanel = new CAlarmPanel(settings::readConfiguredLimitTexts(settings::configFile(paths)), this);
    m_meterPanel = new CMeterPanel(this);
    const std::pair<QWidget*, const char*> panels[] = {
        {m_curveBar, "curveBar"}, {m_alarmPanel, "alarmPanel"}, {m_meterPanel, "meterPanel"}};
    for (const auto& [panel, name] : panels) {
        panel->setObjectName(QLatin1String(name));
        panel->hide();
    }
    connect(m_curveBar, &CCurveBar::curveChosen, this, &CKMView::showOnlyCurve);
    connect(m_curveBar, &CCurveBar::combineChosen, this, &CKMView::showAllCurves);
    connect(m_curveBar, &CCurveBar::yAxisChosen, this, &CKMView::chooseYScale);
    connect(m_curveBar, &CCurveBar::limitsToggled, this, &CKMView::onLimitsToggled);
    connect(m_alarmPanel, &CAlarmPanel::limitsChanged, this, &CKMView::onLimitsChanged);
    m_scrollStrip = new CScrollStrip(this);
    m_scrollStrip->setObjectName(QStringLiteral("scrollStrip"));
    m_scrollStrip->scrollBar()->setAccessibleName(QStringLiteral("Scroll the zoomed graph"));
    m_scrollStrip->setAutoFillBackground(true);
    m_scrollStrip->hide(); // shown by the first layout

    const Recorder& recorder = frame->recorder();
    m_graph = new RealtimeGraph(this, [this, &recorder] {
        return RealtimeGraph::Inputs {recorder.view(), yScale(), m_bShowCurve, limitMarks(m_bShowCurve)};
    }, frame->graphFont());
    m_graph->setFrameClient([this] { return m_frame->clientRectInView(); });
    m_graph->setScrollStrip(m_scrollStrip);
    connect(m_graph, &RealtimeGraph::statusText, this, [this](int pane, const QString& text) {
        m_frame->setPaneText(pane, text);
    });
    connect(m_graph, &RealtimeGraph::undoZoomEnabledChanged, m_frame, &CMainFrame::updateCommands);

    // The graph is drawn on the view: a screen reader finds it here, with
    // the last reading of each shown curve.
    setAccessibleName(QStringLiteral("Real-time graph"));
    accessible::describe(this, QAccessible::Chart, [this] { return lastReadingsText(); });
    onLimitsChanged();

    const IniFile ini = settings::settingsFile(paths);
    m_nYGain = gainForIndex(settings::readGainIndex(ini, settings::kViewGainIndex), m_nYGain);
    m_nYOffset = offsetForIndex(settings::readOffsetIndex(ini, settings::kOffsetIndex), m_nYOffset);
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

void CKMView::onStepBack()
{
    m_graph->stepBack();
}

void CKMView::onSampleCommitted()
{
    const RunState& run = m_frame->recorder().run();
    m_curveBar->setCommitted(run.m_tStart, run.m_nCount);
    m_graph->onSampleCommitted();
    accessible::valueChanged(this);
}

QString CKMView::lastReadingsText() const
{
    const RunView run = m_frame->recorder().view();
    if (run.count() <= 0)
        return QStringLiteral("No samples yet");
    const int last = run.count() - 1;
    const QString temperatureUnit = run.fahrenheit() ? QStringLiteral("\u00b0F") : QStringLiteral("\u00b0C");
    QString text;
    for (int c = 0; c < kChannelCount; ++c) {
        if (!m_bShowCurve[size_t(c)])
            continue;
        const float stored = run.value(last, c);
        char digits[TenthsText::kMaxLength];
        QString reading;
        if (std::isnan(stored) || (c == kKir && stored <= kKirDashesAtOrBelow)) {
            reading = QStringLiteral("no reading");
        } else {
            const float shown = toDisplayUnit(stored, c, run.fahrenheit());
            const int n = c == kKir ? TenthsText::formatDouble(digits, cutToTenth(shown))
                                    : TenthsText::formatFloat(digits, shown);
            reading = QString::fromLatin1(digits, n) + QLatin1Char(' ')
                + (c == kRh ? QStringLiteral("%RH") : temperatureUnit);
        }
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        text += QLatin1String(kChannelLegend[size_t(c)]) + QLatin1Char(' ') + reading;
    }
    return text.isEmpty() ? QStringLiteral("No curve shown") : text;
}

void CKMView::showOnlyCurve(int channel)
{
    for (int c = 0; c < kChannelCount; ++c)
        m_bShowCurve[size_t(c)] = c == channel;
    m_graph->invalidate();
    accessible::valueChanged(this);
}

void CKMView::showAllCurves()
{
    m_bShowCurve.fill(true);
    m_graph->invalidate();
    accessible::valueChanged(this);
}

plot::LimitInputs CKMView::limitMarks(const CurveSet& shown) const
{
    const AlarmLimits limits = m_alarmPanel->alarmLimits();
    return {m_bShowLimits ? shown : CurveSet {}, limits.high, limits.low};
}

void CKMView::onLimitsChanged()
{
    if (!m_bLimitsChosen) {
        const AlarmLimits limits = m_alarmPanel->alarmLimits();
        m_bShowLimits = limits.high != settings::kDefaultHighLimits || limits.low != settings::kDefaultLowLimits;
        m_curveBar->setLimitsShown(m_bShowLimits);
    }
    m_graph->invalidate();
    emit limitMarksChanged();
}

void CKMView::onLimitsToggled(bool shown)
{
    m_bLimitsChosen = true;
    m_bShowLimits = shown;
    m_graph->invalidate();
    emit limitMarksChanged();
}

void CKMView::chooseYScale()
{
    // The dialog starts at the scale the settings file holds; the choice
    // becomes the graph's scale and is stored there.
    const IniFile ini = settings::settingsFile(m_frame->options());
    CYScaleDlg dlg(settings::readGainIndex(ini, settings::kDialogGainIndex),
                   settings::readOffsetIndex(ini, settings::kOffsetIndex), this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    // An index outside its table leaves that part of the scale as it was.
    const YScaleValues chosen = dlg.chosenScale(yScale());
    m_nYGain = chosen.gain;
    m_nYOffset = chosen.offset;
    m_graph->invalidate();
    emit yScaleChanged(yScale());
    // Not being able to store the choice costs only its preselection next time.
    (void)settings::writeYScaleIndexes(ini, dlg.gainIndex(), dlg.offsetIndex());
}

void CKMView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_bShownOnce) {
        m_bShownOnce = true;
        layoutPanels();
        // The frame creates its commands after the view.
        connect(m_frame->action(CMainFrame::Command::UndoZoom), &QAction::triggered, this, &CKMView::onUndoZoom,
                Qt::UniqueConnection);
        connect(m_frame->action(CMainFrame::Command::StepBack), &QAction::triggered, this, &CKMView::onStepBack,
                Qt::UniqueConnection);
    }
}

void CKMView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_graph)
        m_graph->paletteChanged();
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
    // around it.
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
