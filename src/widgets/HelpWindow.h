#pragma once
// The program's own window for its help page: the shipped HTML page in a
// text browser, so the help opens whatever the desktop has installed (a
// desktop without a browser would otherwise show nothing at all). Links
// within the page move to their sections; links to the web go to the
// desktop's browser. One window per main window: asking again brings it
// to the front.
#include <QWidget>

class QTextBrowser;
class QUrl;

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // Shows page in the help window of parent's top-level window (made
    // when it has none) and brings it to the front.
    static HelpWindow* show(QWidget* parent, const QString& page);

    explicit HelpWindow(QWidget* parent = nullptr);

    void setPage(const QString& page);
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};
