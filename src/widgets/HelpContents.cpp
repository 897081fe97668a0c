#include "widgets/HelpContents.h"

#include "widgets/HelpWindow.h"
#include "widgets/InstallLayout.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace help {

namespace {

QString existingFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.absoluteFilePath() : QString();
}

void tell(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("ZB740"), text, QMessageBox::Ok, parent);
    // The path is there to be copied into a browser.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

} // namespace

QString docDir(const QString& programDir)
{
    return QDir::cleanPath(QDir(programDir).filePath(QString::fromUtf8(kDocDirFromProgram)));
}

QString findHelpPage(const QString& programDir)
{
    return existingFile(QDir(docDir(programDir)).filePath(QString::fromLatin1(kHelpPageName)));
}

bool openWithDesktop(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

QString pageMissingText(const QString& pagePath)
{
    return QStringLiteral("The help page is missing from this installation.\n"
                          "It belongs here:\n\n%1")
        .arg(QDir::toNativeSeparators(pagePath));
}

void showContents(QWidget* parent, const QString& programDir, const Opener& open)
{
    const QString compiled = existingFile(QDir(programDir).filePath(QString::fromLatin1(kCompiledHelpName)));
    if (!compiled.isEmpty() && open(QUrl::fromLocalFile(compiled)))
        return;
    const QString page = findHelpPage(programDir);
    if (page.isEmpty()) {
        tell(parent, pageMissingText(QDir(docDir(programDir)).filePath(QString::fromLatin1(kHelpPageName))));
        return;
    }
    HelpWindow::show(parent, page);
}

} // namespace help
