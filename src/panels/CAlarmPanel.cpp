#include "panels/CAlarmPanel.h"

#include "widgets/Accessible.h"
#include "widgets/KeyFilter.h"
#include "widgets/StepButtons.h"
#include "widgets/CNumEdit.h"
#include "widgets/PanelStyle.h"
#include "widgets/TextCopy.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

namespace {
constexpr int kRowPitch = 30;
constexpr int kHighIndicatorX = 378;
constexpr int kLowIndicatorX = 485;
constexpr int kIndicatorSize = 15;

const char* const kChannelLabels[kChannelCount] = {"AIR : ", "WB :   ", "DP  :", "K/IR:   ", "RH :"};

const QString kArial = QStringLiteral("Arial");
const QString kBlackRoman = QStringLiteral("black ROMAN");
} // namespace

QRect CAlarmPanel::indicatorRect(int channel, Bound bound)
{
    return QRect(bound == AlarmLimitSet::High ? kHighIndicatorX : kLowIndicatorX, 3 + kRowPitch * channel,
                 kIndicatorSize, kIndicatorSize);
}

CAlarmPanel::CAlarmPanel(const settings::LimitTexts& startLimits, QWidget* parent) : QWidget(parent)
{
    applyPanelColours(this);
    setFocusPolicy(Qt::ClickFocus);
    setAccessibleName(QStringLiteral("Alarm limits and extremes"));

    for (auto& row : m_shown)
        row.fill(kIndicatorOff);
    m_limits.load(startLimits);
    // Made once for all the rows: each font costs the font configuration's
    // lookups.
    const RowFonts fonts {panelFont(kArial, -14, 0, 500), panelFont(QStringList {kBlackRoman, kArial}, -14, 8, 100),
                          panelFont(QStringList {kBlackRoman, kArial}, -12, 0, 100)};
    for (int c = 0; c < kChannelCount; ++c)
        buildRow(c, fonts);
    nameLimits();
    resize(780, kHeight);
    refresh();
}

CAlarmPanel::~CAlarmPanel()
{
    // A focused edit reports the end of its editing while the base class
    // deletes it; by then this panel's members are gone.
    for (auto& row : m_limitEdit)
        for (QLineEdit* e : row)
            e->disconnect(this);
}

void CAlarmPanel::buildRow(int c, const RowFonts& fonts)
{
    const QFont& labelFont = fonts.label;
    const QFont& nameFont = fonts.name;
    const QFont& limitFont = fonts.limit;
    // Controls sit 4 pixels into their row: the scroll strip above the
    // panel overlaps its top rows of pixels.
    const int y = kRowPitch * c;

    auto label = [&](const QString& text, int x, int w, const QFont& font) {
        auto* l = new QLabel(text, this);
        l->setFont(font);
        l->setGeometry(x, y + 4, w, 20);
        return l;
    };
    auto edit = [&](QLineEdit* e, int x, int w, const QFont& font) {
        e->setFont(font);
        e->setGeometry(x, y + 4, w, 21);
        return e;
    };

    label(QString::fromLatin1(kChannelLabels[c]), 4, 48, nameFont);
    label(QStringLiteral("Max"), 54, 28, labelFont);
    m_maxEdit[size_t(c)] = edit(new QLineEdit(this), 82, 76, labelFont);
    label(QStringLiteral("Min"), 164, 28, labelFont);
    m_minEdit[size_t(c)] = edit(new QLineEdit(this), 192, 76, labelFont);
    for (QLineEdit* e : {m_maxEdit[size_t(c)], m_minEdit[size_t(c)]}) {
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
    }
    const QString channel = QLatin1String(kChannelLegend[size_t(c)]);
    m_maxEdit[size_t(c)]->setAccessibleName(QStringLiteral("%1 maximum").arg(channel));
    m_minEdit[size_t(c)]->setAccessibleName(QStringLiteral("%1 minimum").arg(channel));
    label(QStringLiteral("Alarm Hi"), 312, 64, labelFont);
    label(QStringLiteral("Alarm Low"), 412, 72, labelFont);

    const int limitX[2] = {562, 706};
    const int labelX[2] = {506, 640};
    const char* const labelText[2] = {"Hi Limit", "Low Limit"};
    for (int b = AlarmLimitSet::High; b <= AlarmLimitSet::Low; ++b) {
        const auto bound = Bound(b);
        label(QString::fromLatin1(labelText[b]), labelX[b], 64, labelFont);
        // RH high takes any text: a plain edit, still held to a number by the
        // text rule.
        QLineEdit* e = (c == kRh && bound == AlarmLimitSet::High) ? new QLineEdit(this) : new CNumEdit(this);
        edit(e, limitX[b], 56, limitFont);
        m_limitEdit[b][size_t(c)] = e;
        auto* spin = new StepButtons(this);
        spin->setGeometry(limitX[b] + 56, y + 4, 14, 21);
        // The field itself takes the arrow keys: the arrows stay out of the
        // tab order.
        spin->setFocusPolicy(Qt::NoFocus);
        e->installEventFilter(this);
        m_spin[b][size_t(c)] = spin;

        auto* light = new AccessibleReadout(
            QStringLiteral("%1 %2 alarm").arg(channel, b == AlarmLimitSet::High ? QStringLiteral("high") : QStringLiteral("low")),
            QAccessible::Indicator, [this, c, bound] { return alarm(c, bound) ? QStringLiteral("on") : QStringLiteral("off"); },
            this);
        light->setGeometry(indicatorRect(c, bound));
        m_light[b][size_t(c)] = light;

        connect(e, &QLineEdit::textChanged, this, [this, c, bound] { onLimitTextChanged(c, bound); });
        connect(e, &QLineEdit::editingFinished, this, [this, c, bound] { onEditingFinished(c, bound); });
        connect(spin, &StepButtons::stepped, this, [this, c, bound](int step) { onSpin(c, bound, step); });
    }
}

bool CAlarmPanel::isBeingTyped(const QLineEdit* edit) { return edit->hasFocus() && edit->isModified(); }

void CAlarmPanel::onLimitTextChanged(int c, Bound bound)
{
    QLineEdit* e = m_limitEdit[bound][size_t(c)];
    // Where the locale writes decimals with a comma, "22,5" is 22.5; the
    // settled text keeps the point the settings files use.
    QString typed = e->text();
    if (CNumEdit::usesDecimalComma(e->locale()))
        typed.replace(QLatin1Char(','), QLatin1Char('.'));
    const QString settled = m_limits.applyText(c, bound, typed);
    emit limitsChanged(m_limits.limits());
    // The limit takes effect at once; the edit shows the settled text when
    // the user is done typing, so that a number can be typed digit by digit.
    if (isBeingTyped(e))
        return;
    if (e->text() != settled)
        e->setText(settled);  // runs this rule once more, which then settles
}

void CAlarmPanel::onEditingFinished(int c, Bound bound)
{
    QLineEdit* e = m_limitEdit[bound][size_t(c)];
    e->setModified(false);
    onLimitTextChanged(c, bound);
}

void CAlarmPanel::onSpin(int c, Bound bound, int step)
{
    m_limits.spin(c, bound, step);
    emit limitsChanged(m_limits.limits());
    QLineEdit* e = m_limitEdit[bound][size_t(c)];
    if (e->text() != m_limits.text(c, bound))
        e->setText(m_limits.text(c, bound));
}

void CAlarmPanel::refresh()
{
    auto push = [](QLineEdit* e, const QString& text) {
        if (e->text() != text)
            e->setText(text);
    };
    for (int c = 0; c < kChannelCount; ++c) {
        push(m_maxEdit[size_t(c)], m_minMax.max[size_t(c)]);
        push(m_minEdit[size_t(c)], m_minMax.min[size_t(c)]);
        for (int b = AlarmLimitSet::High; b <= AlarmLimitSet::Low; ++b) {
            QLineEdit* e = m_limitEdit[b][size_t(c)];
            if (!isBeingTyped(e))
                push(e, m_limits.text(c, Bound(b)));
        }
    }
}

void CAlarmPanel::setFahrenheit(bool fahrenheit)
{
    if (fahrenheit == m_bFahrenheit)
        return;
    m_bFahrenheit = fahrenheit;
    nameLimits();
}

void CAlarmPanel::nameLimits()
{
    const QString temperature = m_bFahrenheit ? QStringLiteral("\u00b0F") : QStringLiteral("\u00b0C");
    for (int c = 0; c < kChannelCount; ++c) {
        const QString unit = c == kRh ? QStringLiteral("%RH") : temperature;
        const QString channel = QLatin1String(kChannelLegend[size_t(c)]);
        for (int b = AlarmLimitSet::High; b <= AlarmLimitSet::Low; ++b) {
            const QString limit =
                QStringLiteral("%1 %2 limit").arg(channel, b == AlarmLimitSet::High ? QStringLiteral("high") : QStringLiteral("low"));
            m_limitEdit[b][size_t(c)]->setAccessibleName(QStringLiteral("%1, %2").arg(limit, unit));
            m_spin[b][size_t(c)]->setSubject(limit);
        }
    }
}

bool CAlarmPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int steps = StepButtons::stepsForKey(key->key());
        if (steps != 0 && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            for (int b = AlarmLimitSet::High; b <= AlarmLimitSet::Low; ++b) {
                for (int c = 0; c < kChannelCount; ++c) {
                    if (m_limitEdit[b][size_t(c)] == watched) {
                        onSpin(c, Bound(b), steps);
                        return true;
                    }
                }
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CAlarmPanel::setMinMaxTexts(const MinMaxTexts& texts)
{
    for (size_t c = 0; c < size_t(kChannelCount); ++c) {
        copyText(m_minMax.max[c], texts.max[c]);
        copyText(m_minMax.min[c], texts.min[c]);
    }
    refresh();
}

void CAlarmPanel::setAlarm(int channel, Bound bound, bool on)
{
    const size_t c = size_t(channel);
    if (channel < 0 || channel >= kChannelCount || m_bAlarm[bound][c] == on)
        return;
    m_bAlarm[bound][c] = on;
    if (on) {
        m_blink[bound][c].start(kBlinkMs, this);
    } else {
        m_blink[bound][c].stop();
        m_shown[bound][c] = kIndicatorOff;
    }
    m_light[bound][c]->valueChanged();
    update();
}

void CAlarmPanel::setAlarmFlags(const std::array<bool, kChannelCount>& high, const std::array<bool, kChannelCount>& low)
{
    for (int c = 0; c < kChannelCount; ++c) {
        setAlarm(c, AlarmLimitSet::High, high[size_t(c)]);
        setAlarm(c, AlarmLimitSet::Low, low[size_t(c)]);
    }
}

void CAlarmPanel::timerEvent(QTimerEvent* event)
{
    for (int b = 0; b < 2; ++b) {
        for (int c = 0; c < kChannelCount; ++c) {
            if (m_blink[b][size_t(c)].timerId() != event->timerId())
                continue;
            uint8_t& phase = m_phase[b][size_t(c)];
            m_shown[b][size_t(c)] = phase == 1 ? kBlinkRed : palette().color(QPalette::Window);
            phase = phase == 1 ? 0 : 1;
            update(indicatorRect(c, Bound(b)));
            return;
        }
    }
    QWidget::timerEvent(event);
}

void CAlarmPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    for (int b = 0; b < 2; ++b)
        for (int c = 0; c < kChannelCount; ++c)
            p.fillRect(indicatorRect(c, Bound(b)), m_shown[b][size_t(c)]);
}

void CAlarmPanel::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape neither close nor trigger anything on a panel.
    if (!consumeEnterOrEscape(event))
        QWidget::keyPressEvent(event);
}
