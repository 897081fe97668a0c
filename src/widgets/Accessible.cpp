#include "widgets/Accessible.h"

#include <QAccessibleWidget>

namespace {

// Attached to a described widget: its role and where its value comes from.
class AccessibleSource : public QObject {
    Q_OBJECT
public:
    AccessibleSource(QAccessible::Role role, accessible::ValueSource source, QObject* parent)
        : QObject(parent), role(role), source(std::move(source))
    {
        setObjectName(QStringLiteral("accessibleSource"));
    }
    const QAccessible::Role role;
    const accessible::ValueSource source;
};

AccessibleSource* sourceOf(QObject* object)
{
    return object ? object->findChild<AccessibleSource*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

class DescribedWidget : public QAccessibleWidget {
public:
    DescribedWidget(QWidget* widget, const AccessibleSource* source)
        : QAccessibleWidget(widget, source->role), m_source(source)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if ((t == QAccessible::Value || t == QAccessible::Description) && m_source->source)
            return m_source->source();
        return QAccessibleWidget::text(t);
    }

private:
    const AccessibleSource* m_source;
};

QAccessibleInterface* describedWidgets(const QString&, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (const AccessibleSource* source = sourceOf(object))
        return new DescribedWidget(static_cast<QWidget*>(object), source);
    return nullptr;
}

} // namespace

namespace accessible {

void describe(QWidget* widget, QAccessible::Role role, ValueSource source)
{
    // One factory for the whole program, installed with the first described
    // widget.
    static const bool installed = [] {
        QAccessible::installFactory(&describedWidgets);
        return true;
    }();
    (void)installed;
    delete sourceOf(widget);
    new AccessibleSource(role, std::move(source), widget);
    // A screen reader may have asked for the widget already: its interface
    // is made again, now from the factory.
    if (QAccessibleInterface* known = QAccessible::queryAccessibleInterface(widget);
        known && !dynamic_cast<DescribedWidget*>(known))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(known));
}

void valueChanged(QWidget* widget)
{
    if (!QAccessible::isActive())
        return;
    const AccessibleSource* source = sourceOf(widget);
    if (!source || !source->source)
        return;
    const QString value = source->source();
    QAccessibleValueChangeEvent changed(widget, value);
    QAccessible::updateAccessibility(&changed);
    QAccessibleEvent described(widget, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&described);
}

} // namespace accessible

AccessibleReadout::AccessibleReadout(const QString& name, QAccessible::Role role, accessible::ValueSource source,
                                     QWidget* parent)
    : QWidget(parent), m_source(source)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(name);
    accessible::describe(this, role, std::move(source));
}

QString AccessibleReadout::value() const
{
    return m_source ? m_source() : QString();
}

#include "Accessible.moc"
