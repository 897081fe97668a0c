#pragma once
// The curve selection bar above the real-time graph: buttons that choose the
// curves shown and open the Y scale dialog, and read-only fields with the
// state of the run, the meter's battery and a clock.
#include "settings/ProgramPaths.h"
#include "base/Channel.h"

#include <QTimer>
#include <QWidget>
#include <array>

class QLineEdit;
class QPushButton;
class RunState;

class CCurveBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 95;

    // The view's fields the bar's buttons change.
    struct ViewFields {
        std::array<bool, kChannelCount>* showCurve = nullptr;
        int* yGain = nullptr;    // value units per division
        int* yOffset = nullptr;  // divisions
    };

    CCurveBar(const RunState& run, const ProgramPaths& options, ViewFields view, QWidget* parent = nullptr);

    // "Normal" or "Low", from the meter's battery flag.
    void setBatteryText(const QString& text);
    // Pushes the run's texts, the battery text and the clock into the fields.
    void refresh();

    QPushButton* channelButton(int channel) const { return m_channelButtons[size_t(channel)]; }
    QPushButton* combineButton() const { return m_combine; }
    QPushButton* yAxisButton() const { return m_yAxis; }

    enum Field { StartTime, SampleRate, SampleData, DataNo, VoltageStage, Clock, kFieldCount };
    QLineEdit* field(Field f) const { return m_fields[size_t(f)]; }

signals:
    // Curves or the Y scale changed: the graph must redraw.
    void viewsNeedUpdate();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showOnly(int channel);
    void showAll();
    void onYAxis();
    void onClock();

    const RunState& m_run;
    ProgramPaths m_options;
    ViewFields m_view;
    QString m_strBattery;
    QString m_strClock;
    QTimer m_clockTimer;

    std::array<QPushButton*, kChannelCount> m_channelButtons {};
    QPushButton* m_combine = nullptr;
    QPushButton* m_yAxis = nullptr;
    std::array<QLineEdit*, kFieldCount> m_fields {};
};
