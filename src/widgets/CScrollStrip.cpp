#include "widgets/CScrollStrip.h"

#include <QScrollBar>

CScrollStrip::CScrollStrip(QWidget* parent)
    : QWidget(parent)
    , m_bar(new QScrollBar(Qt::Horizontal, this))
{
    m_bar->setObjectName(QStringLiteral("graphScrollBar"));
    m_bar->setRange(0, 0);
    m_bar->setEnabled(false);
}

void CScrollStrip::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    m_bar->setGeometry(rect());
}
