#pragma once
// The borderless strip under the plot holding the horizontal scroll bar that
// shifts the zoomed curves. Disabled until a zoom.
#include <QWidget>

class QScrollBar;

class CScrollStrip : public QWidget {
    Q_OBJECT
public:
    explicit CScrollStrip(QWidget* parent = nullptr);
    QScrollBar* scrollBar() const { return m_bar; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QScrollBar* m_bar;
};
