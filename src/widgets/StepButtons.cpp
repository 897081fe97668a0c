#include "widgets/StepButtons.h"

#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The focus mark over the arrows: they fill the whole pair, so the pair
// itself could not show that it has the focus.
class FocusFrame : public QWidget {
public:
    explicit FocusFrame(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter p(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect();
        p.drawPrimitive(QStyle::PE_FrameFocusRect, option);
    }
};

} // namespace

StepButtons::StepButtons(QWidget* parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
    , m_focusFrame(new FocusFrame(this))
{
    setFocusPolicy(Qt::TabFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(b);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    setSubject(QStringLiteral("Value"));
    connect(m_up, &QToolButton::clicked, this, [this] { emit stepped(+1); });
    connect(m_down, &QToolButton::clicked, this, [this] { emit stepped(-1); });
}

void StepButtons::setSubject(const QString& subject)
{
    setAccessibleName(subject);
    m_up->setAccessibleName(QStringLiteral("Increase %1").arg(subject));
    m_down->setAccessibleName(QStringLiteral("Decrease %1").arg(subject));
}

int StepButtons::stepsForKey(int key)
{
    switch (key) {
    case Qt::Key_Up:
        return 1;
    case Qt::Key_Down:
        return -1;
    case Qt::Key_PageUp:
        return kPageSteps;
    case Qt::Key_PageDown:
        return -kPageSteps;
    default:
        return 0;
    }
}

void StepButtons::keyPressEvent(QKeyEvent* event)
{
    if (const int steps = stepsForKey(event->key()); steps != 0 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        emit stepped(steps);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void StepButtons::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    m_focusFrame->raise();
    m_focusFrame->show();
}

void StepButtons::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    m_focusFrame->hide();
}

void StepButtons::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_focusFrame->setGeometry(rect());
}
