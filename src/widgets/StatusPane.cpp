#include "widgets/StatusPane.h"

#include <QHelpEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QToolTip>

StatusPane::StatusPane(QWidget* parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    connect(this, &StatusPane::clicked, this, &StatusPane::showFullText);
}

void StatusPane::setFullText(const QString& text)
{
    m_fullText = text;
    setToolTip(text);
    elide();
}

void StatusPane::showFullText()
{
    if (!m_fullText.isEmpty())
        QMessageBox::information(window(), QStringLiteral("ZB740"), m_fullText);
}

bool StatusPane::event(QEvent* e)
{
    // The status bar's own tips would hide a label's tool tip: show it here.
    if (e->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(e);
        if (m_fullText.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), m_fullText, this);
        return true;
    }
    return QLabel::event(e);
}

void StatusPane::mouseReleaseEvent(QMouseEvent* e)
{
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && !m_fullText.isEmpty())
        emit clicked();
}

void StatusPane::resizeEvent(QResizeEvent* e)
{
    QLabel::resizeEvent(e);
    elide();
}

void StatusPane::elide()
{
    setText(fontMetrics().elidedText(m_fullText, Qt::ElideRight, std::max(width() - 6, 0)));
}
