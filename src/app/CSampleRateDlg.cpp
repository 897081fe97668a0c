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

// The arrows' ranges; a typed interval may go beyond them.
constexpr int kRateMin = 1, kRateMax = 3600;
constexpr int kDataMin = CSampleRateDlg::kMinSampleData, kDataMax = CSampleRateDlg::kMaxSampleData, kDataStep = 1000;

// Dialog units of the "System" font are about 2 pixels on both axes.
QRect du(int x, int y, int w, int h) { return QRect(2 * x, 2 * y, 2 * w, 2 * h); }

// Up and Down in an edit step like its arrows, Page Up and Page Down ten
// steps, as in a spin box.
class ArrowKeyEdit : public QLineEdit {
public:
    ArrowKeyEdit(std::function<void(int)> step, QWidget* parent)
        : QLineEdit(parent), m_step(std::move(step)) {}

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        const int steps = StepButtons::stepsForKey(e->key());
        if (m_step && steps != 0 && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            m_step(steps);
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

// Digits after an optional sign: an integer, whether or not it fits.
bool isIntegerText(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype i = t.startsWith(u'-') || t.startsWith(u'+') ? 1 : 0;
    if (i == t.size())
        return false;
    for (; i < t.size(); ++i) {
        if (t[i] < u'0' || t[i] > u'9')
            return false;
    }
    return true;
}

enum class Interval { Ok, NotAnInteger, OutOfRange };

// An interval is an integer the run can hold: its milliseconds must fit.
// Zero and below are taken (the run makes them 1 s).
Interval parseInterval(const QString& text, int* value)
{
    int v = 0;
    if (!parseInt(text, &v))
        return isIntegerText(text) ? Interval::OutOfRange : Interval::NotAnInteger;
    if (v > RunState::kMaxIntervalSeconds)
        return Interval::OutOfRange;
    *value = v;
    return Interval::Ok;
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

    // The labels carry mnemonics to their fields; a screen reader names
    // every field and arrow pair.
    auto* rateLabel = new QLabel(QStringLiteral("Sample &Rate"), this);
    rateLabel->setGeometry(du(15, 9, 44, 11));
    m_rateEdit = new ArrowKeyEdit([this](int s) { stepRate(s); }, this);
    m_rateEdit->setGeometry(du(59, 7, 50, 13));
    m_rateEdit->setAccessibleName(QStringLiteral("Sample Rate, seconds"));
    rateLabel->setBuddy(m_rateEdit);
    m_rateSpin = new StepButtons(this);
    m_rateSpin->setGeometry(du(109, 7, 9, 13));
    m_rateSpin->setSubject(QStringLiteral("Sample Rate"));
    auto* secLabel = new QLabel(QStringLiteral("Sec"), this);
    secLabel->setGeometry(du(120, 10, 18, 9));

    auto* dataLabel = new QLabel(QStringLiteral("Sample &Data"), this);
    dataLabel->setGeometry(du(15, 25, 44, 11));
    m_dataEdit = new ArrowKeyEdit([this](int s) { stepData(s); }, this);
    m_dataEdit->setGeometry(du(59, 23, 50, 13));
    m_dataEdit->setReadOnly(true);
    m_dataEdit->setAccessibleName(QStringLiteral("Sample Data, number of samples"));
    dataLabel->setBuddy(m_dataEdit);
    m_dataSpin = new StepButtons(this);
    m_dataSpin->setGeometry(du(109, 23, 9, 13));
    m_dataSpin->setSubject(QStringLiteral("Sample Data"));

    m_ok = new QPushButton(QStringLiteral("&OK"), this);
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
    // Stepped in 64 bits: a count from the configuration file may be any
    // integer, the largest included.
    m_nSampleData = int(std::clamp<int64_t>(int64_t(m_nSampleData) + int64_t(step) * kDataStep, kDataMin, kDataMax));
    pushToControls();
}

bool CSampleRateDlg::exchangeFromControls()
{
    int rate = 0, data = 0;
    if (const Interval read = parseInterval(m_rateEdit->text(), &rate); read != Interval::Ok) {
        const QString text = read == Interval::NotAnInteger
            ? QStringLiteral("Please enter an integer.")
            : QStringLiteral("Please enter an integer between %1 and %2.").arg(kMinSampleRate).arg(kMaxSampleRate);
        QMessageBox::warning(this, QStringLiteral("ZB740"), text);
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
