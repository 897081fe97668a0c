#pragma once
// The curve selection bar above the real-time graph: buttons that choose the
// curves shown and ask for the Y scale dialog, and read-only fields with the
// state of the run, the meter's battery and a clock. The bar only reports
// what the user chose; the window that owns it applies and stores it.
#include "base/Channel.h"

#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>

class QLineEdit;
class QPushButton;

class CCurveBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 95;

    explicit CCurveBar(QWidget* parent = nullptr);

    // The run's sample settings, as Run confirmed them.
    void setSampleSettings(int intervalSeconds, int sampleCount);
    // A committed sample: the run's start and its sample count.
    void setCommitted(int64_t start, int count);
    // "Normal" or "Low", from the meter's battery flag.
    void setBatteryText(const QString& text);
    // Pushes the texts into the fields.
    void refresh();

    QPushButton* channelButton(int channel) const { return m_channelButtons[size_t(channel)]; }
    QPushButton* combineButton() const { return m_combine; }
    QPushButton* yAxisButton() const { return m_yAxis; }
    // "Limits": a toggle, checked while the graphs mark the alarm limits.
    QPushButton* limitsButton() const { return m_limits; }
    // Checks or clears the toggle without reporting it as the user's choice.
    void setLimitsShown(bool shown);

    enum Field { StartTime, SampleRate, SampleData, DataNo, VoltageStage, Clock, kFieldCount };
    QLineEdit* field(Field f) const { return m_fields[size_t(f)]; }
    // Moves the clock on each second; a committed sample starts its second over.
    const QTimer& clockTimer() const { return m_clockTimer; }

signals:
    // Show only this channel's curve.
    void curveChosen(int channel);
    // Show all five curves.
    void combineChosen();
    // The Y Axis button: the owner runs the Y scale dialog.
    void yAxisChosen();
    // The user toggled "Limits".
    void limitsToggled(bool shown);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void onClock();

    QString m_strStartTime;   // "%d/%m/%y %H:%M:%S" of the run's start
    QString m_strSampleRate;  // interval in seconds
    QString m_strSampleData;  // sample count of the run
    QString m_strCount;       // committed samples
    int64_t m_tStartShown = 0;
    QString m_strBattery;
    QString m_strClock;
    QTimer m_clockTimer;

    std::array<QPushButton*, kChannelCount> m_channelButtons {};
    QPushButton* m_combine = nullptr;
    QPushButton* m_yAxis = nullptr;
    QPushButton* m_limits = nullptr;
    std::array<QLineEdit*, kFieldCount> m_fields {};
};
