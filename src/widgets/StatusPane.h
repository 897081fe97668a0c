#pragma once
// A status bar pane for a text that may be longer than the pane: it shows
// what fits, the whole text as a tool tip, and the whole text in a message
// box when clicked.
#include <QLabel>

class StatusPane : public QLabel {
    Q_OBJECT
public:
    explicit StatusPane(QWidget* parent = nullptr);

    // The whole text; the pane shows it cut to its width.
    void setFullText(const QString& text);
    const QString& fullText() const { return m_fullText; }

signals:
    // Clicked while it holds a text (the owner shows it; see showFullText).
    void clicked();

public slots:
    void showFullText();

protected:
    bool event(QEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void elide();
    QString m_fullText;
};
