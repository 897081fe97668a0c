#include "widgets/CNumEdit.h"

#include <QKeyEvent>

CNumEdit::CNumEdit(QWidget* parent) : QLineEdit(parent)
{
    // Input methods would bypass the character filter.
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

bool CNumEdit::usesDecimalComma(const QLocale& locale)
{
    return locale.decimalPoint() == QStringLiteral(",");
}

bool CNumEdit::isAccepted(QChar c, const QLocale& locale)
{
    return (c >= u'0' && c <= u'9') || c == u'-' || c == u'.' || c == u'\b'
        || (c == u',' && usesDecimalComma(locale));
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
            if (!isAccepted(c, locale())) {
                event->accept();  // dropped
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}
