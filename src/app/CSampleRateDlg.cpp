#include "app/CSampleRateDlg.h"

#include "run/RunState.h"
#include "settings/IniFile.h"
#include "widgets/KeyFilter.h"
#include "settings/Settings.h"
#include "widgets/StepButtons.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cstdint>

namespace {

constexpr int kRateMin = 1, kRateMax = 3600;
constexpr int kDataMin = 1000, kDataMax = 10000, kDataStep = 1000;

// Dialog units of the "System" font are about 2 pixels on both axes.
QRect du(int x, int y, int w, int h) { return QRect(2 * x, 2 * y, 2 * w, 2 * h); }

// Up and Down in the interval edit step like the arrows.
class ArrowKeyEdit : public QLineEdit {
public:
    ArrowKeyEdit(std::function<void(int)> step, QWidget* parent)
        : QLineEdit(parent), m_step(std::move(step)) {}

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        if (m_step && (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down)) {
            m_step(e->key() == Qt::Key_Up ? +1 : -1);
            return;
        }
        QLineEdit::keyPressEvent(e);
    }

private:
    std::function<void(int)> m_step;
};

bool parseInt(const QString& text, int* value)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (ok)
        *value = v;
    return ok;
}

// An interval is an integer the run can hold: its milliseconds must fit.
bool parseInterval(const QString& text, int* value)
{
    int v = 0;
    if (!parseInt(text, &v) || v > RunState::kMaxIntervalSeconds)
        return false;
    *value = v;
    return true;
}

} // namespace

CSampleRateDlg::CSampleRateDlg(const QString& configFile, QWidget* parent)
    : QDialog(parent)
{
    const settings::SampleDefaults d = settings::readSampleDefaults(IniFile(configFile));
    m_nSampleRate = d.rateSeconds;
    m_nSampleData = d.count;

    setWindowTitle(QStringLiteral("Sample Rate And Sample Data "));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(du(0, 0, 145, 56).size());

    QFont labelFont(QStringLiteral("Arial"));
    labelFont.setPixelSize(15);
    labelFont.setWeight(QFont::Medium);

    auto* rateLabel = new QLabel(QStringLiteral("Sample Rate"), this);
    rateLabel->setGeometry(du(15, 9, 44, 11));
    m_rateEdit = new ArrowKeyEdit([this](int s) { stepRate(s); }, this);
    m_rateEdit->setGeometry(du(59, 7, 50, 13));
    m_rateSpin = new StepButtons(this);
    m_rateSpin->setGeometry(du(109, 7, 9, 13));
    auto* secLabel = new QLabel(QStringLiteral("Sec"), this);
    secLabel->setGeometry(du(120, 10, 18, 9));

    auto* dataLabel = new QLabel(QStringLiteral("Sample Data"), this);
    dataLabel->setGeometry(du(15, 25, 44, 11));
    m_dataEdit = new QLineEdit(this);
    m_dataEdit->setGeometry(du(59, 23, 50, 13));
    m_dataEdit->setReadOnly(true);
    m_dataSpin = new StepButtons(this);
    m_dataSpin->setGeometry(du(109, 23, 9, 13));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setGeometry(du(55, 41, 39, 14));
    // Enter never presses OK: the dialog ends only through OK or the close box.
    m_ok->setAutoDefault(false);
    m_ok->setDefault(false);

    for (QWidget* w : {static_cast<QWidget*>(rateLabel), static_cast<QWidget*>(secLabel),
                       static_cast<QWidget*>(dataLabel), static_cast<QWidget*>(m_ok)})
        w->setFont(labelFont);

    connect(m_rateSpin, &StepButtons::stepped, this, &CSampleRateDlg::stepRate);
    connect(m_dataSpin, &StepButtons::stepped, this, &CSampleRateDlg::stepData);
    connect(m_ok, &QPushButton::clicked, this, &CSampleRateDlg::accept);

    pushToControls();
    swallowEnterAndEscape(this);
}

void CSampleRateDlg::setSampleRate(int seconds)
{
    m_nSampleRate = seconds;
    pushToControls();
}

void CSampleRateDlg::setSampleData(int count)
{
    m_nSampleData = count;
    pushToControls();
}

void CSampleRateDlg::stepRate(int step)
{
    // The arrows move the number shown within 1..3600; a typed value beyond
    // that range is taken as the starting point.
    int v = m_nSampleRate;
    parseInt(m_rateEdit->text(), &v);
    // Stepped in 64 bits: a typed INT_MAX must not wrap around.
    v = int(std::clamp<int64_t>(int64_t(v) + step, kRateMin, kRateMax));
    m_nSampleRate = v;
    m_rateEdit->setText(QString::number(v));
}

void CSampleRateDlg::stepData(int step)
{
    int rate = m_nSampleRate;
    if (parseInt(m_rateEdit->text(), &rate))
        m_nSampleRate = rate;
    int v = m_nSampleData + step * kDataStep;
    if (v > kDataMax)
        v = kDataMax;
    if (v < kDataMin)
        v = kDataMin;
    m_nSampleData = v;
    pushToControls();
}

bool CSampleRateDlg::exchangeFromControls()
{
    int rate = 0, data = 0;
    if (!parseInterval(m_rateEdit->text(), &rate)) {
        QMessageBox::warning(this, QStringLiteral("ZB740"), QStringLiteral("Please enter an integer."));
        m_rateEdit->setFocus();
        m_rateEdit->selectAll();
        return false;
    }
    if (!parseInt(m_dataEdit->text(), &data)) {
        QMessageBox::warning(this, QStringLiteral("ZB740"), QStringLiteral("Please enter an integer."));
        m_dataEdit->setFocus();
        return false;
    }
    m_nSampleRate = rate;
    m_nSampleData = data;
    return true;
}

void CSampleRateDlg::pushToControls()
{
    m_rateEdit->setText(QString::number(m_nSampleRate));
    m_dataEdit->setText(QString::number(m_nSampleData));
}

void CSampleRateDlg::accept()
{
    if (exchangeFromControls())
        QDialog::accept();
}
