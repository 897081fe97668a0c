#include "widgets/HelpWindow.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("ZB740 Help"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setAccessibleName(QStringLiteral("Help page"));
    // Links within the page are followed here; those that lead elsewhere
    // (the web, mail) go to the desktop, which knows what to do with them.
    m_browser->setOpenLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.isRelative() || url.isLocalFile())
            m_browser->setSource(m_browser->source().resolved(url));
        else
            QDesktopServices::openUrl(url);
    });

    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    back->setEnabled(false);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(contents, &QPushButton::clicked, m_browser, &QTextBrowser::home);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(contents);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);
    resize(820, 720);
}

void HelpWindow::setPage(const QString& page)
{
    m_browser->clearHistory();
    m_browser->setSource(QUrl::fromLocalFile(page));
}

HelpWindow* HelpWindow::show(QWidget* parent, const QString& page)
{
    QWidget* owner = parent ? parent->window() : nullptr;
    HelpWindow* window = owner ? owner->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!window)
        window = new HelpWindow(owner);
    if (window->m_browser->source() != QUrl::fromLocalFile(page))
        window->setPage(page);
    window->QWidget::show();
    window->raise();
    window->activateWindow();
    return window;
}
