#pragma once
// A small up/down arrow pair beside an edit (the spin buttons of the Run
// dialog). It owns no value: it reports steps, the owner applies them.
//
// It takes the focus by Tab and steps with the keys a spin box has: Up and
// Down one step, Page Up and Page Down kPageSteps steps. A screen reader
// finds it, and each arrow, by the name of what it steps (setSubject).
#include <QWidget>

class QToolButton;

class StepButtons : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPageSteps = 10;

    explicit StepButtons(QWidget* parent = nullptr);
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

    // What the arrows step, as a screen reader names it ("Sample Rate,
    // seconds"): the pair is named after it, the arrows "Increase ..." and
    // "Decrease ...".
    void setSubject(const QString& subject);

    // Steps for a key of a spin box (Up, Down, Page Up, Page Down), else 0.
    static int stepsForKey(int key);

signals:
    void stepped(int step); // +1 up, -1 down; +-kPageSteps for a page

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* m_up;
    QToolButton* m_down;
    QWidget* m_focusFrame;
};
