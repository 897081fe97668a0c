#include "widgets/KeyFilter.h"

#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QWidget>

namespace {

class EnterEscapeFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
                event->accept();
                return event->type() == QEvent::KeyPress;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void swallowEnterAndEscape(QWidget* root)
{
    auto* filter = new EnterEscapeFilter(root);
    root->installEventFilter(filter);
    for (QWidget* child : root->findChildren<QWidget*>())
        child->installEventFilter(filter);
}

bool consumeEnterOrEscape(QKeyEvent* event)
{
    const int key = event->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape)
        return false;
    event->accept();
    return true;
}
