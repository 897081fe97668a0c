#include "panels/CCurveBar.h"

#include "base/LocalTime.h"
#include "widgets/KeyFilter.h"
#include "widgets/PanelStyle.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
// Button texts in channel order: AIR, WB, DP, K/IR, RH.
const char* const kButtonTexts[kChannelCount] = {"AIR", "WB", "DP", "IR/K", "RH"};
} // namespace

CCurveBar::CCurveBar(QWidget* parent)
    : QWidget(parent)
{
    applyPanelColours(this);
    setFocusPolicy(Qt::ClickFocus);
    setAccessibleName(QStringLiteral("Curves and run"));

    const QFont fieldFont = panelFont(QStringLiteral("Arial"), -14, 0, 500);
    const QFont clockFont = panelFont(QStringList {QStringLiteral("Black Arial"), QStringLiteral("Arial")}, -20, 0, 500);

    auto button = [&](const char* text, int x, int w) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setFont(fieldFont);
        b->setGeometry(x, 4, w, 26);
        return b;
    };
    for (int c = 0; c < kChannelCount; ++c) {
        m_channelButtons[size_t(c)] = button(kButtonTexts[c], 4 + 56 * c, 52);
        m_channelButtons[size_t(c)]->setToolTip(
            QStringLiteral("Show only the %1 curve").arg(QLatin1String(kChannelLegend[size_t(c)])));
        connect(m_channelButtons[size_t(c)], &QPushButton::clicked, this, [this, c] { emit curveChosen(c); });
    }
    m_combine = button("Combine", 290, 72);
    m_combine->setToolTip(QStringLiteral("Show all five curves"));
    m_yAxis = button("Y Axis", 366, 64);
    m_yAxis->setToolTip(QStringLiteral("Choose the graph's Y scale"));
    connect(m_combine, &QPushButton::clicked, this, &CCurveBar::combineChosen);
    connect(m_yAxis, &QPushButton::clicked, this, &CCurveBar::yAxisChosen);
    // Under the title, beside the run's fields.
    m_limits = button("Limits", 440, 64);
    m_limits->move(440, 64);
    m_limits->setCheckable(true);
    connect(m_limits, &QPushButton::clicked, this, &CCurveBar::limitsToggled);

    auto label = [&](const char* text, int x, int y, int w) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setFont(fieldFont);
        l->setGeometry(x, y, w, 22);
        return l;
    };
    // A screen reader names each field after its label.
    static const char* const kFieldNames[kFieldCount] = {
        "Start Time", "Sample Rate, seconds", "Sample Data, samples of the run", "DataNo., samples recorded",
        "Voltage stage, the meter's battery", "Clock"};
    auto edit = [&](Field f, int x, int y, int w, const QFont& font) {
        auto* e = new QLineEdit(this);
        e->setAccessibleName(QLatin1String(kFieldNames[f]));
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
        e->setFont(font);
        e->setGeometry(x, y, w, f == Clock ? 28 : 24);
        m_fields[size_t(f)] = e;
    };
    label("Start Time", 4, 37, 76);
    edit(StartTime, 82, 36, 150, fieldFont);
    label("Sample Rate", 246, 37, 84);
    edit(SampleRate, 332, 36, 50, fieldFont);
    label("Sec", 386, 37, 30);
    label("Sample Data", 424, 37, 84);
    edit(SampleData, 510, 36, 64, fieldFont);
    label("DataNo.", 4, 66, 76);
    edit(DataNo, 82, 65, 80, fieldFont);
    label("voltage stage", 246, 66, 96);
    edit(VoltageStage, 344, 65, 72, fieldFont);
    // this title keeps the default font
    auto* title = new QLabel(QStringLiteral("Real-Time Graph"), this);
    title->setGeometry(440, 8, 130, 20);
    edit(Clock, 590, 4, 190, clockFont);

    m_clockTimer.setInterval(1000);
    connect(&m_clockTimer, &QTimer::timeout, this, &CCurveBar::onClock);
    m_clockTimer.start();
    resize(790, kHeight);
    onClock();
}

void CCurveBar::setLimitsShown(bool shown)
{
    m_limits->setChecked(shown);
}

void CCurveBar::setSampleSettings(int intervalSeconds, int sampleCount)
{
    m_strSampleRate = QString::number(intervalSeconds);
    m_strSampleData = QString::number(sampleCount);
    refresh();
}

void CCurveBar::setCommitted(int64_t start, int count)
{
    // The start changes once per run, not once per sample.
    if (m_strStartTime.isEmpty() || start != m_tStartShown) {
        m_strStartTime = LocalTime::format(start, "%d/%m/%y %H:%M:%S");
        m_tStartShown = start;
    }
    m_strCount = QString::number(count);
    // The clock moves with each sample and counts its next second from
    // there: while samples come every second, the bar and the graph repaint
    // together once a second instead of at two unrelated moments.
    m_strClock = LocalTime::format(QDateTime::currentSecsSinceEpoch(), "%d/%m/%y %H:%M:%S");
    m_clockTimer.start();
    refresh();
}

void CCurveBar::onClock()
{
    m_strClock = LocalTime::format(QDateTime::currentSecsSinceEpoch(), "%d/%m/%y %H:%M:%S");
    refresh();
}

void CCurveBar::setBatteryText(const QString& text)
{
    m_strBattery = text;
    refresh();
}

void CCurveBar::refresh()
{
    const QString* texts[kFieldCount] = {&m_strStartTime, &m_strSampleRate, &m_strSampleData,
                                         &m_strCount, &m_strBattery, &m_strClock};
    for (int f = 0; f < kFieldCount; ++f) {
        if (m_fields[size_t(f)]->text() != *texts[f])
            m_fields[size_t(f)]->setText(*texts[f]);
    }
}

void CCurveBar::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape neither close nor trigger anything on a panel.
    if (!consumeEnterOrEscape(event))
        QWidget::keyPressEvent(event);
}
