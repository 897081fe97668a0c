#pragma once
// A small up/down arrow pair beside an edit (the spin buttons of the Run
// dialog). It owns no value: it reports steps, the owner applies them.
#include <QWidget>

class QToolButton;

class StepButtons : public QWidget {
    Q_OBJECT
public:
    explicit StepButtons(QWidget* parent = nullptr);
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

signals:
    void stepped(int step); // +1 up, -1 down

private:
    QToolButton* m_up;
    QToolButton* m_down;
};
