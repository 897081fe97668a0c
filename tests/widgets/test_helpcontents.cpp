// Help > Contents: which file it shows from the build tree and from an
// installed layout, and what the user is told when nothing can show it.
#include "app/CMainFrame.h"
#include "widgets/HelpContents.h"
#include "widgets/HelpWindow.h"
#include "ModalAnswers.h"
#include "TempDir.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QScrollBar>
#include <QTextBrowser>
#include <QRegularExpression>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The text of the next message box, which is then closed with OK.
struct SeenMessage {
    QString text;
    bool selectable = false;
    void expect()
    {
        whenModalAppears([this](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            text = box->text();
            selectable = box->textInteractionFlags().testFlag(Qt::TextSelectableByMouse);
            box->button(QMessageBox::Ok)->click();
        });
    }
};

TEST(HelpPage, IsFoundBesideTheProgramInTheBuildTree)
{
    const QString programDir = QFileInfo(QStringLiteral(ZB740_PROGRAM)).absolutePath();
    const QString page = help::findHelpPage(programDir);
    ASSERT_FALSE(page.isEmpty()) << "looked in " << qPrintable(help::docDir(programDir));
    EXPECT_EQ(readAll(page), readAll(QStringLiteral(ZB740_TEST_DATA_DIR "/../../docs/help.html")));
    // The page's picture travels with it.
    EXPECT_TRUE(QFileInfo::exists(QFileInfo(page).dir().filePath(QStringLiteral("screenshot.png"))));
}

// A program folder with, as each case wants, a help.chm beside the program
// and the help page in the documentation folder next to it.
class ShowContentsTest : public TempDirTest {
protected:
    QString programDir() const { return path("prefix/bin"); }
    QString chm() const { return QDir(programDir()).filePath(QStringLiteral("help.chm")); }
    QString page() const { return QDir(help::docDir(programDir())).filePath(QStringLiteral("help.html")); }
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(programDir())); }

    // Records every file handed to the desktop; accepts those in `accepted`.
    help::Opener opener(QStringList accepted)
    {
        return [this, accepted](const QUrl& url) {
            opened << url.toLocalFile();
            return accepted.contains(url.toLocalFile());
        };
    }
    QStringList opened;
};

TEST_F(ShowContentsTest, InstalledLayoutKeepsTheDocumentationBesideTheProgramFolder)
{
    ASSERT_TRUE(writeFile(page(), "<html></html>"));
    EXPECT_EQ(help::findHelpPage(programDir()), page());
    EXPECT_EQ(help::docDir(programDir()), QDir::cleanPath(path("prefix/share/doc/zb740")));
}

TEST_F(ShowContentsTest, CompiledHelpBesideTheProgramComesFirst)
{
    ASSERT_TRUE(writeFile(chm(), "ITSF"));
    ASSERT_TRUE(writeFile(page(), "<html></html>"));
    help::showContents(nullptr, programDir(), opener({chm(), page()}));
    EXPECT_EQ(opened, QStringList{chm()});
}

TEST_F(ShowContentsTest, WithoutCompiledHelpThePageIsShownInTheProgramsOwnWindow)
{
    // Whatever the desktop has (here: a handler that takes everything, and
    // one that takes nothing), the page is shown by the program itself.
    ASSERT_TRUE(writeFile(page(), "<html><body><h1>Help</h1></body></html>"));
    for (const bool desktopTakesIt : {true, false}) {
        SCOPED_TRACE(desktopTakesIt ? "a desktop with a browser" : "a desktop without one");
        opened.clear();
        QWidget owner;
        help::showContents(&owner, programDir(), opener(desktopTakesIt ? QStringList{page()} : QStringList{}));
        EXPECT_TRUE(opened.isEmpty()) << "the page is not handed to the desktop";
        auto* window = owner.findChild<HelpWindow*>();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->browser()->source(), QUrl::fromLocalFile(page()));
        EXPECT_TRUE(window->browser()->toPlainText().contains(QStringLiteral("Help")));
        // Asked again, the same window comes to the front.
        help::showContents(&owner, programDir(), opener({}));
        EXPECT_EQ(owner.findChildren<HelpWindow*>().size(), 1);
    }
}

TEST_F(ShowContentsTest, CompiledHelpNothingCanShowFallsBackToThePage)
{
    ASSERT_TRUE(writeFile(chm(), "ITSF"));
    ASSERT_TRUE(writeFile(page(), "<html></html>"));
    QWidget owner;
    help::showContents(&owner, programDir(), opener({}));
    EXPECT_EQ(opened, QStringList{chm()});
    ASSERT_NE(owner.findChild<HelpWindow*>(), nullptr);
}

TEST(HelpWindowTest, TheShippedPageShowsWithItsPictureAndItsLinksReachTheirSections)
{
    const QString page = QStringLiteral(ZB740_TEST_DATA_DIR "/../../docs/help.html");
    ASSERT_TRUE(QFileInfo::exists(page));
    QWidget owner;
    HelpWindow* window = HelpWindow::show(&owner, page);
    window->resize(600, 400);
    QTextBrowser* browser = window->browser();
    QCoreApplication::processEvents();
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("ZB740 Help")));
    // The screenshot beside the page is found and laid out as a picture.
    const QVariant picture = browser->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("screenshot.png")));
    EXPECT_FALSE(QImage::fromData(picture.toByteArray()).isNull()) << "the page's picture";

    // Every link within the page names a section of it: following one
    // moves the view down to that section and Back returns to the top.
    QFile f(page);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(f.readAll());
    static const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
    int links = 0;
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const QString anchor = it.next().captured(1);
        SCOPED_TRACE(anchor.toStdString());
        EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(anchor))) << "no section for the link";
        ++links;
    }
    EXPECT_GE(links, 10);
    ASSERT_EQ(browser->verticalScrollBar()->value(), 0);
    emit browser->anchorClicked(QUrl(QStringLiteral("#options")));
    QCoreApplication::processEvents();
    EXPECT_GT(browser->verticalScrollBar()->value(), 0) << "the last section is further down";
    EXPECT_EQ(browser->source().fragment(), QStringLiteral("options"));
    browser->backward();
    QCoreApplication::processEvents();
    EXPECT_EQ(browser->verticalScrollBar()->value(), 0);
}

TEST_F(ShowContentsTest, MissingPageSaysWhereItBelongs)
{
    SeenMessage seen;
    seen.expect();
    help::showContents(nullptr, programDir(), opener({page()}));
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(seen.text, help::pageMissingText(page()));
    EXPECT_TRUE(seen.text.contains(page())) << qPrintable(seen.text);
}

TEST_F(ShowContentsTest, HelpContentsOfTheMainWindowUsesTheLookup)
{
    // The test program has no help page in its own tree; Help > Contents of
    // the real window says where the page belongs.
    const QString testProgramDir = QCoreApplication::applicationDirPath();
    ASSERT_TRUE(help::findHelpPage(testProgramDir).isEmpty());
    CMainFrame frame(tempOptions());
    QAction* contents = nullptr;
    for (QAction* a : frame.findChildren<QAction*>()) {
        if (a->text() == QStringLiteral("&Contents"))
            contents = a;
    }
    ASSERT_NE(contents, nullptr);
    SeenMessage seen;
    seen.expect();
    contents->trigger();
    EXPECT_EQ(seen.text,
              help::pageMissingText(QDir(help::docDir(testProgramDir)).filePath(QStringLiteral("help.html"))));
}

} // namespace
