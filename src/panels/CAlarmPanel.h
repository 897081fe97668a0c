#pragma once
// The alarm and min/max panel: per channel the highest and lowest reading
// since start, the blinking high and low alarm indicators, and the high and
// low limits the user types or spins. The panel reports every change of the
// limits; its owner hands them to the recorder and hands in the min/max
// texts and each change of an alarm flag.
#include "data/AlarmLimitSet.h"
#include "link/MeterTypes.h"
#include "settings/Settings.h"

#include <QBasicTimer>
#include <QColor>
#include <QFont>
#include <QWidget>
#include <array>

class AccessibleReadout;
class QLabel;
class QLineEdit;
class StepButtons;

class CAlarmPanel : public QWidget {
    Q_OBJECT
public:
    using Bound = AlarmLimitSet::Bound;
    static constexpr int kHeight = 150;
    // A blinking light alternates red with the panel's ground (the
    // palette's window colour).
    static inline const QColor kIndicatorOff {181, 181, 181};
    static inline const QColor kBlinkRed {255, 0, 0};
    static constexpr int kBlinkMs = 100;

    // Starts with the limits as the logger configuration file gives them.
    explicit CAlarmPanel(const settings::LimitTexts& startLimits, QWidget* parent = nullptr);
    ~CAlarmPanel() override;

    // The limits as floats, in display units, for the alarm comparisons.
    AlarmLimits alarmLimits() const { return m_limits.limits(); }
    // The ten limit texts, written to the settings file at close.
    settings::LimitTexts limitTexts() const { return m_limits.texts(); }

    // New extremes from the recorder; shown at once.
    void setMinMaxTexts(const MinMaxTexts& texts);
    // One alarm flag went on or off; a change repaints the indicators.
    void setAlarm(int channel, Bound bound, bool on);
    // All ten flags at once.
    void setAlarmFlags(const std::array<bool, kChannelCount>& high, const std::array<bool, kChannelCount>& low);
    // The flag an indicator shows (blinking when on).
    bool alarm(int channel, Bound bound) const { return m_bAlarm[bound][size_t(channel)]; }
    // Pushes the panel's texts into its edits (an edit being typed in keeps
    // what the user is typing).
    void refresh();
    // The unit the temperature limits are typed in, as the meter shows it:
    // a screen reader names each limit with its unit ("AIR high limit, °C").
    void setFahrenheit(bool fahrenheit);

    // What a screen reader reads for an alarm light: "on" while it blinks,
    // else "off".
    AccessibleReadout* alarmLight(int channel, Bound bound) const { return m_light[bound][size_t(channel)]; }

    QLineEdit* limitEdit(int channel, Bound bound) const { return m_limitEdit[bound][size_t(channel)]; }
    StepButtons* spinButtons(int channel, Bound bound) const { return m_spin[bound][size_t(channel)]; }
    QLineEdit* maxEdit(int channel) const { return m_maxEdit[size_t(channel)]; }
    QLineEdit* minEdit(int channel) const { return m_minEdit[size_t(channel)]; }
    static QRect indicatorRect(int channel, Bound bound);

signals:
    // The user changed a limit (typed or spun); the recorder compares with these.
    void limitsChanged(const AlarmLimits& limits);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Up and Down in a limit field step the limit as its arrows do, Page Up
    // and Page Down ten steps.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void nameLimits();
    struct RowFonts {
        QFont label, name, limit;
    };
    void buildRow(int channel, const RowFonts& fonts);
    void onLimitTextChanged(int channel, Bound bound);
    void onEditingFinished(int channel, Bound bound);
    void onSpin(int channel, Bound bound, int step);
    static bool isBeingTyped(const QLineEdit* edit);

    AlarmLimitSet m_limits;
    MinMaxTexts m_minMax;
    std::array<std::array<bool, kChannelCount>, 2> m_bAlarm {};
    // Blink phase per indicator (1: the next tick shows red) and what the
    // square shows now.
    std::array<std::array<uint8_t, kChannelCount>, 2> m_phase {{{1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}}};
    std::array<std::array<QColor, kChannelCount>, 2> m_shown;
    std::array<std::array<QBasicTimer, kChannelCount>, 2> m_blink;

    std::array<std::array<QLineEdit*, kChannelCount>, 2> m_limitEdit {};
    std::array<std::array<StepButtons*, kChannelCount>, 2> m_spin {};
    std::array<QLineEdit*, kChannelCount> m_maxEdit {};
    std::array<QLineEdit*, kChannelCount> m_minEdit {};
    std::array<std::array<AccessibleReadout*, kChannelCount>, 2> m_light {};
    bool m_bFahrenheit = false;
};
