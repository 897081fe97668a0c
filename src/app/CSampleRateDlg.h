#pragma once
// "Sample Rate And Sample Data": asks for the interval (seconds) and the
// number of readings before a run starts.
#include "run/RunState.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class StepButtons;

class CSampleRateDlg : public QDialog {
    Q_OBJECT
public:
    // The intervals OK takes: any integer up to what a run holds in
    // milliseconds (the run makes one below 1 s into 1 s); the arrows offer
    // 1..3600. The sample count goes by the arrows, 1000..10000.
    static constexpr int kMinSampleRate = 1;
    static constexpr int kMaxSampleRate = RunState::kMaxIntervalSeconds;
    static constexpr int kMinSampleData = 1000;
    static constexpr int kMaxSampleData = 10000;

    // Defaults come from the logger configuration file (1 s and 1000).
    explicit CSampleRateDlg(const QString& configFile, QWidget* parent = nullptr);

    int sampleRate() const { return m_nSampleRate; }
    int sampleData() const { return m_nSampleData; }
    // Seeding by the caller before the dialog is shown.
    void setSampleRate(int seconds);
    void setSampleData(int count);

    QLineEdit* rateEdit() const { return m_rateEdit; }
    QLineEdit* dataEdit() const { return m_dataEdit; }
    StepButtons* rateSpin() const { return m_rateSpin; }
    StepButtons* dataSpin() const { return m_dataSpin; }
    QPushButton* okButton() const { return m_ok; }

    void accept() override;

private:
    void stepRate(int step);
    void stepData(int step);
    // Reads both edits as integers; shows "Please enter an integer." on the
    // first that is not one, and the range on an interval beyond it.
    bool exchangeFromControls();
    void pushToControls();

    int m_nSampleRate = 1;
    int m_nSampleData = 1000;
    QLineEdit* m_rateEdit = nullptr;
    QLineEdit* m_dataEdit = nullptr;
    StepButtons* m_rateSpin = nullptr;
    StepButtons* m_dataSpin = nullptr;
    QPushButton* m_ok = nullptr;
};
