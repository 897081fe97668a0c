#pragma once
// What a screen reader learns of the parts the program draws itself: the
// LCD readings of the meter face, the alarm lights, the real-time graph.
// Qt's own controls describe themselves; a drawn reading has no control, so
// it is described here: a role, its name (QWidget::accessibleName) and a
// value text that is made only when a screen reader asks for it, so that
// nothing is formatted per reading or per sample while none listens. The
// value is both the accessible Value and the Description (the description
// is what the desktop's screen readers read out besides the name).
#include <QAccessible>
#include <QString>
#include <QWidget>
#include <functional>

namespace accessible {

using ValueSource = std::function<QString()>;

// The widget reports `role` and the value `source` gives. Call it once,
// before the widget is shown.
void describe(QWidget* widget, QAccessible::Role role, ValueSource source);

// The value of a described widget changed: a screen reader that listens is
// told (nothing happens while none does).
void valueChanged(QWidget* widget);

} // namespace accessible

// A reading its parent draws (an LCD value, an alarm light), for screen
// readers: an unpainted child laid over the place where the reading is
// drawn. It draws nothing and lets the mouse through to its parent.
class AccessibleReadout : public QWidget {
    Q_OBJECT
public:
    AccessibleReadout(const QString& name, QAccessible::Role role, accessible::ValueSource source,
                      QWidget* parent);

    // The value a screen reader reads now.
    QString value() const;
    // Tells a listening screen reader that the value changed.
    void valueChanged() { accessible::valueChanged(this); }

private:
    accessible::ValueSource m_source;
};
