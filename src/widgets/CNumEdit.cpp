#include "widgets/CNumEdit.h"

#include <QKeyEvent>

CNumEdit::CNumEdit(QWidget* parent) : QLineEdit(parent)
{
    // Input methods would bypass the character filter.
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

bool CNumEdit::isAccepted(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u'-' || c == u'.' || c == u'\b';
}

void CNumEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Delete:
        QLineEdit::keyPressEvent(event);
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (!text.isEmpty()) {
        for (QChar c : text) {
            if (!isAccepted(c)) {
                event->accept();  // dropped
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}
