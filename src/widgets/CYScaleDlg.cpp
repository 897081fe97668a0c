#include "widgets/CYScaleDlg.h"

#include "widgets/PanelStyle.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

CYScaleDlg::CYScaleDlg(int gain, int offset, QWidget* parent)
    : QDialog(parent)
    , m_offsets(new QComboBox(this))
    , m_gains(new QComboBox(this))
{
    setWindowTitle(QStringLiteral("Y OFFSET And Y GAINS Setup"));
    setFixedSize(300, 150);
    const QFont font = panelFont(QStringLiteral("Arial"), -13, 0, 500);

    auto* group = new QGroupBox(QStringLiteral("Y OFFSET And Y GAINS "), this);
    group->setGeometry(12, 8, 276, 92);
    auto* offsetLabel = new QLabel(QStringLiteral("Y OFFSET(DIV)"), this);
    offsetLabel->setGeometry(28, 36, 110, 22);
    auto* gainLabel = new QLabel(QStringLiteral("Y GAINS/DIV"), this);
    gainLabel->setGeometry(28, 66, 110, 22);
    m_offsets->setObjectName(QStringLiteral("offsets"));
    m_offsets->setGeometry(150, 34, 120, 24);
    m_gains->setObjectName(QStringLiteral("gains"));
    m_gains->setGeometry(150, 64, 120, 24);
    for (int v : kOffsetTable)
        m_offsets->addItem(QString::number(v));
    for (int v : kGainTable)
        m_gains->addItem(QString::number(v));
    m_offsets->setAccessibleName(QStringLiteral("Y OFFSET, divisions"));
    m_gains->setAccessibleName(QStringLiteral("Y GAINS, value units per division"));
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setGeometry(110, 110, 80, 28);
    ok->setDefault(true);
    for (QWidget* w : {static_cast<QWidget*>(offsetLabel), static_cast<QWidget*>(gainLabel), static_cast<QWidget*>(ok)})
        w->setFont(font);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    m_gains->setCurrentIndex(gain < m_gains->count() ? gain : -1);
    m_offsets->setCurrentIndex(offset < m_offsets->count() ? offset : -1);
}

void CYScaleDlg::accept()
{
    m_nGainIndex = m_gains->currentIndex();
    m_nOffsetIndex = m_offsets->currentIndex();
    QDialog::accept();
}
